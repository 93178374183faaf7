#include "platform/KeyboardAids.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>
#include <QFocusFrame>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QPainter>
#include <QStyleOption>

namespace keyboardaids {
namespace {

// QKeyEvent keeps its text in a protected member and offers no setter.
struct KeyText : QKeyEvent {
    static QString QKeyEvent::*member() { return &KeyText::m_text; }
};

// Strips the text off chords before the control sees them, and keeps the
// focus mark on: the styles draw the focus of buttons and list items only
// once the keyboard has moved it, and a mouse click makes them forget that.
class ControlGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            auto *key = static_cast<QKeyEvent *>(event);
            if (isCommandChord(key))
                dropChordText(key);
        } else if (event->type() == QEvent::FocusIn) {
            static_cast<QWidget *>(watched)->window()->setAttribute(Qt::WA_KeyboardFocusChange);
        }
        return QObject::eventFilter(watched, event);
    }
};

// A list the focus arrives in has its focus frame on an item that is not
// chosen; the view's own Down would move past that item and choose the next.
class FirstArrowChooses : public QObject {
public:
    explicit FirstArrowChooses(QAbstractItemView *view) : QObject(view), m_view(view)
    {
        view->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_view || event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() != Qt::Key_Down && key->key() != Qt::Key_Up) || key->modifiers() != Qt::NoModifier)
            return false;
        QItemSelectionModel *selection = m_view->selectionModel();
        if (!selection || selection->hasSelection())
            return false;
        const QModelIndex target = firstShown();
        if (!target.isValid())
            return false;
        selection->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
        m_view->scrollTo(target);
        return true;
    }

private:
    // The item with the focus frame, or the first item the list shows.
    QModelIndex firstShown() const
    {
        const QModelIndex current = m_view->currentIndex();
        const auto *list = qobject_cast<const QListView *>(m_view);
        const auto hidden = [list](int row) { return list && list->isRowHidden(row); };
        if (current.isValid() && !hidden(current.row()))
            return current;
        QAbstractItemModel *model = m_view->model();
        for (int row = 0; model && row < model->rowCount(m_view->rootIndex()); ++row) {
            if (!hidden(row))
                return model->index(row, 0, m_view->rootIndex());
        }
        return {};
    }

    QAbstractItemView *m_view;
};

// A ring in the highlight colour around the list that has the focus: a list
// shows no focus of its own while it is empty or has no current item.
class FocusRing : public QFocusFrame {
public:
    explicit FocusRing(QWidget *parent) : QFocusFrame(parent)
    {
        setObjectName(QStringLiteral("focusRing"));
        // Shown around a list only while it has the focus.
        hide();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Active, QPalette::Highlight));
    }
};

class FocusRings : public QObject {
public:
    explicit FocusRings(QWidget *window) : QObject(window), m_ring(new FocusRing(window)) { }

    void watch(QWidget *control) { control->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn)
            m_ring->setWidget(static_cast<QWidget *>(watched));
        else if (event->type() == QEvent::FocusOut && m_ring->widget() == watched)
            m_ring->setWidget(nullptr);
        return QObject::eventFilter(watched, event);
    }

private:
    FocusRing *m_ring;
};

} // namespace

bool isCommandChord(const QKeyEvent *event)
{
    return (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        && !event->text().isEmpty();
}

void dropChordText(QKeyEvent *event)
{
    (event->*KeyText::member()).clear();
}

void apply(QWidget *window)
{
    // The window starts with a focus already, which must be seen.
    window->setAttribute(Qt::WA_KeyboardFocusChange);
    auto *guard = new ControlGuard(window);
    auto *rings = new FocusRings(window);
    for (QWidget *control : window->findChildren<QWidget *>()) {
        if (control->focusPolicy() == Qt::NoFocus)
            continue;
        control->installEventFilter(guard);
        if (auto *view = qobject_cast<QAbstractItemView *>(control)) {
            new FirstArrowChooses(view);
            rings->watch(view);
        }
    }
}

} // namespace keyboardaids
