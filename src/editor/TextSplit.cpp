#include "editor/TextSplit.h"

#include "editor/GeometryAnchors.h"

#include <QMouseEvent>
#include <QSettings>
#include <QStyle>
#include <QStyleOption>
#include <QStylePainter>

#include <algorithm>
#include <cmath>

namespace {
const char *const kShareKey = "editor/textShare";
} // namespace

TextSplit::TextSplit(
    QWidget *window, GeometryAnchors *anchors, QList<QWidget *> above, QWidget *frame, QWidget *text)
    : QWidget(window), m_anchors(anchors), m_frame(frame), m_text(text)
{
    setObjectName(QStringLiteral("TextSplit"));
    for (QWidget *widget : above)
        m_above.append(widget);
    setCursor(Qt::SplitVCursor);
    setFocusPolicy(Qt::NoFocus);
    setToolTip(tr("Drag to give the text more room"));
    m_share = std::clamp(QSettings().value(QLatin1String(kShareKey), 0.0).toDouble(), 0.0, 1.0);
}

void TextSplit::setShare(double share)
{
    share = std::clamp(share, 0.0, 1.0);
    if (share == m_share)
        return;
    m_share = share;
    QSettings().setValue(QLatin1String(kShareKey), m_share);
    m_anchors->apply();
    apply();
}

int TextSplit::room() const
{
    int lowest = 0;
    for (const QPointer<QWidget> &widget : m_above)
        if (widget)
            lowest = std::max(lowest, widget->height() + m_by);
    return std::max(lowest - kMinimumListHeight, 0);
}

// The anchors have just placed every control as if there were no split.
void TextSplit::apply()
{
    if (!m_frame || !m_text)
        return;
    m_by = 0;
    const int by = static_cast<int>(std::lround(m_share * room()));
    int listsBottom = 0;
    for (const QPointer<QWidget> &widget : m_above) {
        if (!widget)
            continue;
        widget->resize(widget->width(), widget->height() - by);
        listsBottom = std::max(listsBottom, widget->geometry().bottom());
    }
    m_frame->setGeometry(m_frame->geometry().adjusted(0, -by, 0, 0));
    m_text->resize(m_text->width(), m_text->height() + by);
    m_by = by;
    // The bar fills the gap between the lists and the frame.
    const QRect frame = m_frame->geometry();
    setGeometry(frame.left(), listsBottom + 1, parentWidget()->width() - 2 * frame.left(),
        std::max(frame.top() - listsBottom - 1, 4));
    lower();
}

void TextSplit::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_pressY = static_cast<int>(event->globalPosition().y());
    m_pressShare = m_share;
}

void TextSplit::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressY < 0)
        return;
    const int room = this->room();
    if (room <= 0)
        return;
    const int up = m_pressY - static_cast<int>(event->globalPosition().y());
    setShare(m_pressShare + static_cast<double>(up) / room);
}

void TextSplit::mouseReleaseEvent(QMouseEvent *event)
{
    m_pressY = -1;
    QWidget::mouseReleaseEvent(event);
}

void TextSplit::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    option.state |= QStyle::State_Horizontal; // a bar between rows
    painter.drawControl(QStyle::CE_Splitter, option);
}
