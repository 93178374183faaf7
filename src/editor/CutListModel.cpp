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
    QStringList shown = shownTexts(items, decode, m_duplicateNote);
    setItems(std::move(items), std::move(shown));
}

void CutListModel::setItems(QList<QByteArray> items, QStringList shown)
{
    // The whole items first: setting the list makes views ask for them.
    m_items = std::move(items);
    setStringList(shown);
}

QStringList CutListModel::shownTexts(const QList<QByteArray> &items, const Decoder &decode,
    const QString &duplicateNote, const std::function<bool(qsizetype done)> &listed)
{
    constexpr qsizetype kReportEvery = 4096;
    QStringList shown;
    shown.reserve(items.size());
    QSet<QByteArray> seen;
    for (const QByteArray &item : items) {
        if (listed && shown.size() % kReportEvery == 0 && !listed(shown.size()))
            break;
        shown.append(shownText(item, decode));
        if (duplicateNote.isEmpty())
            continue;
        if (seen.contains(item))
            shown.last() += duplicateNote;
        else
            seen.insert(item);
    }
    return shown;
}

bool CutListModel::isLaterDuplicate(int row) const
{
    if (row < 0 || row >= m_items.size())
        return false;
    return m_items.indexOf(m_items[row]) < row;
}
