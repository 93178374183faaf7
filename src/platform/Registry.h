#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

// A small registry of keys and values, read through the three calls the
// program uses: open a key, read one of its values as raw bytes, close it.
// The calls are byte-oriented: names are 8-bit text, values are bytes with a
// type, results come back through out-parameters and the return value is 0 on
// success or an error code.
//
// Key paths are separated by "\" and, like value names, compared without
// regard to case. A key exists when a value is stored under it or under one of
// its subkeys.
//
// This desktop has no registry of its own: the store is filled from what is
// installed (see fillFromDesktop) the first time it is used, and tests replace
// its contents through the seam at the end.
namespace registry {

using HKEY = std::uint32_t;
using LSTATUS = long;

// The root key the program reads; the other predefined roots (0x80000000 to
// 0x80000006) are roots too, with nothing stored under them.
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

// Value types.
inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;

// Return codes.
inline constexpr LSTATUS ERROR_SUCCESS = 0;
inline constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
inline constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
inline constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
inline constexpr LSTATUS ERROR_MORE_DATA = 234;

// Opens `subKey` below the root key `key` and stores a new handle in *result;
// an empty or null subKey opens the root itself. On failure *result is 0.
// `options` and `samDesired` are accepted as given.
LSTATUS RegOpenKeyExA(
    HKEY key, const char *subKey, std::uint32_t options, std::uint32_t samDesired, HKEY *result);

// Reads the value `valueName` (null or empty: the key's default value) of a
// key opened with RegOpenKeyExA. *type receives the value's type and *dataSize, on entry the size of
// `data` in bytes, receives the size of the stored value. With `data` null only
// type and size are reported. A buffer too small gets nothing copied and
// ERROR_MORE_DATA. `reserved` must be null.
LSTATUS RegQueryValueExA(HKEY key, const char *valueName, std::uint32_t *reserved, std::uint32_t *type,
    unsigned char *data, std::uint32_t *dataSize);

// Releases a handle from RegOpenKeyExA. Root keys need no closing (0 is
// returned); 0 and unknown handles give ERROR_INVALID_HANDLE.
LSTATUS RegCloseKey(HKEY key);

// Where the system-information launcher looks.
inline constexpr char kSysInfoKey[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr char kSysInfoPathValue[] = "PATH";
inline constexpr char kSysInfoFolderKey[] = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr char kSysInfoFolderValue[] = "MSINFO";

// System-information programs a Linux desktop may have, best first.
QStringList systemInfoCandidates();

// The full path of the first candidate found on the PATH, or an empty text.
QString findSystemInfoProgram(const QStringList &candidates = systemInfoCandidates());

// Replaces the store's contents with what this desktop answers: the PATH value
// of the system-information key holds the full path of the program that
// findSystemInfoProgram() finds, as text with a terminating NUL; without such
// a program (or when its path does not fit the 8-bit code page) neither
// launcher value exists. (The second, folder-based value is
// never answered: no folder here holds the program under its expected name.)
void fillFromDesktop();

// Test seam. clear() empties the store (no desktop answers either; open
// handles stay open); setValue() stores bytes as they are, so a test decides
// whether a text ends with NUL.
void clear();
void setValue(
    HKEY root, const QString &keyPath, const QString &valueName, std::uint32_t type, const QByteArray &data);
// A REG_SZ value with its terminating NUL; false (nothing stored) when the
// code page cannot hold the text.
bool setText(HKEY root, const QString &keyPath, const QString &valueName, const QString &text);
// Handles opened and not yet closed.
int openHandleCount();

} // namespace registry
