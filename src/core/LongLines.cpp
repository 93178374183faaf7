#include "core/LongLines.h"

#include <cstring>

namespace longlines {

namespace {

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// The offset of the first line end at or after `from`, or the text's size.
qsizetype lineEndFrom(QByteArrayView text, qsizetype from)
{
    const char *begin = text.data() + from;
    const auto rest = static_cast<size_t>(text.size() - from);
    const void *lf = std::memchr(begin, '\n', rest);
    const size_t upToLf = lf ? static_cast<size_t>(static_cast<const char *>(lf) - begin) : rest;
    const void *cr = std::memchr(begin, '\r', upToLf);
    const size_t end = cr ? static_cast<size_t>(static_cast<const char *>(cr) - begin) : upToLf;
    return from + static_cast<qsizetype>(end);
}

} // namespace

QList<Tail> tails(QByteArrayView text, qsizetype shown)
{
    QList<Tail> out;
    // `at` is always the start of a line. The line is long exactly when none
    // of the `shown` + 1 bytes from its start ends it; otherwise the last line
    // end among them is found looking back, which skips the short lines at
    // once.
    qsizetype at = 0;
    while (at + shown < text.size()) {
        qsizetype back = at + shown;
        while (back >= at && !isLineEnd(text[back]))
            --back;
        if (back >= at) {
            at = back + 1;
            continue;
        }
        const qsizetype end = lineEndFrom(text, at + shown);
        out.append({ at + shown, end });
        at = end + 1;
    }
    return out;
}

} // namespace longlines
