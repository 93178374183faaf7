#include "platform/FileBytes.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace filebytes {

namespace {

// Names of our own temporary files: the target's name, this infix and six
// random letters or digits. Only such names are ever removed as stale.
constexpr QByteArrayView kTempInfix(".ferox-tmp-");
constexpr int kTempRandom = 6;
constexpr QByteArrayView kBackupSuffix(".ferox-backup");
// Another process that keeps replacing the file without taking the lock could
// make an update start over forever.
constexpr int kAttempts = 50;

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString notRegular(mode_t mode)
{
    if (S_ISDIR(mode))
        return systemError(EISDIR);
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe (FIFO), not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device, not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket, not a regular file");
    return QStringLiteral("not a regular file");
}

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) { }
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd;
};

bool writeAll(int fd, QByteArrayView bytes, QString *error)
{
    while (!bytes.isEmpty()) {
        const ssize_t n = ::write(fd, bytes.data(), static_cast<size_t>(bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = systemError(n < 0 ? errno : ENOSPC);
            return false;
        }
        bytes = bytes.sliced(n);
    }
    return true;
}

bool pwriteAll(int fd, qint64 offset, QByteArrayView bytes, QString *error)
{
    while (!bytes.isEmpty()) {
        const ssize_t n = ::pwrite(fd, bytes.data(), static_cast<size_t>(bytes.size()), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = systemError(n < 0 ? errno : ENOSPC);
            return false;
        }
        bytes = bytes.sliced(n);
        offset += n;
    }
    return true;
}

bool syncFd(int fd, QString *error)
{
    if (::fsync(fd) == 0)
        return true;
    *error = systemError(errno);
    return false;
}

qint64 mtimeNs(const struct stat &st)
{
    return static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

int openRegularBytes(const QByteArray &path, QString *error)
{
    struct stat st { };
    // Looked at before the open: opening a FIFO waits for a writer, and
    // opening a device may do things of its own.
    if (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *error = notRegular(st.st_mode);
        return -1;
    }
    // Non-blocking, so that a FIFO put in the file's place meanwhile cannot
    // hang the open; fstat then sees what was really opened.
    Fd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        *error = systemError(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = notRegular(st.st_mode);
        return -1;
    }
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd.release();
}

// The file an update writes: symbolic links are followed, so that a link stays
// a link and its target gets the new content.
struct Target {
    QByteArray path;
    QByteArray folder;
    QByteArray name;
};

bool resolve(const QString &path, Target *target, QString *error)
{
    QByteArray at = QFile::encodeName(path);
    for (int hops = 0;; ++hops) {
        struct stat st { };
        if (at.isEmpty() || ::lstat(at.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        if (hops == 40) {
            *error = systemError(ELOOP);
            return false;
        }
        QByteArray link(4096, Qt::Uninitialized);
        const ssize_t n = ::readlink(at.constData(), link.data(), static_cast<size_t>(link.size()));
        if (n <= 0 || n == link.size()) {
            *error = systemError(n < 0 ? errno : ENAMETOOLONG);
            return false;
        }
        link.truncate(n);
        const qsizetype slash = at.lastIndexOf('/');
        at = link.startsWith('/') || slash < 0 ? link : at.first(slash + 1) + link;
    }
    const qsizetype slash = at.lastIndexOf('/');
    target->path = at;
    target->folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : at.first(slash);
    target->name = at.sliced(slash + 1);
    if (target->name.isEmpty()) {
        *error = systemError(ENOENT);
        return false;
    }
    return true;
}

QByteArray besideTarget(const Target &target, QByteArrayView suffix)
{
    return target.folder + '/' + target.name + suffix;
}

// Makes a rename (or an unlink) in the folder survive a power loss.
void syncFolder(const Target &target)
{
    Fd folder(::open(target.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder)
        ::fsync(folder.get());
}

bool olderThan(const struct stat &st, const timespec &when)
{
    return st.st_mtim.tv_sec < when.tv_sec
        || (st.st_mtim.tv_sec == when.tv_sec && st.st_mtim.tv_nsec < when.tv_nsec);
}

// Called with the lock held: a temporary file of ours that is older than the
// lock belongs to an update that was killed before it could remove it.
void removeStaleTemporaries(const Target &target, const timespec &lockedAt)
{
    DIR *folder = ::opendir(target.folder.constData());
    if (!folder)
        return;
    const QByteArray prefix = target.name + kTempInfix;
    while (const dirent *entry = ::readdir(folder)) {
        const QByteArrayView name(entry->d_name);
        if (name.size() != prefix.size() + kTempRandom || !name.startsWith(prefix))
            continue;
        struct stat st { };
        if (::fstatat(::dirfd(folder), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            && olderThan(st, lockedAt))
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
    }
    ::closedir(folder);
}

// Creates a new temporary file beside the target.
int createTemporary(const Target &target, mode_t mode, QByteArray *path, QString *error)
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray name = besideTarget(target, kTempInfix);
        for (int i = 0; i < kTempRandom; ++i)
            name.append(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0) {
            *path = name;
            return fd;
        }
        if (errno != EEXIST) {
            *error = systemError(errno);
            return -1;
        }
    }
    *error = systemError(EEXIST);
    return -1;
}

QList<QByteArray> xattrNames(int fd, bool *ok)
{
    *ok = true;
    QByteArray names;
    for (;;) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size < 0) {
            // A file system without extended attributes has none to keep.
            *ok = errno == ENOTSUP;
            return {};
        }
        names.resize(size);
        const ssize_t n = ::flistxattr(fd, names.data(), static_cast<size_t>(size));
        if (n >= 0) {
            names.truncate(n);
            break;
        }
        if (errno != ERANGE) {
            *ok = false;
            return {};
        }
    }
    QList<QByteArray> out = names.split('\0');
    out.removeAll(QByteArray());
    return out;
}

// Gives the new file the old one's owner, group, extended attributes (POSIX
// ACLs among them) and mode; false when the process may not.
bool copyMetadata(int from, const struct stat &old, int to)
{
    struct stat now { };
    if (::fstat(to, &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && ::fchown(to, old.st_uid, old.st_gid) != 0)
        return false;
    bool ok = false;
    const QList<QByteArray> names = xattrNames(from, &ok);
    if (!ok)
        return false;
    // A default ACL of the folder gave the new file attributes the old lacks.
    const QList<QByteArray> inherited = xattrNames(to, &ok);
    for (const QByteArray &name : inherited)
        if (!names.contains(name) && ::fremovexattr(to, name.constData()) != 0)
            return false;
    for (const QByteArray &name : names) {
        const ssize_t size = ::fgetxattr(from, name.constData(), nullptr, 0);
        if (size < 0)
            return false;
        QByteArray value(size, Qt::Uninitialized);
        const ssize_t n = ::fgetxattr(from, name.constData(), value.data(), static_cast<size_t>(size));
        if (n < 0 || ::fsetxattr(to, name.constData(), value.constData(), static_cast<size_t>(n), 0) != 0)
            return false;
    }
    // Last: a change of owner clears the set-id bits, and the mode sets the
    // ACL's mask as it was.
    return ::fchmod(to, old.st_mode & 07777) == 0;
}

// What the update starts from.
struct Old {
    bool exists = false;
    struct stat st { };
    Snapshot *snapshot = nullptr;
};

// True while the path names the file that was read (or still names nothing).
bool stillNames(const Target &target, const Old &old)
{
    struct stat st { };
    if (!old.exists)
        return ::lstat(target.path.constData(), &st) != 0 && errno == ENOENT;
    return ::stat(target.path.constData(), &st) == 0 && st.st_dev == old.st.st_dev
        && st.st_ino == old.st.st_ino;
}

bool writable(const Target &target, const Old &old, QString *error)
{
    // A file without any write permission bit is read-only to its owner's
    // mind, also for the superuser, whom access() would let write it.
    if (old.exists && !(old.st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) {
        *error = systemError(EACCES);
        return false;
    }
    if (old.exists && ::access(target.path.constData(), W_OK) != 0) {
        *error = systemError(errno);
        return false;
    }
    return true;
}

enum class Outcome { Done, Retry, Failed, CannotKeepMetadata };

bool writePieces(int fd, const QList<Piece> &pieces, const Snapshot *source, QString *error)
{
    for (const Piece &piece : pieces) {
        if (piece.offset < 0) {
            if (!writeAll(fd, piece.bytes, error))
                return false;
        } else if (piece.size > 0) {
            if (!source) { // a range of a file that was not there
                *error = QStringLiteral("The file changed while it was being updated");
                return false;
            }
            if (!source->copyTo(fd, piece.offset, piece.size, error))
                return false;
        }
    }
    return true;
}

Outcome replaceByRename(const Target &target, const Old &old, const QList<Piece> &pieces, QString *error)
{
    QByteArray temporary;
    // A new file gets the mode the process gives new files; an existing one's
    // is copied once the owner is set.
    Fd out(createTemporary(target, old.exists ? 0600 : 0666, &temporary, error));
    if (!out)
        return Outcome::Failed;
    const auto drop = [&](Outcome outcome) {
        out.reset();
        ::unlink(temporary.constData());
        return outcome;
    };
    if (old.exists && !copyMetadata(old.snapshot->descriptor(), old.st, out.get()))
        return drop(Outcome::CannotKeepMetadata);
    if (!writePieces(out.get(), pieces, old.snapshot, error))
        // Ranges of a file that another program shortened meanwhile.
        return drop(old.snapshot && !old.snapshot->unchanged() ? Outcome::Retry : Outcome::Failed);
    if (!syncFd(out.get(), error))
        return drop(Outcome::Failed);
    if ((old.snapshot && !old.snapshot->unchanged()) || !stillNames(target, old))
        return drop(Outcome::Retry);
    int renamed = 0;
    if (old.exists) {
        renamed = ::rename(temporary.constData(), target.path.constData());
    } else {
        // A file that appeared meanwhile is not overwritten unseen.
        renamed = ::renameat2(
            AT_FDCWD, temporary.constData(), AT_FDCWD, target.path.constData(), RENAME_NOREPLACE);
        if (renamed != 0 && errno == EEXIST)
            return drop(Outcome::Retry);
        if (renamed != 0 && (errno == EINVAL || errno == ENOSYS))
            renamed = ::rename(temporary.constData(), target.path.constData());
    }
    if (renamed != 0) {
        *error = systemError(errno);
        return drop(Outcome::Failed);
    }
    out.reset();
    syncFolder(target);
    return Outcome::Done;
}

// For a file with more than one name, or one whose owner or attributes a new
// file could not get: the file itself is rewritten, its old content saved
// beside it first. The pieces come from memory: the file is their source.
Outcome writeInPlace(const Target &target, const Old &old, const QList<Piece> &pieces, QString *error)
{
    const QByteArray backup = besideTarget(target, kBackupSuffix);
    const QString backupName = QFile::decodeName(backup);
    struct stat st { };
    if (::lstat(backup.constData(), &st) == 0) {
        *error = QStringLiteral("an earlier update of this file was interrupted, and its previous content is "
                                "kept in \"%1\"; check the file, then remove that copy and try again")
                     .arg(backupName);
        return Outcome::Failed;
    }
    // The old content, also where the caller did not need it.
    if (!old.snapshot->load(error))
        return Outcome::Failed;
    const QByteArrayView before = old.snapshot->bytes();
    {
        Fd copy(::open(backup.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!copy) {
            *error = systemError(errno);
            return Outcome::Failed;
        }
        if (!writeAll(copy.get(), before, error) || !syncFd(copy.get(), error)) {
            copy.reset();
            ::unlink(backup.constData());
            return Outcome::Failed;
        }
    }
    syncFolder(target);
    const auto dropBackup = [&](Outcome outcome) {
        ::unlink(backup.constData());
        syncFolder(target);
        return outcome;
    };
    Fd file(::open(target.path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file) {
        *error = systemError(errno);
        return dropBackup(Outcome::Failed);
    }
    if (::fstat(file.get(), &st) != 0 || st.st_dev != old.st.st_dev || st.st_ino != old.st.st_ino
        || !old.snapshot->unchanged())
        return dropBackup(Outcome::Retry);

    qint64 size = 0;
    bool ok = true;
    for (const Piece &piece : pieces) {
        QByteArrayView bytes = piece.bytes;
        if (piece.offset >= 0) {
            // A range of the old file: its bytes as they were read.
            if (piece.offset + piece.size > before.size())
                return dropBackup(Outcome::Retry);
            bytes = before.sliced(piece.offset, piece.size);
        }
        ok = pwriteAll(file.get(), size, bytes, error);
        if (!ok)
            break;
        size += bytes.size();
    }
    if (ok && ::ftruncate(file.get(), size) != 0) {
        *error = systemError(errno);
        ok = false;
    }
    if (ok)
        ok = syncFd(file.get(), error);
    if (ok)
        return dropBackup(Outcome::Done);
    // Put the old content back; only when that fails too does the backup stay.
    QString ignored;
    if (pwriteAll(file.get(), 0, before, &ignored) && ::ftruncate(file.get(), before.size()) == 0
        && syncFd(file.get(), &ignored))
        return dropBackup(Outcome::Failed);
    *error += QStringLiteral("; the previous content is kept in \"%1\"").arg(backupName);
    return Outcome::Failed;
}

Outcome write(const Target &target, const Old &old, const QList<Piece> &pieces, QString *error)
{
    if (old.exists && old.st.st_nlink > 1)
        return writeInPlace(target, old, pieces, error);
    const Outcome outcome = replaceByRename(target, old, pieces, error);
    if (outcome == Outcome::CannotKeepMetadata)
        return writeInPlace(target, old, pieces, error);
    return outcome;
}

bool lock(int fd, QString *error)
{
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            *error = systemError(errno);
            return false;
        }
    }
    return true;
}

// The lock that serialises updates: the folder's, whose inode stays while the
// file itself is replaced (a lock on the file would be left behind on the old
// inode, and its waiters would have to start over after every update). A
// folder that cannot be opened for reading leaves the file's own lock.
int lockDescriptor(const Target &target, int file, Fd *folder)
{
    folder->reset(::open(target.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return *folder ? folder->get() : file;
}

bool updateFile(const QString &path, const PieceChange &change, bool readOld, QString *error)
{
    Target target;
    if (!resolve(path, &target, error))
        return false;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        Fd folder;
        Fd file(openRegularBytes(target.path, error));
        if (!file) {
            struct stat st { };
            if (::lstat(target.path.constData(), &st) == 0 || errno != ENOENT)
                return false;
        }
        // Held until this round ends; the kernel drops it if the process dies.
        const int lockFd = lockDescriptor(target, file.get(), &folder);
        if (lockFd >= 0 && !lock(lockFd, error))
            return false;
        timespec lockedAt {};
        ::clock_gettime(CLOCK_REALTIME, &lockedAt);
        Old old;
        old.exists = bool(file);
        if (old.exists && ::fstat(file.get(), &old.st) != 0) {
            *error = systemError(errno);
            return false;
        }
        // Replaced, created or removed between the open and the lock.
        if (!stillNames(target, old))
            continue;
        if (!writable(target, old, error))
            return false;
        if (folder)
            removeStaleTemporaries(target, lockedAt);
        Snapshot snapshot;
        if (old.exists) {
            if (!snapshot.adopt(file.release(), error) || (readOld && !snapshot.load(error)))
                return false;
            old.snapshot = &snapshot;
        }
        QList<Piece> pieces;
        if (!change(snapshot, &pieces, error))
            return false;
        switch (write(target, old, pieces, error)) {
        case Outcome::Done:
            return true;
        case Outcome::Retry:
            continue;
        default:
            return false;
        }
    }
    *error = QStringLiteral("The file kept changing while it was being updated");
    return false;
}

} // namespace

int openRegular(const QString &path, QString *error)
{
    return openRegularBytes(QFile::encodeName(path), error);
}

QString notRegularFile(const QString &path)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    return notRegular(st.st_mode);
}

bool read(const QString &path, QByteArray *bytes, QString *error)
{
    const int fd = openRegular(path, error);
    if (fd < 0)
        return false;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file.errorString();
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    return true;
}

Snapshot::~Snapshot()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Snapshot::open(const QString &path, QString *error, bool readBytes)
{
    const int fd = openRegular(path, error);
    return fd >= 0 && adopt(fd, error) && (!readBytes || load(error));
}

bool Snapshot::adopt(int fd, QString *error)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    m_bytes.clear();
    m_loaded = false;
    struct stat st { };
    if (::fstat(m_fd, &st) != 0) {
        *error = systemError(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = notRegular(st.st_mode);
        return false;
    }
    m_size = st.st_size;
    m_mtimeNs = mtimeNs(st);
    return true;
}

bool Snapshot::load(QString *error)
{
    if (m_loaded)
        return true;
    m_bytes = QByteArray(m_size, Qt::Uninitialized);
    // Large pages spare the kernel tens of thousands of page faults while it
    // fills a buffer of many megabytes.
    constexpr quintptr hugePage = 2 << 20;
    const quintptr begin = (reinterpret_cast<quintptr>(m_bytes.data()) + hugePage - 1) & ~(hugePage - 1);
    const quintptr end = (reinterpret_cast<quintptr>(m_bytes.data()) + m_size) & ~(hugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
    qint64 done = 0;
    while (done < m_size) {
        const ssize_t n = ::pread(m_fd, m_bytes.data() + done, static_cast<size_t>(m_size - done), done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = systemError(errno);
            return false;
        }
        if (n == 0) // shortened meanwhile: take what is there
            break;
        done += n;
    }
    m_bytes.truncate(done);
    m_size = done;
    m_loaded = true;
    return true;
}

bool Snapshot::readAt(qint64 offset, qint64 size, QByteArray *out, QString *error) const
{
    out->resize(size);
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(m_fd, out->data() + done, static_cast<size_t>(size - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = systemError(errno);
            return false;
        }
        if (n == 0)
            break;
        done += n;
    }
    out->truncate(done);
    return true;
}

qint64 Snapshot::offsetOf(QByteArrayView part) const
{
    const char *begin = m_bytes.constData();
    if (part.isEmpty() || part.data() < begin || part.data() + part.size() > begin + m_bytes.size())
        return -1;
    return part.data() - begin;
}

bool Snapshot::copyTo(int fd, qint64 offset, qint64 size, QString *error) const
{
    loff_t from = offset;
    while (size > 0) {
        const ssize_t n = ::copy_file_range(m_fd, &from, fd, nullptr, static_cast<size_t>(size), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            // No kernel copy here.
            if (from + size <= m_bytes.size())
                return writeAll(fd, QByteArrayView(m_bytes).sliced(from, size), error);
            QByteArray bytes;
            if (!readAt(from, size, &bytes, error))
                return false;
            if (bytes.size() != size) {
                *error = QStringLiteral("The file changed while it was being updated");
                return false;
            }
            return writeAll(fd, bytes, error);
        }
        if (n <= 0) {
            *error
                = n < 0 ? systemError(errno) : QStringLiteral("The file changed while it was being updated");
            return false;
        }
        size -= n;
    }
    return true;
}

bool Snapshot::unchanged() const
{
    if (m_fd < 0) // nothing was read, so nothing can be spliced
        return true;
    struct stat st { };
    return ::fstat(m_fd, &st) == 0 && st.st_size == m_size && mtimeNs(st) == m_mtimeNs;
}

bool update(const QString &path, const PieceChange &change, QString *error)
{
    QString reason;
    const bool ok = updateFile(path, change, false, &reason);
    if (!ok && error)
        *error = reason;
    return ok;
}

bool update(const QString &path, const Change &change, QString *error)
{
    QString reason;
    const auto inPieces = [&change](const Snapshot &old, QList<Piece> *pieces, QString *why) {
        QList<QByteArrayView> views;
        if (!change(old.bytes(), &views, why))
            return false;
        pieces->clear();
        pieces->reserve(views.size());
        for (const QByteArrayView view : views) {
            const qint64 offset = old.offsetOf(view);
            pieces->append({ view, offset, view.size() });
        }
        return true;
    };
    const bool ok = updateFile(path, inPieces, true, &reason);
    if (!ok && error)
        *error = reason;
    return ok;
}

bool replace(const QString &path, const QByteArray &bytes, QString *error)
{
    return replace(path, QList<QByteArrayView> { QByteArrayView(bytes) }, error);
}

bool replace(const QString &path, QList<QByteArrayView> pieces, QString *error)
{
    // The old content is not needed, so it is not read (unless the file must
    // be written in place, which backs it up first).
    return update(
        path,
        [&pieces](const Snapshot &, QList<Piece> *out, QString *) {
            out->clear();
            for (const QByteArrayView piece : pieces)
                out->append({ piece });
            return true;
        },
        error);
}

} // namespace filebytes
