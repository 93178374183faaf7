#include "platform/Registry.h"

#include "core/CodePage.h"

#include <QMap>
#include <QStandardPaths>

#include <cstring>

namespace registry {
namespace {

struct Value {
    std::uint32_t type = REG_NONE;
    QByteArray data;
};

// Keys and value names are case-insensitive: they are stored folded.
struct Store {
    bool filled = false;
    // root, folded key path -> folded value name -> value
    QMap<QPair<HKEY, QString>, QMap<QString, Value>> keys;
    // open handle -> root and folded key path
    QMap<HKEY, QPair<HKEY, QString>> handles;
    HKEY nextHandle = 1;
};

Store &store()
{
    static Store s;
    return s;
}

Store &filledStore()
{
    Store &s = store();
    if (!s.filled)
        fillFromDesktop();
    return s;
}

// The seven predefined root keys.
bool isRoot(HKEY key)
{
    return key >= 0x80000000u && key <= 0x80000006u;
}

QString fold(const QString &name)
{
    return name.toCaseFolded();
}

// "A\\B\\" and "A\\\\B" name the same key as "A\\B".
QString normalisedPath(const QString &path)
{
    return fold(path).split(u'\\', Qt::SkipEmptyParts).join(u'\\');
}

bool keyExists(const Store &s, HKEY root, const QString &path)
{
    if (path.isEmpty())
        return true;
    const QString prefix = path + u'\\';
    for (auto it = s.keys.cbegin(); it != s.keys.cend(); ++it) {
        if (it.key().first == root && (it.key().second == path || it.key().second.startsWith(prefix)))
            return true;
    }
    return false;
}

QString fromBytes(const char *text)
{
    return text ? codepage::decode(QByteArrayView(text, qsizetype(std::strlen(text)))) : QString();
}

} // namespace

LSTATUS RegOpenKeyExA(
    HKEY key, const char *subKey, std::uint32_t /*options*/, std::uint32_t /*samDesired*/, HKEY *result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = 0;
    if (!isRoot(key))
        return ERROR_INVALID_HANDLE;
    Store &s = filledStore();
    const QString path = normalisedPath(fromBytes(subKey));
    if (!keyExists(s, key, path))
        return ERROR_FILE_NOT_FOUND;
    const HKEY handle = s.nextHandle++;
    s.handles.insert(handle, { key, path });
    *result = handle;
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, const char *valueName, std::uint32_t *reserved, std::uint32_t *type,
    unsigned char *data, std::uint32_t *dataSize)
{
    if (reserved || (data && !dataSize))
        return ERROR_INVALID_PARAMETER;
    Store &s = filledStore();
    const auto open = s.handles.constFind(key);
    if (open == s.handles.cend())
        return ERROR_INVALID_HANDLE;
    const auto values = s.keys.constFind(*open);
    if (values == s.keys.cend())
        return ERROR_FILE_NOT_FOUND;
    const auto value = values->constFind(fold(fromBytes(valueName)));
    if (value == values->cend())
        return ERROR_FILE_NOT_FOUND;

    if (type)
        *type = value->type;
    const auto size = std::uint32_t(value->data.size());
    if (!data) {
        if (dataSize)
            *dataSize = size;
        return ERROR_SUCCESS;
    }
    if (*dataSize < size) {
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    if (size > 0)
        std::memcpy(data, value->data.constData(), size);
    *dataSize = size;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key)
{
    if (isRoot(key))
        return ERROR_SUCCESS;
    return store().handles.remove(key) > 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

QStringList systemInfoCandidates()
{
    // Hardware and system overviews first; the system monitors at least show
    // the machine's load, memory and processes where nothing better is there.
    return { QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"),
        QStringLiteral("gnome-system-monitor"), QStringLiteral("mate-system-monitor"),
        QStringLiteral("xfce4-taskmanager") };
}

QString findSystemInfoProgram(const QStringList &candidates)
{
    for (const QString &name : candidates) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

void fillFromDesktop()
{
    Store &s = store();
    s.keys.clear();
    s.filled = true;
    const QString program = findSystemInfoProgram();
    if (!program.isEmpty())
        setText(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSysInfoKey), QString::fromLatin1(kSysInfoPathValue),
            program);
}

void clear()
{
    Store &s = store();
    s.keys.clear();
    s.filled = true;
}

void setValue(
    HKEY root, const QString &keyPath, const QString &valueName, std::uint32_t type, const QByteArray &data)
{
    Store &s = filledStore();
    s.keys[{ root, normalisedPath(keyPath) }].insert(fold(valueName), Value { type, data });
}

bool setText(HKEY root, const QString &keyPath, const QString &valueName, const QString &text)
{
    // Stored as the system would store a string: 8-bit text with its NUL. A
    // text the code page cannot hold is not stored at all rather than cut short.
    const codepage::Encoded encoded = codepage::encode(text);
    if (!encoded.ok())
        return false;
    setValue(root, keyPath, valueName, REG_SZ, encoded.bytes + QByteArray(1, '\0'));
    return true;
}

int openHandleCount()
{
    return int(store().handles.size());
}

} // namespace registry
