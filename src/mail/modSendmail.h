#pragma once

#include "core/MailFields.h"

#include <QByteArray>
#include <QString>

// The mail transport's free functions. The SMTP dialogue itself is SmtpClient;
// the message text, the field checks and the reading of replies are pure
// logic in core/ (Base64, MailFields, MimeMessage, SmtpReply, SmtpAuth).
namespace modSendmail {

using mime::GetToken;
using mime::Result;

struct EncodedAttachment {
    bool ok = false;
    QString error; // names the file and the reason when it cannot be read
    QByteArray text;
};

// The base64 form of the file at `path`: lines of 72 characters, each full
// line followed by CR LF, a shorter last one without; an empty file gives an
// empty text. Touches nothing but the file, so it may run on a worker thread.
EncodedAttachment EncodeAttachment(const QString &path);

// The name that follows "EHLO ": the host name when it is a fully qualified
// domain name, otherwise the address literal ("[127.0.0.1]", "[IPv6:::1]").
QString ehloIdentity(const QString &hostName, const QString &address);

} // namespace modSendmail
