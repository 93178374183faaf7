#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringListModel>

#include <functional>

// The editor's list of section names. A list lays out the text of every item
// it shows, and a name as long as a huge file's one line would overflow that
// layout: a name longer than kShownBytes is shown cut, followed by "...". The
// whole name stays beside it, for looking the section up.
class NameListModel : public QStringListModel {
    Q_OBJECT
public:
    static constexpr qsizetype kShownBytes = 1024;

    using QStringListModel::QStringListModel;

    // Replaces the names; `decode` turns the shown bytes of each into text.
    void setNames(QList<QByteArray> names, const std::function<QString(QByteArrayView)> &decode);
    // The whole name in row `row`, as the file holds it.
    QByteArray name(int row) const { return m_names.value(row); }

private:
    QList<QByteArray> m_names;
};
