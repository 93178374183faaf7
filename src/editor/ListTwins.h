#pragma once

#include <QObject>

#include <QString>

class QAbstractItemView;
class QListView;
class QModelIndex;

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
    QObject *m_viewport;
};

// Whether the list shows the item's text cut off at its right edge.
bool isCutOff(const QListView *list, const QModelIndex &index);

// The count line under the lists: the caption, " = ", the count, and the
// chosen name when the list cuts it off.
QString countLine(const QString &caption, int count, const QString &cutName);
