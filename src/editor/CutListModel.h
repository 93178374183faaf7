#pragma once

#include <QAbstractListModel>
#include <QBitArray>
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

using Decoder = std::function<QString(QByteArrayView)>;

// A control lays out the whole text it shows, and a text as long as a huge
// file's one line overflows that layout (or takes minutes): a text longer than
// kShownBytes is shown cut, followed by "...".
constexpr qsizetype kShownBytes = 1024;
QString shownText(QByteArrayView bytes, const Decoder &decode);

// One of the editor's lists (section names, keys, values): each item is shown
// as shownText() gives it, while the whole bytes stay beside it, for looking
// the section or the key line up. A text is made when a view asks for its
// row, so a list of a few hundred thousand names costs their bytes only.
class CutListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // What the list holds; kept to put a list back as it was.
    struct Items {
        QList<QByteArray> bytes;
        Decoder decode;
        QBitArray laterDuplicates; // see laterDuplicates()
    };

    // Replaces the items; `decode` turns the shown bytes of each into text.
    void setItems(QList<QByteArray> items, const Decoder &decode);
    // The same with their laterDuplicates(), which a long list had better
    // not find on the GUI thread.
    void setItems(Items items);
    const Items &state() const { return m_items; }
    // Which items equal an earlier one; safe on any thread. `listed` is told
    // every few thousand items how many are done; once it returns false, the
    // work ends early and the rest count as first of their kind.
    static QBitArray laterDuplicates(
        const QList<QByteArray> &items, const std::function<bool(qsizetype done)> &listed = {});

    // The whole item in row `row`, as the file holds it.
    QByteArray whole(int row) const { return m_items.bytes.value(row); }
    const QList<QByteArray> &items() const { return m_items.bytes; }
    // The text each row shows.
    QStringList stringList() const;

    // Items equal to an earlier item are shown with `note` after them; the
    // whole items stay as they are. Lists that do not set it show none.
    void setDuplicateNote(const QString &note) { m_duplicateNote = note; }
    // Whether the item in row `row` equals an earlier one.
    bool isLaterDuplicate(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QString shown(int row) const;

    Items m_items;
    QString m_duplicateNote;
};
