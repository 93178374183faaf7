#include "platform/AppFolder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace appfolder {
namespace {
QString &overridden()
{
    static QString folder;
    return folder;
}
} // namespace

bool resolve(QString *folder, QString *error)
{
    if (!overridden().isEmpty()) {
        *folder = overridden();
        return true;
    }
    // The link names the executable as bytes, whatever they are; Qt's own
    // lookup decodes first and gives up silently on a name that is not text.
    QByteArray exe(4096, Qt::Uninitialized);
    const ssize_t n = ::readlink("/proc/self/exe", exe.data(), static_cast<size_t>(exe.size()));
    if (n <= 0 || n == exe.size() || exe[0] != '/') {
        *error = QStringLiteral("the folder that holds the program could not be found (%1).")
                     .arg(QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENAMETOOLONG)));
        return false;
    }
    exe.truncate(n);
    const qsizetype slash = exe.lastIndexOf('/');
    const QByteArray bytes = slash == 0 ? QByteArray("/") : exe.first(slash);
    const QString name = QFile::decodeName(bytes);
    if (QFile::encodeName(name) != bytes) {
        *error
            = QStringLiteral("the name of the folder that holds the program, %1, is not valid text in this "
                             "system's encoding, so the file beside the program cannot be named. Move "
                             "the program into a folder with a plain name and run it from there.")
                  .arg(name);
        return false;
    }
    *folder = name;
    return true;
}

QString path()
{
    QString folder;
    QString error;
    return resolve(&folder, &error) ? folder : QString();
}

QString besideProgram(const QString &path)
{
    const QString folder = appfolder::path();
    if (path.isEmpty() || folder.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    return QDir(folder).filePath(path);
}

void overrideForTesting(const QString &folder)
{
    overridden() = folder;
}

} // namespace appfolder
