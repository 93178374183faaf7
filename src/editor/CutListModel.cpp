#include "editor/CutListModel.h"

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
    for (const QByteArray &item : items)
        shown.append(shownText(item, decode));
    // The whole items first: setting the list makes views ask for them.
    m_items = std::move(items);
    setStringList(shown);
}
