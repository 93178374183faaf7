#include "fileio/FileBytes.h"

#include "fileio/FileUpdateParts_p.h"

#include <QFile>

#include <cerrno>
#include <ctime>
#include <sys/stat.h>

namespace filebytes {

using namespace parts;

namespace {

// Another process that keeps replacing the file without taking the lock could
// make an update start over forever.
constexpr int kAttempts = 50;

Outcome write(const Target &target, const Old &old, const QList<Piece> &pieces, FileError *error)
{
    if (old.exists && old.st.st_nlink > 1)
        return writeInPlace(target, old, pieces, error);
    const Outcome outcome = replaceByRename(target, old, pieces, error);
    if (outcome == Outcome::CannotKeepMetadata || outcome == Outcome::CannotReplace)
        return writeInPlace(target, old, pieces, error);
    return outcome;
}

bool updateFile(const QString &path, const PieceChange &change, FileError *error)
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
        if (!lockUpdates(target, file.get(), &folder, error))
            return false;
        timespec lockedAt {};
        ::clock_gettime(CLOCK_REALTIME, &lockedAt);
        Old old;
        old.exists = bool(file);
        if (old.exists && ::fstat(file.get(), &old.st) != 0) {
            *error = FileError::system(errno);
            return false;
        }
        // Replaced, created or removed between the open and the lock.
        if (!stillNames(target, old))
            continue;
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
        switch (write(target, old, pieces, error)) {
        case Outcome::Done:
            return true;
        case Outcome::Retry:
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

bool update(const QString &path, const PieceChange &change, FileError *error)
{
    FileError reason;
    const bool ok = updateFile(path, change, &reason);
    if (!ok && error)
        *error = reason;
    return ok;
}

bool replace(const QString &path, const QList<QByteArrayView> &pieces, FileError *error)
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
        error);
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
