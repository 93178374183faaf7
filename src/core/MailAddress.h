#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Addresses as people type them into the From and To fields, and the SMTP
// envelope made of them: pure text, so that the window can refuse a field
// before connecting and every SMTP client builds the same commands.
namespace mime {

// One address of a field.
struct Mailbox {
    // The display name as meant (outer quotes and backslash escapes removed),
    // empty when only the address was typed.
    QString name;
    // The address as typed, blanks around it trimmed: "alice@example.org",
    // "\"o'neil x\"@example.org", "zoë@bücher.example".
    QString typed;
    // The address as it goes on the wire: the local part in UTF-8, the domain
    // in its ASCII form (IDNA) when it goes beyond ASCII, else as typed.
    QByteArray wire;
    // True when the local part goes beyond ASCII, which only a server that
    // offers SMTPUTF8 (RFC 6531) may be given.
    bool needsSmtpUtf8 = false;

    // The domain part of `wire`.
    QByteArray wireDomain() const;
};

struct AddressList {
    bool ok = false;
    QString error; // for the user, naming the field
    QList<Mailbox> mailboxes;
};

// The addresses of a field: separated by commas or semicolons (outside
// quotes and angle brackets), each either an address or a display name
// followed by the address in angle brackets ("Team <team@example.net>",
// "\"Name, Inc.\" <x@example.org>"); blanks around each are ignored, so are
// empty places between separators. An address is a local part (dot-atom or
// quoted string; characters beyond ASCII allowed), "@", and a domain (host
// name, possibly beyond ASCII, or an address literal in brackets). Refused,
// with a message naming `field` ("recipient address") and the offending text,
// when any part is no address.
AddressList parseAddresses(const QString &text, const QString &field);

// The envelope of a mail: one sender and at least one recipient.
struct Envelope {
    bool ok = false;
    QString error; // for the user, naming the field
    Mailbox sender;
    QList<Mailbox> recipients;
    // True when some address needs SMTPUTF8; the header then goes in UTF-8 too.
    bool needsSmtpUtf8 = false;
};

Envelope envelopeOf(const QString &fromAddress, const QString &toAddress);

// What the server offered in its reply to EHLO, as far as the envelope needs.
struct ServerOffers {
    bool eightBitMime = false;
    bool smtpUtf8 = false;
    bool size = false;
};

struct EnvelopeCommands {
    bool ok = false;
    // Why the mail cannot go to this server (before anything is uploaded).
    QString error;
    QByteArray mailFrom; // "MAIL FROM:<...> [BODY=8BITMIME] [SMTPUTF8] [SIZE=n]\r\n"
    QList<QByteArray> rcptTo; // one "RCPT TO:<...>\r\n" per recipient, in order
};

// The MAIL FROM and RCPT TO commands for `envelope` and a message of
// `messageOctets` octets (before dot-stuffing) that `eightBit` says holds
// bytes beyond ASCII. Refused when the envelope is (with its error), or when
// an address needs SMTPUTF8 and the server does not offer it.
EnvelopeCommands envelopeCommands(
    const Envelope &envelope, qsizetype messageOctets, bool eightBit, const ServerOffers &offers);

} // namespace mime
