#include "core/Base64.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace base64 {
namespace {

constexpr qsizetype lineBytes = lineChars / 4 * 3; // input bytes per full line
// A piece is whole lines, small enough that a caller between pieces stays
// responsive.
constexpr qsizetype pieceBytes = lineBytes * 1024;

qsizetype encodedLength(qsizetype bytes)
{
    const qsizetype chars = (bytes + 2) / 3 * 4;
    return chars + chars / lineChars * 2;
}

// Writes base64 text as lines of 72 characters with CR LF after each full
// line; returns the end of what it wrote.
char *writeLines(const QByteArray &flat, char *to)
{
    const char *from = flat.constData();
    qsizetype left = flat.size();
    while (left >= lineChars) {
        std::memcpy(to, from, lineChars);
        to[lineChars] = '\r';
        to[lineChars + 1] = '\n';
        to += lineChars + 2;
        from += lineChars;
        left -= lineChars;
    }
    std::memcpy(to, from, static_cast<size_t>(left));
    return to + left;
}

} // namespace

QByteArray lines(QByteArrayView bytes)
{
    LineEncoder encoder(bytes);
    while (!encoder.atEnd())
        encoder.encodeNext();
    return encoder.takeText();
}

LineEncoder::LineEncoder(QByteArrayView bytes)
    : m_bytes(bytes), m_text(encodedLength(bytes.size()), Qt::Uninitialized), m_to(m_text.data())
{ }

void LineEncoder::encodeNext()
{
    if (atEnd())
        return;
    const qsizetype size = std::min(pieceBytes, m_bytes.size() - m_at);
    const QByteArray piece = QByteArray::fromRawData(m_bytes.data() + m_at, size);
    m_to = writeLines(piece.toBase64(), m_to);
    m_at += size;
}

QByteArray LineEncoder::takeText()
{
    m_to = nullptr;
    return std::exchange(m_text, {});
}

} // namespace base64
