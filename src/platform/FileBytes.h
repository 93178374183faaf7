#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// Whole-file reads and replacements, shared by every writer of settings files.
namespace filebytes {

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
    QByteArrayView bytes() const { return m_bytes; }
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
};

// Replaces the file's content with `bytes` atomically: the bytes go to a
// temporary file in the same folder, which is flushed to disk and renamed over
// the target, so readers and a crash see either the old or the new file, never
// a part of it. An existing file keeps its permissions; a missing one is
// created. A target that exists but may not be written is refused (a rename
// would otherwise replace a read-only file). Returns false and says why.
bool replace(const QString &path, const QByteArray &bytes, QString *error);

// The same, with the new content given as pieces written one after the other, so
// a writer that changes a few bytes of a large file need not join them first.
// Pieces that lie in `source`'s bytes are copied from that file inside the
// kernel; the replacement is refused when that file changed meanwhile.
bool replace(
    const QString &path, QList<QByteArrayView> pieces, QString *error, const Snapshot *source = nullptr);

// One piece of a new content: bytes, or the range [offset, offset + size) of the
// source file (offset -1: the bytes).
struct Piece {
    QByteArrayView bytes;
    qint64 offset = -1;
    qint64 size = 0;
};

// The same, with pieces that name ranges of `source`'s file, which need not have
// been read at all.
bool replace(const QString &path, const QList<Piece> &pieces, QString *error, const Snapshot &source);

} // namespace filebytes
