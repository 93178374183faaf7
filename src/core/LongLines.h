#pragma once

#include <QByteArrayView>
#include <QList>

// Finding the lines of a text that are too long to lay out on screen in
// reasonable time. A line ends at CR or LF, each counted as one line end, as
// the text area counts them.
namespace longlines {

// The part of a long line past its first `shown` bytes: [start, end), end
// being the offset of the line's end (or of the text's end).
struct Tail {
    qsizetype start = 0;
    qsizetype end = 0;
    friend bool operator==(const Tail &, const Tail &) = default;
};

// The tails of every line longer than `shown` bytes, in text order. The work
// grows with the text's size divided by `shown`, plus the long lines' length,
// so ordinary texts cost next to nothing.
QList<Tail> tails(QByteArrayView text, qsizetype shown);

} // namespace longlines
