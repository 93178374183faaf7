#include "mail/SmtpClient.h"

#include "core/CodePage.h"
#include "core/SmtpAuth.h"
#include "mail/TlsTrust.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QSslSocket>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace modSendmail {

QString ehloIdentity(const QString &hostName, const QString &address)
{
    const auto validLabel = [](QStringView label) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(QLatin1Char('-'))
            || label.endsWith(QLatin1Char('-')))
            return false;
        return std::all_of(label.begin(), label.end(),
            [](QChar c) { return c.unicode() < 0x80 && (c.isLetterOrNumber() || c == QLatin1Char('-')); });
    };
    const QStringList labels = hostName.split(QLatin1Char('.'));
    bool fullyQualified = hostName.size() <= 253 && labels.size() >= 2;
    for (const QString &label : labels)
        fullyQualified = fullyQualified && validLabel(label);
    // A top-level label of digits alone would make an address look like a name.
    if (fullyQualified
        && std::all_of(labels.last().begin(), labels.last().end(), [](QChar c) { return c.isDigit(); }))
        fullyQualified = false;
    if (fullyQualified)
        return hostName;

    QHostAddress host(address);
    bool mapped = false;
    const quint32 ipv4 = host.toIPv4Address(&mapped);
    if (mapped)
        host = QHostAddress(ipv4);
    if (host.protocol() == QAbstractSocket::IPv4Protocol)
        return QLatin1Char('[') + host.toString() + QLatin1Char(']');
    if (host.protocol() == QAbstractSocket::IPv6Protocol) {
        host.setScopeId(QString());
        return QStringLiteral("[IPv6:") + host.toString() + QLatin1Char(']');
    }
    return QStringLiteral("[127.0.0.1]");
}

} // namespace modSendmail

namespace {

// The error numbers of the sockets API that users of mail programs know
// (10061 connection refused, 11001 host not found, ...).
int socketErrorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::RemoteHostClosedError:
        return 10053;
    case QAbstractSocket::NetworkError:
        return 10054;
    default:
        return 10050;
    }
}

// A reply that asks for a login before the mail may go (RFC 4954 6).
bool asksForLogin(const smtp::SmtpReply &reply)
{
    return reply.code == 530 || (!reply.lines.isEmpty() && reply.lines.last().mid(4).startsWith("5.7.0"));
}

} // namespace

SmtpClient::SmtpClient(QObject *parent) : QObject(parent)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &SmtpClient::onTimeout);
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &SmtpClient::onTick);
}

SmtpClient::~SmtpClient()
{
    if (m_encoding)
        m_encoding->disconnect(this);
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void SmtpClient::start(const MailJob &job)
{
    if (isRunning())
        cancel();
    ++m_run;
    m_lastStep.reset();
    m_job = job;
    m_encoded.clear();
    m_received.clear();
    m_ehlo.reset();
    m_message = {};
    // One stamp per send, so that a message composed again (for a server
    // without 8BITMIME, or after a login) keeps its Date and Message-ID.
    m_stamp = mime::newStamp();
    m_envelope = {};
    m_commands = {};
    m_nextRecipient = 0;
    m_user.clear();
    m_password.clear();
    m_loggedIn = false;
    m_loginRequired = false;
    m_tlsStarted = false;
    m_dataEndQueued = false;
    m_tlsProblem.clear();
    m_tlsFingerprint.clear();
    m_lastReply.clear();

    // What cannot go into the header or the commands stops the send before
    // anything reaches the server.
    const mime::Result check
        = mime::checkFields(job.fromAddress, job.toAddress, job.subject, job.body, job.attachmentPath);
    if (!check.ok) {
        m_state = State::Encoding;
        fail(check.error);
        return;
    }
    if (!mime::hasAttachment(job.attachmentPath)) {
        connectToServer();
        return;
    }
    m_state = State::Encoding;
    m_encoding = new QFutureWatcher<modSendmail::EncodedAttachment>(this);
    connect(m_encoding, &QFutureWatcherBase::finished, this, &SmtpClient::onEncoded);
    m_encoding->setFuture(QtConcurrent::run(modSendmail::EncodeAttachment, job.attachmentPath));
    setStep(Step::Encoding);
}

void SmtpClient::onEncoded()
{
    const modSendmail::EncodedAttachment encoded = m_encoding->result();
    m_encoding->deleteLater();
    m_encoding = nullptr;
    if (!encoded.ok) {
        MailOutcome outcome;
        outcome.kind = MailOutcome::Kind::AttachmentUnreadable;
        outcome.message = encoded.error;
        finish(outcome);
        return;
    }
    m_encoded = encoded.text;
    connectToServer();
}

void SmtpClient::connectToServer()
{
    m_socket = new QSslSocket(this);
    m_socket->setSslConfiguration(tlstrust::configuration());
    m_socket->setPeerVerifyName(m_job.endpoint.host);
    connect(m_socket, &QSslSocket::connected, this, &SmtpClient::onConnected);
    connect(m_socket, &QSslSocket::encrypted, this, &SmtpClient::onEncrypted);
    connect(m_socket, &QSslSocket::sslErrors, this, &SmtpClient::onSslErrors);
    connect(m_socket, &QSslSocket::errorOccurred, this, &SmtpClient::onSocketError);
    connect(m_socket, &QSslSocket::readyRead, this, &SmtpClient::onReadyRead);
    connect(m_socket, &QSslSocket::bytesWritten, this, &SmtpClient::onBytesWritten);
    connect(m_socket, &QSslSocket::encryptedBytesWritten, this, &SmtpClient::onBytesWritten);
    const QString where = QStringLiteral("the connection to %1").arg(m_job.endpoint.host);
    expect(State::Connecting, m_timeouts.connectMs, where);
    const auto port = static_cast<quint16>(m_job.endpoint.port);
    if (m_job.endpoint.security == smtp::Security::ImplicitTls)
        m_socket->connectToHostEncrypted(m_job.endpoint.host, port);
    else
        m_socket->connectToHost(m_job.endpoint.host, port);
    setStep(Step::Connecting);
}

void SmtpClient::onConnected()
{
    if (m_job.endpoint.security == smtp::Security::ImplicitTls) {
        expect(State::Handshake, m_timeouts.greetingMs, QStringLiteral("the secure connection (TLS)"));
        if (setStep(Step::Connected))
            setStep(Step::Securing);
        return;
    }
    expect(State::Greeting, m_timeouts.greetingMs, QStringLiteral("the server's greeting"));
    setStep(Step::Connected);
}

void SmtpClient::onEncrypted()
{
    if (m_state != State::Handshake)
        return;
    if (m_tlsStarted) {
        // A new session: what the server said in plain text no longer counts.
        m_ehlo.reset();
        send(greeting("EHLO"), State::Ehlo, m_timeouts.commandMs,
            QStringLiteral("the server to answer the greeting (EHLO)"));
        setStep(Step::Sending);
        return;
    }
    expect(State::Greeting, m_timeouts.greetingMs, QStringLiteral("the server's greeting"));
}

void SmtpClient::onSslErrors(const QList<QSslError> &errors)
{
    const QSslCertificate certificate = m_socket->peerCertificate();
    const QString fingerprint = certificate.isNull() ? QString() : tlstrust::fingerprint(certificate);
    if (tlstrust::onlyCertificateErrors(errors) && !fingerprint.isEmpty()
        && fingerprint == m_job.trustedFingerprint) {
        m_socket->ignoreSslErrors();
        return;
    }
    // The handshake fails after this signal; the outcome then says why.
    m_tlsProblem = tlstrust::describe(errors);
    m_tlsFingerprint = fingerprint;
}

void SmtpClient::onSocketError()
{
    if (m_state == State::Idle)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    if (!m_tlsProblem.isEmpty()) {
        MailOutcome outcome;
        outcome.kind = MailOutcome::Kind::CertificateRejected;
        outcome.certificateProblem = m_tlsProblem;
        outcome.fingerprint = m_tlsFingerprint;
        outcome.plainFallbackPossible = m_job.endpoint.security == smtp::Security::StartTlsWhenOffered
            && m_job.userName.isEmpty() && !m_loginRequired;
        outcome.message = QStringLiteral("The server's certificate failed its check:\n%1")
                              .arg(outcome.certificateProblem);
        dropConnection(false);
        finish(outcome);
        return;
    }
    if (m_state == State::Connecting) {
        MailOutcome outcome;
        outcome.kind = MailOutcome::Kind::ConnectionFailed;
        outcome.socketError = socketErrorNumber(error);
        outcome.socketErrorText = m_socket->errorString();
        outcome.message = outcome.socketErrorText;
        dropConnection(false);
        finish(outcome);
        return;
    }
    if (m_state == State::Handshake) {
        // Mostly a server that speaks plain text on a port chosen for TLS
        // from the start, or the other way round.
        fail(QStringLiteral("The secure connection (TLS) could not be made: %1. Check the port and the "
                            "connection security in the connection settings.")
                 .arg(m_socket->errorString()));
        return;
    }
    const QString reason = error == QAbstractSocket::RemoteHostClosedError
        ? QStringLiteral("The server closed the connection")
        : QStringLiteral("The connection broke (%1)").arg(m_socket->errorString());
    fail(QStringLiteral("%1 while waiting for %2.").arg(reason, m_waitingFor));
}

void SmtpClient::onReadyRead()
{
    m_received += m_socket->readAll();
    while (m_state != State::Idle && m_state != State::Handshake && m_state != State::AwaitingLogin) {
        const smtp::ReplyRead read = smtp::readReply(m_received);
        if (read.status == smtp::ReplyRead::Status::NeedMore)
            return;
        if (read.status == smtp::ReplyRead::Status::Error) {
            fail(read.error);
            return;
        }
        m_received.remove(0, read.consumed);
        onReply(read.reply);
    }
}

void SmtpClient::onBytesWritten()
{
    if (m_state != State::Upload)
        return;
    // Each byte taken by the network proves the server is still reading.
    if (m_socket->bytesToWrite() + m_socket->encryptedBytesToWrite() > 0) {
        expect(State::Upload, m_timeouts.uploadStallMs, QStringLiteral("the server to take the message"));
        return;
    }
    expect(State::DataEnd, m_timeouts.dataEndMs, QStringLiteral("the server to accept the message"));
}

QString SmtpClient::refusal(const QString &what) const
{
    return QStringLiteral("The server refused %1:\n%2").arg(what, m_lastReply);
}

void SmtpClient::onReply(const smtp::SmtpReply &reply)
{
    m_lastReply = codepage::decode(reply.text());
    const int kind = reply.code / 100;
    switch (m_state) {
    case State::Greeting:
        if (kind != 2) {
            fail(refusal(QStringLiteral("the connection")));
            return;
        }
        send(greeting("EHLO"), State::Ehlo, m_timeouts.commandMs,
            QStringLiteral("the server to answer the greeting (EHLO)"));
        setStep(Step::Sending);
        return;
    case State::Ehlo:
        if (kind == 2) {
            m_ehlo = reply;
            afterEhlo();
        } else if ((reply.code == 500 || reply.code == 502) && !m_tlsStarted) {
            // A server that knows no extensions still knows HELO.
            send(greeting("HELO"), State::Helo, m_timeouts.commandMs,
                QStringLiteral("the server to answer the greeting (HELO)"));
        } else {
            fail(refusal(QStringLiteral("the greeting (EHLO)")));
        }
        return;
    case State::Helo:
        if (kind != 2) {
            fail(refusal(QStringLiteral("the greeting (HELO)")));
            return;
        }
        m_ehlo.reset();
        afterEhlo();
        return;
    case State::StartTls:
        if (reply.code != 220) {
            fail(refusal(QStringLiteral("to start TLS (STARTTLS)")));
            return;
        }
        // Anything the server sent after its 220 came before the encryption
        // and must not count as said inside it.
        if (!m_received.isEmpty()) {
            fail(QStringLiteral("The server sent more than its reply to STARTTLS; the connection was ended "
                                "for safety."));
            return;
        }
        m_tlsStarted = true;
        expect(State::Handshake, m_timeouts.greetingMs, QStringLiteral("the secure connection (TLS)"));
        m_socket->startClientEncryption();
        setStep(Step::Securing);
        return;
    case State::AuthLogin:
        if (reply.code != 334) {
            fail(refusal(QStringLiteral("the login")));
            return;
        }
        send(smtp::authLoginLine(m_user), State::AuthLoginUser, m_timeouts.commandMs,
            QStringLiteral("the server to check the login"));
        return;
    case State::AuthLoginUser:
        if (reply.code == 334) {
            send(smtp::authLoginLine(m_password), State::AuthLoginPassword, m_timeouts.commandMs,
                QStringLiteral("the server to check the login"));
            m_password.clear();
            return;
        }
        [[fallthrough]];
    case State::AuthPlain:
    case State::AuthLoginPassword:
        m_password.clear();
        if (reply.code == 235) {
            m_loggedIn = true;
            sendMailFrom();
            if (isRunning())
                Q_EMIT loginAccepted(m_user);
        } else if (reply.code == 535) {
            // Asked again on the same connection; servers allow a few tries.
            m_state = State::AwaitingLogin;
            m_deadline.stop();
            m_tick.stop();
            Q_EMIT loginNeeded(m_user, QStringLiteral("The server refused the login:\n%1").arg(m_lastReply));
        } else {
            fail(refusal(QStringLiteral("the login")));
        }
        return;
    case State::MailFrom:
        if (kind == 2) {
            sendRcptTo();
        } else if (asksForLogin(reply) && !m_loggedIn && m_ehlo
            && smtp::chooseAuthMechanism(*m_ehlo) != smtp::AuthMechanism::None) {
            m_loginRequired = true;
            beginLoginOrMail();
        } else if (asksForLogin(reply) && !m_loggedIn && !encrypted()) {
            fail(QStringLiteral("The server asks for a login, which it offers only over an encrypted "
                                "connection; no password was sent.\n%1")
                     .arg(m_lastReply));
        } else {
            fail(refusal(QStringLiteral("the sender")));
        }
        return;
    case State::RcptTo:
        // Every recipient must be taken; the first refused one ends the send.
        if (kind != 2) {
            fail(refusal(QStringLiteral("the recipient ") + m_envelope.recipients[m_nextRecipient].typed));
            return;
        }
        ++m_nextRecipient;
        if (m_nextRecipient < m_commands.rcptTo.size()) {
            sendRcptTo();
            return;
        }
        send("DATA\r\n", State::Data, m_timeouts.dataStartMs,
            QStringLiteral("the server to take the message (DATA)"));
        return;
    case State::Data:
        if (reply.code != 354) {
            fail(refusal(QStringLiteral("the message (DATA)")));
            return;
        }
        upload();
        return;
    case State::Upload:
    case State::DataEnd: {
        if (kind != 2) {
            fail(refusal(QStringLiteral("the message")));
            return;
        }
        MailOutcome outcome;
        outcome.kind = MailOutcome::Kind::Sent;
        outcome.serverReply = m_lastReply;
        outcome.when = QDateTime::currentDateTime();
        for (const mime::Mailbox &recipient : std::as_const(m_envelope.recipients))
            outcome.recipients << recipient.typed;
        dropConnection(true);
        finish(outcome);
        return;
    }
    default:
        return;
    }
}

QByteArray SmtpClient::greeting(const QByteArray &verb) const
{
    return verb + ' '
        + modSendmail::ehloIdentity(QHostInfo::localHostName(), m_socket->localAddress().toString())
              .toLatin1()
        + "\r\n";
}

bool SmtpClient::encrypted() const
{
    return m_socket && m_socket->isEncrypted();
}

void SmtpClient::afterEhlo()
{
    const bool offersTls = m_ehlo && smtp::advertises(*m_ehlo, "STARTTLS");
    const smtp::Security security = m_job.endpoint.security;
    const bool wantTls = security == smtp::Security::StartTlsRequired
        || (security == smtp::Security::StartTlsWhenOffered && !m_job.plainAfterTlsFailure);
    if (!encrypted() && !m_tlsStarted && wantTls) {
        if (offersTls) {
            send("STARTTLS\r\n", State::StartTls, m_timeouts.commandMs,
                QStringLiteral("the server to start TLS (STARTTLS)"));
            return;
        }
        if (security == smtp::Security::StartTlsRequired) {
            fail(QStringLiteral("The server does not offer STARTTLS, which the connection settings require; "
                                "nothing was sent."));
            return;
        }
    }
    beginLoginOrMail();
}

void SmtpClient::beginLoginOrMail()
{
    const smtp::AuthMechanism mechanism
        = m_ehlo ? smtp::chooseAuthMechanism(*m_ehlo) : smtp::AuthMechanism::None;
    const bool wanted = !m_loggedIn && (m_loginRequired || !m_job.userName.isEmpty());
    if (!wanted || (mechanism == smtp::AuthMechanism::None && !m_loginRequired)) {
        sendMailFrom();
        return;
    }
    if (mechanism == smtp::AuthMechanism::None) {
        fail(QStringLiteral("The server asks for a login but offers no way to log in with a password.\n%1")
                 .arg(m_lastReply));
        return;
    }
    if (!encrypted()) {
        fail(QStringLiteral("The server asks for a login over a connection that is not encrypted, so no "
                            "password was sent. Choose STARTTLS or TLS from the start in the connection "
                            "settings."));
        return;
    }
    m_state = State::AwaitingLogin;
    m_deadline.stop();
    m_tick.stop();
    if (setStep(Step::LoggingIn))
        Q_EMIT loginNeeded(m_job.userName, QString());
}

void SmtpClient::provideLogin(const QString &user, const QString &password)
{
    if (m_state != State::AwaitingLogin)
        return;
    m_user = user;
    m_password = password;
    if (smtp::chooseAuthMechanism(*m_ehlo) == smtp::AuthMechanism::Plain) {
        send(smtp::authPlainCommand(user, password), State::AuthPlain, m_timeouts.commandMs,
            QStringLiteral("the server to check the login"));
        m_password.clear();
        return;
    }
    send("AUTH LOGIN\r\n", State::AuthLogin, m_timeouts.commandMs,
        QStringLiteral("the server to check the login"));
}

void SmtpClient::sendMailFrom()
{
    const QByteArray *attachment = mime::hasAttachment(m_job.attachmentPath) ? &m_encoded : nullptr;
    const auto compose = [&](bool serverTakes8Bit) {
        return mime::composeMessage(m_job.fromAddress, m_job.toAddress, m_job.subject, m_job.body,
            m_job.attachmentPath, attachment, serverTakes8Bit, m_stamp);
    };
    // After HELO the server offers nothing.
    const auto offered
        = [this](QByteArrayView keyword) { return m_ehlo && smtp::advertises(*m_ehlo, keyword); };
    const mime::ServerOffers offers { offered("8BITMIME"), offered("SMTPUTF8"), offered("SIZE") };
    m_message = compose(true);
    if (!m_message.ok) {
        fail(m_message.error);
        return;
    }
    // The composition has checked the addresses, so the envelope holds.
    m_envelope = mime::envelopeOf(m_job.fromAddress, m_job.toAddress);
    // 8-bit text may go only to a server that said it takes it; to others the
    // text part goes quoted-printable.
    if (!offers.eightBitMime && m_message.hasHighBytes())
        m_message = compose(false);
    // An address the server cannot take stops the send before anything of
    // the mail is uploaded; a server with a smaller limit refuses before the
    // upload, not after.
    m_commands = mime::envelopeCommands(m_envelope, m_message.size(), m_message.hasHighBytes(), offers);
    if (!m_commands.ok) {
        fail(m_envelope.ok ? m_commands.error : m_envelope.error);
        return;
    }
    m_nextRecipient = 0;
    send(m_commands.mailFrom, State::MailFrom, m_timeouts.commandMs,
        QStringLiteral("the server to accept the sender (MAIL FROM)"));
    setStep(Step::Sending);
}

void SmtpClient::sendRcptTo()
{
    send(m_commands.rcptTo[m_nextRecipient], State::RcptTo, m_timeouts.commandMs,
        QStringLiteral("the server to accept the recipient (RCPT TO)"));
}

void SmtpClient::upload()
{
    expect(State::Upload, m_timeouts.uploadStallMs, QStringLiteral("the server to take the message"));
    for (const QByteArray &row : std::as_const(m_message.rows))
        m_socket->write(row);
    m_socket->write("\r\n.\r\n");
    m_dataEndQueued = true;
    m_message = {};
    m_encoded.clear();
}

void SmtpClient::send(const QByteArray &command, State next, int timeoutMs, const QString &waitingFor)
{
    expect(next, timeoutMs, waitingFor);
    m_socket->write(command);
}

void SmtpClient::expect(State next, int timeoutMs, const QString &waitingFor)
{
    m_state = next;
    m_waitingFor = waitingFor;
    m_waited.start();
    m_deadline.start(timeoutMs);
    m_tick.start();
}

bool SmtpClient::setStep(Step step)
{
    // Steps are told once each, however often the dialogue passes them.
    if (m_lastStep == step)
        return true;
    m_lastStep = step;
    // A receiver may cancel, or start another send, before this returns.
    const quint64 run = m_run;
    Q_EMIT stepChanged(step);
    return run == m_run && isRunning();
}

void SmtpClient::onTimeout()
{
    if (m_state == State::Connecting) {
        MailOutcome outcome;
        outcome.kind = MailOutcome::Kind::ConnectionFailed;
        outcome.socketError = socketErrorNumber(QAbstractSocket::SocketTimeoutError);
        outcome.socketErrorText
            = QStringLiteral("The server did not answer within %1 seconds.").arg(m_timeouts.connectMs / 1000);
        outcome.message = outcome.socketErrorText;
        dropConnection(false);
        finish(outcome);
        return;
    }
    fail(QStringLiteral("The server did not answer within %1 seconds (waiting for %2).")
             .arg(QString::number(m_waited.elapsed() / 1000), m_waitingFor));
}

void SmtpClient::onTick()
{
    const int seconds = static_cast<int>(m_waited.elapsed() / 1000);
    if (seconds >= 2)
        Q_EMIT waiting(m_waitingFor, seconds);
}

void SmtpClient::fail(const QString &message)
{
    MailOutcome outcome;
    outcome.kind = MailOutcome::Kind::Failed;
    outcome.message = message;
    outcome.serverReply = m_lastReply;
    outcome.mayHaveBeenDelivered = m_dataEndQueued;
    const bool inDialogue = m_state != State::Upload && m_state != State::Handshake
        && m_state != State::Connecting && m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
    dropConnection(inDialogue);
    finish(outcome);
}

void SmtpClient::cancel()
{
    if (m_state == State::Idle)
        return;
    MailOutcome outcome;
    outcome.kind = MailOutcome::Kind::Cancelled;
    outcome.mayHaveBeenDelivered = m_dataEndQueued;
    outcome.message = m_dataEndQueued
        ? QStringLiteral(
            "The send was cancelled after the whole message had gone out: the server may have it.")
        : QStringLiteral("The send was cancelled; nothing was sent.");
    const bool betweenCommands = m_state != State::Upload && m_state != State::DataEnd
        && m_state != State::Handshake && m_state != State::Connecting && m_state != State::Encoding;
    if (m_encoding) {
        // The worker finishes on its own; its result is not wanted any more.
        m_encoding->disconnect(this);
        connect(m_encoding, &QFutureWatcherBase::finished, m_encoding, &QObject::deleteLater);
        m_encoding = nullptr;
    }
    dropConnection(betweenCommands);
    finish(outcome);
}

void SmtpClient::dropConnection(bool quitFirst)
{
    m_deadline.stop();
    m_tick.stop();
    if (!m_socket)
        return;
    QSslSocket *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    if (!quitFirst || socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // A polite end: QUIT, then close once the server answers or closes, or
    // after a short wait. The client is free for the next send meanwhile.
    socket->write("QUIT\r\n");
    socket->flush();
    connect(socket, &QSslSocket::readyRead, socket, [socket] {
        if (socket->readAll().contains('\n'))
            socket->disconnectFromHost();
    });
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QSslSocket::errorOccurred, socket, &QObject::deleteLater);
    QTimer::singleShot(m_timeouts.quitMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void SmtpClient::finish(MailOutcome outcome)
{
    m_state = State::Idle;
    m_deadline.stop();
    m_tick.stop();
    m_password.clear();
    m_encoded.clear();
    m_message = {};
    Q_EMIT finished(outcome);
}
