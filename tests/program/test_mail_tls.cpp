// The SMTP client against aiosmtpd with TLS and logins, with certificates of
// a test authority made here: STARTTLS, TLS from the start, certificates that
// fail their check and are trusted once, logins asked again, no password in
// plain text, HELO for servers without EHLO, and Cancel at every step.

#include "MailRun.h"
#include "SmtpTestServer.h"
#include "TestCa.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

using mailrun::Mail;
using mailrun::Run;
using Kind = MailOutcome::Kind;
using Security = smtp::Security;
using Step = SmtpClient::Step;

const QString user = QStringLiteral("tess@players.example");
const QString password = QStringLiteral("s3cret pass");
const QString loopback = QStringLiteral("127.0.0.1");

QByteArray partBytes(const QJsonObject &message, int part)
{
    return QByteArray::fromBase64(message.value(QStringLiteral("parts"))
                                      .toArray()[part]
                                      .toObject()
                                      .value(QStringLiteral("bytes"))
                                      .toString()
                                      .toLatin1());
}

} // namespace

class TestMailTls : public QObject {
    Q_OBJECT

    TestCa m_ca;
    QTemporaryDir m_files;
    QByteArray m_attachment;
    QString m_attachmentPath;

    std::unique_ptr<SmtpTestServer> start(SmtpTestServer *server)
    {
        QString error;
        if (!server->start(&error))
            qWarning("%s", qPrintable(error));
        return std::unique_ptr<SmtpTestServer>(server);
    }

    // A server that offers STARTTLS with the good certificate and requires a login.
    std::unique_ptr<SmtpTestServer> startTlsWithLogin()
    {
        auto *server = new SmtpTestServer;
        server->setTls(m_ca.good().certificate, m_ca.good().key);
        server->setLogin(user, password, true);
        return start(server);
    }

    Mail withAttachment() const
    {
        Mail mail;
        mail.attachment = m_attachmentPath;
        return mail;
    }

    // The message arrived whole, its attachment byte-exact, with no defects.
    void verifyStored(SmtpTestServer &server, int n = 1)
    {
        QTRY_COMPARE(server.messageCount(), n);
        const QJsonObject message = server.inspect(n);
        QCOMPARE(message.value(QStringLiteral("defects")).toArray(), QJsonArray());
        QCOMPARE(message.value(QStringLiteral("parts")).toArray().size(), 2);
        QCOMPARE(partBytes(message, 1), m_attachment);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_ca.make(&error), qPrintable(error));
        // As OpenSSL's own tools do, the program trusts what SSL_CERT_FILE names.
        qputenv("SSL_CERT_FILE", m_ca.authorityFile().toLocal8Bit());
        qunsetenv("SSL_CERT_DIR");
        m_attachment = randomBytes(70000, 22);
        m_attachmentPath = writeFile(m_files, QStringLiteral("Ferox.ini"), m_attachment);
    }

    // STARTTLS by default where the server offers it, required or not; EHLO
    // again inside TLS.
    void startTls_data()
    {
        QTest::addColumn<bool>("serverRequires");
        QTest::addColumn<int>("security");
        QTest::newRow("offered, when offered") << false << int(Security::StartTlsWhenOffered);
        QTest::newRow("required by the server") << true << int(Security::StartTlsWhenOffered);
        QTest::newRow("required by the settings") << false << int(Security::StartTlsRequired);
    }

    void startTls()
    {
        QFETCH(bool, serverRequires);
        QFETCH(int, security);
        auto server = start([&] {
            auto *s = new SmtpTestServer;
            s->setTls(m_ca.good().certificate, m_ca.good().key, false, serverRequires);
            return s;
        }());
        Mail mail = withAttachment();
        mail.security = static_cast<Security>(security);
        const Run run = mailrun::send(loopback, server->port(), mail);
        QVERIFY2(run.outcome.kind == Kind::Sent, qPrintable(run.outcome.message));
        QVERIFY(run.steps.contains(Step::Securing));
        verifyStored(*server);
        // In plain text only the greeting and STARTTLS; the rest went inside TLS.
        const QByteArray sent = server->clientBytes();
        QVERIFY2(sent.startsWith("EHLO [127.0.0.1]\r\nSTARTTLS\r\nEHLO [127.0.0.1]\r\nMAIL FROM:"),
            sent.left(200));
    }

    void startTlsRequiredButNotOffered()
    {
        auto server = start(new SmtpTestServer);
        Mail mail;
        mail.security = Security::StartTlsRequired;
        const Run run = mailrun::send(loopback, server->port(), mail);
        QCOMPARE(run.outcome.kind, Kind::Failed);
        QVERIFY2(run.outcome.message.contains(QStringLiteral("STARTTLS")), qPrintable(run.outcome.message));
        QVERIFY(!server->clientBytes().contains("MAIL FROM"));
    }

    void implicitTls()
    {
        auto server = start([&] {
            auto *s = new SmtpTestServer;
            s->setTls(m_ca.good().certificate, m_ca.good().key, true);
            return s;
        }());
        Mail mail = withAttachment();
        mail.security = Security::ImplicitTls;
        const Run run = mailrun::send(loopback, server->port(), mail);
        QVERIFY2(run.outcome.kind == Kind::Sent, qPrintable(run.outcome.message));
        verifyStored(*server);
        QVERIFY(!server->clientBytes().contains("STARTTLS"));
    }

    // TLS from the start against a server that speaks plain text: a message
    // at once that names TLS, not a long silence.
    void implicitTlsToAPlainServer()
    {
        auto server = start(new SmtpTestServer);
        Mail mail;
        mail.security = Security::ImplicitTls;
        QElapsedTimer wall;
        wall.start();
        const Run run = mailrun::send(loopback, server->port(), mail);
        QCOMPARE(run.outcome.kind, Kind::Failed);
        QVERIFY2(run.outcome.message.contains(QStringLiteral("TLS")), qPrintable(run.outcome.message));
        QVERIFY(wall.elapsed() < 2500);
        QCOMPARE(server->messageCount(), 0);
    }

    // A certificate that fails stops the send, says why and gives its
    // fingerprint; trusted once, the next send goes through; plain text only
    // when the user asks for it.
    void certificateFails_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("implicit");
        QTest::addColumn<QString>("why");
        QTest::newRow("wrong name, STARTTLS") << "wrongName" << false << "wrong name";
        QTest::newRow("expired, STARTTLS") << "expired" << false << "expired";
        QTest::newRow("unknown issuer, STARTTLS") << "unknownIssuer" << false << "unknown issuer";
        QTest::newRow("unknown issuer, TLS from the start") << "unknownIssuer" << true << "unknown issuer";
    }

    void certificateFails()
    {
        QFETCH(QString, kind);
        QFETCH(bool, implicit);
        QFETCH(QString, why);
        const TestCa::Certificate certificate = kind == QLatin1String("wrongName") ? m_ca.wrongName()
            : kind == QLatin1String("expired")                                     ? m_ca.expired()
                                                                                   : m_ca.unknownIssuer();
        auto server = start([&] {
            auto *s = new SmtpTestServer;
            s->setTls(certificate.certificate, certificate.key, implicit);
            return s;
        }());
        Mail mail = withAttachment();
        mail.security = implicit ? Security::ImplicitTls : Security::StartTlsWhenOffered;
        const Run refused = mailrun::send(loopback, server->port(), mail);
        QCOMPARE(refused.outcome.kind, Kind::CertificateRejected);
        QVERIFY2(
            refused.outcome.certificateProblem.contains(why), qPrintable(refused.outcome.certificateProblem));
        QCOMPARE(refused.outcome.fingerprint, m_ca.fingerprint(certificate));
        QCOMPARE(refused.outcome.plainFallbackPossible, !implicit);
        QCOMPARE(server->messageCount(), 0);
        QVERIFY(!server->clientBytes().contains("MAIL FROM"));

        // Another certificate's fingerprint does not open the door.
        mail.trustedFingerprint = m_ca.fingerprint(m_ca.good());
        QCOMPARE(mailrun::send(loopback, server->port(), mail).outcome.kind, Kind::CertificateRejected);

        mail.trustedFingerprint = refused.outcome.fingerprint;
        const Run trusted = mailrun::send(loopback, server->port(), mail);
        QVERIFY2(trusted.outcome.kind == Kind::Sent, qPrintable(trusted.outcome.message));
        verifyStored(*server);

        if (!implicit) {
            mail.trustedFingerprint.clear();
            mail.plainAfterTlsFailure = true;
            const qsizetype before = server->clientBytes().size();
            const Run plain = mailrun::send(loopback, server->port(), mail);
            QVERIFY2(plain.outcome.kind == Kind::Sent, qPrintable(plain.outcome.message));
            verifyStored(*server, 2);
            QVERIFY(!server->clientBytes().mid(before).contains("STARTTLS"));
        }
    }

    // A login over TLS: PLAIN, the user's name from the settings or asked for
    // when the server refuses the sender; a refused password is asked again.
    void login_data()
    {
        QTest::addColumn<QString>("settingsUser");
        QTest::addColumn<QStringList>("passwords");
        QTest::addColumn<int>("requests");
        QTest::newRow("user in the settings") << user << QStringList { password } << 1;
        QTest::newRow("server asks (530)") << QString() << QStringList { password } << 1;
        QTest::newRow("refused, then right")
            << user << QStringList { QStringLiteral("wrong"), password } << 2;
    }

    void login()
    {
        QFETCH(QString, settingsUser);
        QFETCH(QStringList, passwords);
        QFETCH(int, requests);
        auto server = startTlsWithLogin();
        Mail mail = withAttachment();
        mail.userName = settingsUser;
        mail.from = user;
        mail.passwords = passwords;
        const Run run = mailrun::send(loopback, server->port(), mail);
        QVERIFY2(run.outcome.kind == Kind::Sent, qPrintable(run.outcome.message + server->clientBytes()));
        QCOMPARE(run.loginReasons.size(), requests);
        QVERIFY(run.loginReasons.first().isEmpty());
        if (requests > 1)
            QVERIFY2(run.loginReasons[1].contains(QStringLiteral("535")), qPrintable(run.loginReasons[1]));
        verifyStored(*server);
        QVERIFY(server->clientBytes().contains("AUTH PLAIN "));
    }

    // A server that offers AUTH without TLS gets no password.
    void noPasswordOverPlainText_data()
    {
        QTest::addColumn<QString>("settingsUser");
        QTest::newRow("user in the settings") << user;
        QTest::newRow("server asks (530)") << QString();
    }

    void noPasswordOverPlainText()
    {
        QFETCH(QString, settingsUser);
        auto server = start([&] {
            auto *s = new SmtpTestServer;
            s->setLogin(user, password, true, true);
            return s;
        }());
        Mail mail;
        mail.userName = settingsUser;
        mail.passwords = { password };
        const Run run = mailrun::send(loopback, server->port(), mail);
        QCOMPARE(run.outcome.kind, Kind::Failed);
        QVERIFY2(run.outcome.message.contains(QStringLiteral("not encrypted"))
                || run.outcome.message.contains(QStringLiteral("encrypted connection")),
            qPrintable(run.outcome.message));
        QVERIFY(run.loginReasons.isEmpty());
        const QByteArray sent = server->clientBytes();
        QVERIFY(!sent.contains("AUTH"));
        QVERIFY(!sent.contains(password.toUtf8()));
        QVERIFY(!sent.contains(password.toUtf8().toBase64()));
    }

    // HELO for a server that refuses EHLO; without 8BITMIME the text goes
    // quoted-printable.
    void heloFallback()
    {
        auto server = start(new SmtpTestServer(SmtpTestServer::Mode::NoEhlo));
        Mail mail = withAttachment();
        mail.body = QStringLiteral("Gr\u00fc\u00dfe");
        const Run run = mailrun::send(loopback, server->port(), mail);
        QVERIFY2(run.outcome.kind == Kind::Sent, qPrintable(run.outcome.message));
        verifyStored(*server);
        const QByteArray sent = server->clientBytes();
        QVERIFY(sent.startsWith("EHLO [127.0.0.1]\r\nHELO [127.0.0.1]\r\nMAIL FROM:<alice@example.org>\r\n"));
        const QJsonObject text = server->inspect(1).value(QStringLiteral("parts")).toArray()[0].toObject();
        QCOMPARE(
            text.value(QStringLiteral("transfer_encoding")).toString(), QStringLiteral("quoted-printable"));
        QCOMPARE(text.value(QStringLiteral("text")).toString(), mail.body + QStringLiteral("\r\n"));
    }

    // Cancel ends the send at once at every step, and nothing is stored.
    void cancelAtEachStep_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("bigAttachment");
        QTest::newRow("encoding") << int(Step::Encoding) << true;
        QTest::newRow("connecting") << int(Step::Connecting) << false;
        QTest::newRow("connected") << int(Step::Connected) << false;
        QTest::newRow("securing") << int(Step::Securing) << false;
        QTest::newRow("logging in") << int(Step::LoggingIn) << false;
        QTest::newRow("sending") << int(Step::Sending) << false;
    }

    void cancelAtEachStep()
    {
        QFETCH(int, step);
        QFETCH(bool, bigAttachment);
        auto server = startTlsWithLogin();
        Mail mail = withAttachment();
        if (bigAttachment)
            mail.attachment = writeFile(m_files, QStringLiteral("big.bin"), randomBytes(30 * 1000 * 1000, 5));
        mail.userName = user;
        mail.passwords = { password };
        QElapsedTimer sinceCancel;
        const Run run = mailrun::send(loopback, server->port(), mail, mailrun::shortTimeouts(), 30000,
            [&](SmtpClient &client, Step now) {
                if (int(now) == step) {
                    sinceCancel.start();
                    client.cancel();
                }
            });
        QCOMPARE(run.outcome.kind, Kind::Cancelled);
        QVERIFY(sinceCancel.elapsed() < 100);
        QVERIFY(!run.outcome.mayHaveBeenDelivered);
        QVERIFY2(run.outcome.message.contains(QStringLiteral("nothing was sent")),
            qPrintable(run.outcome.message));
        QTest::qWait(300);
        QCOMPARE(server->messageCount(), 0);
        QVERIFY(!server->clientBytes().contains("DATA"));
    }

    // Once the end of data is out, Cancel says the server may have the mail.
    void cancelAfterTheEndOfData()
    {
        auto server = start(new SmtpTestServer(SmtpTestServer::Mode::SlowDataEnd));
        SmtpClient::Timeouts timeouts = mailrun::shortTimeouts();
        Mail mail = withAttachment();
        QEventLoop loop;
        SmtpClient client;
        client.setTimeouts(timeouts);
        MailOutcome outcome;
        connect(&client, &SmtpClient::waiting, this, [&](const QString &what, int) {
            if (what.contains(QStringLiteral("accept the message")))
                client.cancel();
        });
        connect(&client, &SmtpClient::finished, this, [&](const MailOutcome &o) {
            outcome = o;
            loop.quit();
        });
        client.start(mailrun::jobFor(loopback, server->port(), mail));
        loop.exec();
        QCOMPARE(outcome.kind, Kind::Cancelled);
        QVERIFY(outcome.mayHaveBeenDelivered);
        QVERIFY2(outcome.message.contains(QStringLiteral("may have")), qPrintable(outcome.message));
    }
};

QTEST_GUILESS_MAIN(TestMailTls)
#include "test_mail_tls.moc"
