#include "fileio/FileUpdateParts_p.h"

#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <linux/fs.h>
#include <sys/ioctl.h>
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

bool copyAttribute(int from, int to, const QByteArray &name)
{
    const ssize_t size = ::fgetxattr(from, name.constData(), nullptr, 0);
    if (size < 0)
        return false;
    QByteArray value(size, Qt::Uninitialized);
    const ssize_t n = ::fgetxattr(from, name.constData(), value.data(), static_cast<size_t>(size));
    return n >= 0 && ::fsetxattr(to, name.constData(), value.constData(), static_cast<size_t>(n), 0) == 0;
}

// The flags (chattr) a user gives a file and expects it to keep: no dump, no
// access times, synchronous writes, compression and copy-on-write choices,
// deletion wishes. Immutable and append-only files are never replaced.
constexpr int kKeptFlags = FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL | FS_NODUMP_FL | FS_NOATIME_FL
    | FS_NOCOMP_FL | FS_NOTAIL_FL | FS_NOCOW_FL;

bool noFlagsHere(int error)
{
    return error == ENOTTY || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
}

// Set while the new file is still empty: copy-on-write can be chosen only then.
bool copyFlags(int from, int to)
{
    int old = 0;
    if (::ioctl(from, FS_IOC_GETFLAGS, &old) != 0)
        return noFlagsHere(errno);
    int now = 0;
    if (::ioctl(to, FS_IOC_GETFLAGS, &now) != 0)
        return (old & kKeptFlags) == 0;
    // Flags the folder hands down to new files are the folder's wish, not the file's.
    const int wanted = (now & ~kKeptFlags) | (old & kKeptFlags);
    if (wanted == now)
        return true;
    return ::ioctl(to, FS_IOC_SETFLAGS, &wanted) == 0 && ::ioctl(to, FS_IOC_GETFLAGS, &now) == 0
        && (now & kKeptFlags) == (old & kKeptFlags);
}

// A POSIX access ACL as the kernel stores it in "system.posix_acl_access".
struct AclEntry {
    quint16 tag;
    quint16 perm;
    quint32 id;
};
constexpr quint16 kAclUserObj = 0x01, kAclUser = 0x02, kAclGroupObj = 0x04, kAclMask = 0x10, kAclOther = 0x20;
constexpr quint32 kAclVersion = 2;
constexpr quint32 kAclNoId = 0xFFFFFFFF;
constexpr quint16 kAclRead = 4;
constexpr char kAclName[] = "system.posix_acl_access";

// Adds a read entry for `reader` to the file's ACL (made from its mode where
// it has none). Left as it is where the file system keeps no ACLs.
void grantRead(int fd, uid_t reader, mode_t mode)
{
    QList<AclEntry> entries;
    QByteArray stored(::fgetxattr(fd, kAclName, nullptr, 0), Qt::Uninitialized);
    if (!stored.isEmpty()
        && ::fgetxattr(fd, kAclName, stored.data(), static_cast<size_t>(stored.size())) == stored.size()
        && stored.size() % 8 == 4 && qFromLittleEndian<quint32>(stored.constData()) == kAclVersion) {
        for (qsizetype at = 4; at < stored.size(); at += 8)
            entries.append({ qFromLittleEndian<quint16>(stored.constData() + at),
                qFromLittleEndian<quint16>(stored.constData() + at + 2),
                qFromLittleEndian<quint32>(stored.constData() + at + 4) });
    } else {
        entries = { { kAclUserObj, quint16((mode >> 6) & 7), kAclNoId },
            { kAclGroupObj, quint16((mode >> 3) & 7), kAclNoId },
            { kAclOther, quint16(mode & 7), kAclNoId } };
    }
    const auto entry = [&](quint16 tag, quint32 id) {
        return std::find_if(entries.begin(), entries.end(),
            [&](const AclEntry &e) { return e.tag == tag && (tag != kAclUser || e.id == id); });
    };
    if (const auto user = entry(kAclUser, reader); user != entries.end())
        user->perm |= kAclRead;
    else
        entries.append({ kAclUser, kAclRead, reader });
    // The mask bounds every named entry: it must let the read through.
    if (const auto mask = entry(kAclMask, kAclNoId); mask != entries.end()) {
        mask->perm |= kAclRead;
    } else {
        const auto group = entry(kAclGroupObj, kAclNoId);
        entries.append(
            { kAclMask, quint16((group != entries.end() ? group->perm : 0) | kAclRead), kAclNoId });
    }
    std::sort(entries.begin(), entries.end(),
        [](const AclEntry &a, const AclEntry &b) { return a.tag != b.tag ? a.tag < b.tag : a.id < b.id; });
    QByteArray value(4 + 8 * entries.size(), Qt::Uninitialized);
    qToLittleEndian<quint32>(kAclVersion, value.data());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        char *at = value.data() + 4 + 8 * i;
        qToLittleEndian<quint16>(entries[i].tag, at);
        qToLittleEndian<quint16>(entries[i].perm, at + 2);
        qToLittleEndian<quint32>(entries[i].id, at + 4);
    }
    ::fsetxattr(fd, kAclName, value.constData(), static_cast<size_t>(value.size()), 0);
}

} // namespace

bool flagsAllowUpdate(int fd, FileError *error)
{
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0)
        return true;
    if (flags & FS_IMMUTABLE_FL) {
        *error = { FileError::Kind::Protected, EPERM,
            QStringLiteral(
                "the file is marked immutable (chattr +i), so nothing may change it; to change it, "
                "have the mark removed (chattr -i, which needs the administrator)") };
        return false;
    }
    if (flags & FS_APPEND_FL) {
        *error = { FileError::Kind::Protected, EPERM,
            QStringLiteral(
                "the file is marked append-only (chattr +a), so it may only grow at its end, and an "
                "update rewrites it; to change it, have the mark removed (chattr -a, which needs the "
                "administrator)") };
        return false;
    }
    return true;
}

void shareLikeFile(int from, const struct stat &old, int to)
{
    // Whatever the process may give of the file's owner, group and
    // attributes (its ACL among them); where it may not, the copy is left a
    // little less shared, never more.
    [[maybe_unused]] const bool owned
        = ::fchown(to, old.st_uid, old.st_gid) == 0 || ::fchown(to, static_cast<uid_t>(-1), old.st_gid) == 0;
    bool ok = false;
    for (const QByteArray &name : xattrNames(from, &ok))
        copyAttribute(from, to, name);
    // Without set-id bits: a copy of a file is never run as its owner.
    ::fchmod(to, old.st_mode & 0777);
    struct stat now { };
    if ((old.st_mode & S_IRUSR) && ::fstat(to, &now) == 0 && now.st_uid != old.st_uid)
        grantRead(to, old.st_uid, now.st_mode);
}

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
    for (const QByteArray &name : names)
        if (!copyAttribute(from, to, name))
            return false;
    if (!copyFlags(from, to))
        return false;
    // Last: a change of owner clears the set-id bits, and the mode sets the
    // ACL's mask as it was.
    return ::fchmod(to, old.st_mode & 07777) == 0;
}

} // namespace filebytes::parts
