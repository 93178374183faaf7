#pragma once

// Whole-text walks over the program's line model that only tests need: every
// line in order, and every head's name through the piecewise head reader.

#include "core/IniText.h"

#include <QByteArray>
#include <QList>

namespace linemodel {

// Calls f(const ini::Line &) for every line in order; f returns false to stop early.
template <class F> void forEachLine(QByteArrayView text, F &&f)
{
    for (qsizetype at = ini::textStart(text); at < text.size();) {
        const ini::Line line = ini::lineAt(text, at);
        if (!f(line))
            return;
        at = line.next;
    }
}

// Every head's name, in file order, duplicates kept.
inline QList<QByteArray> sectionNames(QByteArrayView text)
{
    QList<QByteArray> names;
    const auto add = [&](qsizetype, QByteArrayView line) {
        names.append(ini::headName(line)->toByteArray());
        return true;
    };
    ini::HeadReader reader;
    reader.feed(text, add);
    reader.finish(add);
    return names;
}

} // namespace linemodel
