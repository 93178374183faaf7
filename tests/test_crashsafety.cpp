#include "TestConfig.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

// An update killed at any moment leaves the file whole: the old content or the
// new one, never a part of either.
class TestCrashSafety : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedUpdateLeavesOldOrNewFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("Ferox.ini"));
        QProcess gen;
        gen.start(QStringLiteral(FEROX_SYSTEM_PYTHON),
            { QStringLiteral(FEROX_SCRIPTS_DIR "/generate-ini"), QStringLiteral("3M"), file });
        QVERIFY(gen.waitForFinished(60000));
        QCOMPARE(gen.exitCode(), 0);

        QFile source(file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray original = source.readAll();
        source.close();
        QByteArray reversed = original;
        std::reverse(reversed.begin(), reversed.end());
        const QList<QByteArray> whole { original, original + "\r\n", reversed + "\r\n" };

        QRandomGenerator random(20261207);
        int interruptedAfterUpdates = 0;
        for (int round = 0; round < 16; ++round) {
            {
                QFile reset(file);
                QVERIFY(reset.open(QIODevice::WriteOnly | QIODevice::Truncate));
                QCOMPARE(reset.write(original), original.size());
            }
            QProcess helper;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            helper.setProcessEnvironment(env);
            helper.start(QStringLiteral(FEROX_BUILD_TESTS_DIR "/helper_updateloop"), { file });
            QVERIFY(helper.waitForStarted());
            QTest::qSleep(150 + random.bounded(1000));
            helper.kill();
            QVERIFY(helper.waitForFinished());
            QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
            if (!helper.readAllStandardOutput().isEmpty())
                ++interruptedAfterUpdates;

            QFile result(file);
            QVERIFY(result.open(QIODevice::ReadOnly));
            const QByteArray now = result.readAll();
            QVERIFY2(whole.contains(now),
                qPrintable(
                    QStringLiteral("round %1: %2 bytes, neither old nor new").arg(round).arg(now.size())));
            // A killed update may leave its unfinished temporary file behind.
            for (const QString &left :
                QDir(dir.path()).entryList({ QStringLiteral("Ferox.ini.*") }, QDir::Files))
                QFile::remove(dir.filePath(left));
        }
        // The kills must have hit a running update loop, not only the start-up.
        QVERIFY2(interruptedAfterUpdates >= 8, qPrintable(QString::number(interruptedAfterUpdates)));
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "test_crashsafety.moc"
