#include "fileio/FileError.h"

#include <QFileDevice>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

FileError FileError::system(int errnum)
{
    return { Kind::System, errnum, QString::fromLocal8Bit(std::strerror(errnum)) };
}

FileError FileError::of(const QFileDevice &file)
{
    return { Kind::System, 0, file.errorString() };
}

FileError FileError::notRegular(mode_t mode)
{
    if (S_ISDIR(mode))
        return { Kind::NotRegular, EISDIR, QString::fromLocal8Bit(std::strerror(EISDIR)) };
    if (S_ISFIFO(mode))
        return { Kind::NotRegular, 0, QStringLiteral("a named pipe (FIFO), not a regular file") };
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return { Kind::NotRegular, 0, QStringLiteral("a device, not a regular file") };
    if (S_ISSOCK(mode))
        return { Kind::NotRegular, 0, QStringLiteral("a socket, not a regular file") };
    return { Kind::NotRegular, 0, QStringLiteral("not a regular file") };
}

FileError FileError::busy()
{
    return { Kind::Busy, EWOULDBLOCK, QStringLiteral("another program is writing the file") };
}

bool FileError::accessDenied() const
{
    return kind == Kind::System && (errnum == EACCES || errnum == EPERM || errnum == EROFS);
}
