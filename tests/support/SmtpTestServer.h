#pragma once

// A real SMTP server for tests: aiosmtpd under the system Python, started on a
// free loopback port by smtp_test_server.py, stopped when this object dies.
// What it receives is kept in a temporary folder: the messages (parsed with
// Python's email package on request) and a transcript of every chunk received
// and every reply sent, with times.

#include "TestConfig.h"
#include "TestFiles.h"

#include <QByteArray>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class SmtpTestServer {
public:
    enum class Mode {
        Accept,
        RefuseRecipient, // 550 to every RCPT TO
        RefuseData, // 554 to the end-of-data marker
        Greeting421, // 421 instead of the greeting, then close
        CloseAfterMail, // closes the connection on MAIL FROM without a reply
        Silent, // accepts the connection and never says anything
        NoEhlo, // 502 to EHLO, as servers that know only HELO
        SlowDataEnd, // takes 3 s to answer the end of data
    };

    struct TranscriptEntry {
        double time = 0; // seconds, monotonic
        bool fromClient = false;
        QByteArray data;
    };

    explicit SmtpTestServer(Mode mode = Mode::Accept, double replyDelaySeconds = 0)
        : m_mode(mode), m_replyDelay(replyDelaySeconds)
    { }

    ~SmtpTestServer() { stop(); }

    // Before start: whether EHLO offers 8BITMIME (it does unless told), and the
    // limit it offers as SIZE (0: aiosmtpd's default of 32 MiB).
    void setOffer8BitMime(bool offer) { m_offer8BitMime = offer; }
    void setSizeLimit(qint64 octets) { m_sizeLimit = octets; }
    // Before start: TLS with this certificate and key (PEM files), as STARTTLS
    // or from the first byte, and a login.
    void setTls(const QString &certificate, const QString &key, bool implicit = false, bool required = false)
    {
        m_tlsArgs = { QStringLiteral("--tls"), certificate, key };
        if (implicit)
            m_tlsArgs << QStringLiteral("--implicit-tls");
        if (required)
            m_tlsArgs << QStringLiteral("--require-starttls");
    }
    // The one login the server takes; `required` refuses mail without it;
    // `overPlainText` offers it without TLS as well.
    void setLogin(const QString &user, const QString &password, bool required, bool overPlainText = false)
    {
        m_authArgs = { QStringLiteral("--auth"), user + QLatin1Char(':') + password };
        if (required)
            m_authArgs << QStringLiteral("--auth-required");
        if (overPlainText)
            m_authArgs << QStringLiteral("--auth-plain-text");
    }
    // Before start: whether EHLO offers SMTPUTF8 (it does not unless told), and
    // the addresses whose RCPT TO gets 550.
    void setOfferSmtpUtf8(bool offer) { m_offerSmtpUtf8 = offer; }
    void setRefusedRecipients(const QStringList &addresses) { m_refused = addresses; }

    SmtpTestServer(const SmtpTestServer &) = delete;
    SmtpTestServer &operator=(const SmtpTestServer &) = delete;

    // Starts the server and waits until it listens; false with a reason when not.
    bool start(QString *error)
    {
        if (!m_store.isValid()) {
            *error = QStringLiteral("no temporary folder");
            return false;
        }
        QStringList args { script(), QStringLiteral("serve"), m_store.path(), QStringLiteral("--mode"),
            modeName(m_mode) };
        if (m_replyDelay > 0)
            args << QStringLiteral("--reply-delay") << QString::number(m_replyDelay);
        if (!m_offer8BitMime)
            args << QStringLiteral("--no-8bitmime");
        if (m_sizeLimit > 0)
            args << QStringLiteral("--size-limit") << QString::number(m_sizeLimit);
        args << m_tlsArgs << m_authArgs;
        if (m_offerSmtpUtf8)
            args << QStringLiteral("--smtputf8");
        for (const QString &address : m_refused)
            args << QStringLiteral("--refuse") << address;
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(FEROX_SYSTEM_PYTHON), args);
        if (!m_process.waitForStarted(10000)) {
            *error = QStringLiteral("cannot start %1: %2").arg(FEROX_SYSTEM_PYTHON, m_process.errorString());
            return false;
        }
        QByteArray line;
        while (!line.endsWith('\n')) {
            if (!m_process.waitForReadyRead(15000)) {
                *error
                    = QStringLiteral("the test SMTP server did not start (is python3-aiosmtpd installed?)");
                stop();
                return false;
            }
            line += m_process.readAllStandardOutput();
        }
        if (!line.startsWith("READY ")) {
            *error = QStringLiteral("unexpected start line: ") + QString::fromLatin1(line);
            stop();
            return false;
        }
        m_port = static_cast<quint16>(line.mid(6).trimmed().toUInt());
        return m_port != 0;
    }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    quint16 port() const { return m_port; }
    QString portText() const { return QString::number(m_port); }
    QString storeFolder() const { return m_store.path(); }

    // How many messages the server accepted so far.
    int messageCount() const
    {
        return static_cast<int>(
            QDir(m_store.path()).entryList({ QStringLiteral("message-*.eml") }, QDir::Files).size());
    }

    // Message n (from 1) as the server received it, transparency removed.
    QByteArray rawMessage(int n) const { return readFile(messagePath(n)); }

    // Envelope of message n: {"mail_from": ..., "rcpt_tos": [...], "smtp_utf8":
    // bool, "mail_options": [...]}.
    QJsonObject envelope(int n) const
    {
        return QJsonDocument::fromJson(readFile(m_store.filePath(QStringLiteral("message-%1.json").arg(n))))
            .object();
    }

    // Message n as Python's email package sees it: {"defects": [...], "from",
    // "from_name", "from_address", "to", "to_addresses": [[name, address]...],
    // "subject", "date" (UTC seconds, null when unreadable), "date_offset"
    // (minutes), "message_id", "content_type", "headers": [...], "parts":
    // [{"content_type", "charset", "filename", "bytes" (base64 of the decoded
    // payload), "transfer_encoding", "text"}]}.
    QJsonObject inspect(int n) const
    {
        // The server parses each message as it stores it.
        return QJsonDocument::fromJson(
            readFile(m_store.filePath(QStringLiteral("message-%1.summary.json").arg(n))))
            .object();
    }

    QList<TranscriptEntry> transcript() const
    {
        QList<TranscriptEntry> entries;
        const QList<QByteArray> lines
            = readFile(m_store.filePath(QStringLiteral("transcript.jsonl"))).split('\n');
        for (const QByteArray &line : lines) {
            if (line.isEmpty())
                continue;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            entries.append({ o.value(QStringLiteral("t")).toDouble(),
                o.value(QStringLiteral("dir")).toString() == QStringLiteral("C"),
                o.value(QStringLiteral("data")).toString().toLatin1() });
        }
        return entries;
    }

    // Everything the client sent, in one piece.
    QByteArray clientBytes() const
    {
        QByteArray all;
        for (const TranscriptEntry &entry : transcript())
            if (entry.fromClient)
                all += entry.data;
        return all;
    }

private:
    static QString script() { return QStringLiteral(FEROX_TESTS_DIR "/smtp_test_server.py"); }

    static QString modeName(Mode mode)
    {
        switch (mode) {
        case Mode::Accept:
            return QStringLiteral("accept");
        case Mode::RefuseRecipient:
            return QStringLiteral("refuse-recipient");
        case Mode::RefuseData:
            return QStringLiteral("refuse-data");
        case Mode::Greeting421:
            return QStringLiteral("greeting-421");
        case Mode::CloseAfterMail:
            return QStringLiteral("close-after-mail");
        case Mode::Silent:
            return QStringLiteral("silent");
        case Mode::NoEhlo:
            return QStringLiteral("no-ehlo");
        case Mode::SlowDataEnd:
            return QStringLiteral("slow-data-end");
        }
        return {};
    }

    QString messagePath(int n) const { return m_store.filePath(QStringLiteral("message-%1.eml").arg(n)); }

    Mode m_mode;
    double m_replyDelay;
    bool m_offer8BitMime = true;
    qint64 m_sizeLimit = 0;
    QStringList m_tlsArgs;
    QStringList m_authArgs;
    bool m_offerSmtpUtf8 = false;
    QStringList m_refused;
    QTemporaryDir m_store;
    QProcess m_process;
    quint16 m_port = 0;
};
