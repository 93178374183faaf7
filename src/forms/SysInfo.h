#pragma once

#include "platform/Registry.h"

#include <QString>

// Reads one text value of the registry. Returns true when the value was read;
// `keyValue` then holds its text (a value stored without a terminating NUL
// keeps all its characters). A missing key or value gives false and an empty
// text. A value that is not text (type other than REG_SZ) is not a usable
// answer either: false and an empty text.
bool GetKeyValue(registry::HKEY keyRoot, const QString &keyName, const QString &valueName, QString &keyValue);

// Where the system-information program is, as the registry tells: its full
// path, or an empty text when the registry does not lead to an existing one.
QString sysInfoPath();

// Starts the system-information program without waiting for it. Returns false
// when the registry does not lead to it or it cannot be started; the window
// that asked tells the user.
bool StartSysInfo();
