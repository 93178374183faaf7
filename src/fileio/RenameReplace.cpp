#include "fileio/FileUpdateParts_p.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filebytes::parts {

namespace {

bool writePieces(int fd, const QList<Piece> &pieces, const OldFile *source, FileError *error)
{
    for (const Piece &piece : pieces) {
        if (piece.offset < 0) {
            if (!writeAll(fd, piece.bytes, error))
                return false;
        } else if (piece.size > 0) {
            if (!source) { // a range of a file that was not there
                *error = { FileError::Kind::Changed, 0,
                    QStringLiteral("The file changed while it was being updated") };
                return false;
            }
            if (!source->copyTo(fd, piece.offset, piece.size, error))
                return false;
        }
    }
    return true;
}

} // namespace

Outcome replaceByRename(const Target &target, const Old &old, const QList<Piece> &pieces,
    const Written &written, FileError *error)
{
    QByteArray temporary;
    // A new file gets the mode the process gives new files; an existing one's
    // is copied once the owner is set.
    Fd out(createTemporary(target.folder, target.name, old.exists ? 0600 : 0666, &temporary, error));
    // A writable file in a folder this user may not write can still be
    // written in place.
    if (!out)
        return old.exists && (error->errnum == EACCES || error->errnum == EPERM) ? Outcome::CannotReplace
                                                                                 : Outcome::Failed;
    // Writers that open the new file once it has the name wait until this
    // update is done with it.
    lockNew(out.get());
    const auto drop = [&](Outcome outcome) {
        out.reset();
        ::unlink(temporary.constData());
        return outcome;
    };
    if (old.exists && !copyMetadata(old.file->descriptor(), old.st, out.get()))
        return drop(Outcome::CannotKeepMetadata);
    if (!writePieces(out.get(), pieces, old.file, error))
        // Ranges of a file that another program shortened meanwhile.
        return drop(old.file && !old.file->unchanged() ? Outcome::Retry : Outcome::Failed);
    if (!syncFd(out.get(), error))
        return drop(Outcome::Failed);
    if ((old.file && !old.file->unchanged()) || !stillNames(target, old))
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
        if (renamed != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // No such rename here (NFS among others): a hard link is made
            // only where no name is, just as atomically; a file system
            // without hard links is left the plain rename.
            renamed = ::link(temporary.constData(), target.path.constData());
            if (renamed != 0 && errno == EEXIST)
                return drop(Outcome::Retry);
            if (renamed == 0)
                ::unlink(temporary.constData());
            else
                renamed = ::rename(temporary.constData(), target.path.constData());
        }
    }
    if (renamed != 0) {
        *error = FileError::system(errno);
        // The name cannot be given to another file, but the file itself may
        // be written: one mounted on its own (EBUSY) or from elsewhere
        // (EXDEV), another user's in a folder with the sticky bit (EPERM).
        const bool fileStays = errno == EBUSY || errno == EXDEV || errno == EPERM || errno == EACCES;
        return drop(old.exists && fileStays ? Outcome::CannotReplace : Outcome::Failed);
    }
    syncFolder(target);
    if (written)
        written(out.get());
    if (old.file)
        old.file->closeReplaced();
    return Outcome::Done;
}

} // namespace filebytes::parts
