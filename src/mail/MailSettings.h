#pragma once

#include "core/SmtpEndpoint.h"

#include <QString>

// What the mail window remembers between runs, in the usual per-user
// settings place: the server, the connection settings and the From address
// of the last successful send, and the certificates the user chose to trust.
// Never a password: that lives in the desktop keyring only.
struct MailSettings {
    QString server;
    QString fromAddress;
    smtp::ConnectionChoice connection;
    QString userName;
    bool rememberPassword = false;
};

namespace mailsettings {

// A first start gives empty fields and the defaults.
MailSettings load();
void save(const MailSettings &settings);

// The fingerprint of the certificate trusted for host:port despite its check,
// or empty.
QString trustedFingerprint(const QString &host, int port);
void trustCertificate(const QString &host, int port, const QString &fingerprint);

// The keyring entry of a user's password on a server.
QString keyringAccount(const QString &userName, const QString &host);

// Test seam: keep the settings in this file instead of the user's; empty goes
// back to the user's.
void useFileForTesting(const QString &path);

} // namespace mailsettings
