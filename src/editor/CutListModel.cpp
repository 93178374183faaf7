#include "editor/CutListModel.h"

#include <QSet>

QString shownText(QByteArrayView bytes, const Decoder &decode)
{
    if (bytes.size() <= kShownBytes)
        return decode(bytes);
    return decode(bytes.first(kShownBytes)) + QStringLiteral("...");
}

void CutListModel::setItems(QList<QByteArray> items, const Decoder &decode)
{
    QStringList shown;
    shown.reserve(items.size());
    QSet<QByteArray> seen;
    for (const QByteArray &item : items) {
        shown.append(shownText(item, decode));
        if (m_duplicateNote.isEmpty())
            continue;
        if (seen.contains(item))
            shown.last() += m_duplicateNote;
        else
            seen.insert(item);
    }
    // The whole items first: setting the list makes views ask for them.
    m_items = std::move(items);
    setStringList(shown);
}

bool CutListModel::isLaterDuplicate(int row) const
{
    if (row < 0 || row >= m_items.size())
        return false;
    return m_items.indexOf(m_items[row]) < row;
}
