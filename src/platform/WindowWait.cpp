#include "platform/WindowWait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QWidget>

WindowWait::WindowWait(QWidget *window) : m_window(window)
{
    if (m_window)
        m_window->installEventFilter(this);
}

WindowWait::~WindowWait()
{
    if (m_window)
        m_window->removeEventFilter(this);
}

filebytes::Wait WindowWait::wait()
{
    filebytes::Wait wait;
    wait.meanwhile = [this] {
        m_waiting = true;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        m_waiting = false;
        return !m_closeAsked;
    };
    return wait;
}

void WindowWait::closeIfAsked()
{
    if (m_closeAsked && m_window)
        QMetaObject::invokeMethod(m_window, &QWidget::close, Qt::QueuedConnection);
    m_closeAsked = false;
}

bool WindowWait::eventFilter(QObject *watched, QEvent *event)
{
    // Closing the window in the middle of its own write would pull the text
    // or fields from under it: the close waits until the write has given up.
    if (m_waiting && watched == m_window && event->type() == QEvent::Close) {
        m_closeAsked = true;
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
