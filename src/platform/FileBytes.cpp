#include "platform/FileBytes.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    for (const QByteArrayView piece : pieces) {
        if (piece.isEmpty())
            continue;
        if (file.write(piece.data(), piece.size()) != piece.size()) {
            *error = file.errorString();
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
