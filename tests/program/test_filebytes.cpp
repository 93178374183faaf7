// Read-modify-replace of a whole file: the kernel copy from a snapshot, the
// refusal to splice a file that another program changed meanwhile, writers in
// several processes, and what the replaced file keeps of the old one.

#include "IniData.h"
#include "TestConfig.h"
#include "TestFiles.h"
#include "fileio/FileBytes.h"
#include "platform/ProfileWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// Every extended attribute of the file (POSIX ACLs among them), by name.
QMap<QByteArray, QByteArray> attributes(const QByteArray &path)
{
    QMap<QByteArray, QByteArray> out;
    QByteArray names(::listxattr(path.constData(), nullptr, 0), Qt::Uninitialized);
    names.resize(::listxattr(path.constData(), names.data(), names.size()));
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        QByteArray value(::getxattr(path.constData(), name.constData(), nullptr, 0), Qt::Uninitialized);
        value.resize(::getxattr(path.constData(), name.constData(), value.data(), value.size()));
        out.insert(name, value);
    }
    return out;
}

QStringList filesIn(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Sets the file's modification time `seconds` away from now.
void age(const QString &path, int seconds)
{
    struct timeval now { };
    ::gettimeofday(&now, nullptr);
    now.tv_sec += seconds;
    const struct timeval times[2] = { now, now };
    QCOMPARE(::lutimes(QFile::encodeName(path).constData(), times), 0);
}

// On tmpfs, where there is one, no disk syncs slow writers down: they race
// hardest there and the tests stay quick.
QString racingBase()
{
    return QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
}

} // namespace

class TestFileBytes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A change that names ranges of the old file, read in part or not at
    // all: the ranges are copied inside the kernel, or from the backup's bytes
    // where a hard-linked file is written in place.
    void copiesRangesOfTheOldFile_data()
    {
        QTest::addColumn<bool>("hardLink");
        QTest::newRow("replaced") << false;
        QTest::newRow("written in place") << true;
    }
    void copiesRangesOfTheOldFile()
    {
        QFETCH(bool, hardLink);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        const QByteArray before = randomBytes(3 << 20, 7);
        writeFile(path, before);
        if (hardLink)
            QCOMPARE(::link(QFile::encodeName(path).constData(),
                         QFile::encodeName(dir.filePath(QStringLiteral("Other.ini"))).constData()),
                0);
        const QByteArray inserted("[New]\r\nk=v\r\n");
        FileError error;
        // The pieces' bytes must outlive the change: they are written after it returns.
        QByteArray head;
        QVERIFY2(
            filebytes::update(
                path,
                [&](const filebytes::Snapshot &old, QList<filebytes::Piece> *pieces, FileError *why) {
                    if (!old.readAt(990, 10, &head, why))
                        return false;
                    *pieces = { { {}, 0, 1000 }, { inserted }, { head }, { {}, 1000, old.size() - 1000 } };
                    return true;
                },
                &error),
            qPrintable(error.text));
        QCOMPARE(
            readFile(path), before.first(1000) + inserted + before.sliced(990, 10) + before.sliced(1000));
        QCOMPARE(filesIn(dir).size(), hardLink ? 2 : 1);
    }

    // Another program rewrites the file in place while a change that names
    // ranges of it is planned: the change is planned again on the new content,
    // never spliced from old and new.
    void redoesARangeChangeOnAFileRewrittenMeanwhile_data()
    {
        QTest::addColumn<QByteArray>("changedTo");
        QTest::newRow("same size") << QByteArray(64 * 1024, 'b');
        QTest::newRow("shortened") << QByteArray("short");
        QTest::newRow("grown") << QByteArray(128 * 1024, 'c');
    }
    void redoesARangeChangeOnAFileRewrittenMeanwhile()
    {
        QFETCH(QByteArray, changedTo);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, QByteArray(64 * 1024, 'a'));
        int calls = 0;
        FileError error;
        QVERIFY2(filebytes::update(
                     path,
                     [&](const filebytes::Snapshot &old, QList<filebytes::Piece> *pieces, FileError *) {
                         if (++calls == 1) {
                             QTest::qWait(20); // a later modification time, also on coarse clocks
                             writeFile(path, changedTo);
                         }
                         const qint64 cut = std::min<qint64>(10, old.size());
                         *pieces = { { {}, 0, cut }, { "x" }, { {}, cut, old.size() - cut } };
                         return true;
                     },
                     &error),
            qPrintable(error.text));
        QCOMPARE(calls, 2);
        const qsizetype cut = std::min<qsizetype>(10, changedTo.size());
        QCOMPARE(readFile(path), changedTo.first(cut) + "x" + changedTo.sliced(cut));
        QCOMPARE(filesIn(dir), QStringList { QStringLiteral("Ferox.ini") });
    }

    // Another program that does not take the lock changes the file between
    // the read and the rename: the change is made again on its content.
    void redoesAChangeOnAFileChangedMeanwhile_data()
    {
        QTest::addColumn<bool>("renamed");
        QTest::newRow("replaced by a rename") << true;
        QTest::newRow("rewritten in place") << false;
    }
    void redoesAChangeOnAFileChangedMeanwhile()
    {
        QFETCH(bool, renamed);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, "[A]\r\n");
        QList<QByteArray> seen;
        FileError error;
        QVERIFY2(filebytes::update(
                     path,
                     [&](const filebytes::Snapshot &old, QList<filebytes::Piece> *pieces, FileError *why) {
                         QByteArray bytes;
                         if (!old.readAt(0, old.size(), &bytes, why))
                             return false;
                         seen.append(bytes);
                         if (seen.size() == 1) {
                             QTest::qWait(20); // a later modification time, also on coarse clocks
                             const QString other = dir.filePath(QStringLiteral("other"));
                             writeFile(renamed ? other : path, "[A]\r\n[Other]\r\n");
                             if (renamed)
                                 ::rename(QFile::encodeName(other).constData(),
                                     QFile::encodeName(path).constData());
                         }
                         *pieces = { { {}, 0, old.size() }, { "[Mine]\r\n" } };
                         return true;
                     },
                     &error),
            qPrintable(error.text));
        QCOMPARE(seen, (QList<QByteArray> { "[A]\r\n", "[A]\r\n[Other]\r\n" }));
        QCOMPARE(readFile(path), QByteArray("[A]\r\n[Other]\r\n[Mine]\r\n"));
        QCOMPARE(filesIn(dir), QStringList { QStringLiteral("Ferox.ini") });
    }

    // A write that fails part-way (here: beyond the process's file size
    // limit, as on a full disk) leaves the old content and nothing beside it,
    // also where the file is written in place.
    void failedWriteLeavesTheOldContent_data()
    {
        QTest::addColumn<bool>("hardLink");
        QTest::newRow("replaced") << false;
        QTest::newRow("written in place") << true;
    }
    void failedWriteLeavesTheOldContent()
    {
        QFETCH(bool, hardLink);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        const QByteArray before = "[G]\r\nk=" + QByteArray(2000, 'a') + "\r\n";
        writeFile(path, before);
        QStringList names { QStringLiteral("Ferox.ini") };
        if (hardLink) {
            QCOMPARE(::link(QFile::encodeName(path).constData(),
                         QFile::encodeName(dir.filePath(QStringLiteral("Other.ini"))).constData()),
                0);
            names.append(QStringLiteral("Other.ini"));
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const struct rlimit limit {
                4096, 4096
            };
            FileError error;
            const bool refused = ::setrlimit(RLIMIT_FSIZE, &limit) == 0
                && !WritePrivateProfileStringA("G", "k", QByteArray(8000, 'b'), path, &error)
                && error.kind == FileError::Kind::System && error.errnum == EFBIG
                && error.text == QString::fromLocal8Bit(std::strerror(EFBIG));
            ::_exit(refused ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QCOMPARE(readFile(path), before);
        QCOMPARE(filesIn(dir), names);
    }

    // The backup of an in-place write that was killed is the only whole copy
    // left: a later in-place write keeps it and says where it is.
    void keepsTheBackupOfAnInterruptedWrite()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, "[G]\r\nk=");
        QCOMPARE(::link(QFile::encodeName(path).constData(),
                     QFile::encodeName(dir.filePath(QStringLiteral("Other.ini"))).constData()),
            0);
        const QString backup = path + QStringLiteral(".ferox-backup");
        writeFile(backup, "[G]\r\nk=1\r\n");
        FileError error;
        QVERIFY(!WritePrivateProfileStringA("G", "k", "2", path, &error));
        QCOMPARE(error.kind, FileError::Kind::BackupKept);
        QVERIFY2(error.text.contains(backup), qPrintable(error.text));
        QCOMPARE(readFile(path), QByteArray("[G]\r\nk="));
        QCOMPARE(readFile(backup), QByteArray("[G]\r\nk=1\r\n"));
    }

    // Two programs adding entries to one file at the same time: every entry
    // of both ends up in it, whole, and neither reports a failure.
    void concurrentWritersLoseNothing()
    {
        QTemporaryDir dir(racingBase() + QStringLiteral("/ferox-XXXXXX"));
        QVERIFY(dir.isValid());
        constexpr int count = 500;
        const QStringList prefixes { QStringLiteral("A"), QStringLiteral("B") };
        QList<QProcess *> writers;
        for (const QString &prefix : prefixes) {
            auto *writer = new QProcess(this);
            writer->start(QStringLiteral(FEROX_BUILD_TESTS_DIR "/helper_addentries"),
                { dir.path(), prefix, QString::number(count) });
            writers.append(writer);
        }
        for (QProcess *writer : writers) {
            QVERIFY(writer->waitForFinished(300000));
            QVERIFY2(writer->exitCode() == 0, writer->readAllStandardError().constData());
            delete writer;
        }
        const QByteArray text = readFile(dir.filePath(QStringLiteral("Ferox.ini")));
        for (const QString &prefix : prefixes) {
            for (int i = 0; i < count; ++i) {
                const QByteArray entry = QStringLiteral("[%1-%2]\r\n//=%1\r\nAltTitle=Alt %1-%2\r\n"
                                                        "Comments=Comment %2\r\nUCode=%3\r\n")
                                             .arg(prefix)
                                             .arg(i)
                                             .arg(i % 7)
                                             .toLatin1();
                QVERIFY2(text.contains(entry), entry.constData());
            }
        }
        QCOMPARE(text.count("\n[") + 1, 2 * count);
        QCOMPARE(filesIn(dir), QStringList { QStringLiteral("Ferox.ini") });
    }

    // Every writer of one file waits for the others, whatever name it reached
    // the file by and whatever it may do in the folder: a file hard-linked
    // into two folders, and folders that only some of the writers may list.
    // Every write reported as done is in the file.
    void everyWriterOfTheFileWaitsForTheOthers_data()
    {
        QTest::addColumn<bool>("otherUser");
        QTest::addColumn<int>("folderMode");
        QTest::newRow("hard link in two folders") << false << 0700;
        QTest::newRow("folder 0733, another user") << true << 0733;
        QTest::newRow("folder 1733, another user") << true << 01733;
        QTest::newRow("folder 0333, another user") << true << 0333;
    }
    void everyWriterOfTheFileWaitsForTheOthers()
    {
        QFETCH(bool, otherUser);
        QFETCH(int, folderMode);
        if (otherUser && ::geteuid() != 0)
            QSKIP("Needs root to run a writer as another user.");
        QTemporaryDir dir(racingBase() + QStringLiteral("/ferox-XXXXXX"));
        QVERIFY(dir.isValid());
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
        const QString folder = dir.filePath(QStringLiteral("a"));
        QVERIFY(QDir().mkdir(folder));
        const QString path = folder + QStringLiteral("/Ferox.ini");
        writeFile(path, "[Start]\r\nk=v\r\n");
        QString otherPath = path;
        if (otherUser) {
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0666), 0);
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), folderMode), 0);
        } else {
            QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("b"))));
            otherPath = dir.filePath(QStringLiteral("b/Ferox.ini"));
            QCOMPARE(
                ::link(QFile::encodeName(path).constData(), QFile::encodeName(otherPath).constData()), 0);
        }
        constexpr int count = 150;
        pid_t writers[2];
        for (int w = 0; w < 2; ++w) {
            writers[w] = ::fork();
            if (writers[w] != 0)
                continue;
            constexpr uid_t nobody = 65534;
            if (w == 1 && otherUser && (::setgid(nobody) != 0 || ::setuid(nobody) != 0))
                ::_exit(2);
            for (int i = 0; i < count; ++i) {
                FileError error;
                const QByteArray section = (w ? "B-" : "A-") + QByteArray::number(i);
                if (!WritePrivateProfileStringA(section, "k", "v", w ? otherPath : path, &error)) {
                    std::fprintf(stderr, "%s\n", qPrintable(error.text));
                    ::_exit(1);
                }
            }
            ::_exit(0);
        }
        for (const pid_t writer : writers) {
            int status = 0;
            QCOMPARE(::waitpid(writer, &status, 0), writer);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
        const QByteArray text = readFile(path);
        int missing = 0;
        for (const char *prefix : { "A-", "B-" }) {
            for (int i = 0; i < count; ++i)
                missing += text.contains(
                               QByteArray("[" + QByteArray(prefix) + QByteArray::number(i) + "]\r\nk=v\r\n"))
                    ? 0
                    : 1;
        }
        QCOMPARE(missing, 0);
    }

    // The editor saving over and over while other programs add entries: each
    // save is checked, under the lock, against the file the editor loaded or
    // last saved (a changed file is reloaded here), so no entry reported as
    // added is ever overwritten. With FEROX_LOCK_FIGURE set, four programs add
    // 250 entries each, and the time it took is printed.
    void editorSavesNeverDropAnEntry()
    {
        const bool figure = qEnvironmentVariableIsSet("FEROX_LOCK_FIGURE");
        const int adders = figure ? 4 : 1;
        const int count = figure ? 250 : 100;
        // FEROX_LOCK_FIGURE_DIR: a folder on the file system to measure on.
        QTemporaryDir dir(
            qEnvironmentVariable("FEROX_LOCK_FIGURE_DIR", racingBase()) + QStringLiteral("/ferox-XXXXXX"));
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, "[Start]\r\nk=v\r\n");
        QProcess saver;
        saver.start(QStringLiteral(FEROX_BUILD_TESTS_DIR "/helper_updateloop"),
            { path, QStringLiteral("keep"), QStringLiteral("1000000") });
        QVERIFY(saver.waitForReadyRead(60000)); // loaded and saved once
        QElapsedTimer clock;
        clock.start();
        QList<QProcess *> writers;
        for (int a = 0; a < adders; ++a) {
            auto *writer = new QProcess(this);
            writer->start(QStringLiteral(FEROX_BUILD_TESTS_DIR "/helper_addentries"),
                { dir.path(), QStringLiteral("P%1").arg(a), QString::number(count) });
            writers.append(writer);
        }
        for (QProcess *writer : writers) {
            QVERIFY(writer->waitForFinished(600000));
            QVERIFY2(writer->exitCode() == 0, writer->readAllStandardError().constData());
            delete writer;
        }
        const qint64 took = clock.elapsed();
        QVERIFY2(saver.state() == QProcess::Running, saver.readAllStandardError().constData());
        saver.kill(); // a killed update leaves the file old or new
        saver.waitForFinished();
        const int saves = saver.readAllStandardOutput().count('\n');
        const QByteArray text = readFile(path);
        int missing = 0;
        for (int a = 0; a < adders; ++a) {
            for (int i = 0; i < count; ++i) {
                const gameentry::Fields entry = helperEntry(QStringLiteral("P%1").arg(a), i);
                const QByteArray lines
                    = QStringLiteral("[%1]\r\n//=%2\r\nAltTitle=%3\r\nComments=%4\r\nUCode=%5\r\n")
                          .arg(entry.name, entry.submitter, entry.altTitle, entry.comments, entry.ucode)
                          .toLatin1();
                missing += text.contains(lines) ? 0 : 1;
            }
        }
        qInfo(
            "%d programs x %d add entries beside an editor saving in a loop (%d saves): %lld ms, %d entries "
            "missing",
            adders, count, saves, took, missing);
        QCOMPARE(missing, 0);
    }

    // The new file is the old one's in all but content: owner, group, mode,
    // ACL and other extended attributes, and the inode a hard link shares.
    void keepsWhatTheFileHas_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : { "owner", "mode", "ACL", "attribute", "hard link", "owner not settable" })
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void keepsWhatTheFileHas()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        const QByteArray bytes = QFile::encodeName(path);
        writeFile(path, "[G]\r\nk=1\r\n");
        QStringList names { QStringLiteral("Ferox.ini") };
        constexpr uid_t nobody = 65534;
        const bool root = ::geteuid() == 0;
        bool inPlace = false;
        if (kind == u"owner") {
            if (!root)
                QSKIP("Giving a file to another user needs root.");
            QCOMPARE(::chown(bytes.constData(), nobody, nobody), 0);
            QCOMPARE(::chmod(bytes.constData(), 0640), 0);
        } else if (kind == u"mode") {
            QCOMPARE(::chmod(bytes.constData(), 06604), 0);
        } else if (kind == u"ACL") {
            QProcess setfacl;
            setfacl.start(
                QStringLiteral("setfacl"), { QStringLiteral("-m"), QStringLiteral("u:65534:r--"), path });
            QVERIFY2(setfacl.waitForFinished(), "setfacl (Debian package acl) is missing");
            const QByteArray why = setfacl.readAllStandardError();
            if (setfacl.exitCode() != 0 && why.contains("not supported"))
                QSKIP("The file system of the temporary folder has no ACLs.");
            QVERIFY2(setfacl.exitCode() == 0, why.constData());
        } else if (kind == u"attribute") {
            if (::setxattr(bytes.constData(), "user.origin", "tests", 5, 0) != 0 && errno == ENOTSUP)
                QSKIP("The file system of the temporary folder has no extended attributes.");
            QVERIFY(attributes(bytes).contains("user.origin"));
        } else if (kind == u"hard link") {
            QCOMPARE(
                ::link(bytes.constData(), QFile::encodeName(dir.filePath(QStringLiteral("Other.ini")))), 0);
            names.append(QStringLiteral("Other.ini"));
            inPlace = true;
        } else {
            // A user who may write root's file but cannot give a new file to root.
            if (!root)
                QSKIP("Needs root to run the writer as another user.");
            QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
            QCOMPARE(::chmod(bytes.constData(), 0666), 0);
            inPlace = true;
        }
        struct stat before { };
        QCOMPARE(::stat(bytes.constData(), &before), 0);
        const QMap<QByteArray, QByteArray> attributesBefore = attributes(bytes);

        if (kind == u"owner not settable") {
            const pid_t child = ::fork();
            if (child == 0) {
                const bool ok = ::setgid(nobody) == 0 && ::setuid(nobody) == 0
                    && WritePrivateProfileStringA("G", "k", "2", path);
                ::_exit(ok ? 0 : 1);
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        } else {
            FileError error;
            QVERIFY2(WritePrivateProfileStringA("G", "k", "2", path, &error), qPrintable(error.text));
        }

        QCOMPARE(readFile(path), QByteArray("[G]\r\nk=2\r\n"));
        struct stat after { };
        QCOMPARE(::stat(bytes.constData(), &after), 0);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(attributes(bytes), attributesBefore);
        if (inPlace)
            QCOMPARE(after.st_ino, before.st_ino);
        if (names.size() > 1)
            QCOMPARE(readFile(dir.filePath(names[1])), readFile(path));
        // No backup and no temporary file stay behind.
        QCOMPARE(filesIn(dir), names);
    }

    // A temporary file of our own that a killed update left behind goes, but
    // nothing else does: not a name of another pattern or another file, and
    // not one younger than the lock (another update may be writing it).
    void removesOnlyStaleTemporariesOfItsOwn()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, "[G]\r\n");
        const QStringList kept { QStringLiteral("Ferox.ini.Ab12Cd"),
            QStringLiteral("Ferox.ini.ferox-tmp-Ab12Cde"), QStringLiteral("Ferox.ini.ferox-tmp-Future"),
            QStringLiteral("Other.ini.ferox-tmp-Ab12Cd") };
        for (const QString &name : kept + QStringList { QStringLiteral("Ferox.ini.ferox-tmp-Ab12Cd") }) {
            writeFile(dir.filePath(name), QByteArray(1000, 'x'));
            age(dir.filePath(name), name.endsWith(u"Future") ? 3600 : -3600);
        }
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Ferox.ini.ferox-tmp-Folder")));
        FileError error;
        QVERIFY2(WritePrivateProfileStringA("G", "k", "v", path, &error), qPrintable(error.text));
        QStringList expected = kept
            + QStringList { QStringLiteral("Ferox.ini"), QStringLiteral("Ferox.ini.ferox-tmp-Folder") };
        expected.sort();
        QCOMPARE(filesIn(dir), expected);
    }
};

QTEST_GUILESS_MAIN(TestFileBytes)
#include "test_filebytes.moc"
