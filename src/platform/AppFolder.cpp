#include "platform/AppFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace appfolder {
namespace {
QString &overridden()
{
    static QString folder;
    return folder;
}
} // namespace

QString path()
{
    if (!overridden().isEmpty())
        return overridden();
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

void overrideForTesting(const QString &folder)
{
    overridden() = folder;
}

} // namespace appfolder
