#pragma once

// The parts of filebytes::update(), one job per source file. Only the file
// engine itself includes this header; everything else uses FileBytes.h and
// FileRead.h.

#include "fileio/FileBytes.h"
#include "fileio/FileError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace filebytes::parts {

// Names of our own temporary files: the target's name, this infix and six
// random letters or digits. Only such names are ever removed as stale.
inline constexpr QByteArrayView kTempInfix(".ferox-tmp-");
inline constexpr int kTempRandom = 6;
inline constexpr QByteArrayView kBackupSuffix(".ferox-backup");

// A file descriptor that is closed when it goes.
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

// Whole reads, writes and syncs, retried where the system was interrupted (FileIo.cpp).
// preadAll reads `size` bytes from `offset` into `into`, fewer at the file's end;
// it returns how many, or -1 on failure.
qint64 preadAll(int fd, qint64 offset, char *into, qint64 size, FileError *error);
bool writeAll(int fd, QByteArrayView bytes, FileError *error);
bool pwriteAll(int fd, qint64 offset, QByteArrayView bytes, FileError *error);
bool syncFd(int fd, FileError *error);
qint64 mtimeNs(const struct stat &st);

// Opens a regular file, for reading unless `access` says otherwise (FileRead.cpp).
int openRegularBytes(const QByteArray &path, FileError *error, int access = O_RDONLY);

// The old file as the update holds it (Snapshot.cpp): its descriptor, and its
// bytes once they are needed whole.
class OldFile : public Snapshot {
public:
    // Takes `fd` and the file's size and time, but reads nothing yet.
    bool adopt(int fd, FileError *error);
    // Reads the bytes, once.
    bool load(FileError *error);
    QByteArrayView bytes() const { return m_bytes; }
    // Appends the file's bytes [offset, offset + size) to `fd`, inside the
    // kernel where it can; false when the file no longer holds them.
    bool copyTo(int fd, qint64 offset, qint64 size, FileError *error) const;
    // True while the file's size and modification time are those it had when
    // it was taken: a copy from a file that changed meanwhile would splice old
    // and new content.
    bool unchanged() const;

private:
    QByteArray m_bytes;
    qint64 m_mtimeNs = 0;
    bool m_loaded = false;
};

// The file an update writes (FileTarget.cpp): symbolic links are followed, so
// that a link stays a link and its target gets the new content.
struct Target {
    QByteArray path;
    QByteArray folder;
    QByteArray name;
};

bool resolve(const QString &path, Target *target, FileError *error);
QByteArray besideTarget(const Target &target, QByteArrayView suffix);
// Makes a rename (or an unlink) in the folder survive a power loss.
void syncFolder(const Target &target);

// What the update starts from.
struct Old {
    bool exists = false;
    struct stat st { };
    OldFile *file = nullptr;
};

// True while the path names the file that was read (or still names nothing).
bool stillNames(const Target &target, const Old &old);
// Refuses a file the user may not write, or one without any write permission.
bool writable(const Target &target, const Old &old, FileError *error);

// Takes the lock that serialises updates of a file on `fd`, the file opened
// for reading and writing, waiting as `wait` says from `startedMs` on
// (FileLock.cpp).
bool lockFile(int fd, const Wait &wait, qint64 startedMs, FileError *error);
// A clock for waits, in milliseconds.
qint64 monotonicMs();
// Locks a file nobody else can have opened yet (a new temporary file), so that
// it is the caller's from the moment it takes the name.
void lockNew(int fd);

// Gives the new file the old one's owner, group, extended attributes (POSIX
// ACLs among them) and mode; false when the process may not (FileMetadata.cpp).
bool copyMetadata(int from, const struct stat &old, int to);

enum class Outcome { Done, Retry, Failed, CannotKeepMetadata };

// Called with the lock held: removes the temporary files of killed updates
// that are older than the lock (RenameReplace.cpp).
void removeStaleTemporaries(const Target &target, const timespec &lockedAt);
// Writes the pieces to a temporary file beside the target and renames it over
// the target (RenameReplace.cpp).
Outcome replaceByRename(const Target &target, const Old &old, const QList<Piece> &pieces,
    const Written &written, FileError *error);
// Rewrites the file itself after saving its old content beside it
// (InPlaceWrite.cpp).
Outcome writeInPlace(const Target &target, const Old &old, const QList<Piece> &pieces, const Written &written,
    FileError *error);

} // namespace filebytes::parts
