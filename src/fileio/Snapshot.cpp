#include "fileio/FileBytes.h"
#include "fileio/FileUpdateParts_p.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>
#include <thread>
#include <utility>

namespace filebytes {

namespace {

QString changedMeanwhile()
{
    return QStringLiteral("The file changed while it was being updated");
}

} // namespace

Snapshot::~Snapshot()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Snapshot::readAt(qint64 offset, qint64 size, QByteArray *out, FileError *error) const
{
    out->resize(size);
    const qint64 done = parts::preadAll(m_fd, offset, out->data(), size, error);
    if (done < 0)
        return false;
    out->truncate(done);
    return true;
}

namespace parts {

bool OldFile::adopt(int fd, FileError *error)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    m_bytes.clear();
    m_loaded = false;
    struct stat st { };
    if (::fstat(m_fd, &st) != 0) {
        *error = FileError::system(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = FileError::notRegular(st.st_mode);
        return false;
    }
    m_size = st.st_size;
    m_mtimeNs = mtimeNs(st);
    return true;
}

bool OldFile::load(FileError *error)
{
    if (m_loaded)
        return true;
    m_bytes = QByteArray(m_size, Qt::Uninitialized);
    // Large pages spare the kernel tens of thousands of page faults while it
    // fills a buffer of many megabytes.
    constexpr quintptr hugePage = 2 << 20;
    const quintptr begin = (reinterpret_cast<quintptr>(m_bytes.data()) + hugePage - 1) & ~(hugePage - 1);
    const quintptr end = (reinterpret_cast<quintptr>(m_bytes.data()) + m_size) & ~(hugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
    // A file shortened meanwhile gives what is there.
    const qint64 done = preadAll(m_fd, 0, m_bytes.data(), m_size, error);
    if (done < 0)
        return false;
    m_bytes.truncate(done);
    m_size = done;
    m_loaded = true;
    return true;
}

bool OldFile::copyTo(int fd, qint64 offset, qint64 size, FileError *error) const
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
                *error = { FileError::Kind::Changed, 0, changedMeanwhile() };
                return false;
            }
            return writeAll(fd, bytes, error);
        }
        if (n < 0) {
            *error = FileError::system(errno);
            return false;
        }
        if (n == 0) {
            *error = { FileError::Kind::Changed, 0, changedMeanwhile() };
            return false;
        }
        size -= n;
    }
    return true;
}

void OldFile::closeReplaced()
{
    constexpr qint64 kAsideFrom = 16 << 20;
    const int fd = std::exchange(m_fd, -1);
    if (fd < 0)
        return;
    if (m_size >= kAsideFrom) {
        try {
            std::thread([fd] { ::close(fd); }).detach();
            return;
        } catch (const std::system_error &) {
            // No thread to be had: closed here, which only takes longer.
        }
    }
    ::close(fd);
}

bool OldFile::unchanged() const
{
    if (m_fd < 0) // nothing was read, so nothing can be spliced
        return true;
    struct stat st { };
    return ::fstat(m_fd, &st) == 0 && st.st_size == m_size && mtimeNs(st) == m_mtimeNs;
}

} // namespace parts
} // namespace filebytes
