#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

// The MIME message that goes out between DATA and the end-of-data marker,
// as bytes in the program's 8-bit code page.
namespace mime {

struct Message {
    bool ok = false;
    QString error; // why the message cannot go out, for the user
    // The sends between DATA and the end-of-data marker, in order, as bytes on
    // the wire (dot-stuffed). Without an attachment the header, the text part
    // and the closing delimiter only.
    QList<QByteArray> rows;
    // The dots that dot-stuffing added to the rows.
    qsizetype doubledDots = 0;

    // The size of the message in octets as SIZE= declares it (RFC 1870): the
    // message itself, before dot-stuffing, with the line break that ends its
    // last line.
    qsizetype size() const;
    // True when a byte of it lies beyond ASCII.
    bool hasHighBytes() const;
};

// When and under which id a message goes out.
struct MessageStamp {
    QDateTime date; // local time, with its offset from UTC
    QByteArray unique; // the left side of the Message-ID
};

// The stamp for a message composed now: the local time, and an id made of the
// time and 64 random bits.
MessageStamp newStamp();

// The MIME message: multipart/mixed with the body as its first part and, when
// `attachmentPath` holds more than blanks, a nested multipart/parallel with the
// attachment whose base64 text is `encoded` (nullptr reads as empty). Refused,
// without rows, when checkFields refuses the fields. The header carries Date
// and Message-ID from `stamp` (the id's right side is the sender's domain),
// the sender with its display name (the one typed, else the address up to its
// "@"), every recipient of the To field, each header folded within 78 octets
// where blanks allow. When an address needs SMTPUTF8 the addresses go in
// UTF-8 in the header as in the envelope (RFC 6532). Line breaks of the body
// (CR LF, LF or CR) go out as CR LF. A body beyond ASCII is labelled
// windows-1252; it goes out 8-bit when `serverTakes8Bit`, otherwise
// quoted-printable, as does any body with a line longer than 998 octets. A
// subject beyond ASCII, one that holds "=?" or one too long for a line goes
// out as encoded words. The outer boundary is "Unique-Boundary" unless a line
// of the text part starts with its delimiter (see outerBoundary); the nested
// one is chosen likewise by nestedBoundary.
Message composeMessage(const QString &fromAddress, const QString &toAddress, const QString &subject,
    const QString &body, const QString &attachmentPath, const QByteArray *encoded,
    bool serverTakes8Bit = true, const MessageStamp &stamp = newStamp());

// Doubles a "." at the start of every line, so no line of the data can end it.
QByteArray dotStuff(QByteArrayView data);

// The quoted-printable form (RFC 2045) of a text whose line breaks are CR LF:
// the breaks stay, every other byte outside printable ASCII, "=" and a blank at
// the end of a line become "=XX", and soft breaks keep lines within 76
// characters.
QByteArray quotedPrintable(QByteArrayView text);

// The boundary of the outer multipart for a text part with these bytes:
// "Unique-Boundary" when no line of it starts with "--Unique-Boundary",
// otherwise the first "Unique-Boundary-<n>" (n from 3) whose delimiter starts
// no line of it.
QByteArray outerBoundary(QByteArrayView body);

// The boundary of the nested multipart that holds the attachment: one that no
// outer boundary begins with and that begins with none of them (RFC 2046
// 5.1.2), "Parallel-Boundary" unless a line of the text part starts with its
// delimiter, otherwise the first "Parallel-Boundary-<n>" (n from 2) whose
// delimiter starts no line of it.
QByteArray nestedBoundary(QByteArrayView body);

} // namespace mime
