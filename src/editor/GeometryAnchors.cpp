#include "editor/GeometryAnchors.h"

#include "platform/CaptionFit.h"

#include <QEvent>
#include <QWidget>

#include <cmath>

QRect anchoredGeometry(const QRect &base, const QSize &grown, const Anchor &anchor)
{
    const auto edge
        = [](int at, double share, int room) { return at + static_cast<int>(std::lround(share * room)); };
    const int left = edge(base.x(), anchor.x, grown.width());
    const int right = edge(base.x() + base.width(), anchor.x + anchor.w, grown.width());
    const int top = edge(base.y(), anchor.y, grown.height());
    const int bottom = edge(base.y() + base.height(), anchor.y + anchor.h, grown.height());
    return QRect(left, top, std::max(right - left, 0), std::max(bottom - top, 0));
}

GeometryAnchors::GeometryAnchors(QWidget *window) : QObject(window), m_window(window)
{
    window->installEventFilter(this);
}

void GeometryAnchors::add(QWidget *control, const Anchor &anchor)
{
    m_entries.append({ control, control->geometry(), control->parentWidget()->size(), anchor });
}

void GeometryAnchors::setScale(double x, double y)
{
    m_scaleX = x;
    m_scaleY = y;
}

void GeometryAnchors::apply()
{
    for (const Entry &entry : m_entries) {
        if (!entry.control)
            continue;
        const QSize parentBase = scaledRect(QRect(QPoint(0, 0), entry.parentBase), m_scaleX, m_scaleY).size();
        const QSize grown = entry.control->parentWidget()->size() - parentBase;
        entry.control->setGeometry(
            anchoredGeometry(scaledRect(entry.base, m_scaleX, m_scaleY), grown, entry.anchor));
    }
}

bool GeometryAnchors::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Resize)
        apply();
    return QObject::eventFilter(watched, event);
}
