#pragma once

#include <QObject>

class QAbstractItemView;
class QListView;

// Two lists whose rows belong together (a key and its value) scroll as one:
// the wheel, the keys and the scroll bar of either move both. The lists are
// equally high and scroll by whole items (never sideways), so the same first
// row means every row stands level with its twin.
class ListTwins : public QObject {
    Q_OBJECT
public:
    ListTwins(QListView *first, QListView *second);

private:
    QListView *m_first;
    QListView *m_second;
    bool m_syncing = false;
};

// Shows an item's whole text as its tooltip, for lists too narrow for long
// names. Watches the view's viewport; the model needs no tooltip role.
class FullTextTips : public QObject {
    Q_OBJECT
public:
    explicit FullTextTips(QAbstractItemView *view);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAbstractItemView *m_view;
};
