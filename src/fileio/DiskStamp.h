#pragma once

#include "fileio/FileBytes.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstddef>

// What the editor remembers of the file its text came from, so that an update
// can tell whether another program (or the main window's Add Entry) changed the
// file since it was loaded or last written.
//
// The file's identity (device and inode: an atomic replace makes a new inode),
// size, modification and change times are compared first. Those times move in
// clock ticks, so a second change within the tick of the one we saw leaves
// them as they were; for a file that changed that recently when the stamp was
// taken, a hash of its content is kept too and compared against the file.
// Files that had been quiet for a while, the usual case, are never hashed.
namespace diskstamp {

struct Stamp {
    bool taken = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    bool hashed = false;
    size_t hash = 0;
};

// The wall-clock time in nanoseconds; read it before the file is read or
// written, and pass it to take().
qint64 now();

// The stamp of the file at `path`, which holds `content` (the pieces one after
// the other) as far as the caller knows: what it just read or wrote. `started`
// is now() from before that read or write. A file that cannot be examined gives
// a stamp that is never unchanged().
Stamp take(const QString &path, qint64 started, const QList<QByteArrayView> &content);

// The same for a file whose content the caller has not read: it is read here
// when a hash is needed.
Stamp takeFromDisk(const QString &path, qint64 started);

// True while the file at `path` is still the one the stamp describes.
bool unchanged(const QString &path, const Stamp &stamp);

// The same for the file an update opened (and holds locked): the check that
// decides whether the update may overwrite it.
bool unchanged(const filebytes::Snapshot &file, const Stamp &stamp);

// The stamp of the file just written on `fd` with `content`, taken while the
// writer still holds the file's lock. It waits (a few milliseconds at most)
// until the clock the file system stamps times from has moved past the file's
// times, so that any later change, which must wait for the lock, shows in
// them; only where that cannot be had (times of whole seconds, a clock
// elsewhere) is the content hashed instead.
Stamp ofWritten(int fd, const QList<QByteArrayView> &content);

// The hash that take() keeps: the same for the same bytes, however they are
// split into pieces.
class ContentHash {
public:
    void add(QByteArrayView bytes);
    size_t result();

private:
    void mix(QByteArrayView block);
    QByteArray m_block;
    size_t m_hash = 0;
};

} // namespace diskstamp
