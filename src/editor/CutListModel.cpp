#include "editor/CutListModel.h"

#include <QHash>

QString shownText(QByteArrayView bytes, const Decoder &decode)
{
    if (bytes.size() <= kShownBytes)
        return decode(bytes);
    return decode(bytes.first(kShownBytes)) + QStringLiteral("...");
}

void CutListModel::setItems(QList<QByteArray> items, const Decoder &decode)
{
    // Only a list that notes duplicates looks for them.
    QBitArray later = m_duplicateNote.isEmpty() ? QBitArray() : laterDuplicates(items);
    setItems({ std::move(items), decode, std::move(later) });
}

void CutListModel::setItems(Items items)
{
    beginResetModel();
    m_items = std::move(items);
    endResetModel();
}

QBitArray CutListModel::laterDuplicates(
    const QList<QByteArray> &items, const std::function<bool(qsizetype done)> &listed)
{
    constexpr qsizetype kReportEvery = 4096;
    QBitArray later(items.size());
    // Views of the items, not copies: the set costs a node per distinct item.
    QHash<QByteArrayView, bool> seen;
    seen.reserve(items.size());
    for (qsizetype row = 0; row < items.size(); ++row) {
        if (listed && row % kReportEvery == 0 && !listed(row))
            break;
        bool &known = seen[QByteArrayView(items[row])];
        if (known)
            later.setBit(row);
        known = true;
    }
    return later;
}

QStringList CutListModel::stringList() const
{
    QStringList texts;
    texts.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row)
        texts.append(shown(row));
    return texts;
}

bool CutListModel::isLaterDuplicate(int row) const
{
    return row >= 0 && row < m_items.laterDuplicates.size() && m_items.laterDuplicates.testBit(row);
}

int CutListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_items.bytes.size());
}

QVariant CutListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return shown(index.row());
}

QString CutListModel::shown(int row) const
{
    QString text = shownText(m_items.bytes.at(row), m_items.decode);
    if (!m_duplicateNote.isEmpty() && isLaterDuplicate(row))
        text += m_duplicateNote;
    return text;
}
