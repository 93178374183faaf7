#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

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

// The same, with the new content given as pieces written one after the other, so
// a writer that changes a few bytes of a large file need not join them first.
bool replace(const QString &path, QList<QByteArrayView> pieces, QString *error);

} // namespace filebytes
