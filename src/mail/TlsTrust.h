#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>

// Which certificates a connection to a mail server trusts, and how a failed
// check is put to the user.
namespace tlstrust {

// The configuration every connection starts from: the system's trusted
// certificate authorities, or, where OpenSSL's usual variables SSL_CERT_FILE
// and SSL_CERT_DIR are set, the certificates they name instead (Qt's own
// loader does not read them). Read anew for every connection.
QSslConfiguration configuration();

// The SHA-256 fingerprint as people compare it: pairs of hex digits in
// capitals, separated by colons.
QString fingerprint(const QSslCertificate &certificate);

// True when every error is about the server's certificate (its issuer, its
// name, its dates), so that trusting that one certificate answers them all.
bool onlyCertificateErrors(const QList<QSslError> &errors);

// Why the certificate failed, in words for the user, one reason a line.
QString describe(const QList<QSslError> &errors);

} // namespace tlstrust
