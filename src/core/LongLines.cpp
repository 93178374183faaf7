#include "core/LongLines.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace longlines {

namespace {

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// The offset of the first line end in `text`, or its size.
qsizetype firstLineEnd(QByteArrayView text)
{
    const auto size = static_cast<size_t>(text.size());
    const void *lf = std::memchr(text.data(), '\n', size);
    const size_t upToLf = lf ? static_cast<size_t>(static_cast<const char *>(lf) - text.data()) : size;
    const void *cr = std::memchr(text.data(), '\r', upToLf);
    return static_cast<qsizetype>(
        cr ? static_cast<size_t>(static_cast<const char *>(cr) - text.data()) : upToLf);
}

// The offset of the last line end in `text`, or -1.
qsizetype lastLineEnd(QByteArrayView text)
{
    const auto size = static_cast<size_t>(text.size());
    const void *lf = memrchr(text.data(), '\n', size);
    const void *cr = memrchr(text.data(), '\r', size);
    const void *last = std::max(lf, cr, std::less<>());
    return last ? static_cast<const char *>(last) - text.data() : -1;
}

void append(QList<Part> &parts, QByteArrayView bytes, bool hidden)
{
    if (bytes.isEmpty())
        return;
    // Neighbouring runs of one kind are one run: they lie side by side in the piece.
    if (!parts.isEmpty() && parts.last().hidden == hidden) {
        Part &last = parts.last();
        last.bytes = QByteArrayView(last.bytes.data(), last.bytes.size() + bytes.size());
        return;
    }
    parts.append({ bytes, hidden });
}

} // namespace

QList<Part> Cutter::feed(QByteArrayView piece)
{
    QList<Part> parts;
    qsizetype at = 0;
    while (at < piece.size()) {
        const QByteArrayView rest = piece.sliced(at);
        if (m_inTail) {
            const qsizetype end = firstLineEnd(rest);
            append(parts, rest.first(end), true);
            at += end;
            if (end < rest.size()) {
                m_inTail = false;
                m_lineLength = 0;
            }
            continue;
        }
        if (m_lineLength == m_shown) {
            // The line is exactly as long as shown unless a byte other than
            // a line end follows.
            if (!isLineEnd(rest[0])) {
                m_inTail = true;
                continue;
            }
            append(parts, rest.first(1), false);
            m_lineLength = 0;
            ++at;
            continue;
        }
        // No line can pass its shown length within this window, whatever it holds.
        const QByteArrayView window = rest.first(std::min(m_shown - m_lineLength, rest.size()));
        const qsizetype last = lastLineEnd(window);
        m_lineLength = last < 0 ? m_lineLength + window.size() : window.size() - last - 1;
        append(parts, window, false);
        at += window.size();
    }
    return parts;
}

} // namespace longlines
