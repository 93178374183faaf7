#include "fileio/FileUpdateParts_p.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filebytes::parts {

namespace {

// The first slots are tried in this order; a folder that cannot be listed is
// searched for leftovers in them alone.
constexpr int kFixedSlots = 8;

// The longest name the folder takes; most file systems take 255 bytes.
qsizetype longestName(const QByteArray &folder)
{
    const long max = ::pathconf(folder.constData(), _PC_NAME_MAX);
    return max > 0 && max < 4096 ? max : NAME_MAX;
}

// The name cut to at most `room` bytes, never inside a UTF-8 character, so
// that the part that stays is still readable in a file manager.
QByteArray cutToFit(const QByteArray &name, qsizetype room)
{
    if (name.size() <= room)
        return name;
    qsizetype size = std::max<qsizetype>(room, 0);
    while (size > 0 && (static_cast<uchar>(name[size]) & 0xC0) == 0x80)
        --size;
    return name.first(size);
}

QByteArray hexDigest(const QByteArray &what, int digits)
{
    return QCryptographicHash::hash(what, QCryptographicHash::Sha256).toHex().first(digits);
}

// The check that marks a temporary of ours: no name a user gives a file by
// hand or by chance carries it.
QByteArray check(const QByteArray &name, QByteArrayView slot)
{
    return hexDigest(QByteArray("ferox-ini-editor temporary:") + name + '\0' + slot, kTempCheck);
}

// What every temporary for `name` starts with.
QByteArray temporaryPrefix(const QByteArray &name, qsizetype longest)
{
    return cutToFit(name, longest - kTempInfix.size() - kTempSlot - kTempCheck) + kTempInfix;
}

QByteArray temporaryName(const QByteArray &name, QByteArrayView slot, qsizetype longest)
{
    return temporaryPrefix(name, longest) + slot + check(name, slot);
}

QByteArray fixedSlot(int index)
{
    return QByteArray("000") + char('0' + index);
}

QByteArray randomSlot()
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray slot;
    for (int i = 0; i < kTempSlot; ++i)
        slot.append(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
    return slot;
}

bool olderThan(const struct stat &st, const timespec &when)
{
    return st.st_mtim.tv_sec < when.tv_sec
        || (st.st_mtim.tv_sec == when.tv_sec && st.st_mtim.tv_nsec < when.tv_nsec);
}

// The user's cache folder as desktops define it, or nothing.
QByteArray cacheHome()
{
    const QByteArray xdg = qgetenv("XDG_CACHE_HOME");
    if (xdg.startsWith('/'))
        return xdg;
    QByteArray home = qgetenv("HOME");
    if (!home.startsWith('/')) {
        const passwd *user = ::getpwuid(::geteuid());
        home = user && user->pw_dir ? QByteArray(user->pw_dir) : QByteArray();
    }
    return home.startsWith('/') ? home + "/.cache" : QByteArray();
}

} // namespace

int createTemporary(
    const QByteArray &folder, const QByteArray &name, mode_t mode, QByteArray *path, FileError *error)
{
    const qsizetype longest = longestName(folder);
    for (int attempt = 0; attempt < kFixedSlots + 100; ++attempt) {
        const QByteArray slot = attempt < kFixedSlots ? fixedSlot(attempt) : randomSlot();
        const QByteArray candidate = folder + '/' + temporaryName(name, slot, longest);
        const int fd
            = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0) {
            *path = candidate;
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

void removeStaleTemporaries(
    const QByteArray &folder, const QByteArray &name, const timespec &lockedAt, uid_t alsoOwner)
{
    // Searching needs no right to read the folder, only to pass through it.
    Fd at(::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!at)
        return;
    const qsizetype longest = longestName(folder);
    QList<QByteArray> candidates;
    for (int i = 0; i < kFixedSlots; ++i)
        candidates.append(temporaryName(name, fixedSlot(i), longest));
    if (DIR *listing = ::opendir(folder.constData())) {
        const QByteArray prefix = temporaryPrefix(name, longest);
        while (const dirent *entry = ::readdir(listing)) {
            const QByteArray found(entry->d_name);
            if (found.size() != prefix.size() + kTempSlot + kTempCheck || !found.startsWith(prefix))
                continue;
            const QByteArray slot = found.sliced(prefix.size(), kTempSlot);
            if (found.endsWith(check(name, slot)) && !candidates.contains(found))
                candidates.append(found);
        }
        ::closedir(listing);
    }
    const uid_t me = ::geteuid();
    for (const QByteArray &candidate : candidates) {
        struct stat st { };
        if (::fstatat(at.get(), candidate.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        const bool mine = st.st_uid == me || (me == 0 && st.st_uid == alsoOwner);
        if (mine && olderThan(st, lockedAt))
            ::unlinkat(at.get(), candidate.constData(), 0);
    }
}

BackupPlace backupBeside(const Target &target)
{
    // Names that leave room keep the plain suffix, which earlier versions
    // used too; a longer one is cut and told apart by a digest of its whole.
    const qsizetype longest = longestName(target.folder);
    if (target.name.size() + kBackupSuffix.size() <= longest)
        return { target.folder, target.name + kBackupSuffix };
    constexpr int digits = 8;
    return { target.folder,
        cutToFit(target.name, longest - kBackupSuffix.size() - digits - 1) + '.'
            + hexDigest(target.name, digits) + kBackupSuffix };
}

BackupPlace backupInCache(const Target &target)
{
    const QByteArray cache = cacheHome();
    char *folder = ::realpath(target.folder.constData(), nullptr);
    if (cache.isEmpty() || !folder)
        return {};
    const QByteArray whole = QByteArray(folder) + '/' + target.name;
    std::free(folder);
    constexpr int digits = 16;
    const qsizetype room = NAME_MAX - kBackupSuffix.size() - digits - 1;
    return { cache + "/ferox-ini-editor/backups",
        cutToFit(target.name, room) + '.' + hexDigest(whole, digits) + kBackupSuffix };
}

std::optional<QByteArray> leftoverBackup(const Target &target)
{
    for (const BackupPlace &place : { backupBeside(target), backupInCache(target) }) {
        struct stat st { };
        if (!place.name.isEmpty() && ::lstat(place.path().constData(), &st) == 0)
            return place.path();
    }
    return std::nullopt;
}

bool prepareCacheFolder(const BackupPlace &place, FileError *error)
{
    if (place.name.isEmpty()) {
        *error = FileError::system(ENOENT);
        return false;
    }
    // Each missing folder on the way is made private to this user.
    for (qsizetype slash = place.folder.indexOf('/', 1);; slash = place.folder.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? place.folder : place.folder.first(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) {
            *error = FileError::system(errno);
            return false;
        }
        if (slash < 0)
            break;
    }
    // Another user's folder (the superuser's cache reached through a kept
    // HOME, say) is not a place for this user's copies.
    struct stat st { };
    if (::lstat(place.folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()
        || (st.st_mode & (S_IWGRP | S_IWOTH))) {
        *error = FileError::system(EACCES);
        return false;
    }
    return true;
}

FileError backupLeft(const QByteArray &backup)
{
    return { FileError::Kind::BackupKept, 0,
        QStringLiteral("an earlier update of this file was interrupted, and its previous content is kept in "
                       "\"%1\"; check the file against that copy (put the copy in its place if the file is "
                       "damaged), then remove the copy and try again")
            .arg(QFile::decodeName(backup)) };
}

} // namespace filebytes::parts
