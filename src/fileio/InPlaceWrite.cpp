#include "fileio/FileUpdateParts_p.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filebytes::parts {

namespace {

bool deniedHere(const FileError &error)
{
    return error.errnum == EACCES || error.errnum == EPERM || error.errnum == EROFS;
}

// Saves the old content to a temporary file, then gives it the backup's name:
// a backup that exists is always whole, so restoring it never destroys a
// file. It goes beside the target, or into the user's cache folder where the
// target's folder may not be written.
bool saveBackup(
    const Target &target, const Old &old, QByteArrayView before, BackupPlace *place, FileError *error)
{
    *place = backupBeside(target);
    QByteArray temporary;
    Fd copy(createTemporary(place->folder, target.name, 0600, &temporary, error));
    if (!copy && deniedHere(*error)) {
        *place = backupInCache(target);
        if (!prepareCacheFolder(*place, error))
            return false;
        copy.reset(createTemporary(place->folder, place->name, 0600, &temporary, error));
    }
    if (!copy)
        return false;
    shareLikeFile(old.file->descriptor(), old.st, copy.get());
    if (!writeAll(copy.get(), before, error) || !syncFd(copy.get(), error)) {
        copy.reset();
        ::unlink(temporary.constData());
        return false;
    }
    copy.reset();
    // Never over a backup that appeared meanwhile: it may be the only whole
    // copy. Where the file system cannot rename without replacing, a hard
    // link refuses an existing name just as well.
    const QByteArray path = place->path();
    int named = ::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, path.constData(), RENAME_NOREPLACE);
    const bool linked = named != 0 && (errno == EINVAL || errno == ENOSYS);
    if (linked)
        named = ::link(temporary.constData(), path.constData());
    if (named != 0 || linked) {
        const int why = errno;
        ::unlink(temporary.constData());
        if (named != 0) {
            *error = why == EEXIST ? backupLeft(path) : FileError::system(why);
            return false;
        }
    }
    syncFolder(place->folder);
    return true;
}

} // namespace

// For a file with more than one name, one whose owner or attributes a new
// file could not get, or one whose name cannot be given to a new file: the
// file itself is rewritten, its old content saved first. The pieces come from
// memory: the file is their source.
Outcome writeInPlace(const Target &target, const Old &old, const QList<Piece> &pieces, FileError *error)
{
    // The old content, also where the caller did not need it.
    if (!old.file->load(error))
        return Outcome::Failed;
    const QByteArrayView before = old.file->bytes();
    BackupPlace backup;
    if (!saveBackup(target, old, before, &backup, error))
        return Outcome::Failed;
    const auto dropBackup = [&](Outcome outcome) {
        ::unlink(backup.path().constData());
        syncFolder(backup.folder);
        return outcome;
    };
    struct stat st { };
    Fd file(::open(target.path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file) {
        *error = FileError::system(errno);
        return dropBackup(Outcome::Failed);
    }
    if (::fstat(file.get(), &st) != 0 || st.st_dev != old.st.st_dev || st.st_ino != old.st.st_ino
        || !old.file->unchanged())
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
        *error = FileError::system(errno);
        ok = false;
    }
    if (ok)
        ok = syncFd(file.get(), error);
    if (ok)
        return dropBackup(Outcome::Done);
    // Put the old content back; only when that fails too does the backup stay.
    FileError ignored;
    if (pwriteAll(file.get(), 0, before, &ignored) && ::ftruncate(file.get(), before.size()) == 0
        && syncFd(file.get(), &ignored))
        return dropBackup(Outcome::Failed);
    error->kind = FileError::Kind::BackupKept;
    error->text
        += QStringLiteral("; the previous content is kept in \"%1\"").arg(QFile::decodeName(backup.path()));
    return Outcome::Failed;
}

} // namespace filebytes::parts
