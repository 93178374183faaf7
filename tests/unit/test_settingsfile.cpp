#include "LineModel.h"
#include "SectionKeys.h"
#include "TestFiles.h"
#include "core/IniText.h"
#include "ini/SettingsFile.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The editor reads files in pieces; what it finds must be what the line model
// finds in the whole text, wherever the pieces end, and what it reads from a
// text in memory.
class TestSettingsFile : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    static QByteArray filler(qsizetype bytes)
    {
        QByteArray text;
        for (int i = 0; text.size() < bytes; ++i)
            text += "[Filler " + QByteArray::number(i) + "]\r\nk=[v]\r\nn=" + QByteArray::number(i)
                + "\r\n\r\n";
        return text;
    }

private Q_SLOTS:
    void namesAndKeysOfALargeFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("name");
        QByteArray longBody = "[Target]\r\n";
        for (int i = 0; longBody.size() < 300 * 1024; ++i)
            longBody += "key" + QByteArray::number(i) + "=value " + QByteArray::number(i) + "\r\n";
        QTest::newRow("body longer than the first read")
            << filler(300 * 1024) + longBody + "\r\n[After]\r\nx=1\r\n"
            << "Target"_ba;
        QTest::newRow("body to the end of the file") << filler(10 * 1024) + longBody << "Target"_ba;
        for (const int shift : { -5, -3, -2, -1, 0, 1 }) {
            // A head line whose start or line end falls on the piece boundary.
            QByteArray text = filler(256 * 1024 - 200);
            text += QByteArray(256 * 1024 + shift - text.size() - 2, 'x') + "\r\n";
            text += "[Target] tail\r\na=1\r\nb=2\r\n";
            QTest::newRow(qPrintable(u"head at boundary %1"_s.arg(shift))) << text << "Target"_ba;
        }
        QTest::newRow("cr at the boundary, lf after it")
            << QByteArray(256 * 1024 - 1, 'x') + "\r\n[Target]\r\nk=v"
            << "Target"_ba;
        for (const int shift : { -3, -1, 0, 1 }) {
            // Blanks before a head, and LF line ends, across the boundary.
            QByteArray text = "\xEF\xBB\xBF" + filler(256 * 1024 - 200);
            text += QByteArray(256 * 1024 + shift - text.size() - 1, 'x') + "\n";
            text += "  \t[Target] ; note\na=1\n[broken\nb=2\n";
            QTest::newRow(qPrintable(u"lf, blanks before a head at boundary %1"_s.arg(shift)))
                << text << "Target"_ba;
        }
        QTest::newRow("head without line end at the end") << filler(1000) + "[Target]"
                                                          << "Target"_ba;
        QTest::newRow("missing section") << filler(300 * 1024) << "Target"_ba;
        QTest::newRow("look-alikes and a duplicate")
            << "[target]\r\nk=0\r\n [Target]\r\nk=1\r\n[Targets]\r\nk=2\r\n[Target] one\r\nk=3\r\n"
               "[Target]\r\nk=4\r\n"_ba
            << "Target"_ba;
    }
    void namesAndKeysOfALargeFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, name);
        const QString path = writeFile(m_dir, u"f.ini"_s, text);
        QVERIFY(!path.isEmpty());
        QList<QByteArray> names;
        const settingsfile::ReadResult read = settingsfile::readSectionNames(path, &names);
        QVERIFY(read.ok);
        QCOMPARE(read.encoding, ini::encodingOf(text));
        QCOMPARE(names, linemodel::sectionNames(text));
        settingsfile::KeyLines lines;
        QVERIFY(settingsfile::readSectionKeys(path, name, &lines).ok);
        const QList<sectionkeys::Key> expected = sectionkeys::of(text, name);
        QCOMPARE(lines.keys, sectionkeys::names(expected));
        QCOMPARE(lines.values, sectionkeys::values(expected));
        // The same from the text in memory, as the editor reads it after a save.
        QCOMPARE(settingsfile::sectionNamesIn(text), names);
        bool unchanged = false;
        const QList<qsizetype> heads = settingsfile::sectionHeadsIn(text, names, &unchanged);
        QVERIFY(unchanged);
        QCOMPARE(heads.size(), names.size());
        const qsizetype first = names.indexOf(name);
        for (const qsizetype headAt : { qsizetype(-1), first < 0 ? qsizetype(-1) : heads.at(first) }) {
            const settingsfile::KeyLines inMemory = settingsfile::sectionKeysIn(text, name, headAt);
            QCOMPARE(inMemory.keys, lines.keys);
            QCOMPARE(inMemory.values, lines.values);
        }
        // Any name other than the file's is told apart.
        QList<QByteArray> other = names;
        other.append("Extra");
        settingsfile::sectionHeadsIn(text, other, &unchanged);
        QVERIFY(!unchanged);
        if (!names.isEmpty()) {
            other = names;
            other.last() += 'x';
            settingsfile::sectionHeadsIn(text, other, &unchanged);
            QVERIFY(!unchanged);
        }
    }

    void missingFileIsReportedAsSuch()
    {
        QList<QByteArray> names;
        const settingsfile::ReadResult result
            = settingsfile::readSectionNames(m_dir.filePath(u"none.ini"_s), &names);
        QVERIFY(!result.ok);
        QCOMPARE(result.error.kind, FileError::Kind::NotFound);
        settingsfile::KeyLines lines;
        const settingsfile::ReadResult keys = settingsfile::readSectionKeys(u""_s, "A", &lines);
        QVERIFY(!keys.ok);
        QCOMPARE(keys.error.kind, FileError::Kind::NotFound);
        // A folder exists but is no file: a failure, not "not found".
        const settingsfile::ReadResult folder = settingsfile::readSectionNames(m_dir.path(), &names);
        QVERIFY(!folder.ok);
        QCOMPARE(folder.error.kind, FileError::Kind::NotRegular);
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settingsfile.moc"
