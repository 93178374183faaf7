#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include "core/IniText.h"
#include "fileio/FileError.h"

#include <functional>

// The editor's reads of the file named in its path box. The editor keeps no
// model of the file: every list is filled by reading the file again.
namespace settingsfile {

struct ReadResult {
    bool ok = false;
    // Why not. Of kind NotFound when no file exists at the path: the one
    // failure the user is told about. Of kind NotRegular when something other
    // than a regular file is there (a FIFO, a device, a folder): refused
    // without opening it, which could block for ever. Of kind Cancelled when
    // the caller's progress function stopped the read.
    FileError error;
    // What the file's byte-order mark says its names are written in.
    ini::Encoding encoding = ini::Encoding::Ansi;
};

// Told how many bytes of the file have been read so far; false stops the read.
using Progress = std::function<bool(qint64 bytesRead)>;

// The name of every head line in file order, duplicates kept. The file is
// read in pieces, never held whole; on a failure `names` holds those read
// before it.
ReadResult readSectionNames(const QString &path, QList<QByteArray> *names, const Progress &progress = {});

struct KeyLines {
    QList<QByteArray> keys;
    QList<QByteArray> values; // parallel to keys
};

// The key lines of the first section whose head names `name` (exact bytes).
// A section that is not there gives empty lists.
ReadResult readSectionKeys(const QString &path, const QByteArray &name, KeyLines *lines);

// The same two readings over a text already in memory that the file holds
// (the editor's text just after it was written): the same names and the same
// key lines as reading the file gives.
QList<QByteArray> sectionNamesIn(QByteArrayView text);
// `headAt`: where the first head of that name starts, when the caller knows.
KeyLines sectionKeysIn(QByteArrayView text, const QByteArray &name, qsizetype headAt = -1);
// Where each head line of a text in memory starts, and whether their names
// are `known`, in order: a save mostly leaves the names as they were, and
// comparing them costs less than listing them anew.
QList<qsizetype> sectionHeadsIn(QByteArrayView text, const QList<QByteArray> &known, bool *unchanged);

// Creates an empty file when none exists at the path; an existing file is not
// touched. Failing is harmless to the callers, so nothing is returned.
void createIfMissing(const QString &path);

} // namespace settingsfile
