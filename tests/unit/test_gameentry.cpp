#include "TestConfig.h"
#include "TestFiles.h"
#include "ini/FixedPath.h"
#include "ini/GameEntry.h"
#include "platform/AppFolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

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

    // The file's byte-order mark decides how the texts are written: UTF-8 in a
    // UTF-8 file, the code page elsewhere; a UTF-16 file is refused whole.
    void encodingOfTheFile_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("after"); // empty: refused, file unchanged
        QTest::addColumn<QString>("message");
        QTest::newRow("UTF-8 file") << QByteArray("\xEF\xBB\xBF[A]\r\n") << QStringLiteral("Caf\u00E9 \u2603")
                                    << QByteArray(
                                           "\xEF\xBB\xBF[A]\r\n\r\n[Caf\xC3\xA9 \xE2\x98\x83]\r\n//=S\r\n"
                                           "AltTitle=\xC3\x9C\r\nComments=C\r\nUCode=2\r\n")
                                    << QString();
        QTest::newRow("UTF-8 file, name in other letter case")
            << QByteArray("\xEF\xBB\xBF[CAF\xC3\x89]\nUCode=1\n") << QStringLiteral("caf\u00E9")
            << QByteArray("\xEF\xBB\xBF[CAF\xC3\x89]\nUCode=2\n//=S\nAltTitle=\xC3\x9C\nComments=C\n")
            << QString();
        QTest::newRow("code page file") << QByteArray("[A]\r\n") << QStringLiteral("Caf\u00E9")
                                        << QByteArray("[A]\r\n\r\n[Caf\xE9]\r\n//=S\r\nAltTitle=\xDC\r\n"
                                                      "Comments=C\r\nUCode=2\r\n")
                                        << QString();
        QTest::newRow("code page file, character beyond it")
            << QByteArray("[A]\r\n") << QStringLiteral("\u2603") << QByteArray()
            << QStringLiteral("\"Game name\" holds the character \"\u2603\" (U+2603)");
        QTest::newRow("UTF-16 little-endian") << QByteArray("\xFF\xFE[\0A\0]\0", 8) << QStringLiteral("A")
                                              << QByteArray() << QStringLiteral("UTF-16");
        QTest::newRow("UTF-16 big-endian") << QByteArray("\xFE\xFF\0[\0A\0]", 8) << QStringLiteral("A")
                                           << QByteArray() << QStringLiteral("UTF-16");
    }
    void encodingOfTheFile()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, name);
        QFETCH(QByteArray, after);
        QFETCH(QString, message);
        writeFile(ini::fixedPath(), before);
        const gameentry::Outcome outcome = gameentry::add({ name, QStringLiteral("\u00DC"),
            QStringLiteral("C"), QStringLiteral("2"), QStringLiteral("S") });
        if (after.isEmpty()) {
            QVERIFY(!outcome.ok);
            QVERIFY2(outcome.message.contains(message), qPrintable(outcome.message));
            QVERIFY2(outcome.message.contains(QStringLiteral("Nothing was written.")),
                qPrintable(outcome.message));
            QCOMPARE(readFile(ini::fixedPath()), before);
        } else {
            QVERIFY2(outcome.ok, qPrintable(outcome.message));
            QCOMPARE(readFile(ini::fixedPath()), after);
        }
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

    // Failures the folder has no part in name their own cause and give no
    // advice about where the program lives.
    void otherFailuresGiveNoFolderAdvice_data()
    {
        QTest::addColumn<int>("flag"); // a file flag (chattr), or 0 for a folder in the file's place
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder") << 0 << QStringLiteral("(Is a directory)");
        QTest::newRow("immutable") << int(FS_IMMUTABLE_FL) << QStringLiteral("marked immutable (chattr +i)");
        QTest::newRow("append-only") << int(FS_APPEND_FL) << QStringLiteral("marked append-only (chattr +a)");
    }
    void otherFailuresGiveNoFolderAdvice()
    {
        QFETCH(int, flag);
        QFETCH(QString, reason);
        const QString path = ini::fixedPath();
        int flags = 0;
        int fd = -1;
        if (flag == 0) {
            QVERIFY(QDir().mkdir(path));
        } else {
            writeFile(path, "[A]\r\n");
            fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
            QVERIFY(fd >= 0);
            if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
                ::close(fd);
                QFile::remove(path);
                QSKIP("The file system of the temporary folder has no file flags (chattr).");
            }
            const int marked = flags | flag;
            if (::ioctl(fd, FS_IOC_SETFLAGS, &marked) != 0) {
                ::close(fd);
                QFile::remove(path);
                QSKIP("Marking a file immutable or append-only needs root.");
            }
        }
        const gameentry::Outcome outcome = gameentry::add(gameentry::prompts());
        if (fd >= 0) {
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
            ::close(fd);
            QCOMPARE(readFile(path), QByteArray("[A]\r\n"));
            QFile::remove(path);
        } else {
            QDir().rmdir(path);
        }
        QVERIFY(!outcome.ok);
        QVERIFY2(outcome.message.contains(reason), qPrintable(outcome.message));
        QVERIFY2(
            !outcome.message.contains(QStringLiteral("beside the program")), qPrintable(outcome.message));
    }

    // The program started from a folder whose name is not text: the entry is
    // refused with a reason, not written to "/Ferox.ini". A name that is text,
    // if not ASCII, works.
    void programFolderNameMustBeText_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("written");
        QTest::newRow("not UTF-8") << QByteArray("games-\xff\xfe") << false;
        QTest::newRow("UTF-8") << QByteArray("Spiele-\xc3\xbc") << true;
    }
    void programFolderNameMustBeText()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, written);
        namespace fs = std::filesystem;
        QTemporaryDir base;
        const fs::path folder = fs::path(QFile::encodeName(base.path()).toStdString()) / name.toStdString();
        fs::create_directory(folder);
        fs::copy_file(FEROX_BUILD_TESTS_DIR "/helper_addentries", folder / "helper_addentries");
        // Reached through a link with a plain name; the program finds its real
        // folder itself. It runs from there as a user would, "./program".
        fs::create_directory_symlink(folder, fs::path(QFile::encodeName(base.path()).toStdString()) / "link");
        const bool rootFileBefore = QFile::exists(QStringLiteral("/Ferox.ini"));
        QProcess helper;
        helper.start(QStringLiteral("/bin/sh"),
            { QStringLiteral("-c"), QStringLiteral("cd -P \"$1\" && exec ./helper_addentries - G 1"),
                QStringLiteral("sh"), base.filePath(QStringLiteral("link")) });
        QVERIFY(helper.waitForFinished(60000));
        const bool rootFileMade = !rootFileBefore && QFile::exists(QStringLiteral("/Ferox.ini"));
        if (rootFileMade)
            QFile::remove(QStringLiteral("/Ferox.ini"));
        QVERIFY(!rootFileMade);
        const QByteArray why = helper.readAllStandardError();
        std::string text;
        {
            std::ifstream file(folder / "Ferox.ini", std::ios::binary);
            text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        }
        fs::remove_all(folder); // a name QTemporaryDir cannot spell
        if (written) {
            QVERIFY2(helper.exitCode() == 0, why.constData());
            QVERIFY(QByteArray::fromStdString(text).startsWith("[G-0]\r\n//=G\r\n"));
        } else {
            QCOMPARE(helper.exitCode(), 1);
            QVERIFY2(why.contains("is not valid text in this system's encoding"), why.constData());
            QVERIFY(text.empty());
        }
    }
};

QTEST_GUILESS_MAIN(TestGameEntry)
#include "test_gameentry.moc"
