// The SMTP client against a real SMTP server on the loopback interface:
// what arrives, parsed by Python's email package, and how the dialogue ends
// when the server refuses, breaks off or keeps silent.

#include "MailRun.h"
#include "SmtpTestServer.h"
#include "TestFiles.h"
#include "core/MailAddress.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

using mailrun::Mail;
using mailrun::Run;
using Kind = MailOutcome::Kind;

const QString fromAddress = Mail().from;
const QString recipient = Mail().to;

Run send(const QString &host, quint16 port, const Mail &mail,
    SmtpClient::Timeouts timeouts = mailrun::shortTimeouts())
{
    return mailrun::send(host, port, mail, timeouts);
}

QByteArray textBytes(qsizetype size)
{
    const QByteArray line = "[Game Title]\r\nAltTitle=Some=Thing\r\n.\r\n";
    QByteArray bytes;
    while (bytes.size() < size)
        bytes += line;
    return bytes.left(size);
}

QByteArray partBytes(const QJsonObject &part)
{
    return QByteArray::fromBase64(part.value(QStringLiteral("bytes")).toString().toLatin1());
}

// The client's and the server's turns in the transcript, consecutive chunks of
// one side joined.
QList<SmtpTestServer::TranscriptEntry> turns(const QList<SmtpTestServer::TranscriptEntry> &entries)
{
    QList<SmtpTestServer::TranscriptEntry> joined;
    for (const SmtpTestServer::TranscriptEntry &entry : entries) {
        if (!joined.isEmpty() && joined.last().fromClient == entry.fromClient)
            joined.last().data += entry.data;
        else
            joined.append(entry);
    }
    return joined;
}

QString senderDomain(const QString &from)
{
    return QString::fromUtf8(mime::envelopeOf(from, recipient).sender.wireDomain());
}

// What every stored message must be for a strict reader: no defects in
// Python's email package (policy.default), a Date of now with its zone
// offset, and a Message-ID on the sender's domain. Empty when it is.
QString notWellFormed(const QJsonObject &message, const QString &senderDomain)
{
    const QJsonArray defects = message.value(QStringLiteral("defects")).toArray();
    if (!defects.isEmpty())
        return QStringLiteral("defects: ") + QString::fromUtf8(QJsonDocument(defects).toJson());
    const QJsonValue date = message.value(QStringLiteral("date"));
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (!date.isDouble() || std::abs(date.toDouble() - double(now)) > 600)
        return QStringLiteral("no date of now");
    const int offset = QDateTime::currentDateTime().offsetFromUtc() / 60;
    if (message.value(QStringLiteral("date_offset")).toInt(-99999) != offset)
        return QStringLiteral("the date's offset is not the local one");
    static const QRegularExpression id(QStringLiteral("^<[0-9A-Za-z.]+@([^@<> ]+)>$"));
    const QRegularExpressionMatch match = id.match(message.value(QStringLiteral("message_id")).toString());
    if (!match.hasMatch() || match.captured(1) != senderDomain)
        return QStringLiteral("bad Message-ID: ") + message.value(QStringLiteral("message_id")).toString();
    return {};
}

} // namespace

class TestMailSmtp : public QObject {
    Q_OBJECT

    std::unique_ptr<SmtpTestServer> m_server; // accepts everything, shared by the delivery tests
    int m_delivered = 0;
    QTemporaryDir m_files;

    // Sends to the shared server and returns the parsed message.
    QJsonObject deliver(const Mail &mail)
    {
        const Run run = send(QStringLiteral("127.0.0.1"), m_server->port(), mail);
        if (!run.finished || run.outcome.kind != Kind::Sent) {
            qWarning(
                "not accepted: %s %s", qPrintable(run.outcome.message), qPrintable(run.outcome.serverReply));
            return {};
        }
        ++m_delivered;
        if (!QTest::qWaitFor([&] { return m_server->messageCount() >= m_delivered; }, 5000))
            return {};
        const QJsonObject message = m_server->inspect(m_delivered);
        const QString fault = notWellFormed(message, senderDomain(mail.from));
        if (!fault.isEmpty()) {
            qWarning("%s", qPrintable(fault));
            return {};
        }
        return message;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_server = std::make_unique<SmtpTestServer>();
        QString error;
        QVERIFY2(m_server->start(&error), qPrintable(error));
    }

    void cleanupTestCase() { m_server.reset(); }

    void attachment_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        for (qsizetype size : { 0, 54, 55, 56, 57, 100000 }) {
            QTest::addRow("text %lld", static_cast<long long>(size)) << textBytes(size);
            QTest::addRow("binary %lld", static_cast<long long>(size)) << randomBytes(size, quint32(size));
        }
    }

    void attachment()
    {
        QFETCH(QByteArray, bytes);
        Mail mail;
        mail.attachment = writeFile(m_files, QStringLiteral("Ferox.ini"), bytes);
        const QJsonObject message = deliver(mail);
        QVERIFY(!message.isEmpty());
        QCOMPARE(message.value(QStringLiteral("defects")).toArray(), QJsonArray());
        const QJsonObject envelope = m_server->envelope(m_delivered);
        QCOMPARE(envelope.value(QStringLiteral("mail_from")).toString(), fromAddress);
        QCOMPARE(envelope.value(QStringLiteral("rcpt_tos")).toArray(), QJsonArray { recipient });
        QCOMPARE(message.value(QStringLiteral("subject")).toString(), mail.subject);
        QCOMPARE(
            message.value(QStringLiteral("from")).toString(), QStringLiteral("alice <alice@example.org>"));
        QCOMPARE(message.value(QStringLiteral("to")).toString(), recipient);
        QCOMPARE(message.value(QStringLiteral("content_type")).toString(), QStringLiteral("multipart/mixed"));
        const QJsonArray parts = message.value(QStringLiteral("parts")).toArray();
        QCOMPARE(parts.size(), 2);
        QCOMPARE(
            parts[0].toObject().value(QStringLiteral("text")).toString(), mail.body + QStringLiteral("\r\n"));
        const QJsonObject attached = parts[1].toObject();
        QCOMPARE(attached.value(QStringLiteral("filename")).toString(), QStringLiteral("Ferox.ini"));
        QCOMPARE(attached.value(QStringLiteral("content_type")).toString(),
            QStringLiteral("application/octet-stream"));
        QCOMPARE(partBytes(attached), bytes);
    }

    // Whatever lines the text holds, the server stores the text as typed and
    // the attachment whole, in a message without defects.
    void textArrivesWhole_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("withAttachment");
        const QString bodies[] = {
            QStringLiteral(".ini file attached\r\nsee the file"),
            QStringLiteral("."),
            QStringLiteral(".."),
            QStringLiteral(".\r\nthe rest"),
            QStringLiteral("first\r\n."),
            QStringLiteral("first\r\n.last"),
            QStringLiteral("first\r\n.\r\n.hidden\r\nlast"),
            QStringLiteral("Hello,\r\nthe new entries are attached."),
            QStringLiteral("--Unique-Boundary"),
            QStringLiteral("before\r\n--Unique-Boundary--\r\nafter"),
            QStringLiteral("--Unique-Boundary-2\r\n--Unique-Boundary-3\r\n.--Unique-Boundary"),
        };
        for (const QString &body : bodies) {
            const QByteArray name = body.toLatin1().replace("\r\n", "|");
            QTest::addRow("%s, attachment", name.constData()) << body << true;
            QTest::addRow("%s, no attachment", name.constData()) << body << false;
        }
    }

    void textArrivesWhole()
    {
        QFETCH(QString, body);
        QFETCH(bool, withAttachment);
        Mail mail;
        mail.body = body;
        const QByteArray file = textBytes(500);
        if (withAttachment)
            mail.attachment = writeFile(m_files, QStringLiteral("Ferox.ini"), file);
        const QJsonObject message = deliver(mail);
        QVERIFY(!message.isEmpty());
        QCOMPARE(message.value(QStringLiteral("defects")).toArray(), QJsonArray());
        const QJsonArray parts = message.value(QStringLiteral("parts")).toArray();
        QCOMPARE(parts.size(), withAttachment ? 2 : 1);
        // The line break after the text belongs to the delimiter that follows.
        const QJsonObject text = parts[0].toObject();
        QCOMPARE(text.value(QStringLiteral("text")).toString(), body + QStringLiteral("\r\n"));
        QCOMPARE(partBytes(text), body.toLatin1() + "\r\n");
        if (withAttachment)
            QCOMPARE(partBytes(parts[1].toObject()), file);
        // Without an attachment the text is all there is, in the usual layout.
        if (!withAttachment && !body.contains(QStringLiteral("Unique")))
            QVERIFY(m_server->rawMessage(m_delivered).endsWith("\r\n\r\n--Unique-Boundary--\r\n"));
    }

    // The sender's name, a subject that looks encoded and one longer than a
    // line arrive as typed.
    void headersArriveAsTyped_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("name");
        QTest::newRow("dotted name") << "first.last@example.org"
                                     << "Updated Ferox.ini File"
                                     << "first.last";
        QTest::newRow("quoted local part") << "\"o'neil \\\"x\\\"\"@example.org"
                                           << "s"
                                           << "\"o'neil \\\"x\\\"\"";
        QTest::newRow("subject like an encoded word") << "alice@example.org"
                                                      << "=?windows-1252?B?SGFsbG8=?="
                                                      << "alice";
        QTest::newRow("encoded word inside the subject") << "alice@example.org"
                                                         << "New =?utf-8?q?caf=C3=A9?= entries"
                                                         << "alice";
        QTest::newRow("subject longer than a line")
            << "alice@example.org" << QString(1200, QLatin1Char('s')) << "alice";
    }

    void headersArriveAsTyped()
    {
        QFETCH(QString, from);
        QFETCH(QString, subject);
        QFETCH(QString, name);
        Mail mail;
        mail.from = from;
        mail.subject = subject;
        const QJsonObject message = deliver(mail);
        QVERIFY(!message.isEmpty());
        QCOMPARE(message.value(QStringLiteral("defects")).toArray(), QJsonArray());
        QCOMPARE(message.value(QStringLiteral("from_name")).toString(), name);
        QCOMPARE(message.value(QStringLiteral("subject")).toString(), subject);
    }

    void beyondAscii()
    {
        Mail mail;
        mail.subject = QStringLiteral("Neue Eintr\u00e4ge f\u00fcr \u201eFerox\u201c \u2013 %1")
                           .arg(QString(40, QLatin1Char('x')));
        mail.body = QStringLiteral("Gr\u00fc\u00dfe\nund 5 \u20ac");
        mail.attachment = writeFile(m_files, QStringLiteral("D\u00e9j\u00e0 vu.ini"), textBytes(60));
        const QJsonObject message = deliver(mail);
        QCOMPARE(message.value(QStringLiteral("defects")).toArray(), QJsonArray());
        QCOMPARE(message.value(QStringLiteral("subject")).toString(), mail.subject);
        const QJsonObject body = message.value(QStringLiteral("parts")).toArray()[0].toObject();
        QCOMPARE(body.value(QStringLiteral("charset")).toString(), QStringLiteral("windows-1252"));
        QCOMPARE(body.value(QStringLiteral("text")).toString(),
            QStringLiteral("Gr\u00fc\u00dfe\r\nund 5 \u20ac\r\n"));
        const QJsonObject attached = message.value(QStringLiteral("parts")).toArray()[1].toObject();
        QCOMPARE(
            attached.value(QStringLiteral("filename")).toString(), QStringLiteral("D\u00e9j\u00e0 vu.ini"));
        QCOMPARE(partBytes(attached), textBytes(60));
        // The server offers 8BITMIME, so the 8-bit body is announced.
        QVERIFY(m_server->clientBytes().contains("MAIL FROM:<alice@example.org> BODY=8BITMIME SIZE="));
    }

    // 8-bit text to a server without 8BITMIME, and lines longer than SMTP
    // carries, go quoted-printable and arrive as typed.
    void textThatNeedsEncoding_data()
    {
        QTest::addColumn<bool>("offer8Bit");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("encoding");
        const QString latin = QStringLiteral("Gr\u00fc\u00dfe \u20ac=\r\n. Punkt \r\nend\t");
        const QString longLine
            = QString(1500, QLatin1Char('x')) + QStringLiteral("\r\n.") + QString(2000, QLatin1Char('y'));
        QTest::newRow("8-bit, no 8BITMIME") << false << latin << "quoted-printable";
        QTest::newRow("8-bit, 8BITMIME") << true << latin << "8bit";
        QTest::newRow("long lines") << true << longLine << "quoted-printable";
        QTest::newRow("8-bit long line, no 8BITMIME") << false << latin + longLine << "quoted-printable";
        QTest::newRow("ASCII, no 8BITMIME") << false << QStringLiteral("plain\r\ntext") << "";
    }

    void textThatNeedsEncoding()
    {
        QFETCH(bool, offer8Bit);
        QFETCH(QString, body);
        QFETCH(QString, encoding);
        SmtpTestServer server;
        server.setOffer8BitMime(offer8Bit);
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        Mail mail;
        mail.body = body;
        const QByteArray file = randomBytes(3000, 7);
        mail.attachment = writeFile(m_files, QStringLiteral("e.bin"), file);
        const Run run = send(QStringLiteral("127.0.0.1"), server.port(), mail);
        QVERIFY2(run.outcome.kind == Kind::Sent, qPrintable(run.outcome.message));
        QTRY_COMPARE(server.messageCount(), 1);
        const QJsonObject message = server.inspect(1);
        const QString fault = notWellFormed(message, QStringLiteral("example.org"));
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        const QJsonArray parts = message.value(QStringLiteral("parts")).toArray();
        QCOMPARE(parts.size(), 2);
        const QJsonObject text = parts[0].toObject();
        QCOMPARE(text.value(QStringLiteral("transfer_encoding")).toString(), encoding);
        QCOMPARE(text.value(QStringLiteral("text")).toString(), body + QStringLiteral("\r\n"));
        QCOMPARE(partBytes(parts[1].toObject()), file);
        const QByteArray raw = server.rawMessage(1);
        if (!offer8Bit) {
            QVERIFY(std::all_of(
                raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
            QVERIFY(!server.clientBytes().contains("BODY=8BITMIME"));
        }
        for (const QByteArray &line : raw.split('\n'))
            QVERIFY(line.size() <= 999);
    }

    // A server whose limit is smaller than the message refuses it on MAIL
    // FROM, before the upload.
    void tooLargeIsRefusedBeforeTheUpload()
    {
        SmtpTestServer server;
        server.setSizeLimit(50000);
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        Mail mail;
        mail.attachment = writeFile(m_files, QStringLiteral("big.bin"), randomBytes(100000, 3));
        const Run run = send(QStringLiteral("127.0.0.1"), server.port(), mail);
        QVERIFY(run.finished);
        QVERIFY(run.outcome.kind != Kind::Sent);
        QVERIFY2(
            run.outcome.serverReply.startsWith(QStringLiteral("552 ")), qPrintable(run.outcome.serverReply));
        QVERIFY2(run.outcome.message.contains(QStringLiteral("552")), qPrintable(run.outcome.message));
        const QByteArray sent = server.clientBytes();
        QVERIFY2(!sent.contains("DATA") && sent.size() < 1000, sent.constData());
        QVERIFY(sent.contains(" SIZE=13"));
        QCOMPARE(server.messageCount(), 0);
    }

    // Each command only after the reply to the one before, in the order of
    // the dialogue, addresses in angle brackets, QUIT at the end.
    void commandsWaitForReplies()
    {
        SmtpTestServer slow(SmtpTestServer::Mode::Accept, 0.05);
        QString error;
        QVERIFY2(slow.start(&error), qPrintable(error));
        Mail mail;
        mail.attachment = writeFile(m_files, QStringLiteral("t.ini"), textBytes(1000));
        mail.body = QStringLiteral(".\r\n..two\r\n.three");
        const Run run = send(QStringLiteral("127.0.0.1"), slow.port(), mail);
        QVERIFY2(run.outcome.kind == Kind::Sent, qPrintable(run.outcome.message));
        QVERIFY(run.outcome.serverReply.startsWith(QStringLiteral("250 ")));
        QCOMPARE(run.outcome.recipients, QStringList { recipient });

        // QUIT follows the outcome (its reply comes to a client that may be
        // gone by then).
        QTRY_VERIFY(turns(slow.transcript()).size() >= 12);
        const auto spoken = turns(slow.transcript());
        const QList<QByteArray> commands = { "EHLO [127.0.0.1]\r\n",
            "MAIL FROM:<alice@example.org> SIZE=", "RCPT TO:<maintainers@example.net>\r\n", "DATA\r\n" };
        for (qsizetype i = 0; i < spoken.size(); ++i)
            QCOMPARE(spoken[i].fromClient, i % 2 == 1); // the server speaks first, then they take turns
        QVERIFY(spoken[0].data.startsWith("220 "));
        for (qsizetype i = 0; i < commands.size(); ++i)
            QVERIFY2(spoken[2 * i + 1].data.startsWith(commands[i]), spoken[2 * i + 1].data.constData());
        // The size declared is that of the message as stored, before its dots
        // were doubled.
        const QByteArray mailFrom = spoken[3].data;
        const qsizetype declared = mailFrom.mid(mailFrom.indexOf("SIZE=") + 5).trimmed().toLongLong();
        QCOMPARE(declared, slow.rawMessage(1).size());
        QVERIFY(spoken[9].data.contains("\r\n..\r\n...two\r\n..three\r\n"));
        QVERIFY(spoken[8].data.startsWith("354 "));
        QVERIFY(spoken[9].data.startsWith("MIME-Version: 1.0\r\n"));
        QVERIFY(spoken[9].data.endsWith("--Parallel-Boundary--\r\n--Unique-Boundary--\r\n.\r\n"));
        QVERIFY(spoken[10].data.startsWith("250 "));
        QCOMPARE(spoken[11].data, QByteArray("QUIT\r\n"));
    }

    void refusals_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("quitSent");
        QTest::newRow("recipient") << int(SmtpTestServer::Mode::RefuseRecipient) << "550 5.1.1"
                                   << "recipient" << true;
        QTest::newRow("message") << int(SmtpTestServer::Mode::RefuseData) << "554 5.6.0"
                                 << "message" << true;
        QTest::newRow("greeting 421") << int(SmtpTestServer::Mode::Greeting421) << "421 4.3.2"
                                      << "connection" << false;
    }

    void refusals()
    {
        QFETCH(int, mode);
        QFETCH(QString, reply);
        QFETCH(QString, what);
        QFETCH(bool, quitSent);
        SmtpTestServer server(static_cast<SmtpTestServer::Mode>(mode));
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        Mail mail;
        mail.attachment = writeFile(m_files, QStringLiteral("r.ini"), textBytes(100));
        const Run run = send(QStringLiteral("127.0.0.1"), server.port(), mail);
        QVERIFY(run.finished);
        QVERIFY(run.outcome.kind != Kind::Sent);
        QVERIFY2(run.outcome.serverReply.startsWith(reply), qPrintable(run.outcome.serverReply));
        QVERIFY2(run.outcome.message.contains(what) && run.outcome.message.contains(reply),
            qPrintable(run.outcome.message));
        QCOMPARE(server.messageCount(), 0);
        if (quitSent)
            QTRY_VERIFY(server.clientBytes().endsWith("QUIT\r\n"));
        else
            QVERIFY(!server.clientBytes().endsWith("QUIT\r\n"));
    }

    void serverClosesMidDialogue()
    {
        SmtpTestServer server(SmtpTestServer::Mode::CloseAfterMail);
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        const Run run = send(QStringLiteral("127.0.0.1"), server.port(), Mail());
        QVERIFY(run.finished);
        QVERIFY(run.outcome.kind != Kind::Sent);
        QVERIFY2(run.outcome.message.contains(QStringLiteral("closed the connection"))
                && run.outcome.message.contains(QStringLiteral("sender")),
            qPrintable(run.outcome.message));
        QVERIFY(!server.clientBytes().contains("RCPT"));
    }

    void serverNeverAnswers()
    {
        SmtpTestServer server(SmtpTestServer::Mode::Silent);
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        SmtpClient::Timeouts timeouts = mailrun::shortTimeouts();
        timeouts.greetingMs = 300;
        timeouts.quitMs = 200;
        QElapsedTimer wall;
        wall.start();
        const Run run = send(QStringLiteral("127.0.0.1"), server.port(), Mail(), timeouts);
        QVERIFY(run.finished);
        QVERIFY(run.outcome.kind != Kind::Sent);
        QVERIFY2(
            run.outcome.message.contains(QStringLiteral("did not answer")), qPrintable(run.outcome.message));
        QVERIFY(run.outcome.serverReply.isEmpty());
        QVERIFY(wall.elapsed() < 5000);
        // QUIT went out on the standing connection, then it was closed.
        QTRY_COMPARE(server.clientBytes(), QByteArray("QUIT\r\n"));
    }

    // Addresses as people type them: each address in the envelope and the
    // header as meant, names in the header only, with and without SMTPUTF8.
    void addressesAsTyped_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("smtpUtf8");
        QTest::addColumn<QString>("mailFrom");
        QTest::addColumn<QStringList>("rcptTos");
        QTest::addColumn<QString>("fromName");
        QTest::addColumn<QJsonArray>("toHeader"); // [name, address] each
        QTest::newRow("blanks around")
            << "alice@example.org "
            << " maintainers@example.net\t" << false << "alice@example.org" << QStringList { recipient }
            << "alice" << QJsonArray { QJsonArray { "", recipient } };
        QTest::newRow("names, several recipients")
            << "Alice Example <alice@example.org>"
            << "Team <team@example.net>, \"Name, Inc.\" <x@example.org>; bob@example.net" << false
            << "alice@example.org" << QStringList { "team@example.net", "x@example.org", "bob@example.net" }
            << "Alice Example"
            << QJsonArray { QJsonArray { "Team", "team@example.net" },
                   QJsonArray { "Name, Inc.", "x@example.org" }, QJsonArray { "", "bob@example.net" } };
        QTest::newRow("domain beyond ASCII, no SMTPUTF8")
            << "alice@example.org" << QStringLiteral("J\u00fcrgen M\u00fcller <info@b\u00fccher.example>")
            << false << "alice@example.org" << QStringList { "info@xn--bcher-kva.example" } << "alice"
            << QJsonArray { QJsonArray {
                   QStringLiteral("J\u00fcrgen M\u00fcller"), "info@xn--bcher-kva.example" } };
        QTest::newRow("local part beyond ASCII, SMTPUTF8")
            << QStringLiteral("Zo\u00eb <zo\u00eb@example.org>")
            << QStringLiteral("\u5c71\u7530@b\u00fccher.example, bob@example.net") << true
            << QStringLiteral("zo\u00eb@example.org")
            << QStringList { QStringLiteral("\u5c71\u7530@xn--bcher-kva.example"), "bob@example.net" }
            << QStringLiteral("Zo\u00eb")
            << QJsonArray { QJsonArray { "", QStringLiteral("\u5c71\u7530@xn--bcher-kva.example") },
                   QJsonArray { "", "bob@example.net" } };
    }

    void addressesAsTyped()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, smtpUtf8);
        QFETCH(QString, mailFrom);
        QFETCH(QStringList, rcptTos);
        QFETCH(QString, fromName);
        QFETCH(QJsonArray, toHeader);
        SmtpTestServer server;
        server.setOfferSmtpUtf8(smtpUtf8);
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        Mail mail;
        mail.from = from;
        mail.to = to;
        mail.attachment = writeFile(m_files, QStringLiteral("a.ini"), textBytes(300));
        const Run run = send(QStringLiteral("127.0.0.1"), server.port(), mail);
        QVERIFY2(run.outcome.kind == Kind::Sent, qPrintable(run.outcome.message));
        QTRY_COMPARE(server.messageCount(), 1);
        const QJsonObject envelope = server.envelope(1);
        QCOMPARE(envelope.value(QStringLiteral("mail_from")).toString(), mailFrom);
        QCOMPARE(envelope.value(QStringLiteral("rcpt_tos")).toVariant().toStringList(), rcptTos);
        QCOMPARE(envelope.value(QStringLiteral("smtp_utf8")).toBool(), smtpUtf8);
        const QJsonObject message = server.inspect(1);
        const QString fault = notWellFormed(message, senderDomain(from));
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(message.value(QStringLiteral("from_name")).toString(), fromName);
        QCOMPARE(message.value(QStringLiteral("from_address")).toString(), mailFrom);
        QCOMPARE(message.value(QStringLiteral("to_addresses")).toArray(), toHeader);
        QCOMPARE(partBytes(message.value(QStringLiteral("parts")).toArray()[1].toObject()), textBytes(300));
    }

    // Stopped on the way, nothing stored: an address beyond ASCII for a
    // server without SMTPUTF8 before MAIL FROM, a refused recipient (named,
    // with the server's reply) before the next one and DATA.
    void addressRefusals_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("smtpUtf8");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QByteArray>("lastCommand");
        QTest::newRow("UTF-8 local part, no SMTPUTF8")
            << QStringLiteral("bob@example.net, zo\u00eb@example.org") << false
            << QStringList { QStringLiteral("\"zo\u00eb@example.org\""), "SMTPUTF8" } << QByteArray("EHLO");
        QTest::newRow("second recipient refused")
            << "bob@example.net; Carol <carol@example.com>, dave@example.com" << false
            << QStringList { "carol@example.com", "550 5.1.1 <carol@example.com>" }
            << QByteArray("RCPT TO:<carol@example.com>");
    }

    void addressRefusals()
    {
        QFETCH(QString, to);
        QFETCH(bool, smtpUtf8);
        QFETCH(QStringList, words);
        QFETCH(QByteArray, lastCommand);
        SmtpTestServer server;
        server.setOfferSmtpUtf8(smtpUtf8);
        server.setRefusedRecipients({ QStringLiteral("carol@example.com") });
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        Mail mail;
        mail.to = to;
        const Run run = send(QStringLiteral("127.0.0.1"), server.port(), mail);
        QVERIFY(run.finished);
        QVERIFY(run.outcome.kind != Kind::Sent);
        for (const QString &word : words)
            QVERIFY2(run.outcome.message.contains(word), qPrintable(run.outcome.message));
        QTRY_VERIFY(server.clientBytes().endsWith("QUIT\r\n"));
        // The command before QUIT is the last one the dialogue got to.
        const QList<QByteArray> commands = server.clientBytes().split('\n');
        QVERIFY(commands.size() >= 3);
        const QByteArray beforeQuit = commands[commands.size() - 3];
        QVERIFY2(beforeQuit.startsWith(lastCommand), beforeQuit.constData());
        QVERIFY(!server.clientBytes().contains("DATA"));
        QCOMPARE(server.messageCount(), 0);
    }

    // What is no address, or would break a line, is refused without a word
    // to the server, naming the field.
    void noAddressSendsNothing_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("words");
        QTest::newRow("line break") << fromAddress << "maintainers@example.net>\r\nRCPT TO:<other@example.com"
                                    << "recipient address";
        QTest::newRow("recipient without @") << fromAddress << "alice"
                                             << "recipient address \"alice\"";
    }

    void noAddressSendsNothing()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, words);
        SmtpTestServer server;
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        Mail mail;
        mail.from = from;
        mail.to = to;
        const Run run = send(QStringLiteral("127.0.0.1"), server.port(), mail);
        QVERIFY(run.finished);
        QVERIFY(run.outcome.kind != Kind::Sent);
        QVERIFY2(run.outcome.message.contains(words), qPrintable(run.outcome.message));
        QTest::qWait(100);
        QCOMPARE(server.clientBytes(), QByteArray());
    }

    void unreadableAttachment()
    {
        Mail mail;
        mail.attachment = m_files.filePath(QStringLiteral("gone.ini"));
        const Run run = send(QStringLiteral("127.0.0.1"), m_server->port(), mail);
        QVERIFY(run.outcome.kind != Kind::Sent);
        QCOMPARE(run.outcome.kind, Kind::AttachmentUnreadable);
        QVERIFY(run.outcome.message.contains(QStringLiteral("gone.ini")));
        QVERIFY(!run.steps.contains(SmtpClient::Step::Connecting));
    }

    void refusedConnection()
    {
        // A port that was free a moment ago has no listener.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        const Run run = send(QStringLiteral("127.0.0.1"), port, Mail());
        QCOMPARE(run.outcome.kind, Kind::ConnectionFailed);
        QCOMPARE(run.outcome.socketError, 10061);
        QVERIFY(!run.outcome.socketErrorText.isEmpty());
        QVERIFY(!run.steps.contains(SmtpClient::Step::Connected));
    }

    void unknownHost()
    {
        const Run run = send(QStringLiteral("no-such-host.invalid"), 25, Mail());
        QCOMPARE(run.outcome.kind, Kind::ConnectionFailed);
        QCOMPARE(run.outcome.socketError, 11001);
        QVERIFY(!run.outcome.socketErrorText.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMailSmtp)
#include "test_mail_smtp.moc"
