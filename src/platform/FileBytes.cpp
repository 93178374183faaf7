#include "platform/FileBytes.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
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

} // namespace

bool replace(const QString &path, const QByteArray &bytes, QString *error)
{
    return replace(path, QList<QByteArrayView> { QByteArrayView(bytes) }, error);
}

bool replace(const QString &path, QList<QByteArrayView> pieces, QString *error)
{
    const QFileInfo target(path);
    // A file without any write permission bit is read-only to its owner's mind,
    // also for the superuser, whom access() would let write it. Only the mode's
    // bits count: the "User" flags come from access() and say yes to root.
    constexpr QFileDevice::Permissions anyWrite
        = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (target.exists() && (!target.isWritable() || !(target.permissions() & anyWrite))) {
        *error = QStringLiteral("Permission denied");
        return false;
    }
    if (target.isDir()) {
        *error = QStringLiteral("Is a directory");
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
    for (const QByteArrayView piece : pieces) {
        if (piece.isEmpty())
            continue;
        if (!writeAll(fd, piece, error)) {
            file.cancelWriting();
            return false;
        }
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace filebytes
