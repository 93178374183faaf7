#pragma once

#include "fileio/DiskStamp.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

// Tells when the file the editor works on changes on disk: written in place,
// or replaced by a rename (as the program's own writers do). Bursts of changes (a writer's several steps) are
// told once, after the file has been quiet for a moment, so that a half-written file is not read.
class DiskWatch : public QObject {
    Q_OBJECT
public:
    explicit DiskWatch(QObject *parent = nullptr);

    // Watches `path` instead of the file watched so far; empty watches none.
    void watch(const QString &path);
    QString path() const { return m_path; }

    // Whether the file at `path` still has the identity, size and times of
    // `stamp`: a look at its metadata only, never at its bytes, cheap enough
    // for every notice (the check before a write still compares them).
    static bool looksUnchanged(const QString &path, const diskstamp::Stamp &stamp);

Q_SIGNALS:
    void changed();

private:
    void noted();
    void follow();

    QFileSystemWatcher m_watcher;
    QTimer m_quiet;
    QString m_path;
};
