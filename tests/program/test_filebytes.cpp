// Read-modify-replace of a whole file: the kernel copy from a snapshot, the
// refusal to splice a file that another program changed meanwhile, writers in
// several processes, and what the replaced file keeps of the old one.

#include "IniData.h"
#include "TestConfig.h"
#include "TestFiles.h"
#include "editor/EditorUpdate.h"
#include "fileio/FileBytes.h"
#include "fileio/FileSizeLimit.h"
#include "platform/ProfileWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
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

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList filesIn(const QTemporaryDir &dir)
{
    return filesIn(dir.path());
}

constexpr uid_t kNobody = 65534;
// A user without a name, who owns files that others write.
constexpr uid_t kOwner = 4242;

QByteArray bytesOf(const QString &path)
{
    return QFile::encodeName(path);
}

// Starts `work` in a child process run by `uid` (group `uid`, no other
// groups); it exits 0 when `work` returns true.
pid_t startAs(uid_t uid, const std::function<bool()> &work)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const bool ok = (uid == ::geteuid()
                            || (::setgroups(0, nullptr) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0))
            && work();
        ::_exit(ok ? 0 : 1);
    }
    return child;
}

// The child's exit code, or -1 when it did not exit by itself.
int exitCodeOf(pid_t child)
{
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

bool succeedsAs(uid_t uid, const std::function<bool()> &work)
{
    return exitCodeOf(startAs(uid, work)) == 0;
}

// Starts a write with `start` and kills it with SIGKILL the moment a name
// that `wanted` accepts shows up in the folder; returns that name, or an
// empty text when every write ended first. On a busy machine a write can end
// before the watch is scheduled, so an ended write is started again, up to
// five times; `start` puts the file back as it was before each one.
QString killOnName(const std::function<pid_t()> &start, const QString &folder,
    const std::function<bool(const QString &)> &wanted)
{
    const QByteArray path = bytesOf(folder);
    for (int attempt = 0; attempt < 5; ++attempt) {
        const pid_t child = start();
        // At the lowest priority the child yields to this watch, and the
        // name is seen before the child goes on.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(child), 19);
        for (;;) {
            if (DIR *listing = ::opendir(path.constData())) {
                while (const dirent *entry = ::readdir(listing)) {
                    const QString name = QFile::decodeName(entry->d_name);
                    if (name != u"." && name != u".." && wanted(name)) {
                        ::kill(child, SIGKILL);
                        ::closedir(listing);
                        ::waitpid(child, nullptr, 0);
                        return name;
                    }
                }
                ::closedir(listing);
            }
            if (::waitpid(child, nullptr, WNOHANG) == child)
                break;
        }
    }
    return {};
}

// Gives the file in `dir` a second name there, "Other.ini", which makes every
// write of it an in-place one.
bool linkOther(const QTemporaryDir &dir, const QString &path)
{
    return ::link(bytesOf(path).constData(), bytesOf(dir.filePath(QStringLiteral("Other.ini"))).constData())
        == 0;
}

// Rows for a file that is replaced, and one written in place.
void replacedOrInPlaceRows()
{
    QTest::addColumn<bool>("hardLink");
    QTest::newRow("replaced") << false;
    QTest::newRow("written in place") << true;
}

// A file big enough that writing it takes a while: the game's section first,
// then many megabytes of another.
QByteArray bigIni()
{
    return "[G]\r\nk=1\r\n[Filler]\r\nfill=" + QByteArray(32 << 20, 'x') + "\r\n";
}

// The file's flags (chattr), or -1 where the file system has none.
int flagsOf(const QString &path)
{
    const int fd = ::open(bytesOf(path).constData(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    const bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok ? flags : -1;
}

bool setFlags(const QString &path, int flags)
{
    const int fd = ::open(bytesOf(path).constData(), O_RDONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
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
    void copiesRangesOfTheOldFile_data() { replacedOrInPlaceRows(); }
    void copiesRangesOfTheOldFile()
    {
        QFETCH(bool, hardLink);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        const QByteArray before = randomBytes(3 << 20, 7);
        writeFile(path, before);
        if (hardLink)
            QVERIFY(linkOther(dir, path));
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

    // The replaced file is let go of once the update returns, also a big
    // one, whose last close (the kernel dropping its cached pages) is left
    // to a thread of its own: no descriptor of it stays open to hold its
    // space or its lock.
    void replacedFileIsLetGo_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("small") << (1 << 20);
        QTest::newRow("big, closed on the side") << (20 << 20);
    }
    void replacedFileIsLetGo()
    {
        QFETCH(int, size);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, QByteArray(size, ';'));
        struct stat old { };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &old), 0);
        FileError error;
        QVERIFY2(filebytes::replace(path, { "[G]\r\nk=1\r\n" }, &error), qPrintable(error.text));
        const auto holdsOld = [&] {
            const QStringList fds
                = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System);
            return std::any_of(fds.begin(), fds.end(), [&](const QString &fd) {
                struct stat st { };
                return ::fstat(fd.toInt(), &st) == 0 && st.st_dev == old.st_dev && st.st_ino == old.st_ino;
            });
        };
        QTRY_VERIFY(!holdsOld());
        QCOMPARE(readFile(path), QByteArray("[G]\r\nk=1\r\n"));
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
    void failedWriteLeavesTheOldContent_data() { replacedOrInPlaceRows(); }
    void failedWriteLeavesTheOldContent()
    {
        QFETCH(bool, hardLink);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        const QByteArray before = "[G]\r\nk=" + QByteArray(2000, 'a') + "\r\n";
        writeFile(path, before);
        QStringList names { QStringLiteral("Ferox.ini") };
        if (hardLink) {
            QVERIFY(linkOther(dir, path));
            names.append(QStringLiteral("Other.ini"));
        }
        QVERIFY(succeedsAs(::geteuid(), [&] {
            filebytes::ignoreFileSizeSignal();
            const struct rlimit limit {
                4096, 4096
            };
            FileError error;
            return ::setrlimit(RLIMIT_FSIZE, &limit) == 0
                && !WritePrivateProfileStringA("G", "k", QByteArray(8000, 'b'), path, &error)
                && error.kind == FileError::Kind::System && error.errnum == EFBIG
                && error.text == QString::fromLocal8Bit(std::strerror(EFBIG));
        }));
        QCOMPARE(readFile(path), before);
        QCOMPARE(filesIn(dir), names);
    }

    // The backup of an in-place write that was killed may be the only whole
    // copy left: every later write, replacing or in place, keeps it and the
    // file as they are and says where it is.
    void keepsTheBackupOfAnInterruptedWrite_data() { replacedOrInPlaceRows(); }
    void keepsTheBackupOfAnInterruptedWrite()
    {
        QFETCH(bool, hardLink);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, "[G]\r\nk=");
        if (hardLink)
            QVERIFY(linkOther(dir, path));
        const QString backup = path + QStringLiteral(".ferox-backup");
        writeFile(backup, "[G]\r\nk=1\r\n");
        FileError error;
        QVERIFY(!WritePrivateProfileStringA("G", "k", "2", path, &error));
        QCOMPARE(error.kind, FileError::Kind::BackupKept);
        QVERIFY2(error.text.contains(backup), qPrintable(error.text));
        QCOMPARE(readFile(path), QByteArray("[G]\r\nk="));
        QCOMPARE(readFile(backup), QByteArray("[G]\r\nk=1\r\n"));
        QCOMPARE(filebytes::leftoverBackup(path), std::optional<QString>(backup));
    }

    // An in-place write killed at its worst moments. While the backup is
    // written, it has no backup's name yet, and the next write removes it;
    // once it has that name it is whole, readable by whoever may read the
    // file, and the next write refuses to go on. Where the folder may not be
    // written, the backup is in the writer's cache folder, and the refusal
    // names it there.
    void interruptedInPlaceWriteLeavesAWholeBackup_data()
    {
        QTest::addColumn<QString>("killed");
        QTest::newRow("while the backup is written") << QStringLiteral("backup");
        QTest::newRow("while the file is written") << QStringLiteral("file");
        QTest::newRow("while the file is written, folder not writable") << QStringLiteral("cache");
    }
    void interruptedInPlaceWriteLeavesAWholeBackup()
    {
        QFETCH(QString, killed);
        if (::geteuid() != 0)
            QSKIP("Needs root to run the writers as other users.");
        QTemporaryDir dir;
        QTemporaryDir home;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        const QByteArray before = bigIni();
        writeFile(path, before);
        QCOMPARE(::chmod(bytesOf(home.path()).constData(), 0755), 0);
        const QString cache = home.filePath(QStringLiteral("cache"));
        QVERIFY(QDir().mkdir(cache));
        QCOMPARE(::chown(bytesOf(cache).constData(), kNobody, kNobody), 0);
        QStringList names { QStringLiteral("Ferox.ini") };
        uid_t writer = 0;
        if (killed == u"backup") {
            // Root writes a hard-linked file in place.
            QVERIFY(linkOther(dir, path));
            names.append(QStringLiteral("Other.ini"));
        } else {
            // Nobody may write the file but cannot give a new one to its owner.
            writer = kNobody;
            QCOMPARE(::chown(bytesOf(path).constData(), kOwner, kNobody), 0);
            QCOMPARE(::chmod(bytesOf(path).constData(), 0660), 0);
            QCOMPARE(::chmod(bytesOf(dir.path()).constData(), killed == u"cache" ? 0755 : 0777), 0);
        }
        const auto write = [&] {
            ::setenv("XDG_CACHE_HOME", bytesOf(cache).constData(), 1);
            return WritePrivateProfileStringA("G", "k", "2", path);
        };
        const QString backups
            = killed == u"cache" ? cache + QStringLiteral("/ferox-ini-editor/backups") : dir.path();
        const auto start = [&] {
            writeBytes(path, before);
            return startAs(writer, write);
        };
        const QString name = killOnName(start, backups, [&](const QString &found) {
            return killed == u"backup" ? found.contains(u".ferox-tmp-") : found.endsWith(u".ferox-backup");
        });
        QVERIFY2(!name.isEmpty(), "the write ended before it could be killed");
        if (killed == u"backup") {
            QVERIFY(!filebytes::leftoverBackup(path));
            QCOMPARE(readFile(path), before);
            FileError error;
            QVERIFY2(WritePrivateProfileStringA("G", "k", "2", path, &error), qPrintable(error.text));
            QCOMPARE(filesIn(dir), names);
            return;
        }
        const QString backup = backups + u'/' + name;
        QCOMPARE(readFile(backup), before);
        if (killed == u"file") {
            // The file's owner may read the copy of it, no one else.
            QVERIFY(succeedsAs(kOwner, [&] { return ::access(bytesOf(backup).constData(), R_OK) == 0; }));
            QVERIFY(succeedsAs(kOwner + 1, [&] { return ::access(bytesOf(backup).constData(), R_OK) != 0; }));
        }
        // The next write, by root (which replaces the file) or by the same
        // user, refuses and names the backup.
        const QByteArray torn = readFile(path);
        const pid_t again = startAs(killed == u"file" ? 0 : writer, [&] {
            ::setenv("XDG_CACHE_HOME", bytesOf(cache).constData(), 1);
            FileError error;
            return !WritePrivateProfileStringA("G", "k", "3", path, &error)
                && error.kind == FileError::Kind::BackupKept && error.text.contains(backup);
        });
        QCOMPARE(exitCodeOf(again), 0);
        QCOMPARE(readFile(path), torn);
        QCOMPARE(readFile(backup), before);
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
        for (const char *kind :
            { "owner", "mode", "ACL", "attribute", "flags", "hard link", "owner not settable" })
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
        const bool root = ::geteuid() == 0;
        bool inPlace = false;
        if (kind == u"owner") {
            if (!root)
                QSKIP("Giving a file to another user needs root.");
            QCOMPARE(::chown(bytes.constData(), kNobody, kNobody), 0);
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
        } else if (kind == u"flags") {
            // No dump and no access times (chattr +d +A).
            const int flags = flagsOf(path);
            if (flags < 0 || !setFlags(path, flags | FS_NODUMP_FL | FS_NOATIME_FL))
                QSKIP("The file system of the temporary folder has no file flags (chattr).");
        } else if (kind == u"hard link") {
            QVERIFY(linkOther(dir, path));
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
        const int flagsBefore = flagsOf(path);

        if (kind == u"owner not settable") {
            QVERIFY(succeedsAs(kNobody, [&] { return WritePrivateProfileStringA("G", "k", "2", path); }));
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
        QCOMPARE(flagsOf(path), flagsBefore);
        if (inPlace)
            QCOMPARE(after.st_ino, before.st_ino);
        if (names.size() > 1)
            QCOMPARE(readFile(dir.filePath(names[1])), readFile(path));
        // No backup and no temporary file stay behind.
        QCOMPARE(filesIn(dir), names);
    }

    // Where the file's name cannot be given to a new file, the file itself is
    // written: one mounted on its own (a container's or sandbox's settings),
    // and one the user may write in a folder the user may not. No backup or
    // temporary file stays, in the folder or in the user's cache folder.
    void writesInPlaceWhereTheNameCannotBeReplaced_data()
    {
        QTest::addColumn<bool>("mounted");
        QTest::newRow("file mounted on its own") << true;
        QTest::newRow("folder not writable") << false;
    }
    void writesInPlaceWhereTheNameCannotBeReplaced()
    {
        QFETCH(bool, mounted);
        if (::geteuid() != 0)
            QSKIP("Needs root to mount a file, or to run the writer as another user.");
        QTemporaryDir dir;
        QTemporaryDir other(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                ? QStringLiteral("/dev/shm/ferox-XXXXXX")
                : QString());
        QCOMPARE(::chmod(bytesOf(other.path()).constData(), 0755), 0);
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, "[G]\r\nk=1\r\n");
        // What is written: the mounted file, or the file itself.
        QString written = path;
        const QString cache = other.filePath(QStringLiteral("cache"));
        QVERIFY(QDir().mkdir(cache));
        bool ok = false;
        if (mounted) {
            written = other.filePath(QStringLiteral("mounted.ini"));
            writeFile(written, "[G]\r\nk=1\r\n");
            // In a mount namespace of the child's own, gone when it ends.
            const pid_t child = startAs(0, [&] {
                if (::unshare(CLONE_NEWNS) != 0)
                    ::_exit(3);
                if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                    || ::mount(
                           bytesOf(written).constData(), bytesOf(path).constData(), nullptr, MS_BIND, nullptr)
                        != 0)
                    ::_exit(3);
                ::setenv("XDG_CACHE_HOME", bytesOf(cache).constData(), 1);
                return WritePrivateProfileStringA("G", "k", "2", path);
            });
            const int code = exitCodeOf(child);
            if (code == 3)
                QSKIP("This system does not let the test mount a file in a namespace of its own.");
            ok = code == 0;
        } else {
            QCOMPARE(::chmod(bytesOf(dir.path()).constData(), 0755), 0);
            QCOMPARE(::chmod(bytesOf(path).constData(), 0666), 0);
            QCOMPARE(::chown(bytesOf(cache).constData(), kNobody, kNobody), 0);
            ok = succeedsAs(kNobody, [&] {
                ::setenv("XDG_CACHE_HOME", bytesOf(cache).constData(), 1);
                return WritePrivateProfileStringA("G", "k", "2", path);
            });
        }
        QVERIFY(ok);
        QCOMPARE(readFile(written), QByteArray("[G]\r\nk=2\r\n"));
        QCOMPARE(filesIn(dir), QStringList { QStringLiteral("Ferox.ini") });
        QVERIFY(filesIn(cache + QStringLiteral("/ferox-ini-editor/backups")).isEmpty());
    }

    // Any file that can be opened can be saved: temporary and backup names
    // fit beside names of up to 255 bytes, whether the file is replaced or
    // written in place.
    void savesFilesWithTheLongestNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("hardLink");
        // 80 characters of three bytes each.
        const QString japanese = QString(80, QChar(0x8A2D));
        QTest::newRow("240 bytes, replaced") << japanese << false;
        QTest::newRow("255 bytes, replaced") << QString(255, u'n') << false;
        QTest::newRow("255 bytes, written in place") << QString(255, u'n') << true;
        QTest::newRow("254 bytes of characters, written in place") << japanese + QString(14, u'n') << true;
    }
    void savesFilesWithTheLongestNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, hardLink);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        writeFile(path, "[G]\r\nk=1\r\n");
        QStringList names { name };
        if (hardLink) {
            QVERIFY(linkOther(dir, path));
            names.append(QStringLiteral("Other.ini"));
        }
        FileError error;
        QVERIFY2(WritePrivateProfileStringA("G", "k", "2", path, &error), qPrintable(error.text));
        QCOMPARE(readFile(path), QByteArray("[G]\r\nk=2\r\n"));
        QVERIFY2(editorupdate::write(path, "[G]\r\nk=3\r\n", nullptr).ok, "the editor's update failed");
        QCOMPARE(readFile(path), QByteArray("[G]\r\nk=3\r\n"));
        names.sort();
        QCOMPARE(filesIn(dir), names);
    }

    // The sweep removes what killed writes left, and only that: never a
    // user's file named like ours, never another user's leftover. It finds
    // leftovers where the writer cannot list the folder too.
    void removesOnlyLeftoversOfItsOwn_data()
    {
        QTest::addColumn<bool>("listable");
        QTest::newRow("folder the writer can list") << true;
        QTest::newRow("folder the writer cannot list") << false;
    }
    void removesOnlyLeftoversOfItsOwn()
    {
        QFETCH(bool, listable);
        if (::geteuid() != 0)
            QSKIP("Needs root to run the writers as other users.");
        QTemporaryDir dir;
        QCOMPARE(::chmod(bytesOf(dir.path()).constData(), listable ? 0777 : 0333), 0);
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, bigIni());
        // Not ours, whoever owns them: the user's own names, an old pattern.
        const QStringList users { QStringLiteral("Ferox.ini.ferox-tmp-abc123"),
            QStringLiteral("Ferox.ini.ferox-tmp-0000deadbeef"), QStringLiteral("Ferox.ini.Ab12Cd") };
        for (const QString &name : users) {
            writeFile(dir.filePath(name), QByteArray(1000, 'x'));
            QCOMPARE(::chown(bytesOf(dir.filePath(name)).constData(), kNobody, kNobody), 0);
        }
        const auto leftoverOf = [&](uid_t writer) {
            const QStringList known = filesIn(dir);
            const auto start = [&] {
                writeBytes(path, bigIni());
                return startAs(writer, [&] { return WritePrivateProfileStringA("G", "k", "2", path); });
            };
            return killOnName(start, dir.path(), [&](const QString &name) { return !known.contains(name); });
        };
        QStringList expected = users + QStringList { QStringLiteral("Ferox.ini") };
        // Root's leftover, then nobody's, once the file is nobody's.
        const QString rootLeftover = listable ? leftoverOf(0) : QString();
        QCOMPARE(::chown(bytesOf(path).constData(), kNobody, kNobody), 0);
        QCOMPARE(::chmod(bytesOf(path).constData(), 0666), 0);
        const QString nobodyLeftover = leftoverOf(kNobody);
        QVERIFY2(!nobodyLeftover.isEmpty() && (!listable || !rootLeftover.isEmpty()),
            "the write ended before it could be killed");
        for (const QString &name : filesIn(dir))
            age(dir.filePath(name), -3600);
        if (listable)
            expected.append(rootLeftover);
        expected.sort();
        QVERIFY(succeedsAs(kNobody, [&] { return WritePrivateProfileStringA("G", "k", "3", path); }));
        QCOMPARE(filesIn(dir), expected);
        // Root removes its own leftover, though the file is now nobody's.
        FileError error;
        QVERIFY2(WritePrivateProfileStringA("G", "k", "4", path, &error), qPrintable(error.text));
        expected.removeOne(rootLeftover);
        QCOMPARE(filesIn(dir), expected);
        QVERIFY(readFile(path).startsWith("[G]\r\nk=4\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestFileBytes)
#include "test_filebytes.moc"
