#pragma once

#include "fileio/DiskStamp.h"
#include "fileio/FileError.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

// The editor's update ("Update INI"): its text replaces the whole file. The
// window asks the questions and shows the messages; this writes.
namespace editorupdate {

struct Saved {
    bool ok = false;
    FileError error; // why the file was not written; it is then unchanged
    diskstamp::Stamp stamp; // the file as written, when ok
};

// Writes the text to `path` through a temporary file that replaces it only
// once complete on disk, and stamps the result.
Saved write(const QString &path, QByteArrayView text);

// What the user must know on opening the file: that an interrupted update
// left a backup of it, where, and what to do; empty when there is none.
QString openingNote(const QString &path);

} // namespace editorupdate
