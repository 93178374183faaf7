#include "TestFiles.h"
#include "ini/IniText.h"
#include "platform/FileBytes.h"
#include "platform/ProfileWriter.h"

#include "TestConfig.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

// What the editor lists for `section` and `key`: the value it shows after
// finding the section through its own readers, or nothing.
std::optional<QByteArray> editorValue(
    const QByteArray &text, const QByteArray &section, const QByteArray &key)
{
    for (const QByteArray &name : ini::sectionNames(text)) {
        if (!profile::sameName(name, section))
            continue;
        const ini::Section found = ini::findSection(text, name);
        if (!found.found)
            return std::nullopt;
        for (const ini::Line &line : found.keyLines) {
            const ini::KeyValue kv = ini::splitKeyLine(ini::view(text, line));
            if (profile::sameName(kv.key, key))
                return kv.value.toByteArray();
        }
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

class TestProfileWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The expected text is the whole file, so every byte outside the touched
    // line is compared too.
    void writesKey_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("after");
        // Whether the editor's key list shows the written key afterwards.
        QTest::addColumn<bool>("listed");

        QTest::newRow("new file") << QByteArray() << QByteArray("Game") << QByteArray("//")
                                  << QByteArray("Me") << QByteArray("[Game]\r\n//=Me\r\n") << true;
        QTest::newRow("new section after one empty line")
            << QByteArray("[A]\r\nx=1\r\n") << QByteArray("B") << QByteArray("k") << QByteArray("v")
            << QByteArray("[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n") << true;
        QTest::newRow("new section, file already ends with an empty line")
            << QByteArray("[A]\r\nx=1\r\n\r\n") << QByteArray("B") << QByteArray("k") << QByteArray("v")
            << QByteArray("[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n") << true;
        QTest::newRow("new section, last line without line end")
            << QByteArray("[A]\r\nx=1") << QByteArray("B") << QByteArray("k") << QByteArray("v")
            << QByteArray("[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n") << true;
        QTest::newRow("section in other letter case")
            << QByteArray("[Game]\r\nx=1\r\n") << QByteArray("GAME") << QByteArray("k") << QByteArray("v")
            << QByteArray("[Game]\r\nx=1\r\nk=v\r\n") << true;
        QTest::newRow("letter case beyond ASCII")
            << QByteArray("[Caf\xe9 \xff]\r\n") << QByteArray("CAF\xc9 \x9f") << QByteArray("k")
            << QByteArray("v") << QByteArray("[Caf\xe9 \xff]\r\nk=v\r\n") << true;
        QTest::newRow("key replaced in place")
            << QByteArray("[G]\r\na=1\r\nk=old value\r\nb=2\r\n") << QByteArray("G") << QByteArray("k")
            << QByteArray("new") << QByteArray("[G]\r\na=1\r\nk=new\r\nb=2\r\n") << true;
        QTest::newRow("key in other case with blanks around names")
            << QByteArray("[ G\t]\r\n  K = old\r\nb=2\r\n") << QByteArray("g") << QByteArray("k")
            << QByteArray("new") << QByteArray("[ G\t]\r\nk=new\r\nb=2\r\n") << true;
        QTest::newRow("key added before the next section")
            << QByteArray("[G]\r\na=1\r\n\r\n[H]\r\nb=2\r\n") << QByteArray("G") << QByteArray("k")
            << QByteArray("v") << QByteArray("[G]\r\na=1\r\nk=v\r\n\r\n[H]\r\nb=2\r\n") << true;
        QTest::newRow("key added, next head right after")
            << QByteArray("[G]\r\na=1\r\n[H]\r\nk=1\r\n") << QByteArray("G") << QByteArray("k")
            << QByteArray("v") << QByteArray("[G]\r\na=1\r\nk=v\r\n[H]\r\nk=1\r\n") << true;
        QTest::newRow("key added to an empty body")
            << QByteArray("[G]\r\n\r\n[H]\r\n") << QByteArray("G") << QByteArray("k") << QByteArray("v")
            << QByteArray("[G]\r\nk=v\r\n\r\n[H]\r\n") << true;
        // Lines after an empty line are outside the editor's key list but still
        // the section's: the key is not added a second time.
        QTest::newRow("key after an empty line is replaced there, not added twice")
            << QByteArray("[G]\r\na=1\r\n\r\nk=old\r\n[H]\r\n") << QByteArray("G") << QByteArray("k")
            << QByteArray("new") << QByteArray("[G]\r\na=1\r\n\r\nk=new\r\n[H]\r\n") << false;
        QTest::newRow("key added, section ends the file without line end")
            << QByteArray("[G]\r\na=1") << QByteArray("G") << QByteArray("k") << QByteArray("v")
            << QByteArray("[G]\r\na=1\r\nk=v\r\n") << true;
        QTest::newRow("key replaced on a last line without line end")
            << QByteArray("[G]\r\nk=1") << QByteArray("G") << QByteArray("k") << QByteArray("2")
            << QByteArray("[G]\r\nk=2") << true;
        QTest::newRow("first of two sections of the same name")
            << QByteArray("[G]\r\na=1\r\n\r\n[G]\r\nk=1\r\n") << QByteArray("G") << QByteArray("k")
            << QByteArray("v") << QByteArray("[G]\r\na=1\r\nk=v\r\n\r\n[G]\r\nk=1\r\n") << true;
        QTest::newRow("head with a comment after its bracket")
            << QByteArray("[G] ; note\r\na=1\r\n") << QByteArray("G") << QByteArray("k") << QByteArray("v")
            << QByteArray("[G] ; note\r\na=1\r\nk=v\r\n") << true;
        QTest::newRow("LF-only file, new section")
            << QByteArray("[A]\na=1\n") << QByteArray("G") << QByteArray("k") << QByteArray("v")
            << QByteArray("[A]\na=1\n\n[G]\nk=v\n") << true;
        QTest::newRow("CR-only file, key added")
            << QByteArray("[G]\ra=1\r\r[H]\rb=2\r") << QByteArray("G") << QByteArray("k") << QByteArray("v")
            << QByteArray("[G]\ra=1\rk=v\r\r[H]\rb=2\r") << true;
        QTest::newRow("mixed file: its first line end decides")
            << QByteArray("[A]\na=1\r\n") << QByteArray("A") << QByteArray("k") << QByteArray("v")
            << QByteArray("[A]\na=1\r\nk=v\n") << true;
        QTest::newRow("CR-only file, key replaced keeps its CR")
            << QByteArray("[G]\ra=1\r\r[H]\rb=2\r") << QByteArray("G") << QByteArray("a") << QByteArray("9")
            << QByteArray("[G]\ra=9\r\r[H]\rb=2\r") << true;
        QTest::newRow("value holding =")
            << QByteArray("[G]\r\n") << QByteArray("G") << QByteArray("Comments") << QByteArray("a=b = c")
            << QByteArray("[G]\r\nComments=a=b = c\r\n") << true;
        QTest::newRow("empty value") << QByteArray("[G]\r\n") << QByteArray("G") << QByteArray("k")
                                     << QByteArray() << QByteArray("[G]\r\nk=\r\n") << true;
        QTest::newRow("section name holding ]")
            << QByteArray("[A]\r\n") << QByteArray("Kart (U) [!]") << QByteArray("k") << QByteArray("v")
            << QByteArray("[A]\r\n\r\n[Kart (U) [!]]\r\nk=v\r\n") << true;
        QTest::newRow("existing section name holding ]")
            << QByteArray("[A]B]\r\nx=1\r\n") << QByteArray("A]B") << QByteArray("k") << QByteArray("v")
            << QByteArray("[A]B]\r\nx=1\r\nk=v\r\n") << true;
        QTest::newRow("section name holding =") << QByteArray() << QByteArray("A=B") << QByteArray("k")
                                                << QByteArray("v") << QByteArray("[A=B]\r\nk=v\r\n") << true;
        QTest::newRow("blanks and 8-bit bytes written as given")
            << QByteArray("[X]\r\nq=\x80\xff\r\n") << QByteArray(" Caf\xe9 ") << QByteArray("k")
            << QByteArray(" v ") << QByteArray("[X]\r\nq=\x80\xff\r\n\r\n[ Caf\xe9 ]\r\nk= v \r\n") << true;
    }
    void writesKey()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        QFETCH(bool, listed);

        const profile::Updated updated = profile::updatedText(before, section, key, value);
        QVERIFY2(updated.ok, qPrintable(updated.error));
        QCOMPARE(updated.text, after);
        if (listed)
            QCOMPARE(editorValue(updated.text, section, key), std::optional<QByteArray>(value));

        // The file function writes the same bytes.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        if (!before.isNull())
            writeFile(path, before);
        QString error;
        QVERIFY2(WritePrivateProfileStringA(section, key, value, path, &error), qPrintable(error));
        QCOMPARE(readFile(path), after);
    }

    // The fast head search skips lines but must see the same heads as the line
    // reader: "[" after CR, after CR LF or at the start, never after a lone LF.
    void nextHeadAgreesWithLineReader_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("line ends") << QByteArray("[a]\r\nk=[x]\r[b]\r\r\n[c]\n[d]\r\n\r\n [e]\r\n[");
        QTest::newRow("LF first") << QByteArray("\n[a]\r\n\n[b]\r[c]");
        QTest::newRow("no heads") << QByteArray("a=[b]\r\nc\n[d]");
        QTest::newRow("CR LF CR") << QByteArray("x\r\n\r[a]\r\r\n[b]");
    }
    void nextHeadAgreesWithLineReader()
    {
        QFETCH(QByteArray, text);
        QList<qsizetype> expected;
        ini::forEachLine(text, [&](const ini::Line &line) {
            if (ini::isHead(ini::view(text, line)))
                expected.append(line.begin);
            return true;
        });
        QList<qsizetype> found;
        for (auto line = ini::nextHead(text, 0); line; line = ini::nextHead(text, line->next))
            found.append(line->begin);
        QCOMPARE(found, expected);
    }

    void refusesWhatWouldBreakTheFile_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("empty section") << QByteArray() << QByteArray("k") << QByteArray("v");
        QTest::newRow("blank section") << QByteArray(" \t") << QByteArray("k") << QByteArray("v");
        QTest::newRow("empty key") << QByteArray("G") << QByteArray() << QByteArray("v");
        QTest::newRow("key holding =") << QByteArray("G") << QByteArray("a=b") << QByteArray("v");
        QTest::newRow("key read as a head") << QByteArray("G") << QByteArray("[k") << QByteArray("v]");
        QTest::newRow("key read as a head after blanks")
            << QByteArray("G") << QByteArray(" \t[k") << QByteArray("v]");
        QTest::newRow("CR in value") << QByteArray("G") << QByteArray("k") << QByteArray("v\rx");
        QTest::newRow("LF in section") << QByteArray("G\n[H]") << QByteArray("k") << QByteArray("v");
        QTest::newRow("NUL in key") << QByteArray("G") << QByteArray("k\0x", 3) << QByteArray("v");
    }
    void refusesWhatWouldBreakTheFile()
    {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        const profile::Updated updated = profile::updatedText("[G]\r\nk=1\r\n", section, key, value);
        QVERIFY(!updated.ok);
        QVERIFY(!updated.error.isEmpty());

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, "[G]\r\nk=1\r\n");
        QString error;
        QVERIFY(!WritePrivateProfileStringA(section, key, value, path, &error));
        QCOMPARE(error, updated.error);
        QCOMPARE(readFile(path), QByteArray("[G]\r\nk=1\r\n"));
    }

    void sectionWithBracketOrEqualsIsFoundAgain_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::newRow("]") << QByteArray("Kart (U) [!]");
        QTest::newRow("] inside") << QByteArray("A]B");
        QTest::newRow("=") << QByteArray("A=B");
        QTest::newRow("both") << QByteArray("x=[y]=z");
    }
    void sectionWithBracketOrEqualsIsFoundAgain()
    {
        QFETCH(QByteArray, section);
        QByteArray text = "[Other]\r\nk=0\r\n";
        for (const char *key : { "//", "AltTitle", "Comments", "UCode" }) {
            const profile::Updated updated
                = profile::updatedText(text, section, key, QByteArray(QByteArray("v ") + key));
            QVERIFY(updated.ok);
            text = updated.text;
        }
        QCOMPARE(ini::sectionNames(text), (QList<QByteArray> { "Other", section }));
        const ini::Section found = ini::findSection(text, section);
        QVERIFY(found.found);
        QCOMPARE(found.keyLines.size(), 4);
        const QList<QByteArray> expected
            = { "//=v //", "AltTitle=v AltTitle", "Comments=v Comments", "UCode=v UCode" };
        for (int i = 0; i < 4; ++i)
            QCOMPARE(ini::view(text, found.keyLines[i]).toByteArray(), expected[i]);
    }

    // A realistic file: touching one section leaves the rest byte for byte.
    void generatedFileKeepsEveryOtherByte()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        QCOMPARE(QProcess::execute(QStringLiteral(FEROX_SYSTEM_PYTHON),
                     { QStringLiteral(FEROX_SCRIPTS_DIR "/generate-ini"), QStringLiteral("64K"), path,
                         QStringLiteral("--seed"), QStringLiteral("7") }),
            0);
        const QByteArray before = readFile(path);
        QVERIFY(before.size() > 60000);
        const QList<QByteArray> names = ini::sectionNames(before);
        const QByteArray name = names.at(names.size() / 2);
        const ini::Section section = ini::findSection(before, name);
        QVERIFY(section.found && !section.keyLines.isEmpty());
        const ini::Line first = section.keyLines.first();
        const QByteArray key = ini::splitKeyLine(ini::view(before, first)).key.toByteArray();

        QString error;
        QVERIFY2(WritePrivateProfileStringA(name, key, "changed", path, &error), qPrintable(error));
        const QByteArray after = readFile(path);
        const QByteArray line = key + "=changed";
        QCOMPARE(after.first(first.begin), before.first(first.begin));
        QCOMPARE(after.sliced(first.begin, line.size()), line);
        QCOMPARE(after.sliced(first.begin + line.size()), before.sliced(first.end));

        QVERIFY(WritePrivateProfileStringA(name, "New Key", "x", path, &error));
        const QByteArray withNew = readFile(path);
        QCOMPARE(withNew.size(), after.size() + 11);
        QCOMPARE(editorValue(withNew, name, "New Key"), std::optional<QByteArray>("x"));
        QCOMPARE(ini::sectionNames(withNew), names);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing folder") << QStringLiteral("missing");
        QTest::newRow("folder is a file") << QStringLiteral("under-file");
        QTest::newRow("folder that cannot be written") << QStringLiteral("proc");
        QTest::newRow("read-only file") << QStringLiteral("read-only");
        QTest::newRow("path is a folder") << QStringLiteral("folder");
    }
    void failures()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString path;
        QByteArray before;
        if (kind == u"missing") {
            path = dir.filePath(QStringLiteral("no/such/folder/Ferox.ini"));
        } else if (kind == u"under-file") {
            writeFile(dir.filePath(QStringLiteral("plain")), "x");
            path = dir.filePath(QStringLiteral("plain/Ferox.ini"));
        } else if (kind == u"proc") {
            // No one may create files here, root included.
            path = QStringLiteral("/proc/Ferox.ini");
        } else if (kind == u"read-only") {
            path = dir.filePath(QStringLiteral("Ferox.ini"));
            before = "[G]\r\nk=1\r\n";
            writeFile(path, before);
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        } else {
            path = dir.filePath(QStringLiteral("Ferox.ini"));
            QVERIFY(QDir().mkdir(path));
        }
        QString error;
        QVERIFY(!WritePrivateProfileStringA("G", "k", "v", path, &error));
        QVERIFY(!error.isEmpty());
        if (kind == u"read-only")
            QCOMPARE(readFile(path), before);
        else if (kind != u"folder")
            QVERIFY(!QFile::exists(path));
        // No temporary file is left behind.
        const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot);
        QVERIFY2(left.size() <= 1, qPrintable(left.join(u' ')));
    }

    void keepsPermissions()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, "[G]\r\n");
        const QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner
            | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        QVERIFY(QFile::setPermissions(path, mode));
        QVERIFY(WritePrivateProfileStringA("G", "k", "v", path));
        QCOMPARE(QFile::permissions(path) & 0x7077, mode);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestProfileWriter)
#include "test_profilewriter.moc"
