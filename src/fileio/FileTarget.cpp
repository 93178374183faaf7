#include "fileio/FileUpdateParts_p.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filebytes::parts {

bool resolve(const QString &path, Target *target, FileError *error)
{
    QByteArray at = QFile::encodeName(path);
    for (int hops = 0;; ++hops) {
        struct stat st { };
        if (at.isEmpty() || ::lstat(at.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        if (hops == 40) {
            *error = FileError::system(ELOOP);
            return false;
        }
        QByteArray link(4096, Qt::Uninitialized);
        const ssize_t n = ::readlink(at.constData(), link.data(), static_cast<size_t>(link.size()));
        if (n <= 0 || n == link.size()) {
            *error = FileError::system(n < 0 ? errno : ENAMETOOLONG);
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
        *error = FileError::system(ENOENT);
        return false;
    }
    return true;
}

void syncFolder(const Target &target)
{
    syncFolder(target.folder);
}

void syncFolder(const QByteArray &path)
{
    Fd folder(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder)
        ::fsync(folder.get());
}

bool stillNames(const Target &target, const Old &old)
{
    struct stat st { };
    if (!old.exists)
        return ::lstat(target.path.constData(), &st) != 0 && errno == ENOENT;
    return ::stat(target.path.constData(), &st) == 0 && st.st_dev == old.st.st_dev
        && st.st_ino == old.st.st_ino;
}

bool writable(const Target &target, const Old &old, FileError *error)
{
    // A file without any write permission bit is read-only to its owner's
    // mind, also for the superuser, whom access() would let write it.
    if (old.exists && !(old.st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) {
        *error = FileError::system(EACCES);
        return false;
    }
    if (old.exists && ::access(target.path.constData(), W_OK) != 0) {
        *error = FileError::system(errno);
        return false;
    }
    return true;
}

} // namespace filebytes::parts
