#include "fileio/FileBytes.h"

#include "fileio/FileUpdateParts_p.h"

#include <QFile>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace filebytes {

using namespace parts;

namespace {

// Another process that keeps replacing the file without taking the lock could
// make an update start over forever.
constexpr int kAttempts = 50;

Outcome write(const Target &target, const Old &old, const QList<Piece> &pieces, const Written &written,
    FileError *error)
{
    if (old.exists && old.st.st_nlink > 1)
        return writeInPlace(target, old, pieces, written, error);
    const Outcome outcome = replaceByRename(target, old, pieces, written, error);
    if (outcome == Outcome::CannotKeepMetadata || outcome == Outcome::CannotReplace)
        return writeInPlace(target, old, pieces, written, error);
    return outcome;
}

bool updateFile(const QString &path, const PieceChange &change, const Wait &wait, const Written &written,
    FileError *error)
{
    Target target;
    if (!resolve(path, &target, error))
        return false;
    // One limit for the whole wait: the file may be replaced several times
    // while this update waits its turn.
    const qint64 started = monotonicMs();
    for (int attempt = 0; attempt < kAttempts;) {
        Fd file(openRegularBytes(target.path, error, O_RDWR));
        if (!file && error->errnum == EPERM) {
            // An immutable or append-only file cannot be opened for writing:
            // say which it is.
            const Fd readable(openRegularBytes(target.path, error));
            if (readable && !flagsAllowUpdate(readable.get(), error))
                return false;
            *error = FileError::system(EPERM);
        }
        if (!file) {
            struct stat st { };
            if (::lstat(target.path.constData(), &st) == 0 || errno != ENOENT)
                return false;
        }
        // Held until this round ends; the kernel drops it if the process dies.
        // A missing file has nothing to lock: it is created only where no file
        // appeared meanwhile, and a writer that finds one starts over on it.
        if (file && !lockFile(file.get(), wait, started, error))
            return false;
        timespec lockedAt {};
        ::clock_gettime(CLOCK_REALTIME, &lockedAt);
        Old old;
        old.exists = bool(file);
        if (old.exists && ::fstat(file.get(), &old.st) != 0) {
            *error = FileError::system(errno);
            return false;
        }
        // Replaced, created or removed between the open and the lock: by the
        // writer this one waited for, as a rule.
        if (!stillNames(target, old)) {
            if (monotonicMs() - started >= wait.limitMs) {
                *error = FileError::busy();
                return false;
            }
            continue;
        }
        if (old.exists && !flagsAllowUpdate(file.get(), error))
            return false;
        if (!writable(target, old, error))
            return false;
        // A backup left by an interrupted in-place write may be the only
        // whole copy of the file, and the file may be torn: whichever way
        // this write went, it would keep the file as it is.
        if (const std::optional<QByteArray> backup = leftoverBackup(target)) {
            *error = backupLeft(*backup);
            return false;
        }
        // Only under the lock that every writer of the file takes: a writer
        // of a file that is not there yet holds none, and another such
        // writer's temporary may be older than this one's start.
        if (old.exists) {
            removeStaleTemporaries(target.folder, target.name, lockedAt, old.st.st_uid);
            const BackupPlace cached = backupInCache(target);
            if (!cached.name.isEmpty())
                removeStaleTemporaries(cached.folder, cached.name, lockedAt, old.st.st_uid);
        }
        OldFile oldFile;
        if (old.exists) {
            if (!oldFile.adopt(file.release(), error))
                return false;
            old.file = &oldFile;
        }
        QList<Piece> pieces;
        if (!change(oldFile, &pieces, error))
            return false;
        switch (write(target, old, pieces, written, error)) {
        case Outcome::Done:
            return true;
        case Outcome::Retry:
            ++attempt;
            continue;
        default:
            return false;
        }
    }
    *error = { FileError::Kind::Changed, 0,
        QStringLiteral("The file kept changing while it was being updated") };
    return false;
}

} // namespace

bool update(const QString &path, const PieceChange &change, FileError *error, const Wait &wait,
    const Written &written)
{
    FileError reason;
    const bool ok = updateFile(path, change, wait, written, &reason);
    if (!ok && error)
        *error = reason;
    return ok;
}

bool replace(const QString &path, const QList<QByteArrayView> &pieces, FileError *error, const Wait &wait)
{
    // The old content is not needed, so it is not read (unless the file must
    // be written in place, which backs it up first).
    return update(
        path,
        [&pieces](const Snapshot &, QList<Piece> *out, FileError *) {
            out->clear();
            for (const QByteArrayView piece : pieces)
                out->append({ piece });
            return true;
        },
        error, wait);
}

std::optional<QString> leftoverBackup(const QString &path)
{
    Target target;
    FileError ignored;
    if (!resolve(path, &target, &ignored))
        return std::nullopt;
    const std::optional<QByteArray> backup = parts::leftoverBackup(target);
    return backup ? std::optional<QString>(QFile::decodeName(*backup)) : std::nullopt;
}

} // namespace filebytes
