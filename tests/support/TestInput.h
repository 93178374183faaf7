#pragma once

// Typing in window tests. QTest::keyClicks refuses characters beyond ASCII, so
// every character goes as a key press and release that carry its text, as an
// input method delivers it.

#include <QApplication>
#include <QKeyEvent>
#include <QString>
#include <QWidget>

inline void typeText(QWidget *w, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}
