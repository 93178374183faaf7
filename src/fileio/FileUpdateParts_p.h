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
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace filebytes::parts {

// Names of our own files beside a target (OwnFiles.cpp). A temporary file is
// the name it stands for, cut where the folder's longest name requires, then
// kTempInfix, a slot of kTempSlot letters and a check of kTempCheck hex digits
// computed from the whole name and the slot. Only a file with a right check,
// owned by the writer, is ever removed as stale: a user's file of a similar
// name is not ours. A backup is the name and kBackupSuffix.
inline constexpr QByteArrayView kTempInfix(".ferox-tmp-");
inline constexpr int kTempSlot = 4;
inline constexpr int kTempCheck = 8;
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
    // Closes the file once a rename has replaced it. Its last close frees
    // its cached pages, which for a big file takes the kernel a while that
    // the caller need not wait for: a big one is closed on a thread of its
    // own. Its lock goes with the close; a writer still waiting on it finds
    // the new file at the path once granted.
    void closeReplaced();

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
// Makes a rename (or an unlink) in the folder survive a power loss.
void syncFolder(const Target &target);
void syncFolder(const QByteArray &folder);

// Creates a new temporary file for `name` in `folder` (OwnFiles.cpp), with
// O_EXCL: the first free one of a few fixed slots, so that a leftover can be
// found in a folder that cannot be listed, else one of random letters.
int createTemporary(
    const QByteArray &folder, const QByteArray &name, mode_t mode, QByteArray *path, FileError *error);
// Removes the temporary files for `name` in `folder` that a killed update
// left: ours by their check, regular files owned by this user (or, for the
// superuser, by `alsoOwner`, to whom it gives its temporaries of that user's
// file), older than `lockedAt`. Found also where the folder cannot be listed.
void removeStaleTemporaries(
    const QByteArray &folder, const QByteArray &name, const timespec &lockedAt, uid_t alsoOwner);

// Where the in-place write keeps the old content of the target: beside it, or,
// where its folder may not be written, in the user's cache folder, under a name
// made from the target's whole path (empty when there is no cache folder).
struct BackupPlace {
    QByteArray folder;
    QByteArray name;
    QByteArray path() const { return folder + '/' + name; }
};
BackupPlace backupBeside(const Target &target);
BackupPlace backupInCache(const Target &target);
// The backup an interrupted in-place write left of the target, or nothing.
std::optional<QByteArray> leftoverBackup(const Target &target);
// Creates the cache folder (mode 0700) where missing; false when it cannot be
// made or is not this user's own.
bool prepareCacheFolder(const BackupPlace &place, FileError *error);
// The refusal to write a file while a backup of it is left.
FileError backupLeft(const QByteArray &backup);

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
// ACLs among them), file flags such as no-dump and no-atime, and mode; false
// when the process may not (FileMetadata.cpp).
bool copyMetadata(int from, const struct stat &old, int to);
// Refuses a file whose flags forbid the update: immutable, or append-only.
bool flagsAllowUpdate(int fd, FileError *error);
// Lets whoever may read the old file read its backup `to`, as far as the
// process may: owner, group, ACL and permission bits as the file's, or, where
// the owner cannot be given, a read entry for the file's owner in its ACL.
void shareLikeFile(int from, const struct stat &old, int to);

enum class Outcome { Done, Retry, Failed, CannotKeepMetadata, CannotReplace };
// Writes the pieces to a temporary file beside the target and renames it over
// the target (RenameReplace.cpp).
Outcome replaceByRename(const Target &target, const Old &old, const QList<Piece> &pieces,
    const Written &written, FileError *error);
// Rewrites the file itself after saving its old content beside it
// (InPlaceWrite.cpp).
Outcome writeInPlace(const Target &target, const Old &old, const QList<Piece> &pieces, const Written &written,
    FileError *error);

} // namespace filebytes::parts
