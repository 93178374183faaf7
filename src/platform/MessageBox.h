#pragma once

#include <QList>
#include <QString>

class QWidget;

// Every message box of the program: a modal box with a text, an optional icon,
// one OK button and a title. Only windows call it; logic returns errors instead.
//
// Tests switch on recording: boxes are then not shown but kept, in order, for
// the test to read, so window tests run headless without answering dialogs.
namespace messagebox {

enum class Icon { None, Critical, Warning, Information };

// The program's title, used where a box has no title of its own.
QString programTitle();

struct Record {
    QString title;
    QString text;
    Icon icon = Icon::None;
};

// Shows the box and returns when the user has closed it.
void show(QWidget *parent, const QString &title, const QString &text, Icon icon = Icon::None);

// A box with the program's title and no icon.
void inform(QWidget *parent, const QString &text);

// Test seam.
void setRecording(bool on);
QList<Record> takeRecorded();

} // namespace messagebox
