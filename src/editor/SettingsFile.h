#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The editor's reads of the file named in its path box. The editor keeps no
// model of the file: every list is filled by reading the file again.
namespace settingsfile {

struct ReadResult {
    bool ok = true;
    // No file exists at the path: the one failure the user is told about.
    bool notFound = false;
    // Something other than a regular file is there (a FIFO, a device, a
    // folder): refused without opening it, which could block for ever.
    bool notRegular = false;
    QString error;
};

// The name of every head line in file order, duplicates kept. The file is
// read in pieces, never held whole; on a failure `names` holds those read
// before it.
ReadResult readSectionNames(const QString &path, QList<QByteArray> *names);

struct KeyLines {
    QList<QByteArray> keys;
    QList<QByteArray> values; // parallel to keys
};

// The key lines of the first section whose head begins with "[" + name + "]".
// A section that is not there gives empty lists.
ReadResult readSectionKeys(const QString &path, const QByteArray &name, KeyLines *lines);

// Creates an empty file when none exists at the path; an existing file is not
// touched. Failing is harmless to the callers, so nothing is returned.
void createIfMissing(const QString &path);

} // namespace settingsfile
