#pragma once

// Finding a window's controls by their object names, for window tests, the
// helper programs and the benchmarks. A control that is missing ends the run
// with its name: the window no longer has the layout the caller relies on.

#include "platform/ClassicLook.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QByteArray>
#include <QString>
#include <QWidget>

// What every window test sets up first: the program's look, and message boxes
// recorded instead of shown.
inline void prepareWindowTests()
{
    classiclook::apply(*qApp);
    messagebox::setRecording(true);
}

template <class W> W *child(const QWidget *parent, const QString &name)
{
    W *found = parent ? parent->findChild<W *>(name) : nullptr;
    if (!found)
        qFatal("no control named %s", qPrintable(name));
    return found;
}

template <class W> W *child(const QWidget *parent, const char *name)
{
    return child<W>(parent, QString::fromLatin1(name));
}
