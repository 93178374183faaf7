#include "ini/FixedPath.h"

#include "platform/AppFolder.h"

#include <QDir>

namespace ini {

QString fixedPath()
{
    return appfolder::path() + QDir::separator() + QStringLiteral("Ferox.ini");
}

} // namespace ini
