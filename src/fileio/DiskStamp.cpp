#include "fileio/DiskStamp.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <ctime>
#include <sys/stat.h>

namespace diskstamp {

namespace {

constexpr qsizetype kBlock = 1024 * 1024;

// How long after a file's last change its times may still be shared by a
// further change. Local file systems stamp times from a clock that moves every
// few milliseconds; those that keep whole seconds only (FAT keeps two) show no
// nanoseconds.
constexpr qint64 kFineMargin = 50'000'000;
constexpr qint64 kCoarseMargin = 2'100'000'000;

qint64 nanoseconds(const struct timespec &t)
{
    return static_cast<qint64>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void fromStat(const struct stat &st, Stamp *stamp)
{
    stamp->taken = true;
    stamp->device = static_cast<quint64>(st.st_dev);
    stamp->inode = static_cast<quint64>(st.st_ino);
    stamp->size = static_cast<qint64>(st.st_size);
    stamp->mtimeNs = nanoseconds(st.st_mtim);
    stamp->ctimeNs = nanoseconds(st.st_ctim);
}

bool statFile(const QString &path, Stamp *stamp)
{
    struct stat st { };
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    fromStat(st, stamp);
    return true;
}

bool sameStat(const Stamp &now, const Stamp &stamp)
{
    return now.device == stamp.device && now.inode == stamp.inode && now.size == stamp.size
        && now.mtimeNs == stamp.mtimeNs && now.ctimeNs == stamp.ctimeNs;
}

bool coarseTimes(const Stamp &stamp)
{
    return stamp.mtimeNs % 1'000'000'000 == 0 && stamp.ctimeNs % 1'000'000'000 == 0;
}

void hashInto(Stamp *stamp, const QList<QByteArrayView> &content)
{
    ContentHash hash;
    for (const QByteArrayView piece : content)
        hash.add(piece);
    stamp->hashed = true;
    stamp->hash = hash.result();
}

qint64 coarseNow()
{
    struct timespec t { };
    ::clock_gettime(CLOCK_REALTIME_COARSE, &t);
    return nanoseconds(t);
}

bool recentlyChanged(const Stamp &stamp, qint64 started)
{
    const qint64 margin = coarseTimes(stamp) ? kCoarseMargin : kFineMargin;
    return std::max(stamp.mtimeNs, stamp.ctimeNs) >= started - margin;
}

bool hashFile(const QString &path, size_t *hash)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    ContentHash content;
    QByteArray buffer(kBlock, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        content.add(QByteArrayView(buffer.constData(), n));
    }
    *hash = content.result();
    return true;
}

} // namespace

qint64 now()
{
    struct timespec t { };
    ::clock_gettime(CLOCK_REALTIME, &t);
    return nanoseconds(t);
}

Stamp take(const QString &path, qint64 started, const QList<QByteArrayView> &content)
{
    Stamp stamp;
    if (!statFile(path, &stamp))
        return {};
    if (recentlyChanged(stamp, started))
        hashInto(&stamp, content);
    return stamp;
}

Stamp takeFromDisk(const QString &path, qint64 started)
{
    Stamp stamp;
    if (!statFile(path, &stamp))
        return {};
    if (recentlyChanged(stamp, started)) {
        if (!hashFile(path, &stamp.hash))
            return {};
        stamp.hashed = true;
    }
    return stamp;
}

bool unchanged(const QString &path, const Stamp &stamp)
{
    if (!stamp.taken)
        return false;
    Stamp now;
    if (!statFile(path, &now))
        return false;
    if (!sameStat(now, stamp))
        return false;
    if (!stamp.hashed)
        return true;
    size_t hash = 0;
    return hashFile(path, &hash) && hash == stamp.hash;
}

bool unchanged(const filebytes::Snapshot &file, const Stamp &stamp)
{
    struct stat st { };
    if (!stamp.taken || file.descriptor() < 0 || ::fstat(file.descriptor(), &st) != 0)
        return false;
    Stamp now;
    fromStat(st, &now);
    if (!sameStat(now, stamp))
        return false;
    if (!stamp.hashed)
        return true;
    ContentHash content;
    QByteArray block;
    FileError error;
    for (qint64 at = 0; at < now.size; at += kBlock) {
        if (!file.readAt(at, kBlock, &block, &error) || block.isEmpty())
            return false;
        content.add(block);
    }
    return content.result() == stamp.hash;
}

Stamp ofWritten(int fd, const QList<QByteArrayView> &content)
{
    // A tick of the kernel's coarse clock is 1-10 ms; a clock that is still
    // behind the file's times after this belongs to another machine (NFS).
    constexpr qint64 kLongestTick = 25'000'000;
    Stamp stamp;
    struct stat st { };
    if (::fstat(fd, &st) != 0)
        return {};
    fromStat(st, &stamp);
    const qint64 latest = std::max(stamp.mtimeNs, stamp.ctimeNs);
    if (!coarseTimes(stamp)) {
        for (qint64 waited = 0; waited <= kLongestTick; waited += 1'000'000) {
            if (coarseNow() > latest)
                return stamp;
            const struct timespec pause {
                0, 1'000'000
            };
            ::nanosleep(&pause, nullptr);
        }
    }
    hashInto(&stamp, content);
    return stamp;
}

void ContentHash::add(QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        if (m_block.isEmpty() && bytes.size() >= kBlock) {
            mix(bytes.first(kBlock));
            bytes = bytes.sliced(kBlock);
            continue;
        }
        const qsizetype take = std::min(kBlock - m_block.size(), bytes.size());
        m_block.append(bytes.first(take));
        bytes = bytes.sliced(take);
        if (m_block.size() == kBlock) {
            mix(m_block);
            m_block.resize(0);
        }
    }
}

size_t ContentHash::result()
{
    mix(m_block);
    m_block.resize(0);
    return m_hash;
}

void ContentHash::mix(QByteArrayView block)
{
    // Chained through the seed; the size goes in too, so that a trailing empty
    // block still changes the result.
    m_hash = qHash(block, m_hash) ^ static_cast<size_t>(block.size());
}

} // namespace diskstamp
