#include "platform/MessageBox.h"

#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>

namespace messagebox {
namespace {
struct Recorder {
    bool on = false;
    QList<Record> records;
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
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

QString programTitle()
{
    return QStringLiteral("Ferox64 INI Editor");
}

void show(QWidget *parent, const QString &title, const QString &text, Icon icon)
{
    if (recorder().on) {
        recorder().records.append({ title, text, icon });
        return;
    }
    QMessageBox box(toQt(icon), title, text, QMessageBox::Ok, parent);
    // A short text makes a narrow box whose title the window manager cuts
    // ("F...or"); leave room for the whole title beside the title-bar buttons.
    // Only then: a minimum width replaces the width the box takes from its text,
    // so setting it for a longer text would cut the text instead.
    if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))) {
        QFont titleFont = box.font();
        titleFont.setBold(true);
        const int titleNeeds = QFontMetrics(titleFont).horizontalAdvance(title) + 120;
        const int textNeeds = QFontMetrics(label->font()).boundingRect(QRect(), 0, text).width();
        if (textNeeds < titleNeeds)
            label->setMinimumWidth(titleNeeds);
    }
    box.exec();
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

} // namespace messagebox
