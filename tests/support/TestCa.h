#pragma once

// A certificate authority of the test's own, made with openssl in a temporary
// folder, and server certificates: one it signed for 127.0.0.1 and localhost,
// one it signed for another name, one whose time ran out the day before, and
// one that a stranger signed.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class TestCa {
public:
    struct Certificate {
        QString certificate;
        QString key;
    };

    bool make(QString *error)
    {
        if (!m_dir.isValid()) {
            *error = QStringLiteral("no temporary folder");
            return false;
        }
        return authority(QStringLiteral("ca"), QStringLiteral("Ferox Test CA"), error)
            && authority(QStringLiteral("stranger"), QStringLiteral("Stranger CA"), error)
            && leaf(QStringLiteral("server"), QStringLiteral("ca"),
                QStringLiteral("DNS:localhost,IP:127.0.0.1"), error)
            && leaf(QStringLiteral("wrongname"), QStringLiteral("ca"),
                QStringLiteral("DNS:mail.wrong.example"), error)
            && leaf(QStringLiteral("expired"), QStringLiteral("ca"),
                QStringLiteral("DNS:localhost,IP:127.0.0.1"), error, -1)
            && leaf(QStringLiteral("unknown"), QStringLiteral("stranger"),
                QStringLiteral("DNS:localhost,IP:127.0.0.1"), error);
    }

    // The file to name in SSL_CERT_FILE: the authority alone.
    QString authorityFile() const { return path(QStringLiteral("ca.pem")); }
    Certificate good() const { return named(QStringLiteral("server")); }
    Certificate wrongName() const { return named(QStringLiteral("wrongname")); }
    Certificate expired() const { return named(QStringLiteral("expired")); }
    Certificate unknownIssuer() const { return named(QStringLiteral("unknown")); }

    // The SHA-256 fingerprint as openssl prints it ("AB:CD:...").
    QString fingerprint(const Certificate &c) const
    {
        QProcess p;
        p.start(QStringLiteral("openssl"),
            { QStringLiteral("x509"), QStringLiteral("-noout"), QStringLiteral("-fingerprint"),
                QStringLiteral("-sha256"), QStringLiteral("-in"), c.certificate });
        p.waitForFinished(10000);
        const QString out = QString::fromLatin1(p.readAllStandardOutput()).trimmed();
        return out.mid(out.indexOf(QLatin1Char('=')) + 1);
    }

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    Certificate named(const QString &name) const { return { path(name + ".pem"), path(name + ".key") }; }

    bool openssl(const QStringList &args, QString *error)
    {
        QProcess p;
        p.setWorkingDirectory(m_dir.path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("openssl"), args);
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            *error = QStringLiteral("openssl %1 failed: %2")
                         .arg(args.join(QLatin1Char(' ')), QString::fromLocal8Bit(p.readAll()));
            return false;
        }
        return true;
    }

    static QStringList newKey()
    {
        return { QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes") };
    }

    bool authority(const QString &name, const QString &cn, QString *error)
    {
        return openssl(QStringList { QStringLiteral("req"), QStringLiteral("-x509") } + newKey()
                + QStringList { QStringLiteral("-keyout"), name + ".key", QStringLiteral("-out"),
                    name + ".pem", QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                    QStringLiteral("/CN=") + cn, QStringLiteral("-addext"),
                    QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                    QStringLiteral("keyUsage=critical,keyCertSign,cRLSign") },
            error);
    }

    // A negative `days` (openssl's x509 takes it) ends the certificate's time
    // before it begins, so that it has expired when it is made.
    bool leaf(
        const QString &name, const QString &issuer, const QString &altNames, QString *error, int days = 2)
    {
        QFile ext(path(name + ".ext"));
        if (!ext.open(QIODevice::WriteOnly))
            return false;
        ext.write("basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName="
            + altNames.toLatin1() + "\n");
        ext.close();
        return openssl(QStringList { QStringLiteral("req") } + newKey()
                       + QStringList { QStringLiteral("-keyout"), name + ".key", QStringLiteral("-out"),
                           name + ".csr", QStringLiteral("-subj"), QStringLiteral("/CN=") + name },
                   error)
            && openssl({ QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), name + ".csr",
                           QStringLiteral("-CA"), issuer + ".pem", QStringLiteral("-CAkey"), issuer + ".key",
                           QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), name + ".pem",
                           QStringLiteral("-days"), QString::number(days), QStringLiteral("-extfile"),
                           name + ".ext" },
                error);
    }

    QTemporaryDir m_dir;
};
