#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

class QProgressDialog;
class QWidget;

// The progress of opening a file in the editor, which reads it twice: once
// for the names, once for the text, one after the other or both at once. An
// open that runs longer than about a second shows a window-modal progress bar
// with Cancel, centred on the editor and naming the file; a quick one shows
// nothing. Cancel and Escape stop the open. The functions return false once
// the user has cancelled.
class OpenProgress {
public:
    OpenProgress(QWidget *parent, const QString &path, qint64 fileBytes);
    ~OpenProgress();
    OpenProgress(const OpenProgress &) = delete;
    OpenProgress &operator=(const OpenProgress &) = delete;

    bool loaded(qint64 bytes) { return step(m_fileBytes + bytes); }
    // The names and the text read at once.
    bool readBoth(qint64 scannedBytes, qint64 loadedBytes) { return step(scannedBytes + loadedBytes); }
    bool cancelled() const { return m_cancelled; }

    // How long an open runs before the bar shows (tests make it 0).
    static void setDelay(int milliseconds);

private:
    bool step(qint64 done);
    void showDialog();
    void centreDialog();

    QWidget *m_parent;
    QString m_path;
    qint64 m_fileBytes;
    QElapsedTimer m_clock;
    QPointer<QProgressDialog> m_dialog;
    bool m_cancelled = false;
    bool m_centred = false;
};
