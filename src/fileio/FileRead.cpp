#include "fileio/FileRead.h"

#include "fileio/FileUpdateParts_p.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filebytes {

int parts::openRegularBytes(const QByteArray &path, FileError *error, int access)
{
    struct stat st { };
    // Looked at before the open: opening a FIFO waits for a writer, and
    // opening a device may do things of its own.
    if (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *error = FileError::notRegular(st.st_mode);
        return -1;
    }
    // Non-blocking, so that a FIFO put in the file's place meanwhile cannot
    // hang the open; fstat then sees what was really opened.
    Fd fd(::open(path.constData(), access | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        *error = FileError::system(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = FileError::notRegular(st.st_mode);
        return -1;
    }
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd.release();
}

int openRegular(const QString &path, FileError *error)
{
    return parts::openRegularBytes(QFile::encodeName(path), error);
}

std::optional<FileError> notRegularFile(const QString &path)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return std::nullopt;
    return FileError::notRegular(st.st_mode);
}

bool read(const QString &path, QByteArray *bytes, FileError *error)
{
    const int fd = openRegular(path, error);
    if (fd < 0)
        return false;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = FileError::of(file);
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = FileError::of(file);
        return false;
    }
    return true;
}

qint64 readAt(int fd, qint64 offset, char *into, qint64 size, FileError *error)
{
    return parts::preadAll(fd, offset, into, size, error);
}

bool readInPieces(const QString &path, qsizetype pieceBytes, const std::function<void(qint64 size)> &sized,
    const std::function<void(QByteArrayView piece)> &take, FileError *error)
{
    const parts::Fd fd(openRegular(path, error));
    if (!fd)
        return false;
    struct stat st { };
    if (::fstat(fd.get(), &st) != 0) {
        *error = FileError::system(errno);
        return false;
    }
    sized(st.st_size);
    QByteArray buffer(pieceBytes, Qt::Uninitialized);
    for (qint64 offset = 0;;) {
        // Read on to the end the descriptor reports, not the size above: the
        // file may grow meanwhile, and all of what was read is taken.
        const qint64 got = parts::preadAll(fd.get(), offset, buffer.data(), pieceBytes, error);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        take(QByteArrayView(buffer.constData(), got));
        offset += got;
    }
}

} // namespace filebytes
