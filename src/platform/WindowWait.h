#pragma once

#include "fileio/FileBytes.h"

#include <QObject>
#include <QPointer>

class QWidget;

// A window's side of a write that waits for another program to finish with
// the file: while the wait lasts the program keeps painting and answering
// (events other than the user's input are handled, so no click or key can
// change what is being written), and a request to close the window ends the
// wait at once instead of being ignored. The window closes once the write has
// returned and its outcome has been shown (closeIfAsked()).
class WindowWait : public QObject {
public:
    explicit WindowWait(QWidget *window);
    ~WindowWait() override;
    WindowWait(const WindowWait &) = delete;
    WindowWait &operator=(const WindowWait &) = delete;

    // What to hand to the write.
    filebytes::Wait wait();
    // Passes on a close that came during the wait.
    void closeIfAsked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
    bool m_waiting = false;
    bool m_closeAsked = false;
};
