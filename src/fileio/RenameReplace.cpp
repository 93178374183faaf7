#include "fileio/FileUpdateParts_p.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filebytes::parts {

namespace {

bool olderThan(const struct stat &st, const timespec &when)
{
    return st.st_mtim.tv_sec < when.tv_sec
        || (st.st_mtim.tv_sec == when.tv_sec && st.st_mtim.tv_nsec < when.tv_nsec);
}

// Creates a new temporary file beside the target.
int createTemporary(const Target &target, mode_t mode, QByteArray *path, FileError *error)
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
            *error = FileError::system(errno);
            return -1;
        }
    }
    *error = FileError::system(EEXIST);
    return -1;
}

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

// A temporary file of ours that is older than the lock belongs to an update
// that was killed before it could remove it.
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

Outcome replaceByRename(const Target &target, const Old &old, const QList<Piece> &pieces,
    const Written &written, FileError *error)
{
    QByteArray temporary;
    // A new file gets the mode the process gives new files; an existing one's
    // is copied once the owner is set.
    Fd out(createTemporary(target, old.exists ? 0600 : 0666, &temporary, error));
    if (!out)
        return Outcome::Failed;
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
        return drop(Outcome::Failed);
    }
    syncFolder(target);
    if (written)
        written(out.get());
    return Outcome::Done;
}

} // namespace filebytes::parts
