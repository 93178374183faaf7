#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// Reading the server's replies in the SMTP dialogue, apart from the socket, so
// that it can be tested (and fed arbitrary bytes) on its own.
namespace smtp {

// One reply: lines "ddd-text" up to a last line "ddd text" or "ddd".
struct SmtpReply {
    int code = 0; // the code of the last line
    QList<QByteArray> lines; // without their line ends

    // All lines, joined by CR LF.
    QByteArray text() const;
};

struct ReplyRead {
    enum class Status {
        Complete, // `reply` holds the first reply, `consumed` the bytes it took
        NeedMore, // no complete reply yet; read more and ask again
        Error, // the bytes are no SMTP reply, or one beyond any sensible length
    };
    Status status = Status::NeedMore;
    SmtpReply reply;
    qsizetype consumed = 0;
    QString error; // for the user
};

// The longest reply accepted, all its lines together.
constexpr qsizetype longestSmtpReply = 64 * 1024;

// Reads the first reply from the bytes received so far. Lines end at LF, with
// or without a CR before it. Every line must begin with three digits followed
// by nothing, a blank (the last line) or "-" (more lines follow).
ReplyRead readReply(QByteArrayView received);

// True when the reply to EHLO lists the service extension `keyword` (in
// capitals, "8BITMIME"), with or without parameters.
bool advertises(const SmtpReply &ehlo, QByteArrayView keyword);

} // namespace smtp
