#pragma once

// What a user would see wrong in a window's layout, for window tests that
// check the window as it is drawn rather than the numbers it was drawn from: a
// control cut off by the edge of its window or frame, two controls on top of
// each other, a caption that does not fit its control.

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>

namespace windowlayout {

// The controls of a window as the user sees them: visible widgets of ours
// (named, not Qt's own parts) placed in the window itself or in a frame.
inline QList<QWidget *> controls(const QWidget *window)
{
    QList<QWidget *> out;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        const QWidget *parent = widget->parentWidget();
        if (widget->objectName().isEmpty() || widget->objectName().startsWith(QLatin1String("qt_"))
            || !widget->isVisibleTo(window) || (parent != window && !qobject_cast<const QGroupBox *>(parent)))
            continue;
        out.append(widget);
    }
    return out;
}

// Why the control's caption does not fit it, or an empty text.
inline QString captionCut(const QWidget *control)
{
    if (const auto *label = qobject_cast<const QLabel *>(control)) {
        if (label->text().isEmpty() || !label->pixmap().isNull())
            return {};
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        const QRect room = label->contentsRect();
        const QRect needed = label->fontMetrics().boundingRect(room, flags, label->text());
        if (!room.contains(needed))
            return QStringLiteral("needs %1 x %2, has %3 x %4")
                .arg(needed.width())
                .arg(needed.height())
                .arg(room.width())
                .arg(room.height());
    } else if (const auto *button = qobject_cast<const QPushButton *>(control)) {
        // Where the style draws the caption: inside the button's frame and margins.
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const int room
            = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
        const int needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width();
        if (needed > room)
            return QStringLiteral("needs %1 wide, has %2").arg(needed).arg(room);
    } else if (const auto *frame = qobject_cast<const QGroupBox *>(control)) {
        // The title stands on the frame's top line, with a gap at either end.
        const int room = frame->width() - 2 * frame->fontMetrics().averageCharWidth();
        const int needed = frame->fontMetrics().size(Qt::TextShowMnemonic, frame->title()).width();
        if (needed > room)
            return QStringLiteral("needs %1 wide, has %2").arg(needed).arg(room);
    }
    return {};
}

// Every fault, one line each; empty when the window looks right. `outside`
// names controls meant to lie out of sight (buttons the window only calls
// from code).
inline QStringList faults(const QWidget *window, const QStringList &outside = {})
{
    QStringList out;
    QList<QWidget *> shown = controls(window);
    shown.removeIf([&](const QWidget *w) { return outside.contains(w->objectName()); });
    for (const QWidget *control : shown) {
        const QString name = control->objectName();
        const QWidget *parent = control->parentWidget();
        if (!parent->rect().contains(control->geometry()))
            out << QStringLiteral("%1 reaches outside %2").arg(name, parent->objectName());
        for (const QWidget *other : shown)
            if (other->parentWidget() == parent && name < other->objectName()
                && control->geometry().intersects(other->geometry()))
                out << QStringLiteral("%1 and %2 overlap").arg(name, other->objectName());
        if (const QString cut = captionCut(control); !cut.isEmpty())
            out << QStringLiteral("the caption of %1 is cut: %2").arg(name, cut);
    }
    return out;
}

} // namespace windowlayout
