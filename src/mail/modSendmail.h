#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

class FileLoader;
class TextBuffer;
class Winsock;

// The mail transport: base64 of the attachment, the MIME message text and the
// SMTP client dialogue. Free functions without state of their own; the mail
// window owns the socket, the loader and the encoded-text holder and hands them
// in. Every text that goes to the socket is written in the program's 8-bit code
// page.
namespace modSendmail {

// Success, or the reason for a refusal in words for the user.
struct Result {
    bool ok = true;
    QString error;
};

// ---- Base64 ---------------------------------------------------------------

// One group of one to three bytes in base64: always four characters, padded
// with "=" when the group is short.
QByteArray EncodeGroup(QByteArrayView group);

// Loads the file at `path` through `loader` and writes its base64 form to
// `output` (cleared first): lines of 72 characters, each full line followed by
// CR LF, a shorter last line without one; an empty file gives an empty text.
// Pending events are processed while it works (at least every 16 ms), so the
// window stays responsive. Fails, naming the file and the reason, when the file
// cannot be read; fails also when `loader` or `output` is destroyed meanwhile.
Result EncodeAttachment(const QString &path, FileLoader &loader, TextBuffer &output);

// ---- Message text ---------------------------------------------------------

// Field `index` (from 1) of `text` split at each occurrence of `delimiter`; the
// last field runs to the end of the text; a field beyond the last is empty.
QString GetToken(qsizetype index, const QString &text, const QString &delimiter);

// The sender's display name: the sender address up to its first "@".
QString DisplayName(const QString &fromAddress);
// The part of the path after its last backslash or slash (the whole path
// without either).
QString AttachmentFileName(const QString &attachmentPath);
// True when the path holds more than blanks.
bool HasAttachment(const QString &attachmentPath);

// Refuses what would break the header or the command lines: an empty sender, a
// line break in an address, the subject or the attachment's file name, or a
// character that the 8-bit code page cannot hold. The window may call it before
// connecting; ComposeMessage and SendMail apply it again.
Result CheckHeaderFields(const QString &fromAddress, const QString &toAddress, const QString &subject,
    const QString &attachmentPath);

struct Message {
    bool ok = true;
    QString error;
    // The sends between DATA and the end-of-data marker, in order, as bytes on
    // the wire (dot-stuffed). Without an attachment the header, the text part
    // and the closing delimiter only.
    QList<QByteArray> rows;

    QByteArray joined() const;
    // The size of the message in octets as SMTP counts it: the rows and the
    // line break that ends the last one (doubled dots included, so never less).
    qsizetype size() const;
};

// The MIME message: multipart/mixed with the body as its first part and, when
// `attachmentPath` holds more than blanks, a nested multipart/parallel with the
// attachment whose base64 text is `encoded` (nullptr reads as empty). Line
// breaks of the body (CR LF, LF or CR) go out as CR LF. A body beyond ASCII is
// labelled windows-1252; it goes out 8-bit when `serverTakes8Bit`, otherwise
// quoted-printable, as does any body with a line longer than 998 octets. A
// subject beyond ASCII, one that holds "=?" or one too long for a line goes
// out as encoded words. The outer boundary is "Unique-Boundary" unless a line
// of the text part starts with its delimiter (see OuterBoundary).
Message ComposeMessage(const QString &fromAddress, const QString &toAddress, const QString &subject,
    const QString &body, const QString &attachmentPath, const QByteArray *encoded,
    bool serverTakes8Bit = true);

// Doubles a "." at the start of every line, so no line of the data can end it.
QByteArray DotStuff(QByteArrayView data);

// The quoted-printable form (RFC 2045) of a text whose line breaks are CR LF:
// the breaks stay, every other byte outside printable ASCII, "=" and a blank at
// the end of a line become "=XX", and soft breaks keep lines within 76
// characters.
QByteArray QuotedPrintable(QByteArrayView text);

// The boundary of the outer multipart for a text part with these bytes:
// "Unique-Boundary" when no line of it starts with "--Unique-Boundary",
// otherwise the first "Unique-Boundary-<n>" (n from 3) whose delimiter starts
// no line of it.
QByteArray OuterBoundary(QByteArrayView body);

// ---- SMTP dialogue ----------------------------------------------------------

// Sets the socket's remote host to `server` and its port to 25 when `port` is
// empty, else to the whole number that `port` begins with (0 when none), and
// starts the connection. Returns at once; the socket reports Connect or Error.
void ConnectToServer(const QString &server, Winsock &socket, const QString &port);

// Returns after `seconds` on the day clock, or at once when the clock reads
// above 86,395 or exactly 0 (a wait across midnight would never end), and
// processes events all the while, sleeping in the event loop in between.
void Pause(double seconds);

// The name that follows "EHLO ": the host name when it is a fully qualified
// domain name, otherwise the address literal ("[127.0.0.1]", "[IPv6:::1]").
QString EhloIdentity(const QString &hostName, const QString &address);

// How long SendMail waits for a reply before it gives up.
struct Timeouts {
    int replyMs = 120000; // the greeting and the reply to each command
    int dataEndMs = 600000; // the reply to the end-of-data marker
    int quitMs = 10000; // the reply to QUIT
};

struct SendOutcome {
    // True only when the server answered the end-of-data marker with 2xx.
    bool accepted = false;
    // The last reply the server gave (all its lines, joined by CR LF), empty
    // when none came.
    QString serverReply;
    // Why the mail was not accepted, for the user; empty when accepted.
    QString error;
};

// Writes the SMTP dialogue on the connected socket: greeting, EHLO, MAIL FROM,
// RCPT TO, DATA, the message, end-of-data, QUIT, each command only after the
// server's reply to the one before, then closes the socket. A refusal (4xx or
// 5xx), a missing reply or a broken connection ends the dialogue early (QUIT
// while the connection stands, then close). `encoded` is the attachment's
// base64 text, or nullptr without an attachment. Events are processed while it
// waits. The socket may be destroyed meanwhile (the window closed); the outcome
// then says so. A socket failure during the dialogue (a reset connection) is
// also raised as the socket's Error event; an orderly close by the server only
// as its PeerClosed signal. The error text includes the server's reply.
SendOutcome SendMail(const QString &fromAddress, const QString &toAddress, const QString &subject,
    const QString &body, Winsock &socket, const QString &attachmentPath, const TextBuffer *encoded,
    const Timeouts &timeouts = {});

} // namespace modSendmail
