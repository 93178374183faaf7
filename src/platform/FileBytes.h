#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <initializer_list>

// Whole-file reads and replacements, shared by every writer of settings files.
namespace filebytes {

// Reads the whole file; on failure returns false and says why in `error`.
bool read(const QString &path, QByteArray *bytes, QString *error);

// Replaces the file's content with `bytes` atomically: the bytes go to a
// temporary file in the same folder, which is flushed to disk and renamed over
// the target, so readers and a crash see either the old or the new file, never
// a part of it. An existing file keeps its permissions; a missing one is
// created. A target that exists but may not be written is refused (a rename
// would otherwise replace a read-only file). Returns false and says why.
bool replace(const QString &path, const QByteArray &bytes, QString *error);

// The same with the content given in parts, written one after the other, so a
// large buffer need not be copied to append a few bytes.
bool replace(const QString &path, std::initializer_list<QByteArrayView> parts, QString *error);

} // namespace filebytes
