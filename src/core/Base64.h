#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Base64 (RFC 2045) of an attachment as the mail carries it: lines of 72
// characters, CR LF after each full line and none after a shorter last one;
// no bytes give an empty text.
namespace base64 {

// Encoded characters per line.
constexpr qsizetype lineChars = 72;

// The whole text in one pass (a caller that must stay responsive runs it on a
// worker thread).
QByteArray lines(QByteArrayView bytes);

} // namespace base64
