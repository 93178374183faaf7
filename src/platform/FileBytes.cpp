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
    return replace(path, { QByteArrayView(bytes) }, error);
}

bool replace(const QString &path, std::initializer_list<QByteArrayView> parts, QString *error)
{
    const QFileInfo target(path);
    // A file without any write permission bit is read-only to its owner's mind,
    // also for the superuser, whom access() would let write it. (WriteUser is
    // not a mode bit: Qt fills it from access(), which says yes to root.)
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
    for (const QByteArrayView part : parts) {
        if (file.write(part.data(), part.size()) != part.size()) {
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
