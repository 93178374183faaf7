#include "TestFiles.h"

#include "fileio/DiskStamp.h"
#include "fileio/FileBytes.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <utime.h>

using namespace Qt::StringLiterals;

// The editor's memory of the file it loaded: every way another program may
// change the file is seen, also a change of the same size in the same clock
// tick, and a file nobody touched is never reported as changed.
class TestDiskStamp : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void changesAreSeen_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("quiet"); // the file was last changed a while before the load
        for (const bool quiet : { false, true }) {
            const char *when = quiet ? "quiet file" : "just written";
            for (const QString &change : { u"none"_s, u"same size in place"_s, u"other size"_s,
                     u"replaced, same bytes"_s, u"removed"_s, u"times put back"_s })
                QTest::addRow("%s, %s", when, qPrintable(change)) << change << quiet;
        }
    }
    void changesAreSeen()
    {
        QFETCH(QString, change);
        QFETCH(bool, quiet);
        const QByteArray original = "[A]\r\nk=1\r\n";
        const QString path = m_dir.filePath(u"stamp.ini"_s);
        QFile::remove(path);
        writeFile(path, original);
        if (quiet)
            QTest::qWait(150);
        const qint64 started = diskstamp::now();
        const diskstamp::Stamp stamp = diskstamp::take(path, started, { QByteArrayView(original) });
        QVERIFY(stamp.taken);
        QCOMPARE(stamp.hashed, !quiet);
        QCOMPARE(diskstamp::takeFromDisk(path, started).hash, stamp.hash);

        struct stat before { };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
        FileError error;
        if (change == u"same size in place") {
            writeFile(path, "[A]\r\nk=2\r\n");
        } else if (change == u"other size") {
            writeFile(path, "[A]\r\nk=10\r\n");
        } else if (change == u"replaced, same bytes") {
            QVERIFY(filebytes::replace(path, { original }, &error));
        } else if (change == u"removed") {
            QVERIFY(QFile::remove(path));
        } else if (change == u"times put back") {
            writeFile(path, "[A]\r\nk=2\r\n");
            struct utimbuf times {
                before.st_atime, before.st_mtime
            };
            QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
        }
        QCOMPARE(diskstamp::unchanged(path, stamp), change == u"none");
    }

    void noStampIsNeverUnchanged()
    {
        QVERIFY(!diskstamp::unchanged(m_dir.filePath(u"stamp.ini"_s), {}));
        QVERIFY(!diskstamp::take(m_dir.filePath(u"none.ini"_s), diskstamp::now(), {}).taken);
    }

    // The hash depends on the bytes only, not on how they arrive in pieces.
    void hashIgnoresPieces()
    {
        const QByteArray bytes = randomBytes(3 * 1024 * 1024 + 17, 5);
        const auto hashOf = [&](QList<qsizetype> cuts) {
            diskstamp::ContentHash hash;
            qsizetype at = 0;
            cuts << bytes.size();
            for (const qsizetype cut : cuts) {
                hash.add(QByteArrayView(bytes).sliced(at, cut - at));
                at = cut;
            }
            return hash.result();
        };
        const size_t whole = hashOf({});
        QCOMPARE(hashOf({ 1, 2, 1024 * 1024 }), whole);
        QCOMPARE(hashOf({ 1024 * 1024 - 1, 2 * 1024 * 1024 + 5 }), whole);
        QByteArray other = bytes;
        other[2 * 1024 * 1024] = static_cast<char>(other[2 * 1024 * 1024] ^ 1);
        diskstamp::ContentHash changed;
        changed.add(other);
        QVERIFY(changed.result() != whole);
        diskstamp::ContentHash longer;
        longer.add(bytes);
        longer.add(QByteArrayView("\0", 1));
        QVERIFY(longer.result() != whole);
    }
};

QTEST_GUILESS_MAIN(TestDiskStamp)
#include "test_diskstamp.moc"
