#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

// The pieces of a mail header that readers are strict about: folded lines,
// encoded words, display names, parameters and the date.
namespace mime {

// The longest header line wanted (RFC 5322 2.1.1), its line break not counted.
constexpr qsizetype foldedLineOctets = 78;

// True when every byte is ASCII.
bool isAscii(QByteArrayView bytes);

// A header field given as one line (no line break at its end) folded so that
// each line holds at most 78 octets where a blank allows it: a fold goes
// before a blank that follows a non-blank (at or after `valueStart`, so never
// right after the field's colon) and is followed on the line by more than
// blanks, so unfolding gives the line back. A line longer than 78 remains only
// where no such blank lies in it. Lines are joined by CR LF; no line break at
// the end.
QByteArray foldHeader(QByteArrayView line, qsizetype valueStart);

// The bytes as RFC 2047 encoded words (base64) in `charset`, separated by
// blanks: each word at most 67 characters, and for UTF-8 no character split
// between two words.
QByteArray encodedWords(QByteArrayView bytes, QByteArrayView charset);

// A display name as an RFC 5322 phrase: as it is when it is one atom, quoted
// when it holds anything else (a dot, a blank, a special, or "=?" that a
// reader would decode), as UTF-8 encoded words beyond ASCII.
QByteArray displayPhrase(const QString &name);

// A MIME parameter's value as a token, or as a quoted string when it holds
// blanks or special characters (a parser would cut it there).
QByteArray parameterValue(QByteArrayView value);

// The lines that carry the attachment's file name, each starting with a
// blank, joined by CR LF, without a line break at the end: the `name`
// parameter of Content-Type and the `filename` parameter of
// Content-Disposition. A short ASCII name goes plain in both. A name beyond
// ASCII or too long for a line goes as RFC 2231 parameters in UTF-8 in
// `filename` (continued over several lines where needed), and `name` keeps a
// plain ASCII form for readers that know no RFC 2231 (accents dropped, other
// characters beyond ASCII as "_").
struct FileNameLines {
    QByteArray name;
    QByteArray filename;
};
FileNameLines fileNameLines(const QString &fileName);

// The date as RFC 5322 3.3 writes it, in the time's own zone:
// "Mon, 07 Dec 2026 21:05:09 +0100".
QByteArray dateValue(const QDateTime &time);

} // namespace mime
