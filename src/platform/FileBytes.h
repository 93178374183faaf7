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

    // Reads the whole file; on failure returns false and says why.
    bool open(const QString &path, QString *error);
    QByteArrayView bytes() const { return m_bytes; }

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

} // namespace filebytes
