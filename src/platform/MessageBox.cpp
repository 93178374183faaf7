#include "platform/MessageBox.h"

#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace messagebox {
namespace {
struct Recorder {
    bool on = false;
    QList<Record> records;
    QList<Answer> nextAnswers;
};
Recorder &recorder()
{
    static Recorder r;
    return r;
}

QMessageBox::Icon toQt(Icon icon)
{
    switch (icon) {
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// A short text makes a narrow box whose title the window manager cuts
// ("F...or"); leave room for the whole title beside the title-bar buttons.
// Only then: a minimum width replaces the width the box takes from its text,
// so setting it for a longer text would cut the text instead.
void makeRoomForTitle(QMessageBox &box, const QString &title, const QString &text)
{
    if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))) {
        QFont titleFont = box.font();
        titleFont.setBold(true);
        const int titleNeeds = QFontMetrics(titleFont).horizontalAdvance(title) + 120;
        const int textNeeds = QFontMetrics(label->font()).boundingRect(QRect(), 0, text).width();
        if (textNeeds < titleNeeds)
            label->setMinimumWidth(titleNeeds);
    }
}

struct Button {
    QString caption;
    QMessageBox::ButtonRole role;
};

Button buttonFor(Answer answer)
{
    switch (answer) {
    case Answer::Save:
        return { QStringLiteral("&Save"), QMessageBox::AcceptRole };
    case Answer::Discard:
        return { QStringLiteral("&Discard"), QMessageBox::DestructiveRole };
    case Answer::Overwrite:
        return { QStringLiteral("&Overwrite"), QMessageBox::AcceptRole };
    case Answer::Reload:
        return { QStringLiteral("&Reload"), QMessageBox::DestructiveRole };
    case Answer::Create:
        return { QStringLiteral("C&reate"), QMessageBox::AcceptRole };
    case Answer::TrustAndSend:
        return { QStringLiteral("&Trust and Send"), QMessageBox::AcceptRole };
    case Answer::SendUnencrypted:
        return { QStringLiteral("Send &Unencrypted"), QMessageBox::DestructiveRole };
    case Answer::MailProgram:
        return { QStringLiteral("Use My &Mail Program"), QMessageBox::ActionRole };
    case Answer::Cancel:
        break;
    }
    return { QStringLiteral("&Cancel"), QMessageBox::RejectRole };
}
} // namespace

QString programTitle()
{
    return QStringLiteral("Ferox64 INI Editor");
}

void show(QWidget *parent, const QString &title, const QString &text, Icon icon)
{
    if (recorder().on) {
        recorder().records.append({ title, text, icon, {} });
        return;
    }
    QMessageBox box(toQt(icon), title, text, QMessageBox::Ok, parent);
    makeRoomForTitle(box, title, text);
    box.exec();
}

Answer ask(QWidget *parent, const QString &text, const QList<Answer> &answers)
{
    QList<Answer> offered = answers;
    offered.removeAll(Answer::Cancel);
    offered.append(Answer::Cancel);
    Recorder &r = recorder();
    if (r.on)
        r.records.append({ programTitle(), text, Icon::Warning, offered });
    if (!r.nextAnswers.isEmpty())
        return r.nextAnswers.takeFirst();
    if (r.on)
        return Answer::Cancel;

    QMessageBox box(QMessageBox::Warning, programTitle(), text, QMessageBox::NoButton, parent);
    QList<QPair<QAbstractButton *, Answer>> buttons;
    for (const Answer answer : offered) {
        const Button b = buttonFor(answer);
        buttons.append({ box.addButton(b.caption, b.role), answer });
    }
    // Cancel is the last button added.
    auto *cancel = qobject_cast<QPushButton *>(buttons.last().first);
    box.setEscapeButton(cancel);
    box.setDefaultButton(cancel);
    makeRoomForTitle(box, programTitle(), text);
    box.exec();
    for (const auto &[button, answer] : buttons) {
        if (box.clickedButton() == button)
            return answer;
    }
    return Answer::Cancel;
}

void inform(QWidget *parent, const QString &text)
{
    show(parent, programTitle(), text, Icon::None);
}

void setRecording(bool on)
{
    recorder().on = on;
    recorder().records.clear();
}

QList<Record> takeRecorded()
{
    return std::exchange(recorder().records, {});
}

void setNextAnswers(const QList<Answer> &answers)
{
    recorder().nextAnswers = answers;
}

} // namespace messagebox
