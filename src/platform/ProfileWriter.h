#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include "core/ProfilePlan.h"
#include "fileio/FileBytes.h"
#include "fileio/FileError.h"

#include <functional>

// The profile-string writer: sets keys of one section of a settings file and
// leaves every other byte of the file as it was, line ends included. Where and
// how each key goes is planned by core/ProfilePlan.h; this side reads the file
// and replaces it.

// Sets the key in the file at `path` (created when missing) by replacing the file
// atomically; its permissions are kept. Section, key and value are the bytes
// that go into the file (code page, or UTF-8 in a UTF-8 file); a UTF-16 file is
// refused. Returns false and the reason in `error` (when given) if
// the write was refused (kind Refused) or failed; the file is then unchanged.
bool WritePrivateProfileStringA(QByteArrayView section, QByteArrayView key, QByteArrayView value,
    const QString &path, FileError *error = nullptr);

// Sets several keys of one section in one replacement of the file, under the
// lock that serialises the program's writers: the file is scanned in pieces for
// the section, every key planned in order on that section alone, then one
// atomic replace with the rest of the file copied inside the kernel, so the
// file holds all of them or none (planned again if another program replaced
// the file meanwhile). `compose` gives the section and keys in the file's
// encoding.
// Returns false and the reason in `error`: a refusal (by `compose`, of a
// name, or of a UTF-16 file) is of kind Refused, and nothing was tried; a
// file that another program held for longer than `wait` allows is of kind Busy.
bool writePrivateProfileKeys(const QString &path, const std::function<ProfileKeys(ini::Encoding)> &compose,
    FileError *error = nullptr, const filebytes::Wait &wait = {});
