#pragma once

#include "fileio/FileError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Replacements of whole files, shared by every writer of settings files.
namespace filebytes {

// The old file as a change sees it: opened, but read only where the change
// asks (readAt). Its bytes are read into memory, never mapped: another program
// that shortens a mapped file would crash this one.
class Snapshot {
public:
    Snapshot(const Snapshot &) = delete;
    Snapshot &operator=(const Snapshot &) = delete;

    // The file's size when it was opened (0 for a missing file).
    qint64 size() const { return m_size; }
    // The file's bytes [offset, offset + size), fewer at its end.
    bool readAt(qint64 offset, qint64 size, QByteArray *out, FileError *error) const;

protected:
    Snapshot() = default;
    ~Snapshot();
    int m_fd = -1;
    qint64 m_size = 0;
};

// One piece of a new content: bytes, or the range [offset, offset + size) of the
// old file (offset -1: the bytes).
struct Piece {
    QByteArrayView bytes;
    qint64 offset = -1;
    qint64 size = 0;
};

// Computes a file's new content from the old file (nothing can be read from a
// missing one): fills `pieces`, written one after the other, or returns false
// and why. Ranges of the old file are copied inside the kernel, as cp does,
// instead of through the program's memory; bytes must stay alive until
// update() returns. It may be called more than once.
using PieceChange = std::function<bool(const Snapshot &old, QList<Piece> *pieces, FileError *error)>;

// Read-modify-replace of the file at `path` (created when missing), safe
// against other processes that update the same file through this function and
// against a crash at any moment:
// - An exclusive advisory lock (flock) on the file's folder serialises the
//   updates; the kernel drops it when the process ends, however it ends.
// - Just before the new file takes the name, the name must still denote the
//   file that was read, unchanged (another program may have replaced or
//   changed it); if not, the file is opened again and `change` runs again.
// - The new content goes to a temporary file beside the target, which gets
//   the old file's owner, group, mode and extended attributes (POSIX ACLs
//   included), is synced and renamed over the target; the folder is synced
//   after the rename. Temporary files of this kind that a killed update left
//   behind are removed first.
// - A file with more than one hard link, one whose owner, group, extended
//   attributes or flags the process may not give the new file, or one whose
//   name cannot be given to a new file (a file mounted on its own, a folder
//   this user may not write), is written in place instead, after its old
//   content is saved to a backup (name + ".ferox-backup", beside it or in the
//   user's cache folder) that is removed once the write is synced. The backup
//   takes its name only once it is whole and synced.
// - Refused: a target that is not a regular file, one without any write
//   permission (a rename would otherwise replace a read-only file), one marked
//   immutable or append-only, and one of which an interrupted in-place write
//   left a backup.
// Returns false and says why; the file is then unchanged.
bool update(const QString &path, const PieceChange &change, FileError *error);

// Replaces the file's content with `pieces`, one after the other, as update()
// does.
bool replace(const QString &path, const QList<QByteArrayView> &pieces, FileError *error);

// The backup that an interrupted in-place update of the file at `path` left,
// beside the file or in the user's cache folder, or nothing. While it is
// there, update() refuses to write the file.
std::optional<QString> leftoverBackup(const QString &path);

} // namespace filebytes
