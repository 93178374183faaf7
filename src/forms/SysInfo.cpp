#include "forms/SysInfo.h"

#include "core/CodePage.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <array>

using namespace registry;

namespace {
// The rights the launcher asks for when it opens a key.
constexpr std::uint32_t kOpenAccess = 0x2003F;
constexpr std::uint32_t kBufferSize = 1024;

// Names go to the registry as 8-bit text; one the code page cannot hold cannot
// name anything there.
bool toBytes(const QString &text, QByteArray &bytes)
{
    const codepage::Encoded encoded = codepage::encode(text);
    bytes = encoded.bytes;
    return encoded.ok();
}
} // namespace

bool GetKeyValue(HKEY keyRoot, const QString &keyName, const QString &valueName, QString &keyValue)
{
    QByteArray key;
    QByteArray value;
    HKEY hKey = 0;
    if (!toBytes(keyName, key) || RegOpenKeyExA(keyRoot, key.constData(), 0, kOpenAccess, &hKey) != 0) {
        keyValue.clear();
        RegCloseKey(hKey);
        return false;
    }

    std::array<unsigned char, kBufferSize> buffer {};
    std::uint32_t size = kBufferSize;
    std::uint32_t type = REG_NONE;
    if (!toBytes(valueName, value)
        || RegQueryValueExA(hKey, value.constData(), nullptr, &type, buffer.data(), &size) != 0) {
        keyValue.clear();
        RegCloseKey(hKey);
        return false;
    }

    // A stored string normally ends with its NUL, which is not part of the
    // text; one written without it keeps every byte. An empty value (size 0)
    // has no last byte to look at and is simply empty.
    std::uint32_t kept = size;
    if (size > 0 && buffer[size - 1] == 0)
        kept = size - 1;

    RegCloseKey(hKey);
    if (type != REG_SZ) {
        // Numbers and binary data are no path; the caller reads text only.
        keyValue.clear();
        return false;
    }
    keyValue = codepage::decode(QByteArrayView(reinterpret_cast<const char *>(buffer.data()), kept));
    return true;
}

QString sysInfoPath()
{
    QString path;
    if (GetKeyValue(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSysInfoKey),
            QString::fromLatin1(kSysInfoPathValue), path))
        return path;
    if (GetKeyValue(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSysInfoFolderKey),
            QString::fromLatin1(kSysInfoFolderValue), path)) {
        const QString program = path + QDir::separator() + QStringLiteral("MSINFO32.EXE");
        if (QFileInfo(program).isFile())
            return program;
    }
    return QString();
}

bool StartSysInfo()
{
    const QString program = sysInfoPath();
    return !program.isEmpty() && QProcess::startDetached(program, {});
}
