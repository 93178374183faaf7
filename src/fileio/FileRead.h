#pragma once

#include "fileio/FileError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

// Opening and reading settings files and attachments.
namespace filebytes {

// Opens the file for reading and returns its descriptor, or -1 and why in
// `error`. Only a regular file (symbolic links followed) is opened: a folder,
// FIFO, device or socket is refused before anything could block on it, and a
// file swapped for one of those between the check and the open is refused too.
int openRegular(const QString &path, FileError *error);

// Why the path cannot be opened as a file, when something other than a regular
// file (a folder, FIFO, device, socket) is there; nothing for a regular file
// or none at all. Only looks, never opens.
std::optional<FileError> notRegularFile(const QString &path);

// Reads the whole file; on failure returns false and says why in `error`.
bool read(const QString &path, QByteArray *bytes, FileError *error);

// Reads up to `size` bytes at `offset` of the open file `fd` into `into`,
// fewer only at the file's end, reading on after interruptions; returns how
// many, or -1 and why in `error`.
qint64 readAt(int fd, qint64 offset, char *into, qint64 size, FileError *error);

// Reads the whole file through one buffer of `pieceBytes`, for readers that
// need not hold all of it: `sized` is told the file's size before the first
// piece, `take` gets the pieces in order (the view is valid during the call).
// On failure returns false and says why in `error`.
bool readInPieces(const QString &path, qsizetype pieceBytes, const std::function<void(qint64 size)> &sized,
    const std::function<void(QByteArrayView piece)> &take, FileError *error);

} // namespace filebytes
