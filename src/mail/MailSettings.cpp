#include "mail/MailSettings.h"

#include <QSettings>

#include <memory>

namespace mailsettings {
namespace {

QString &testFile()
{
    static QString path;
    return path;
}

std::unique_ptr<QSettings> open()
{
    if (!testFile().isEmpty())
        return std::make_unique<QSettings>(testFile(), QSettings::IniFormat);
    return std::make_unique<QSettings>(QStringLiteral("ferox-ini-editor"), QStringLiteral("mail"));
}

QString securityName(smtp::Security security)
{
    switch (security) {
    case smtp::Security::StartTlsRequired:
        return QStringLiteral("starttls");
    case smtp::Security::ImplicitTls:
        return QStringLiteral("tls");
    case smtp::Security::None:
        return QStringLiteral("none");
    case smtp::Security::StartTlsWhenOffered:
        break;
    }
    return QStringLiteral("starttls-when-offered");
}

smtp::Security securityFromName(const QString &name)
{
    for (smtp::Security security :
        { smtp::Security::StartTlsRequired, smtp::Security::ImplicitTls, smtp::Security::None })
        if (name == securityName(security))
            return security;
    return smtp::Security::StartTlsWhenOffered;
}

QString trustKey(const QString &host, int port)
{
    // Host names may hold characters QSettings treats as separators.
    const QString where = host.toLower() + QLatin1Char(':') + QString::number(port);
    return QStringLiteral("trusted/") + QString::fromLatin1(where.toUtf8().toHex());
}

} // namespace

MailSettings load()
{
    const auto s = open();
    MailSettings settings;
    settings.server = s->value(QStringLiteral("server")).toString();
    settings.fromAddress = s->value(QStringLiteral("from")).toString();
    const int port = s->value(QStringLiteral("port"), 0).toInt();
    settings.connection.port = port >= 0 && port <= 65535 ? port : 0;
    settings.connection.security = securityFromName(s->value(QStringLiteral("security")).toString());
    settings.userName = s->value(QStringLiteral("user")).toString();
    settings.rememberPassword = s->value(QStringLiteral("rememberPassword"), false).toBool();
    return settings;
}

void save(const MailSettings &settings)
{
    const auto s = open();
    s->setValue(QStringLiteral("server"), settings.server);
    s->setValue(QStringLiteral("from"), settings.fromAddress);
    s->setValue(QStringLiteral("port"), settings.connection.port);
    s->setValue(QStringLiteral("security"), securityName(settings.connection.security));
    s->setValue(QStringLiteral("user"), settings.userName);
    s->setValue(QStringLiteral("rememberPassword"), settings.rememberPassword);
}

QString trustedFingerprint(const QString &host, int port)
{
    return open()->value(trustKey(host, port)).toString();
}

void trustCertificate(const QString &host, int port, const QString &fingerprint)
{
    open()->setValue(trustKey(host, port), fingerprint);
}

QString keyringAccount(const QString &userName, const QString &host)
{
    return userName + QLatin1Char('@') + host.toLower();
}

void useFileForTesting(const QString &path)
{
    testFile() = path;
}

} // namespace mailsettings
