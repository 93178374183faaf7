#include "core/SmtpAuth.h"

namespace smtp {

AuthMechanism chooseAuthMechanism(const SmtpReply &ehlo)
{
    bool plain = false;
    bool login = false;
    for (qsizetype i = 1; i < ehlo.lines.size(); ++i) {
        const QByteArray extension = ehlo.lines[i].mid(4).trimmed().toUpper();
        if (!extension.startsWith("AUTH ") && !extension.startsWith("AUTH="))
            continue;
        for (const QByteArray &name : extension.mid(5).split(' ')) {
            plain = plain || name == "PLAIN";
            login = login || name == "LOGIN";
        }
    }
    return plain ? AuthMechanism::Plain : login ? AuthMechanism::Login : AuthMechanism::None;
}

QByteArray authPlainCommand(const QString &user, const QString &password)
{
    QByteArray response;
    response.append('\0').append(user.toUtf8()).append('\0').append(password.toUtf8());
    return "AUTH PLAIN " + response.toBase64() + "\r\n";
}

QByteArray authLoginLine(const QString &text)
{
    return text.toUtf8().toBase64() + "\r\n";
}

} // namespace smtp
