#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringListModel>

#include <functional>

using Decoder = std::function<QString(QByteArrayView)>;

// A control lays out the whole text it shows, and a text as long as a huge
// file's one line overflows that layout (or takes minutes): a text longer than
// kShownBytes is shown cut, followed by "...".
constexpr qsizetype kShownBytes = 1024;
QString shownText(QByteArrayView bytes, const Decoder &decode);

// One of the editor's lists (section names, keys, values): each item is shown
// as shownText() gives it, while the whole bytes stay beside it, for looking
// the section or the key line up.
class CutListModel : public QStringListModel {
    Q_OBJECT
public:
    using QStringListModel::QStringListModel;

    // Replaces the items; `decode` turns the shown bytes of each into text.
    void setItems(QList<QByteArray> items, const Decoder &decode);
    // The same with the texts shownTexts() gave for them (or stringList()
    // held for them before), which a long list had better not make twice,
    // nor on the GUI thread.
    void setItems(QList<QByteArray> items, QStringList shown);
    // What the list shows for `items`, items equal to an earlier one followed
    // by `duplicateNote`; safe on any thread. `listed` is told every few
    // thousand items how many are done; once it returns false, the work ends
    // early with what it has.
    static QStringList shownTexts(const QList<QByteArray> &items, const Decoder &decode,
        const QString &duplicateNote, const std::function<bool(qsizetype done)> &listed = {});
    QString duplicateNote() const { return m_duplicateNote; }
    // The whole item in row `row`, as the file holds it.
    QByteArray whole(int row) const { return m_items.value(row); }
    const QList<QByteArray> &items() const { return m_items; }

    // Items equal to an earlier item are shown with `note` after them (from
    // the next setItems on); the whole items stay as they are.
    void setDuplicateNote(const QString &note) { m_duplicateNote = note; }
    // Whether the item in row `row` equals an earlier one.
    bool isLaterDuplicate(int row) const;

private:
    QList<QByteArray> m_items;
    QString m_duplicateNote;
};
