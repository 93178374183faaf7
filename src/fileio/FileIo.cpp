#include "fileio/FileUpdateParts_p.h"

#include <cerrno>
#include <unistd.h>

namespace filebytes::parts {

bool writeAll(int fd, QByteArrayView bytes, FileError *error)
{
    while (!bytes.isEmpty()) {
        const ssize_t n = ::write(fd, bytes.data(), static_cast<size_t>(bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = FileError::system(n < 0 ? errno : ENOSPC);
            return false;
        }
        bytes = bytes.sliced(n);
    }
    return true;
}

qint64 preadAll(int fd, qint64 offset, char *into, qint64 size, FileError *error)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, into + done, static_cast<size_t>(size - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = FileError::system(errno);
            return -1;
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

bool pwriteAll(int fd, qint64 offset, QByteArrayView bytes, FileError *error)
{
    while (!bytes.isEmpty()) {
        const ssize_t n = ::pwrite(fd, bytes.data(), static_cast<size_t>(bytes.size()), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = FileError::system(n < 0 ? errno : ENOSPC);
            return false;
        }
        bytes = bytes.sliced(n);
        offset += n;
    }
    return true;
}

bool syncFd(int fd, FileError *error)
{
    if (::fsync(fd) == 0)
        return true;
    *error = FileError::system(errno);
    return false;
}

qint64 mtimeNs(const struct stat &st)
{
    return static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace filebytes::parts
