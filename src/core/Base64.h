#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Base64 (RFC 2045) of an attachment as the mail carries it: lines of 72
// characters, CR LF after each full line and none after a shorter last one;
// no bytes give an empty text.
namespace base64 {

// Encoded characters per line.
constexpr qsizetype lineChars = 72;

// The whole text at once.
QByteArray lines(QByteArrayView bytes);

// The same text piece by piece, so that the caller can do other work between
// the pieces (a window processes its events). The bytes must stay valid and
// unchanged until the text is taken.
class LineEncoder {
public:
    explicit LineEncoder(QByteArrayView bytes);

    bool atEnd() const { return m_at >= m_bytes.size(); }
    // Encodes the next piece of whole lines (about 55 KB of input).
    void encodeNext();
    // The text, complete once atEnd(); the encoder is spent afterwards.
    QByteArray takeText();

private:
    QByteArrayView m_bytes;
    qsizetype m_at = 0;
    QByteArray m_text;
    char *m_to = nullptr;
};

} // namespace base64
