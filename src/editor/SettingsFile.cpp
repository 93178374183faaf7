#include "editor/SettingsFile.h"

#include "ini/IniText.h"
#include "platform/FileBytes.h"

#include <QFile>
#include <QFileInfo>

namespace settingsfile {

ReadResult readAll(const QString &path, QByteArray *bytes)
{
    ReadResult result;
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        result.ok = false;
        result.notFound = true;
        result.error = QStringLiteral("File Not Found");
        return result;
    }
    if (!filebytes::read(path, bytes, &result.error))
        result.ok = false;
    return result;
}

ReadResult readSectionNames(const QString &path, QList<QByteArray> *names)
{
    QByteArray bytes;
    const ReadResult result = readAll(path, &bytes);
    if (result.ok)
        *names = ini::sectionNames(bytes);
    return result;
}

ReadResult readSectionKeys(const QString &path, const QByteArray &name, KeyLines *lines)
{
    QByteArray bytes;
    const ReadResult result = readAll(path, &bytes);
    if (!result.ok)
        return result;
    const ini::Section section = ini::findSection(bytes, ini::headPattern(name));
    lines->keys.reserve(section.keyLines.size());
    lines->values.reserve(section.keyLines.size());
    for (const ini::Line &line : section.keyLines) {
        const ini::KeyValue kv = ini::splitKeyLine(ini::view(bytes, line));
        lines->keys.append(kv.key.toByteArray());
        lines->values.append(kv.value.toByteArray());
    }
    return result;
}

void createIfMissing(const QString &path)
{
    if (path.isEmpty() || QFileInfo::exists(path))
        return;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        file.close();
}

} // namespace settingsfile
