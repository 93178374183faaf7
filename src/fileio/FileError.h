#pragma once

#include <QString>

#include <sys/types.h>

class QFileDevice;

// Why a file could not be read or written. Callers decide on `kind` and
// `errnum`; `text` is what the user reads, and nothing is decided on it.
struct FileError {
    enum class Kind {
        System, // a system call failed; errnum says which way
        NotFound, // no file at the path, for readers that tell this apart
        NotRegular, // a folder, FIFO, device or socket is at the path
        Refused, // what was to be written was refused; the file was not touched
        Changed, // the file kept changing under the update
        BackupKept, // the old content is in a backup copy beside the file
        Cancelled, // the caller's progress function stopped the work
        Protected, // the file is marked immutable or append-only
    };

    Kind kind = Kind::System;
    int errnum = 0; // the errno behind it; 0 where the system gave none
    QString text;

    // The system's own text for `errnum`.
    static FileError system(int errnum);
    // What a failed QFile says; the errno behind it is gone by then.
    static FileError of(const QFileDevice &file);
    // For something at the path that is not a regular file, by its mode.
    static FileError notRegular(mode_t mode);

    // The system refused the access itself: no permission, or a read-only
    // file system.
    bool accessDenied() const;
};
