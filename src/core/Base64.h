#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Base64 (RFC 2045) of an attachment as the mail carries it: lines of 72
// characters, CR LF after each full line and none after a shorter last one;
// no bytes give an empty text.
namespace base64 {

// Encoded characters per line, and the bytes they hold.
constexpr qsizetype lineChars = 72;
constexpr qsizetype lineBytes = lineChars / 4 * 3;

// The whole text in one pass (a caller that must stay responsive runs it on a
// worker thread).
QByteArray lines(QByteArrayView bytes);

// The same text from bytes handed over piece by piece, as a file is read:
// pieces of any size give what lines() gives for all of them at once.
class Writer {
public:
    // `expectedBytes`: about how many bytes will be added, so that the text
    // is allocated once.
    explicit Writer(qsizetype expectedBytes = 0);
    void add(QByteArrayView bytes);
    // The whole text; the writer starts afresh.
    QByteArray finish();

private:
    char *grow(qsizetype chars);

    QByteArray m_text;
    // The start of a line whose bytes have not all come yet.
    unsigned char m_carry[lineBytes] = {};
    qsizetype m_carried = 0;
};

} // namespace base64
