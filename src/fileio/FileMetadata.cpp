#include "fileio/FileUpdateParts_p.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace filebytes::parts {

namespace {

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

} // namespace

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

} // namespace filebytes::parts
