#include "mail/TlsTrust.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace tlstrust {

QSslConfiguration configuration()
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    const QString dir = qEnvironmentVariable("SSL_CERT_DIR");
    if (file.isEmpty() && dir.isEmpty())
        return config;
    QList<QSslCertificate> authorities;
    if (!file.isEmpty())
        authorities += QSslCertificate::fromPath(file, QSsl::Pem);
    // SSL_CERT_DIR may list several folders, as OpenSSL reads it.
    for (const QString &folder : dir.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Readable);
        for (const QFileInfo &entry : entries)
            authorities += QSslCertificate::fromPath(entry.filePath(), QSsl::Pem);
    }
    config.setCaCertificates(authorities);
    return config;
}

QString fingerprint(const QSslCertificate &certificate)
{
    const QByteArray hex = certificate.digest(QCryptographicHash::Sha256).toHex().toUpper();
    QStringList pairs;
    for (qsizetype i = 0; i < hex.size(); i += 2)
        pairs << QString::fromLatin1(hex.mid(i, 2));
    return pairs.join(QLatin1Char(':'));
}

namespace {

// The chain does not end at a certificate this computer trusts.
bool unknownIssuer(const QSslError &error)
{
    switch (error.error()) {
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::CertificateUntrusted:
        return true;
    default:
        return false;
    }
}

} // namespace

bool onlyCertificateErrors(const QList<QSslError> &errors)
{
    for (const QSslError &error : errors) {
        if (unknownIssuer(error))
            continue;
        switch (error.error()) {
        case QSslError::HostNameMismatch:
        case QSslError::CertificateExpired:
        case QSslError::CertificateNotYetValid:
        case QSslError::InvalidNotBeforeField:
        case QSslError::InvalidNotAfterField:
        case QSslError::CertificateRejected:
        case QSslError::InvalidPurpose:
            break;
        default:
            return false;
        }
    }
    return !errors.isEmpty();
}

QString describe(const QList<QSslError> &errors)
{
    QStringList reasons;
    for (const QSslError &error : errors) {
        QString reason;
        switch (error.error()) {
        case QSslError::HostNameMismatch:
            reason = QStringLiteral("It was issued for another name than the server's (wrong name).");
            break;
        case QSslError::CertificateExpired:
            reason = QStringLiteral("It has expired.");
            break;
        case QSslError::CertificateNotYetValid:
            reason = QStringLiteral("It is not valid yet.");
            break;
        default:
            reason = unknownIssuer(error)
                ? QStringLiteral("Its issuer is not one this computer trusts (unknown issuer).")
                : error.errorString() + QLatin1Char('.');
            break;
        }
        if (!reasons.contains(reason))
            reasons << reason;
    }
    return reasons.join(QLatin1Char('\n'));
}

} // namespace tlstrust
