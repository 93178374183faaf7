#pragma once

#include "core/SmtpReply.h"

#include <QByteArray>
#include <QString>

// The login of SMTP AUTH (RFC 4954) in its two password mechanisms.
namespace smtp {

enum class AuthMechanism { None, Plain, Login };

// The mechanism to use with a server whose EHLO reply is `ehlo`: PLAIN when it
// offers it, else LOGIN, else none. "AUTH=LOGIN" lines of older servers count.
AuthMechanism chooseAuthMechanism(const SmtpReply &ehlo);

// "AUTH PLAIN " with the initial response: base64 of NUL, user, NUL, password
// (UTF-8), CR LF.
QByteArray authPlainCommand(const QString &user, const QString &password);

// One line of the LOGIN exchange: the base64 of `text` in UTF-8, CR LF.
QByteArray authLoginLine(const QString &text);

} // namespace smtp
