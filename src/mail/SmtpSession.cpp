#include "mail/modSendmail.h"

#include "core/CodePage.h"
#include "core/MailAddress.h"
#include "core/MimeMessage.h"
#include "core/SmtpReply.h"
#include "platform/DayClock.h"
#include "platform/SignalWait.h"
#include "platform/TextBuffer.h"
#include "platform/Winsock.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <optional>

namespace modSendmail {

using smtp::SmtpReply;

namespace {

// 25 for an empty text, else the whole number the text begins with, blanks
// before it allowed (0 when none; the socket refuses it as a port).
int portNumber(const QString &port)
{
    if (port.isEmpty())
        return 25;
    const QString text = port.trimmed();
    qsizetype at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == QLatin1Char('+') || text[at] == QLatin1Char('-')))
        negative = text[at++] == QLatin1Char('-');
    qint64 value = 0;
    while (at < text.size() && text[at].isDigit() && text[at].unicode() < 0x80 && value <= 0xFFFFFF)
        value = value * 10 + (text[at++].unicode() - '0');
    return static_cast<int>(negative ? -value : value);
}

} // namespace

void ConnectToServer(const QString &server, Winsock &socket, const QString &port)
{
    socket.SetRemoteHost(server);
    socket.SetRemotePort(portNumber(port));
    socket.BeginConnect();
}

void Pause(double seconds)
{
    constexpr double lastSafeSecond = 86395.0;
    const double start = dayclock::secondsSinceMidnight();
    for (;;) {
        double now = dayclock::secondsSinceMidnight();
        if (!(now < start + seconds))
            return;
        now = dayclock::secondsSinceMidnight();
        if (now > lastSafeSecond || now == 0)
            return;
        // Sleep in the event loop until the end of the pause, or until the
        // clock passes the last safe second before midnight.
        const double wait = std::min(start + seconds - now, lastSafeSecond - now);
        const int ms = std::max(1, static_cast<int>(std::ceil(wait * 1000)));
        SignalWait().run(ms, Qt::PreciseTimer);
    }
}

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

namespace {

// One run of the dialogue on one socket: collects the server's bytes, cuts
// replies out of them and notices a close or an error. It lives for one call
// of SendMail only.
class Conversation {
public:
    Conversation(Winsock &socket, const Timeouts &timeouts) : m_socket(&socket), m_timeouts(timeouts)
    {
        m_connections << QObject::connect(&socket, &Winsock::PeerClosed, [this] { m_closed = true; });
        m_connections << QObject::connect(&socket, &Winsock::Closed, [this] { m_closedByProgram = true; });
        m_connections << QObject::connect(
            &socket, &Winsock::Error, [this](int, const QString &description, const QString &) {
                m_closed = true;
                m_socketError = description;
            });
    }

    ~Conversation()
    {
        for (const QMetaObject::Connection &connection : m_connections)
            QObject::disconnect(connection);
    }

    Conversation(const Conversation &) = delete;
    Conversation &operator=(const Conversation &) = delete;

    // Sends one command line; false when the connection is gone.
    bool send(const QByteArray &bytes)
    {
        if (!m_socket || m_closed || !m_socket->IsConnected())
            return false;
        return m_socket->SendData(bytes);
    }

    // Waits for the next complete reply. On failure says why in `why`.
    std::optional<SmtpReply> reply(int timeoutMs, QString *why)
    {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            if (m_socket)
                m_buffer += m_socket->GetData();
            if (std::optional<SmtpReply> complete = takeReply(why))
                return complete;
            if (!why->isEmpty())
                return std::nullopt;
            if (!m_socket || m_closedByProgram) {
                *why = QStringLiteral("The connection was closed by the program.");
                return std::nullopt;
            }
            if (m_closed || !m_socket->IsConnected()) {
                *why = m_socketError.isEmpty()
                    ? QStringLiteral("The server closed the connection.")
                    : QStringLiteral("The connection broke: %1.").arg(m_socketError);
                return std::nullopt;
            }
            const qint64 left = timeoutMs - waited.elapsed();
            if (left <= 0) {
                *why = QStringLiteral("The server did not answer within %1 seconds.")
                           .arg(QString::number(timeoutMs / 1000.0));
                return std::nullopt;
            }
            waitForNews(static_cast<int>(left));
        }
    }

    // Hands everything queued to the network; false when the connection
    // broke, or stood still for the reply time.
    bool flush(QString *why)
    {
        if (!m_socket || !m_socket->Flush(m_timeouts.replyMs)) {
            *why = !m_socket
                ? QStringLiteral("The connection was closed by the program.")
                : QStringLiteral("The message could not be delivered to the server: the connection "
                                 "broke or stood still.");
            return false;
        }
        return true;
    }

    // Ends the session politely where the connection still stands, then closes.
    void quitAndClose()
    {
        if (send("QUIT\r\n")) {
            QString ignored;
            reply(m_timeouts.quitMs, &ignored);
        }
        close();
    }

    void close()
    {
        if (m_socket)
            m_socket->Close();
    }

private:
    void waitForNews(int ms)
    {
        SignalWait()
            .on(m_socket.data(), &Winsock::DataArrival)
            .on(m_socket.data(), &Winsock::PeerClosed)
            .on(m_socket.data(), &Winsock::Closed)
            .on(m_socket.data(), &Winsock::Error)
            .on(m_socket.data(), &QObject::destroyed)
            .run(ms);
    }

    // Cuts the first complete reply out of the buffer.
    std::optional<SmtpReply> takeReply(QString *why)
    {
        smtp::ReplyRead read = smtp::readReply(m_buffer);
        switch (read.status) {
        case smtp::ReplyRead::Status::Complete:
            m_buffer.remove(0, read.consumed);
            return std::move(read.reply);
        case smtp::ReplyRead::Status::Error:
            *why = read.error;
            return std::nullopt;
        case smtp::ReplyRead::Status::NeedMore:
            break;
        }
        return std::nullopt;
    }

    QPointer<Winsock> m_socket;
    Timeouts m_timeouts;
    QByteArray m_buffer;
    bool m_closed = false;
    QString m_socketError;
    bool m_closedByProgram = false;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace

SendOutcome SendMail(const QString &fromAddress, const QString &toAddress, const QString &subject,
    const QString &body, Winsock &socket, const QString &attachmentPath, const TextBuffer *encoded,
    const Timeouts &timeouts)
{
    SendOutcome outcome;
    // Everything the dialogue needs is copied now: the window's fields may
    // change or vanish while events run.
    const QByteArray attachmentText = encoded ? encoded->Text() : QByteArray();
    // One stamp, so that a message composed again for the server keeps its
    // date and id.
    const mime::MessageStamp stamp = mime::newStamp();
    const auto compose = [&](bool serverTakes8Bit) {
        return mime::composeMessage(fromAddress, toAddress, subject, body, attachmentPath,
            encoded ? &attachmentText : nullptr, serverTakes8Bit, stamp);
    };
    mime::Message message = compose(true);
    Conversation talk(socket, timeouts);
    if (!message.ok) {
        outcome.error = message.error;
        talk.close();
        return outcome;
    }
    // The composition has checked the addresses, so the envelope holds.
    const mime::Envelope envelope = mime::envelopeOf(fromAddress, toAddress);
    const QString identity = ehloIdentity(socket.LocalHostName(), socket.LocalIP());

    // Each step: the command ("" for the greeting), what it is for in the
    // user's words, and the first digit of the reply that lets the dialogue go on.
    const auto step = [&](const QByteArray &command, const QString &what, int expected,
                          int timeoutMs) -> std::optional<SmtpReply> {
        QString why;
        if (!command.isEmpty() && !talk.send(command)) {
            outcome.error = QStringLiteral("The connection was lost before %1.").arg(what);
            return std::nullopt;
        }
        std::optional<SmtpReply> reply = talk.reply(timeoutMs, &why);
        if (!reply) {
            outcome.error = why + QStringLiteral(" (Waiting for the reply to %1.)").arg(what);
            return std::nullopt;
        }
        outcome.serverReply = codepage::decode(reply->text());
        if (reply->code / 100 != expected) {
            outcome.error = QStringLiteral("The server refused %1:\r\n%2").arg(what, outcome.serverReply);
            return std::nullopt;
        }
        return reply;
    };
    const auto fail = [&] {
        talk.quitAndClose();
        return outcome;
    };

    if (!step({}, QStringLiteral("the connection"), 2, timeouts.replyMs))
        return fail();
    const std::optional<SmtpReply> ehlo = step(
        "EHLO " + identity.toLatin1() + "\r\n", QStringLiteral("the greeting (EHLO)"), 2, timeouts.replyMs);
    if (!ehlo)
        return fail();
    const mime::ServerOffers offers { smtp::advertises(*ehlo, "8BITMIME"),
        smtp::advertises(*ehlo, "SMTPUTF8"), smtp::advertises(*ehlo, "SIZE") };
    // 8-bit text may go only to a server that said it takes it; to others the
    // text part goes quoted-printable.
    if (!offers.eightBitMime && message.hasHighBytes())
        message = compose(false);
    // An address the server cannot take stops the send before anything of
    // the mail is uploaded.
    const mime::EnvelopeCommands commands
        = mime::envelopeCommands(envelope, message.size(), message.hasHighBytes(), offers);
    if (!commands.ok) {
        outcome.error = commands.error;
        return fail();
    }
    if (!step(commands.mailFrom, QStringLiteral("the sender"), 2, timeouts.replyMs))
        return fail();
    // Every recipient must be taken; the first refused one ends the send.
    for (qsizetype i = 0; i < commands.rcptTo.size(); ++i) {
        const QString what = QStringLiteral("the recipient %1").arg(envelope.recipients[i].typed);
        if (!step(commands.rcptTo[i], what, 2, timeouts.replyMs))
            return fail();
    }
    if (!step("DATA\r\n", QStringLiteral("the message (DATA)"), 3, timeouts.replyMs))
        return fail();
    for (const QByteArray &row : message.rows) {
        if (!talk.send(row)) {
            outcome.error = QStringLiteral("The connection was lost while the message was written.");
            return fail();
        }
    }
    if (!talk.send("\r\n.\r\n")) {
        outcome.error = QStringLiteral("The connection was lost while the message was written.");
        return fail();
    }
    QString why;
    if (!talk.flush(&why)) {
        outcome.error = why;
        return fail();
    }
    if (!step({}, QStringLiteral("the message"), 2, timeouts.dataEndMs))
        return fail();
    outcome.accepted = true;
    talk.quitAndClose();
    return outcome;
}

} // namespace modSendmail
