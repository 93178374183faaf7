#include "IniData.h"
#include "LineModel.h"
#include "PlatformProfile.h"
#include "SectionKeys.h"
#include "TestFiles.h"
#include "core/IniText.h"
#include "fileio/FileBytes.h"
#include "platform/ProfileWriter.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <QSet>

#include <optional>

namespace {

// What the editor lists for `section` and `key`: the value it shows after
// finding the section through its own readers, or nothing.
std::optional<QByteArray> editorValue(
    const QByteArray &text, const QByteArray &section, const QByteArray &key)
{
    for (const QByteArray &name : linemodel::sectionNames(text)) {
        if (!profile::sameName(name, section))
            continue;
        const ini::Section found = ini::findSection(text, name);
        if (!found.found)
            return std::nullopt;
        for (const sectionkeys::Key &kv : sectionkeys::of(text, found))
            if (profile::sameName(kv.name, key))
                return kv.value;
        return std::nullopt;
    }
    return std::nullopt;
}

// The four keys of a game entry, in the order add entry writes them.
const QList<profile::KeyWrite> kEntry
    = { { "//", "Me" }, { "AltTitle", "Alt" }, { "Comments", "C" }, { "UCode", "2" } };

// The keys written one after the other, each on the text the last one left.
profile::Updated writtenInTurn(
    QByteArray text, const QByteArray &section, const QList<profile::KeyWrite> &writes)
{
    for (const profile::KeyWrite &write : writes) {
        const profile::Updated updated = profile::updatedText(text, section, write.key, write.value);
        if (!updated.ok)
            return updated;
        text = updated.text;
    }
    return { true, text, {} };
}

// The keys written as one edit, the text scanned in pieces of `pieceSize`.
QByteArray writtenAtOnce(const QByteArray &text, const QByteArray &section,
    const QList<profile::KeyWrite> &writes, qsizetype pieceSize = profile::kPieceSize)
{
    const profile::Plan plan = profile::planWrites(text, section, writes, pieceSize);
    if (!plan.ok)
        return {};
    return profile::applied(text, plan.edits);
}

// What the emulator reads of every section but the one it finds by `section`
// (the sections a write must leave alone).
QList<platformprofile::Section> othersThanTarget(const QByteArray &text, const QByteArray &section)
{
    QList<platformprofile::Section> sections = platformprofile::read(text);
    const qsizetype at = platformprofile::sectionIndex(sections, section, platformprofile::hasUtf8Mark(text));
    if (at >= 0)
        sections.removeAt(at);
    return sections;
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
        // An added line end must not join a lone CR and an LF beside it into
        // one: the empty line that ends the body would be gone.
        QTest::newRow("CR-first file, key added before an LF empty line")
            << QByteArray("[S]\ra=1\r\n\nb=2\n") << QByteArray("S") << QByteArray("k") << QByteArray("v")
            << QByteArray("[S]\ra=1\r\nk=v\r\n\nb=2\n") << true;
        QTest::newRow("LF-first file ending in a lone CR, new section")
            << QByteArray("[A]\na=1\r") << QByteArray("B") << QByteArray("k") << QByteArray("v")
            << QByteArray("[A]\na=1\r\r\n[B]\nk=v\n") << true;
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
        FileError error;
        QVERIFY2(WritePrivateProfileStringA(section, key, value, path, &error), qPrintable(error.text));
        QCOMPARE(readFile(path), after);
    }

    // Add entry's four keys on files as they exist in the wild; each result is
    // checked byte for byte and as the emulator reads it.
    void entryAsTheEmulatorReadsIt_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("lone LF inside a replaced line")
            << QByteArray("[Game]\r\nAltTitle=old\n[Other]\r\nUCode=9\r\nKeep=1\r\n")
            << QByteArray("[Game]\r\nAltTitle=Alt\n//=Me\r\nComments=C\r\nUCode=2\r\n[Other]\r\nUCode=9\r\n"
                          "Keep=1\r\n");
        QTest::newRow("LF-only file")
            << QByteArray("[Other]\nA=1\n\n[Game]\nAltTitle=old\nUCode=1\n")
            << QByteArray("[Other]\nA=1\n\n[Game]\nAltTitle=Alt\nUCode=2\n//=Me\nComments=C\n");
        QTest::newRow("LF CR file")
            << QByteArray("[Other]\n\rA=1\n\r\n\r[Game]\n\rAltTitle=old\n\r")
            << QByteArray("[Other]\n\rA=1\n\r\n\r[Game]\n//=Me\nComments=C\nUCode=2\n\rAltTitle=Alt\n\r");
        QTest::newRow("CR-only file")
            << QByteArray("[Game]\rUCode=1\r\r[B]\r")
            << QByteArray("[Game]\rUCode=2\r//=Me\rAltTitle=Alt\rComments=C\r\r[B]\r");
        QTest::newRow("LF at the start") << QByteArray(
            "\n[Game]\nUCode=1\n") << QByteArray("\n[Game]\nUCode=2\n//=Me\nAltTitle=Alt\nComments=C\n");
        QTest::newRow("comment after the head")
            << QByteArray("[Game] ; comment\r\nAltTitle=old\r\n")
            << QByteArray("[Game] ; comment\r\nAltTitle=Alt\r\n//=Me\r\nComments=C\r\nUCode=2\r\n");
        QTest::newRow("text right after the head") << QByteArray(
            "[Game]x\r\n") << QByteArray("[Game]x\r\n//=Me\r\nAltTitle=Alt\r\nComments=C\r\nUCode=2\r\n");
        QTest::newRow("blanks after the head")
            << QByteArray("[Game] \t\r\n\r\n[B]\r\n")
            << QByteArray("[Game] \t\r\n//=Me\r\nAltTitle=Alt\r\nComments=C\r\nUCode=2\r\n\r\n[B]\r\n");
        QTest::newRow("blanks before the head")
            << QByteArray("[A]\r\n \t[game]\r\nk=1\r\n")
            << QByteArray("[A]\r\n \t[game]\r\nk=1\r\n//=Me\r\nAltTitle=Alt\r\nComments=C\r\nUCode=2\r\n");
        // The emulator passes over vertical tab, form feed and Ctrl-Z like
        // space and tab: the entry must land in the section and key it reads.
        QTest::newRow("vertical tab before the head")
            << QByteArray("\v[Game]\r\nUCode=1\r\n")
            << QByteArray("\v[Game]\r\nUCode=2\r\n//=Me\r\nAltTitle=Alt\r\nComments=C\r\n");
        QTest::newRow("Ctrl-Z before the head, form feed in the name")
            << QByteArray("[A]\r\n\x1a[\fGame\x1a]\r\n")
            << QByteArray("[A]\r\n\x1a[\fGame\x1a]\r\n//=Me\r\nAltTitle=Alt\r\nComments=C\r\nUCode=2\r\n");
        QTest::newRow("Ctrl-Z and form feed around keys")
            << QByteArray("[Game]\r\nUCode\x1a=1\r\n\fAltTitle\v=old\r\n")
            << QByteArray("[Game]\r\nUCode=2\r\nAltTitle=Alt\r\n//=Me\r\nComments=C\r\n");
        QTest::newRow("line without its closing bracket inside the section")
            << QByteArray("[Game]\r\nA=1\r\n[broken\r\nUCode=1\r\n")
            << QByteArray("[Game]\r\nA=1\r\n[broken\r\nUCode=2\r\n//=Me\r\nAltTitle=Alt\r\nComments=C\r\n");
        QTest::newRow("UTF-8 byte-order mark before the head")
            << QByteArray("\xEF\xBB\xBF[Game]\r\nAltTitle=old\r\n")
            << QByteArray("\xEF\xBB\xBF[Game]\r\nAltTitle=Alt\r\n//=Me\r\nComments=C\r\nUCode=2\r\n");
        QTest::newRow("UTF-8 name in other letter case")
            << QByteArray("\xEF\xBB\xBF[GAME \xC3\x89]\r\n")
            << QByteArray(
                   "\xEF\xBB\xBF[GAME \xC3\x89]\r\n//=Me\r\nAltTitle=Alt\r\nComments=C\r\nUCode=2\r\n");
        QTest::newRow("new section in an LF file without last line end") << QByteArray(
            "[A]\nk=1") << QByteArray("[A]\nk=1\n\n[Game]\n//=Me\nAltTitle=Alt\nComments=C\nUCode=2\n");
        QTest::newRow("new file") << QByteArray()
                                  << QByteArray(
                                         "[Game]\r\n//=Me\r\nAltTitle=Alt\r\nComments=C\r\nUCode=2\r\n");
    }
    void entryAsTheEmulatorReadsIt()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        const QByteArray section
            = before.startsWith("\xEF") && before.contains("\xC3\x89") ? "game \xC3\xA9" : "Game";
        QCOMPARE(writtenAtOnce(before, section, kEntry), after);
        QCOMPARE(writtenInTurn(before, section, kEntry).text, after);
        for (const profile::KeyWrite &write : kEntry)
            QCOMPARE(
                platformprofile::value(after, section, write.key), std::optional<QByteArray>(write.value));
        QCOMPARE(othersThanTarget(after, section), othersThanTarget(before, section));
        // Nothing but the entry's own section is added, and only when missing.
        const bool existed = platformprofile::sectionIndex(
                                 platformprofile::read(before), section, platformprofile::hasUtf8Mark(before))
            >= 0;
        QCOMPARE(
            platformprofile::read(after).size(), platformprofile::read(before).size() + (existed ? 0 : 1));
        // The editor lists what the emulator sees.
        QCOMPARE(linemodel::sectionNames(after), platformprofile::names(after));
    }

    // Writer and readers agree on every input: random files of heads (plain,
    // annotated, after blanks, broken), key lines, empty lines, every line end
    // and byte-order marks, with random keys written to a random section.
    void randomFilesAgree()
    {
        QRandomGenerator random(12);
        const QList<QByteArray> heads = { "[A]", "[a] ; note", " \t[B]x", "[ A ]", "[]", "[broken", "[C [!]]",
            "x [A]", "[B] ]", "\v[\fA\x1a]" };
        const QList<QByteArray> lines = { "k=1", " K = 2 ", "//=x", "AltTitle=", "loose", "=v", "[k=v",
            "k=[A]", " ", "a=b=c", "\x1ak\v=3", "\f" };
        const QList<QByteArray> ends = { "\r\n", "\n", "\r" };
        const QList<QByteArray> sections = { "A", "a", " B", "C [!]", "New", "" };
        const QList<QByteArray> keys = { "k", "K", "//", "AltTitle", "New Key", "loose" };
        const auto pick = [&](const QList<QByteArray> &from) { return from[random.bounded(from.size())]; };
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        for (int round = 0; round < 3000; ++round) {
            QByteArray text;
            const int kind = random.bounded(4);
            if (kind == 0)
                text += "\xEF\xBB\xBF";
            if (kind == 1)
                text += pick(ends);
            const int count = random.bounded(12);
            for (int i = 0; i < count; ++i) {
                const int what = random.bounded(10);
                if (what < 3)
                    text += pick(heads);
                else if (what < 9)
                    text += pick(lines);
                // (else an empty line)
                if (i + 1 < count || random.bounded(2))
                    text += kind == 2 ? QByteArray("\r\n") : pick(ends);
            }
            QList<profile::KeyWrite> writes;
            for (int i = 0, n = 1 + random.bounded(4); i < n; ++i)
                writes.append({ pick(keys), "v" + QByteArray::number(i) + (random.bounded(2) ? " =x" : "") });
            const QByteArray section = pick(sections);
            const QString context
                = QStringLiteral("text %1, section \"%2\"")
                      .arg(QString::fromLatin1(text.toPercentEncoding()), QString::fromLatin1(section));

            // Readers: the names the emulator sees, in order, also in pieces.
            QCOMPARE(linemodel::sectionNames(text), platformprofile::names(text));
            QList<QByteArray> inPieces;
            ini::HeadReader reader;
            const auto add = [&](qsizetype, QByteArrayView line) {
                inPieces.append(ini::headName(line)->toByteArray());
                return true;
            };
            for (qsizetype at = 0; at < text.size();) {
                const qsizetype n = 1 + random.bounded(4);
                reader.feed(QByteArrayView(text).sliced(at, std::min(n, text.size() - at)), add);
                at += n;
            }
            reader.finish(add);
            QCOMPARE(inPieces, platformprofile::names(text));

            const profile::Updated inTurn = writtenInTurn(text, section, writes);
            if (ini::withoutBlanks(section).isEmpty()) {
                QVERIFY(!inTurn.ok);
                QVERIFY(!profile::planWrites(text, section, writes).ok);
                continue;
            }
            QVERIFY2(inTurn.ok, qPrintable(context));
            const QByteArray after = inTurn.text;
            // One edit gives the same bytes as the writes in turn, wherever the
            // pieces the file is read in end, and so does the file function.
            QVERIFY2(writtenAtOnce(text, section, writes) == after, qPrintable(context));
            QVERIFY2(
                writtenAtOnce(text, section, writes, 1 + random.bounded(5)) == after, qPrintable(context));
            if (round % 10 == 0) {
                writeFile(path, text);
                const auto compose = [&](ini::Encoding) { return ProfileKeys { section, writes, {} }; };
                FileError error;
                QVERIFY2(writePrivateProfileKeys(path, compose, &error), qPrintable(error.text));
                QVERIFY2(readFile(path) == after, qPrintable(context));
            }
            // The emulator reads each key's last value, and the other sections
            // as they were.
            for (const profile::KeyWrite &write : writes) {
                QByteArray last;
                for (const profile::KeyWrite &w : writes)
                    if (profile::sameName(w.key, write.key))
                        last = w.value;
                QVERIFY2(platformprofile::value(after, section, write.key) == std::optional<QByteArray>(last),
                    qPrintable(context + QStringLiteral(", key ") + QString::fromLatin1(write.key)));
            }
            QVERIFY2(
                othersThanTarget(after, section) == othersThanTarget(text, section), qPrintable(context));
            QCOMPARE(linemodel::sectionNames(after), platformprofile::names(after));
            // The editor's key list of each section is the start of what the
            // emulator reads there (it stops at the first empty line).
            const QList<platformprofile::Section> read = platformprofile::read(after);
            QSet<QByteArray> seen;
            for (const platformprofile::Section &expected : read) {
                if (seen.contains(expected.name))
                    continue;
                seen.insert(expected.name);
                const ini::Section found = ini::findSection(after, expected.name);
                QVERIFY(found.found);
                QList<platformprofile::Key> listed;
                for (const ini::Line &line : found.keyLines) {
                    const ini::KeyValue kv = ini::splitKeyLine(ini::view(after, line));
                    if (!ini::withoutBlanks(kv.key).isEmpty() || !kv.value.isEmpty()
                        || ini::view(after, line).contains('='))
                        listed.append({ platformprofile::trimmed(kv.key.toByteArray()),
                            platformprofile::trimmed(kv.value.toByteArray()) });
                }
                QVERIFY2(listed == expected.keys.first(std::min(listed.size(), expected.keys.size())),
                    qPrintable(context));
            }
        }
    }

    // A section of many megabytes (one huge game, or a file that is one
    // section) is planned reading a piece at a time, never whole: memory does
    // not grow with the section. The keys land where the writes in turn put
    // them, also a key whose line is cut by the end of a piece, and one
    // found only near the section's end.
    void hugeSectionIsReadAPieceAtATime()
    {
        QByteArray text = "[Other]\r\nk=1\r\n\r\n[Big]\r\n";
        for (int i = 0; text.size() < (6 << 20); ++i)
            text += "Key " + QByteArray::number(i) + " = value " + QByteArray::number(i) + "\r\n";
        text += "\r\n  Comments   =old\r\n[After]\r\nk=2\r\n";
        const QList<profile::KeyWrite> writes
            = { { "//", "me" }, { "comments", "new" }, { "Key 7", "seven" }, { "//", "again" } };
        qint64 largest = 0;
        const auto read = [&](qint64 offset, qint64 size, QByteArray *out, QString *) {
            largest = std::max(largest, size);
            *out = text.sliced(offset, std::min<qint64>(size, text.size() - offset));
            return true;
        };
        const auto compose = [&](ini::Encoding) { return ProfileKeys { "Big", writes, {} }; };
        const profile::Plan plan = profile::planOn(text.size(), read, compose, 4096 + 7);
        QVERIFY2(plan.ok, qPrintable(plan.error));
        QVERIFY2(largest <= 4096 + 7, qPrintable(QString::number(largest)));
        QCOMPARE(plan.edits.size(), 3);
        const profile::Updated inTurn = writtenInTurn(text, "Big", writes);
        QVERIFY(inTurn.ok);
        QVERIFY(profile::applied(text, plan.edits) == inTurn.text);
        QVERIFY(inTurn.text.contains("\r\ncomments=new\r\n[After]"));
        QVERIFY(inTurn.text.contains("\r\nKey 7=seven\r\n"));
    }

    // The section's end is found by the scan of its lines, in pieces of any
    // size: the next head (cut by a piece's end, after blanks, without a line
    // end at the text's end) ends it, a line that only looks like one does
    // not, and nothing after the end is read.
    void sectionEndIsFoundInPieces_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("next head") << QByteArray("[Big]\r\na=1\r\nb=2\r\n[After]\r\nUCode=9\r\n");
        QTest::newRow("blanks before it") << QByteArray("[Big]\na=1\n \t\v[After]\nUCode=9\n");
        QTest::newRow("no line end at the end") << QByteArray("[Big]\ra=1\r\x1a[After]");
        QTest::newRow("no head without ]") << QByteArray("[Big]\r\na=1\r\n[broken\r\nUCode=1\r\n");
        QTest::newRow("] far along") << QByteArray("[Big]\r\na=1\r\n  [x = long line ]\r\nUCode=1\r\n");
        QTest::newRow("body ends, key later")
            << QByteArray("[Big]\r\na=1\r\n\r\nUCode=1\r\n[After]\r\nUCode=9");
        QTest::newRow("last section") << QByteArray("[x]\r\n\r\n[Big]\r\na=1\r\nUCode=1");
    }
    void sectionEndIsFoundInPieces()
    {
        QFETCH(QByteArray, text);
        const QList<profile::KeyWrite> writes = { { "UCode", "2" }, { "//", "me" } };
        const profile::Updated inTurn = writtenInTurn(text, "Big", writes);
        QVERIFY(inTurn.ok);
        const qsizetype after = text.indexOf("[After]");
        for (const qsizetype pieceSize : { 1, 2, 3, 5, 8, 4096 }) {
            qint64 readTo = 0;
            const auto read = [&](qint64 offset, qint64 size, QByteArray *out, QString *) {
                *out = text.sliced(offset, std::min<qint64>(size, text.size() - offset));
                readTo = std::max(readTo, offset + out->size());
                return true;
            };
            const auto compose = [&](ini::Encoding) { return ProfileKeys { "Big", writes, {} }; };
            const profile::Plan plan = profile::planOn(text.size(), read, compose, pieceSize);
            QVERIFY2(plan.ok, qPrintable(plan.error));
            QCOMPARE(profile::applied(text, plan.edits), inTurn.text);
            // The scan stops with the piece that holds the next head's line end.
            if (after >= 0 && pieceSize < 16)
                QVERIFY2(readTo <= after + 8 + pieceSize, qPrintable(QString::number(pieceSize)));
        }
    }

    // The fast head search skips lines but must see the same heads as the line
    // reader: "[" at the start or after a line end, blanks between allowed.
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
        linemodel::forEachLine(text, [&](const ini::Line &line) {
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
        QTest::newRow("key read as a head after Ctrl-Z")
            << QByteArray("G") << QByteArray("\x1a[k") << QByteArray("v]");
        QTest::newRow("key of form feed and vertical tab")
            << QByteArray("G") << QByteArray("\f\v") << QByteArray("v");
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
        FileError error;
        QVERIFY(!WritePrivateProfileStringA(section, key, value, path, &error));
        QCOMPARE(error.kind, FileError::Kind::Refused);
        QCOMPARE(error.text, updated.error);
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
        QCOMPARE(linemodel::sectionNames(text), (QList<QByteArray> { "Other", section }));
        const ini::Section found = ini::findSection(text, section);
        QVERIFY(found.found);
        QCOMPARE(found.keyLines.size(), 4);
        const QList<QByteArray> expected
            = { "//=v //", "AltTitle=v AltTitle", "Comments=v Comments", "UCode=v UCode" };
        for (int i = 0; i < 4; ++i)
            QCOMPARE(ini::view(text, found.keyLines[i]).toByteArray(), expected[i]);
    }

    // A realistic file, with each kind of line end: touching one section leaves
    // the rest byte for byte, and the emulator sees the sections the editor lists.
    void generatedFileKeepsEveryOtherByte_data()
    {
        QTest::addColumn<QString>("lineEnd");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("CR LF") << QStringLiteral("crlf") << QByteArray("\r\n");
        QTest::newRow("LF") << QStringLiteral("lf") << QByteArray("\n");
        QTest::newRow("CR") << QStringLiteral("cr") << QByteArray("\r");
    }
    void generatedFileKeepsEveryOtherByte()
    {
        QFETCH(QString, lineEnd);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        QVERIFY(generateIni(QStringLiteral("64K"), path,
            { QStringLiteral("--seed"), QStringLiteral("7"), QStringLiteral("--line-end"), lineEnd }));
        const QByteArray before = readFile(path);
        QVERIFY(before.size() > 60000);
        const QList<QByteArray> names = linemodel::sectionNames(before);
        QCOMPARE(names, platformprofile::names(before));
        const QByteArray name = names.at(names.size() / 2);
        const ini::Section section = ini::findSection(before, name);
        QVERIFY(section.found && !section.keyLines.isEmpty());
        const ini::Line first = section.keyLines.first();
        const QByteArray key = ini::splitKeyLine(ini::view(before, first)).key.toByteArray();

        FileError error;
        QVERIFY2(WritePrivateProfileStringA(name, key, "changed", path, &error), qPrintable(error.text));
        const QByteArray after = readFile(path);
        const QByteArray line = key + "=changed";
        QCOMPARE(after.first(first.begin), before.first(first.begin));
        QCOMPARE(after.sliced(first.begin, line.size()), line);
        QCOMPARE(after.sliced(first.begin + line.size()), before.sliced(first.end));

        QVERIFY(WritePrivateProfileStringA(name, "New Key", "x", path, &error));
        const QByteArray withNew = readFile(path);
        QCOMPARE(withNew.size(), after.size() + 9 + bytes.size());
        QVERIFY(withNew.contains(QByteArray("New Key=x" + bytes)));
        QCOMPARE(platformprofile::value(withNew, name, "New Key"), std::optional<QByteArray>("x"));
        QCOMPARE(editorValue(withNew, name, "New Key"), std::optional<QByteArray>("x"));
        QCOMPARE(linemodel::sectionNames(withNew), names);
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
        FileError error;
        QVERIFY(!WritePrivateProfileStringA("G", "k", "v", path, &error));
        QVERIFY(!error.text.isEmpty());
        QVERIFY(error.kind != FileError::Kind::Refused);
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
