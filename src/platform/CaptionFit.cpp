#include "platform/CaptionFit.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

// What a control shows as its caption; an access key's "&" takes no room.
QString captionOf(const QWidget *control)
{
    QString text;
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        text = button->text();
    else if (const auto *label = qobject_cast<const QLabel *>(control))
        text = label->text();
    else if (const auto *frame = qobject_cast<const QGroupBox *>(control))
        text = frame->title();
    return QString(text)
        .replace(QStringLiteral("&&"), QStringLiteral("\x01"))
        .remove(u'&')
        .replace(u'\x01', u'&');
}

int scaledEdge(int edge, double scale)
{
    return static_cast<int>(std::lround(edge * scale));
}

} // namespace

QRect scaledRect(const QRect &designed, double scaleX, double scaleY)
{
    const int left = scaledEdge(designed.left(), scaleX);
    const int top = scaledEdge(designed.top(), scaleY);
    return QRect(left, top, scaledEdge(designed.left() + designed.width(), scaleX) - left,
        scaledEdge(designed.top() + designed.height(), scaleY) - top);
}

QSize captionNeeds(const QWidget *control, const QString &caption, int designedWidth)
{
    const QFontMetrics metrics(control->font());
    if (qobject_cast<const QLineEdit *>(control)) {
        // A field shows one line of text, whatever it holds.
        return { 0, metrics.height() + 4 };
    }
    if (caption.isEmpty())
        return {};
    const int text = metrics.horizontalAdvance(caption);
    if (qobject_cast<const QAbstractButton *>(control)) {
        // The text, a little room on each side, the bevel.
        return { text + metrics.averageCharWidth() * 2 + 4, metrics.height() + 6 };
    }
    if (const auto *label = qobject_cast<const QLabel *>(control)) {
        if (label->wordWrap()) {
            const QRect lines = metrics.boundingRect(QRect(0, 0, std::max(designedWidth, 1), 1 << 20),
                Qt::TextWordWrap | int(label->alignment()), caption);
            return { 0, lines.height() };
        }
        return { text, metrics.height() };
    }
    if (qobject_cast<const QGroupBox *>(control)) {
        // The title stands on the frame, indented a little from its corner.
        return { text + metrics.averageCharWidth() * 3, 0 };
    }
    return {};
}

CaptionFit::CaptionFit(QWidget *window) : QObject(window), m_window(window)
{
    m_size = window->size();
    m_minimum = window->minimumSize();
    m_maximum = window->maximumSize();
    for (QWidget *control : window->findChildren<QWidget *>()) {
        // Controls in a layout are placed by it, and windows of their own are not placed here.
        if (control->isWindow() || !control->parentWidget() || control->parentWidget()->layout())
            continue;
        // A control placed outside its parent is never seen: its caption needs no room.
        const bool seen = control->parentWidget()->rect().intersects(control->geometry());
        m_controls.append({ control, control->geometry(), seen ? captionOf(control) : QString() });
    }
    window->installEventFilter(this);
}

QSizeF CaptionFit::neededScale() const
{
    double x = 1, y = 1;
    for (const Control &control : m_controls) {
        if (!control.widget || control.designed.isEmpty())
            continue;
        const QSize needs = captionNeeds(control.widget, control.caption, control.designed.width());
        x = std::max(x, double(needs.width()) / control.designed.width());
        y = std::max(y, double(needs.height()) / control.designed.height());
    }
    return { x, y };
}

QSize CaptionFit::scaled(const QSize &designed) const
{
    const auto dimension = [](int length, double scale) {
        return length >= QWIDGETSIZE_MAX ? length : std::min(scaledEdge(length, scale), QWIDGETSIZE_MAX);
    };
    return { dimension(designed.width(), m_scaleX), dimension(designed.height(), m_scaleY) };
}

void CaptionFit::fit()
{
    m_pending = false;
    const QSizeF needed = neededScale();
    if (qFuzzyCompare(needed.width(), m_scaleX) && qFuzzyCompare(needed.height(), m_scaleY))
        return;
    // Room the user gave the window beyond its size stays given.
    const QSize extra = (m_window->size() - scaled(m_size)).expandedTo(QSize(0, 0));
    m_scaleX = needed.width();
    m_scaleY = needed.height();
    for (const Control &control : m_controls) {
        if (control.widget)
            control.widget->setGeometry(scaledRect(control.designed, m_scaleX, m_scaleY));
    }
    m_window->setMinimumSize(scaled(m_minimum));
    m_window->setMaximumSize(scaled(m_maximum));
    m_window->resize(scaled(m_size) + extra);
    Q_EMIT refitted();
}

bool CaptionFit::eventFilter(QObject *watched, QEvent *event)
{
    // The new font reaches the controls one by one: fit once they all have it.
    if (watched == m_window && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        && !m_pending) {
        m_pending = true;
        QTimer::singleShot(0, this, &CaptionFit::fit);
    }
    return QObject::eventFilter(watched, event);
}
