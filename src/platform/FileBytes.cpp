#include "platform/FileBytes.h"

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

MappedFile::~MappedFile()
{
    if (data)
        file.unmap(data);
}

bool MappedFile::open(const QString &path, QString *error)
{
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    const qint64 size = file.size();
    if (size == 0)
        return true;
    data = file.map(0, size);
    if (!data) {
        *error = file.errorString();
        return false;
    }
    view = QByteArrayView(reinterpret_cast<const char *>(data), size);
    return true;
}

qint64 MappedFile::offsetOf(QByteArrayView part) const
{
    const char *begin = view.data();
    if (!begin || part.data() < begin || part.data() + part.size() > begin + view.size())
        return -1;
    return part.data() - begin;
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

// Appends `mapped`, which lies at `offset` in the source file, to `fd`: inside
// the kernel where it can, else from the mapping.
bool copyRange(const MappedFile &source, qint64 offset, QByteArrayView mapped, int fd, QString *error)
{
    loff_t from = offset;
    qint64 left = mapped.size();
    while (left > 0) {
        const ssize_t n
            = ::copy_file_range(source.handle(), &from, fd, nullptr, static_cast<size_t>(left), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
            return writeAll(fd, mapped.last(left), error); // no kernel copy between these files
        if (n <= 0) {
            *error = systemError(n < 0 ? errno : EIO);
            return false;
        }
        left -= n;
    }
    return true;
}

} // namespace

bool replace(const QString &path, const QByteArray &bytes, QString *error)
{
    return replace(path, QList<QByteArrayView> { QByteArrayView(bytes) }, error);
}

bool replace(const QString &path, QList<QByteArrayView> pieces, QString *error, const MappedFile *source)
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
        const qint64 offset = source ? source->offsetOf(piece) : -1;
        const bool ok
            = offset >= 0 ? copyRange(*source, offset, piece, fd, error) : writeAll(fd, piece, error);
        if (!ok) {
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
