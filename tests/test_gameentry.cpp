#include "TestFiles.h"
#include "ini/FixedPath.h"
#include "ini/GameEntry.h"
#include "platform/AppFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestGameEntry : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private Q_SLOTS:
    void init()
    {
        appfolder::overrideForTesting(dir.path());
        QFile::remove(ini::fixedPath());
    }
    void cleanupTestCase() { appfolder::overrideForTesting({}); }

    void fixedPathIsTheProgramFolderPlusName()
    {
        QCOMPARE(ini::fixedPath(), dir.path() + QStringLiteral("/Ferox.ini"));
        // Plain concatenation: a folder ending in a separator gives a doubled one.
        appfolder::overrideForTesting(QStringLiteral("/"));
        QCOMPARE(ini::fixedPath(), QStringLiteral("//Ferox.ini"));
    }

    void existingSectionKeepsItsOtherKeys()
    {
        writeFile(ini::fixedPath(),
            "[Zed]\r\nx=1\r\n\r\n[kart 64 (u)]\r\nRating=Plays through\r\nucode=2\r\n\r\n"
            "[Last]\r\n");
        const gameentry::Outcome outcome
            = gameentry::add({ "Kart 64 (U)", " Kart ", "Slow = fix", "7x", "Ada" });
        QVERIFY2(outcome.ok, qPrintable(outcome.message));
        QCOMPARE(readFile(ini::fixedPath()),
            QByteArray("[Zed]\r\nx=1\r\n\r\n[kart 64 (u)]\r\nRating=Plays through\r\n"
                       "UCode=7x\r\n//=Ada\r\nAltTitle= Kart \r\n"
                       "Comments=Slow = fix\r\n\r\n[Last]\r\n"));
    }

    void unfitFieldWritesNothing_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("LF") << 0 << "A\n[B]"
                            << "\"Game name\" holds a line break";
        QTest::newRow("CR") << 4 << "A\r"
                            << "\"Your name\" holds a line break";
        QTest::newRow("NUL") << 2 << QString(QChar(0)) << "\"Comments\" holds a NUL character";
        QTest::newRow("beyond the code page")
            << 1 << "Kart \u30ab"
            << "\"Alternative game name\" holds the character \"\u30ab\" (U+30AB)";
        QTest::newRow("empty name") << 0 << ""
                                    << "game name is empty";
        QTest::newRow("blank name") << 0 << "  "
                                    << "game name is empty";
    }
    void unfitFieldWritesNothing()
    {
        QFETCH(int, index);
        QFETCH(QString, text);
        QFETCH(QString, message);
        gameentry::Fields fields = gameentry::prompts();
        QString *all[]
            = { &fields.name, &fields.altTitle, &fields.comments, &fields.ucode, &fields.submitter };
        *all[index] = text;
        const gameentry::Outcome outcome = gameentry::add(fields);
        QVERIFY(!outcome.ok);
        QVERIFY2(outcome.message.contains(message), qPrintable(outcome.message));
        QVERIFY(outcome.message.contains(QStringLiteral("Nothing was written.")));
        QVERIFY(!QFile::exists(ini::fixedPath()));
    }

    void failedWriteNamesFileAndReason()
    {
        writeFile(ini::fixedPath(), "[A]\r\n");
        QVERIFY(QFile::setPermissions(ini::fixedPath(), QFileDevice::ReadOwner));
        const gameentry::Outcome outcome = gameentry::add(gameentry::prompts());
        QFile::setPermissions(ini::fixedPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY(!outcome.ok);
        QVERIFY2(outcome.message.contains(ini::fixedPath()
                     + QStringLiteral("\ncould not be written (Permission "
                                      "denied)")),
            qPrintable(outcome.message));
        QCOMPARE(readFile(ini::fixedPath()), QByteArray("[A]\r\n"));
        // A refused write says where the file has to live and what to do.
        QVERIFY2(outcome.message.contains(QStringLiteral("beside the program, in\n") + dir.path()
                     + QStringLiteral("\nIf you cannot write there")),
            qPrintable(outcome.message));
    }

    void otherFailuresGiveNoFolderAdvice()
    {
        QVERIFY(QDir().mkdir(ini::fixedPath()));
        const gameentry::Outcome outcome = gameentry::add(gameentry::prompts());
        QDir().rmdir(ini::fixedPath());
        QVERIFY(!outcome.ok);
        QVERIFY2(outcome.message.contains(QStringLiteral("(Is a directory)")), qPrintable(outcome.message));
        QVERIFY2(
            !outcome.message.contains(QStringLiteral("beside the program")), qPrintable(outcome.message));
    }
};

QTEST_GUILESS_MAIN(TestGameEntry)
#include "test_gameentry.moc"
