#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QList>
#include <QString>

// Whole-file reads and replacements, shared by every writer of settings files.
namespace filebytes {

// Reads the whole file; on failure returns false and says why in `error`.
bool read(const QString &path, QByteArray *bytes, QString *error);

// A file's bytes mapped into memory for reading, without copying them: the
// cheap way to look through a large file before rewriting it. The view stays
// valid while the object lives, also after the file was replaced by rename.
// (Another program that truncates the file meanwhile would make reading the
// lost part fail hard; the settings files are not written that way.)
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    // Maps the whole file; on failure returns false and says why in `error`.
    bool open(const QString &path, QString *error);
    QByteArrayView bytes() const { return view; }
    // Where `part` (a view into bytes()) starts in the file, or -1.
    qint64 offsetOf(QByteArrayView part) const;
    int handle() const { return file.handle(); }

private:
    QFile file;
    uchar *data = nullptr;
    QByteArrayView view;
};

// Replaces the file's content with `bytes` atomically: the bytes go to a
// temporary file in the same folder, which is flushed to disk and renamed over
// the target, so readers and a crash see either the old or the new file, never
// a part of it. An existing file keeps its permissions; a missing one is
// created. A target that exists but may not be written is refused (a rename
// would otherwise replace a read-only file). Returns false and says why.
bool replace(const QString &path, const QByteArray &bytes, QString *error);

// The same, with the new content given as pieces written one after the other, so
// a writer that changes a few bytes of a large file need not copy it first.
// Pieces that lie in `source`'s mapping are copied from that file inside the
// kernel (as cp does), without passing through the program's memory.
bool replace(
    const QString &path, QList<QByteArrayView> pieces, QString *error, const MappedFile *source = nullptr);

} // namespace filebytes
