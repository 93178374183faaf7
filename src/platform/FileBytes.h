#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>

// Whole-file reads and replacements, shared by every writer of settings files.
namespace filebytes {

// Opens the file for reading and returns its descriptor, or -1 and why in
// `error`. Only a regular file (symbolic links followed) is opened: a folder,
// FIFO, device or socket is refused before anything could block on it, and a
// file swapped for one of those between the check and the open is refused too.
int openRegular(const QString &path, QString *error);

// Why the path cannot be opened as a file, when something other than a regular
// file (a folder, FIFO, device, socket) is there; empty for a regular file or
// none at all. Only looks, never opens.
QString notRegularFile(const QString &path);

// Reads the whole file; on failure returns false and says why in `error`.
bool read(const QString &path, QByteArray *bytes, QString *error);

// A file read whole for a read-modify-replace. Its bytes are a snapshot in
// memory (not a mapping: another program that shortens a mapped file would
// crash this one), and the unchanged parts of it can be copied to the new file
// inside the kernel, as cp does, instead of through the program's memory.
class Snapshot {
public:
    Snapshot() = default;
    ~Snapshot();
    Snapshot(const Snapshot &) = delete;
    Snapshot &operator=(const Snapshot &) = delete;

    // Reads the whole file; on failure returns false and says why. With
    // `readBytes` false it only opens the file, for a writer that reads just
    // the parts it needs (readAt) and has the rest copied inside the kernel.
    bool open(const QString &path, QString *error, bool readBytes = true);
    // Takes `fd` and the file's size and time, but reads nothing yet.
    bool adopt(int fd, QString *error);
    // Reads the bytes of an adopted file, once.
    bool load(QString *error);
    QByteArrayView bytes() const { return m_bytes; }
    int descriptor() const { return m_fd; }
    // The file's size when it was opened.
    qint64 size() const { return m_size; }
    // The file's bytes [offset, offset + size), fewer at its end.
    bool readAt(qint64 offset, qint64 size, QByteArray *out, QString *error) const;

    // Where `part` (a view into bytes()) starts in the file, or -1.
    qint64 offsetOf(QByteArrayView part) const;
    // Appends the file's bytes [offset, offset + size) to `fd`; false when the
    // file no longer holds them.
    bool copyTo(int fd, qint64 offset, qint64 size, QString *error) const;
    // True while the file's size and modification time are those it had when
    // it was read: a copy from a file that changed meanwhile would splice old
    // and new content.
    bool unchanged() const;

private:
    int m_fd = -1;
    QByteArray m_bytes;
    qint64 m_size = 0;
    qint64 m_mtimeNs = 0;
    bool m_loaded = false;
};

// One piece of a new content: bytes, or the range [offset, offset + size) of the
// old file (offset -1: the bytes).
struct Piece {
    QByteArrayView bytes;
    qint64 offset = -1;
    qint64 size = 0;
};

// Computes a file's new content from the old file, opened but not read (its
// size is 0 and nothing can be read for a missing file): fills `pieces`,
// written one after the other, or returns false and why. The change reads what
// it needs (readAt); ranges of the old file are copied inside the kernel, bytes
// must stay alive until update() returns. It may be called more than once.
using PieceChange = std::function<bool(const Snapshot &old, QList<Piece> *pieces, QString *error)>;

// The same for a change that wants the old bytes whole (empty for a missing
// file). The pieces may be views into `old` (copied inside the kernel) or into
// memory the callable keeps alive until update() returns.
using Change = std::function<bool(QByteArrayView old, QList<QByteArrayView> *pieces, QString *error)>;

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
// - A file with more than one hard link, or one whose owner, group or
//   extended attributes the process may not give the new file, is written in
//   place instead, after its old content is saved to a backup beside it
//   (name + ".ferox-backup") that is removed once the write is synced.
// - Refused: a target that is not a regular file, and one without any write
//   permission (a rename would otherwise replace a read-only file).
// Returns false and says why; the file is then unchanged.
bool update(const QString &path, const PieceChange &change, QString *error);
bool update(const QString &path, const Change &change, QString *error);

// Replaces the file's content with `bytes` (or `pieces`), as update() does.
bool replace(const QString &path, const QByteArray &bytes, QString *error);
bool replace(const QString &path, QList<QByteArrayView> pieces, QString *error);

} // namespace filebytes
