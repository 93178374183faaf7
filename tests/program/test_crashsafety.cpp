#include "IniData.h"
#include "TestConfig.h"
#include "TestFiles.h"
#include "fileio/FileBytes.h"
#include "platform/ProfileWriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

// A write killed at any moment leaves the file whole: the old content or the
// new one, never a part of either. What a killed write leaves beside it, the
// next write removes.
//
// FEROX_KILL_ROUNDS sets the number of kills per kind of write (16 by default);
// docs/reliability.md gives the figures of a long run.
class TestCrashSafety : public QObject {
    Q_OBJECT

    // `text` after the single-key writes [from, to) of helper_addentries'
    // entries "K-0", "K-1", ..., four keys per entry.
    static QByteArray afterKeyWrites(QByteArray text, int from, int to)
    {
        for (int j = from; j < to; ++j) {
            const gameentry::Fields entry = helperEntry(QStringLiteral("K"), j / 4);
            const QByteArray keys[] = { "//", "AltTitle", "Comments", "UCode" };
            const QString values[] = { entry.submitter, entry.altTitle, entry.comments, entry.ucode };
            text = profile::updatedText(text, entry.name.toLatin1(), keys[j % 4], values[j % 4].toLatin1())
                       .text;
        }
        return text;
    }

private Q_SLOTS:
    void killedWriteLeavesOldOrNewFile_data()
    {
        QTest::addColumn<bool>("addEntry");
        QTest::newRow("editor update") << false;
        QTest::newRow("add entry") << true;
    }
    void killedWriteLeavesOldOrNewFile()
    {
        QFETCH(bool, addEntry);
        const int rounds = qEnvironmentVariableIsSet("FEROX_KILL_ROUNDS")
            ? qEnvironmentVariableIntValue("FEROX_KILL_ROUNDS")
            : 16;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("Ferox.ini"));
        QVERIFY(generateIni(QStringLiteral("3M"), file));
        const QByteArray original = readFile(file);
        QByteArray reversed = original;
        std::reverse(reversed.begin(), reversed.end());
        const QList<QByteArray> updated { original, original + "\r\n", reversed + "\r\n" };

        QRandomGenerator random(20261207);
        int interruptedAfterWrites = 0;
        int temporariesLeft = 0;
        int partEntries = 0; // an entry with only some of its keys
        for (int round = 0; round < rounds; ++round) {
            writeFile(file, original);
            QProcess helper;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            helper.setProcessEnvironment(env);
            if (addEntry)
                helper.start(QStringLiteral(FEROX_BUILD_TESTS_DIR "/helper_addentries"),
                    { dir.path(), QStringLiteral("K"), QStringLiteral("1000000") });
            else
                helper.start(QStringLiteral(FEROX_BUILD_TESTS_DIR "/helper_updateloop"), { file });
            QVERIFY(helper.waitForStarted());
            QTest::qSleep(150 + random.bounded(1000));
            helper.kill();
            QVERIFY(helper.waitForFinished());
            QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
            // One line per finished update or entry.
            const int finished = int(helper.readAllStandardOutput().count('\n'));
            if (finished > 0)
                ++interruptedAfterWrites;

            const QByteArray now = readFile(file);
            bool whole = false;
            if (addEntry) {
                // The finished entries, and the next one whole or not at all:
                // its four keys are one write. A state with some of them is
                // looked for too, to count and name it.
                QByteArray state = afterKeyWrites(original, 0, 4 * finished);
                for (int write = 4 * finished; write <= 4 * finished + 4 && !whole; ++write) {
                    whole = now == state;
                    if (whole && write % 4 != 0)
                        ++partEntries;
                    state = afterKeyWrites(state, write, write + 1);
                }
            } else {
                whole = updated.contains(now);
            }
            QVERIFY2(whole,
                qPrintable(
                    QStringLiteral("round %1: %2 bytes, neither old nor new").arg(round).arg(now.size())));

            const QStringList temporaries
                = QDir(dir.path()).entryList({ QStringLiteral("Ferox.ini.*") }, QDir::Files | QDir::Hidden);
            temporariesLeft += int(temporaries.size());
            // The next write removes what the killed one left.
            FileError error;
            QVERIFY2(filebytes::update(
                         file,
                         [](const filebytes::Snapshot &old, QList<filebytes::Piece> *pieces, FileError *) {
                             *pieces = { { {}, 0, old.size() } };
                             return true;
                         },
                         &error),
                qPrintable(error.text));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                QStringList { QStringLiteral("Ferox.ini") });
        }
        qInfo("%d kills, %d after at least one finished write, %d temporary files left by the kills, "
              "all removed by the next write, %d entries with only some of their keys",
            rounds, interruptedAfterWrites, temporariesLeft, partEntries);
        QCOMPARE(partEntries, 0);
        // The kills must have hit a running write loop, not only the start-up.
        QVERIFY2(interruptedAfterWrites >= rounds / 2, qPrintable(QString::number(interruptedAfterWrites)));
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "test_crashsafety.moc"
