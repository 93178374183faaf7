#include "platform/FileBytes.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filebytes {

bool read(const QString &path, QByteArray *bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    return true;
}

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

bool writeAll(int fd, QByteArrayView bytes, QString *error)
{
    while (!bytes.isEmpty()) {
        const ssize_t n = ::write(fd, bytes.data(), static_cast<size_t>(bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = systemError(n < 0 ? errno : ENOSPC);
            return false;
        }
        bytes = bytes.sliced(n);
    }
    return true;
}

qint64 mtimeNs(const struct stat &st)
{
    return static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

Snapshot::~Snapshot()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Snapshot::open(const QString &path, QString *error, bool readBytes)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st { };
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        *error = systemError(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *error = systemError(EISDIR);
        return false;
    }
    m_size = st.st_size;
    m_mtimeNs = mtimeNs(st);
    if (!readBytes)
        return true;
    m_bytes = QByteArray(m_size, Qt::Uninitialized);
    // Large pages spare the kernel tens of thousands of page faults while it
    // fills a buffer of many megabytes.
    constexpr quintptr hugePage = 2 << 20;
    const quintptr begin = (reinterpret_cast<quintptr>(m_bytes.data()) + hugePage - 1) & ~(hugePage - 1);
    const quintptr end = (reinterpret_cast<quintptr>(m_bytes.data()) + m_size) & ~(hugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
    qint64 done = 0;
    while (done < m_size) {
        const ssize_t n = ::read(m_fd, m_bytes.data() + done, static_cast<size_t>(m_size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = systemError(errno);
            return false;
        }
        if (n == 0) // shortened meanwhile: take what is there
            break;
        done += n;
    }
    m_bytes.truncate(done);
    m_size = done;
    return true;
}

bool Snapshot::readAt(qint64 offset, qint64 size, QByteArray *out, QString *error) const
{
    out->resize(size);
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(m_fd, out->data() + done, static_cast<size_t>(size - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = systemError(errno);
            return false;
        }
        if (n == 0)
            break;
        done += n;
    }
    out->truncate(done);
    return true;
}

qint64 Snapshot::offsetOf(QByteArrayView part) const
{
    const char *begin = m_bytes.constData();
    if (part.isEmpty() || part.data() < begin || part.data() + part.size() > begin + m_bytes.size())
        return -1;
    return part.data() - begin;
}

bool Snapshot::copyTo(int fd, qint64 offset, qint64 size, QString *error) const
{
    loff_t from = offset;
    while (size > 0) {
        const ssize_t n = ::copy_file_range(m_fd, &from, fd, nullptr, static_cast<size_t>(size), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            // No kernel copy here.
            if (from + size <= m_bytes.size())
                return writeAll(fd, QByteArrayView(m_bytes).sliced(from, size), error);
            QByteArray bytes;
            if (!readAt(from, size, &bytes, error))
                return false;
            if (bytes.size() != size) {
                *error = QStringLiteral("The file changed while it was being updated");
                return false;
            }
            return writeAll(fd, bytes, error);
        }
        if (n <= 0) {
            *error
                = n < 0 ? systemError(errno) : QStringLiteral("The file changed while it was being updated");
            return false;
        }
        size -= n;
    }
    return true;
}

bool Snapshot::unchanged() const
{
    if (m_fd < 0) // nothing was read, so nothing can be spliced
        return true;
    struct stat st { };
    return ::fstat(m_fd, &st) == 0 && st.st_size == m_size && mtimeNs(st) == m_mtimeNs;
}

bool replace(const QString &path, const QByteArray &bytes, QString *error)
{
    return replace(path, QList<QByteArrayView> { QByteArrayView(bytes) }, error);
}

bool replace(const QString &path, QList<QByteArrayView> pieces, QString *error, const Snapshot *source)
{
    QList<Piece> parts;
    parts.reserve(pieces.size());
    for (const QByteArrayView piece : pieces) {
        const qint64 offset = source ? source->offsetOf(piece) : -1;
        parts.append({ piece, offset, piece.size() });
    }
    static const Snapshot none;
    return replace(path, parts, error, source ? *source : none);
}

bool replace(const QString &path, const QList<Piece> &pieces, QString *error, const Snapshot &source)
{
    const QFileInfo target(path);
    // A file without any write permission bit is read-only to its owner's mind,
    // also for the superuser, whom access() would let write it. Only the mode's
    // bits count: the "User" flags come from access() and say yes to root.
    constexpr QFileDevice::Permissions anyWrite
        = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (target.exists() && (!target.isWritable() || !(target.permissions() & anyWrite))) {
        *error = systemError(EACCES);
        return false;
    }
    if (target.isDir()) {
        *error = systemError(EISDIR);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    // The pieces go straight to the descriptor; nothing passes through the
    // QSaveFile's own buffer, so commit() only syncs and renames.
    const int fd = file.handle();
    for (const Piece &piece : pieces) {
        const bool ok = piece.offset >= 0
            ? piece.size <= 0 || source.copyTo(fd, piece.offset, piece.size, error)
            : writeAll(fd, piece.bytes, error);
        if (!ok) {
            file.cancelWriting();
            return false;
        }
    }
    if (!source.unchanged()) {
        *error = QStringLiteral("The file changed while it was being updated");
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace filebytes
