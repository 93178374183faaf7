#pragma once

#include <QByteArrayView>
#include <QList>

// Splitting the lines of a text that are too long to lay out on screen in
// reasonable time into the part that is shown and the tail that is kept
// aside. A line ends at CR or LF, each counted as one line end, as the text
// area counts them.
namespace longlines {

// One run of a text fed to a Cutter: shown bytes, or bytes of a tail (the part
// of a long line past its first `shown` bytes, up to the line's end or the
// text's end). A hidden part that directly follows another hidden part, in
// the same piece or the next, continues the same tail.
struct Part {
    QByteArrayView bytes;
    bool hidden = false;
};

// Reads a text in pieces, as a file is loaded, and says of each byte whether
// it is shown. The work per piece is a search for its line ends, so ordinary
// texts cost next to nothing.
class Cutter {
public:
    explicit Cutter(qsizetype shown) : m_shown(shown) { }
    // The runs of `piece`, in text order; they cover it exactly and views
    // point into it.
    QList<Part> feed(QByteArrayView piece);

private:
    qsizetype m_shown;
    qsizetype m_lineLength = 0; // bytes of the current line seen so far
    bool m_inTail = false;
};

} // namespace longlines
