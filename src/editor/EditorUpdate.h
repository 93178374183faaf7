#pragma once

#include "fileio/DiskStamp.h"
#include "fileio/FileBytes.h"
#include "fileio/FileError.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

// The editor's update ("Update INI"): its text replaces the whole file. The
// window asks the questions and shows the messages; this writes.
namespace editorupdate {

struct Saved {
    bool ok = false;
    // The file is not the one the editor's stamp describes (another program
    // changed, replaced or removed it); nothing was written.
    bool changedOnDisk = false;
    FileError error; // why the file was not written; it is then unchanged
    diskstamp::Stamp stamp; // the file as written, when ok
};

// Writes the text to `path` through a temporary file that replaces it only
// once complete on disk, and stamps the result. With `expected`, the file the
// write opened, under the lock that keeps every other writer out, must still
// be the one it describes; otherwise nothing is written and changedOnDisk
// says why. Without it the file is overwritten whatever it holds.
Saved write(const QString &path, QByteArrayView text, const diskstamp::Stamp *expected,
    const filebytes::Wait &wait = {});

// What the user must know on opening the file: that an interrupted update
// left a backup of it, where, and what to do; empty when there is none.
QString openingNote(const QString &path);

} // namespace editorupdate
