#include "fileio/FileUpdateParts_p.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filebytes::parts {

// For a file with more than one name, or one whose owner or attributes a new
// file could not get: the file itself is rewritten, its old content saved
// beside it first. The pieces come from memory: the file is their source.
Outcome writeInPlace(const Target &target, const Old &old, const QList<Piece> &pieces, const Written &written,
    FileError *error)
{
    const QByteArray backup = besideTarget(target, kBackupSuffix);
    const QString backupName = QFile::decodeName(backup);
    struct stat st { };
    if (::lstat(backup.constData(), &st) == 0) {
        *error = { FileError::Kind::BackupKept, 0,
            QStringLiteral("an earlier update of this file was interrupted, and its previous content is "
                           "kept in \"%1\"; check the file, then remove that copy and try again")
                .arg(backupName) };
        return Outcome::Failed;
    }
    // The old content, also where the caller did not need it.
    if (!old.file->load(error))
        return Outcome::Failed;
    const QByteArrayView before = old.file->bytes();
    {
        Fd copy(::open(backup.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!copy) {
            *error = FileError::system(errno);
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
    if (ok) {
        if (written)
            written(file.get());
        return dropBackup(Outcome::Done);
    }
    // Put the old content back; only when that fails too does the backup stay.
    FileError ignored;
    if (pwriteAll(file.get(), 0, before, &ignored) && ::ftruncate(file.get(), before.size()) == 0
        && syncFd(file.get(), &ignored))
        return dropBackup(Outcome::Failed);
    error->kind = FileError::Kind::BackupKept;
    error->text += QStringLiteral("; the previous content is kept in \"%1\"").arg(backupName);
    return Outcome::Failed;
}

} // namespace filebytes::parts
