#include "editor/ListTwins.h"

#include <QHelpEvent>
#include <QListView>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace {

// Items as wide as the list shows them: a longer text ends in "..." and is
// read whole in its tooltip, and the list needs no horizontal scroll bar. An
// item that asks for no width of its own is given the list's whole width.
class ShownWidthItems : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return { 1, QStyledItemDelegate::sizeHint(option, index).height() };
    }
};

} // namespace

ListTwins::ListTwins(QListView *first, QListView *second) : QObject(first), m_first(first), m_second(second)
{
    // A horizontal scroll bar in one list only would make it show one row
    // fewer than its twin, and the rows would stand apart at the bottom.
    for (QListView *list : { first, second }) {
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setTextElideMode(Qt::ElideRight);
        list->setItemDelegate(new ShownWidthItems(list));
    }
    const auto follow = [this](QListView *from, QListView *to) {
        connect(from->verticalScrollBar(), &QScrollBar::valueChanged, this, [this, to](int value) {
            if (m_syncing)
                return;
            m_syncing = true;
            to->verticalScrollBar()->setValue(value);
            m_syncing = false;
        });
    };
    follow(first, second);
    follow(second, first);
}

FullTextTips::FullTextTips(QAbstractItemView *view)
    : QObject(view), m_view(view), m_viewport(view->viewport())
{
    m_viewport->installEventFilter(this);
}

bool FullTextTips::eventFilter(QObject *watched, QEvent *event)
{
    // The viewport's last events come while the view is being destroyed: ask
    // nothing of the view before knowing that this is a tooltip request.
    if (event->type() == QEvent::ToolTip && watched == m_viewport) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = m_view->indexAt(help->pos());
        const QString text = index.isValid() ? index.data(Qt::DisplayRole).toString() : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, m_view->viewport(), m_view->visualRect(index));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

bool isCutOff(const QListView *list, const QModelIndex &index)
{
    if (!index.isValid())
        return false;
    // The item's text starts a few pixels in (the style's text margin).
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    return list->fontMetrics().horizontalAdvance(index.data().toString()) + 2 * margin
        > list->viewport()->width();
}

QString countLine(const QString &caption, int count, const QString &cutName)
{
    QString line = caption + QStringLiteral(" = ") + QString::number(count);
    if (!cutName.isEmpty())
        line += QStringLiteral(": ") + cutName;
    return line;
}
