#pragma once

#include "core/MailFields.h"

#include <QByteArray>
#include <QString>

class FileLoader;
class TextBuffer;
class Winsock;

// The mail transport as the mail window uses it: base64 of the attachment and
// the SMTP client dialogue with the MIME message. Free functions without state
// of their own; the window owns the socket, the loader and the encoded-text
// holder and hands them in. The encoding, the message text and the reading of
// replies are pure logic in core/ (Base64, MailFields, MimeMessage,
// SmtpReply); here they meet the file, the socket and the event loop. Every
// text that goes to the socket is written in the program's 8-bit code page.
namespace modSendmail {

using mime::GetToken;
using mime::Result;

// Loads the file at `path` through `loader` and writes its base64 form to
// `output` (cleared first): lines of 72 characters, each full line followed by
// CR LF, a shorter last line without one; an empty file gives an empty text.
// Pending events are processed while it works (at least every 16 ms), so the
// window stays responsive. Fails, naming the file and the reason, when the file
// cannot be read; fails also when `loader` or `output` is destroyed meanwhile.
Result EncodeAttachment(const QString &path, FileLoader &loader, TextBuffer &output);

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
QString ehloIdentity(const QString &hostName, const QString &address);

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
// one RCPT TO per recipient, DATA, the message, end-of-data, QUIT, each
// command only after the server's reply to the one before, then closes the
// socket. A refusal (4xx or 5xx, a recipient's naming it), a missing reply, a
// broken connection, or an address beyond ASCII for a server without SMTPUTF8
// ends the dialogue early (QUIT while the connection stands, then close). `encoded` is the attachment's
// base64 text, or nullptr without an attachment. Events are processed while it
// waits. The socket may be destroyed meanwhile (the window closed); the outcome
// then says so. A socket failure during the dialogue (a reset connection) is
// also raised as the socket's Error event; an orderly close by the server only
// as its PeerClosed signal. The error text includes the server's reply.
SendOutcome SendMail(const QString &fromAddress, const QString &toAddress, const QString &subject,
    const QString &body, Winsock &socket, const QString &attachmentPath, const TextBuffer *encoded,
    const Timeouts &timeouts = {});

} // namespace modSendmail
