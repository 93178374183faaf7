#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The find box's searches, on the code page's bytes: letter case is ignored
// for every letter the code page holds ("é" finds "É").
namespace textfind {

// Whether the find box's text selects a game name: any part of it, case aside.
bool nameMatches(const QString &name, const QString &query);

// The next occurrence of `needle` that starts at or after `from`, else the
// first one in the text (the search goes round); -1 when there is none.
qsizetype findForward(QByteArrayView text, QByteArrayView needle, qsizetype from);
// The last occurrence that starts before `from`, else the last one in the
// text; -1 when there is none.
qsizetype findBackward(QByteArrayView text, QByteArrayView needle, qsizetype from);

} // namespace textfind
