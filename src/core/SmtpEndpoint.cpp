#include "core/SmtpEndpoint.h"

namespace smtp {
namespace {

// A port as typed: digits only, 1 to 65535; 0 when it is none.
int portValue(QStringView text)
{
    if (text.isEmpty() || text.size() > 5)
        return 0;
    int value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        value = value * 10 + (c.unicode() - '0');
    }
    return value <= 65535 ? value : 0;
}

ServerAddress failure(const QString &why)
{
    ServerAddress address;
    address.error = why;
    return address;
}

QString badPort(QStringView port)
{
    return QStringLiteral("The port \"%1\" in the server name is not a number from 1 to 65535.")
        .arg(port.toString());
}

} // namespace

ServerAddress parseServerAddress(const QString &text)
{
    const QString typed = text.trimmed();
    ServerAddress address;
    if (typed.startsWith(QLatin1Char('['))) {
        const qsizetype close = typed.indexOf(QLatin1Char(']'));
        if (close < 0)
            return failure(
                QStringLiteral("The server name \"%1\" opens a \"[\" that no \"]\" closes.").arg(typed));
        address.host = typed.mid(1, close - 1);
        const QStringView rest = QStringView(typed).mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return failure(QStringLiteral("After \"]\" the server name may hold only \":\" and a port."));
            address.port = portValue(rest.mid(1));
            if (address.port == 0)
                return failure(badPort(rest.mid(1)));
        }
    } else if (typed.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = typed.indexOf(QLatin1Char(':'));
        address.host = typed.left(colon);
        address.port = portValue(QStringView(typed).mid(colon + 1));
        if (address.port == 0)
            return failure(badPort(QStringView(typed).mid(colon + 1)));
    } else {
        // No colon, or an IPv6 address with its colons and no port.
        address.host = typed;
    }
    if (address.host.isEmpty())
        return failure(QStringLiteral("The server name holds no host name or address."));
    if (address.host.contains(QLatin1Char(' ')) || address.host.contains(QLatin1Char('\t')))
        return failure(QStringLiteral("The server name \"%1\" holds a blank.").arg(address.host));
    return address;
}

Endpoint resolveEndpoint(const QString &serverField, const ConnectionChoice &choice)
{
    Endpoint endpoint;
    const ServerAddress address = parseServerAddress(serverField);
    if (!address.ok()) {
        endpoint.error = address.error;
        return endpoint;
    }
    endpoint.host = address.host;
    endpoint.security = choice.security;
    endpoint.port = address.port != 0 ? address.port : choice.port;
    if (endpoint.port == implicitTlsPort && endpoint.security == Security::StartTlsWhenOffered)
        endpoint.security = Security::ImplicitTls;
    if (endpoint.port == 0)
        endpoint.port = endpoint.security == Security::ImplicitTls ? implicitTlsPort : smtpPort;
    return endpoint;
}

} // namespace smtp
