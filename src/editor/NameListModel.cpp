#include "editor/NameListModel.h"

void NameListModel::setNames(QList<QByteArray> names, const std::function<QString(QByteArrayView)> &decode)
{
    QStringList shown;
    shown.reserve(names.size());
    for (const QByteArray &name : names) {
        if (name.size() <= kShownBytes)
            shown.append(decode(name));
        else
            shown.append(decode(QByteArrayView(name).first(kShownBytes)) + QStringLiteral("..."));
    }
    // The whole names first: setting the list makes views ask for them.
    m_names = std::move(names);
    setStringList(shown);
}
