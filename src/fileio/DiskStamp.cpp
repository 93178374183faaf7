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

bool statFile(const QString &path, Stamp *stamp)
{
    struct stat st { };
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    stamp->taken = true;
    stamp->device = static_cast<quint64>(st.st_dev);
    stamp->inode = static_cast<quint64>(st.st_ino);
    stamp->size = static_cast<qint64>(st.st_size);
    stamp->mtimeNs = nanoseconds(st.st_mtim);
    stamp->ctimeNs = nanoseconds(st.st_ctim);
    return true;
}

bool recentlyChanged(const Stamp &stamp, qint64 started)
{
    const bool coarse = stamp.mtimeNs % 1'000'000'000 == 0 && stamp.ctimeNs % 1'000'000'000 == 0;
    const qint64 margin = coarse ? kCoarseMargin : kFineMargin;
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
    if (recentlyChanged(stamp, started)) {
        ContentHash hash;
        for (const QByteArrayView piece : content)
            hash.add(piece);
        stamp.hashed = true;
        stamp.hash = hash.result();
    }
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
    if (now.device != stamp.device || now.inode != stamp.inode || now.size != stamp.size
        || now.mtimeNs != stamp.mtimeNs || now.ctimeNs != stamp.ctimeNs)
        return false;
    if (!stamp.hashed)
        return true;
    size_t hash = 0;
    return hashFile(path, &hash) && hash == stamp.hash;
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
