#pragma once

#include <QList>
#include <QString>

class QWidget;

// Every message box of the program: a modal box with a text, an optional icon,
// one OK button and a title, or a question with a few answers. Only windows
// call it; logic returns errors instead.
//
// Tests switch on recording: boxes are then not shown but kept, in order, for
// the test to read, so window tests run headless without answering dialogs.
// Questions take their answers from setNextAnswers(), shown or recorded.
namespace messagebox {

enum class Icon { None, Critical, Warning };

// The program's title, used where a box has no title of its own.
QString programTitle();

// The answers a question may offer. Cancel is always among them: it is the
// Escape answer and the default button, so a hasty Enter changes nothing.
enum class Answer {
    Cancel,
    Save,
    Discard,
    Overwrite,
    Reload,
    Create,
    TrustAndSend,
    SendUnencrypted,
    MailProgram
};

struct Record {
    QString title;
    QString text;
    Icon icon = Icon::None;
    // A question's answers in button order; empty for an OK-only box.
    QList<Answer> answers;
};

// Shows the box and returns when the user has closed it.
void show(QWidget *parent, const QString &title, const QString &text, Icon icon = Icon::None);

// A box with the program's title and no icon.
void inform(QWidget *parent, const QString &text);

// Asks a question with the program's title and a warning icon; `answers` are
// the buttons besides Cancel, which is added last. Returns the user's answer;
// closing the box counts as Cancel.
Answer ask(QWidget *parent, const QString &text, const QList<Answer> &answers);

// Test seam.
void setRecording(bool on);
QList<Record> takeRecorded();
// The answers the next questions get, in order, instead of being shown. A
// question asked while recording with no answer left gets Cancel.
void setNextAnswers(const QList<Answer> &answers);

} // namespace messagebox
