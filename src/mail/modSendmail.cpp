#include "mail/modSendmail.h"

#include "mail/SmtpReply.h"

#include "core/CodePage.h"
#include "platform/DayClock.h"
#include "platform/FileLoader.h"
#include "platform/TextBuffer.h"
#include "platform/Winsock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace modSendmail {

namespace {

constexpr qsizetype lineChars = 72; // encoded characters per line
constexpr qsizetype lineBytes = lineChars / 4 * 3; // input bytes per full line

// The longest stretch without event processing while encoding, so the window
// keeps up with a 60 Hz display.
constexpr qint64 yieldEveryMs = 10;

qsizetype encodedLength(qsizetype bytes)
{
    const qsizetype chars = (bytes + 2) / 3 * 4;
    return chars + chars / lineChars * 2;
}

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(
        bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool hasLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

// Any line end (CR LF, lone LF, lone CR) as CR LF, as the SMTP data requires.
QString withCrLf(const QString &text)
{
    QString unified = text;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    unified.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    unified.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return unified;
}

QByteArray toCodePage(const QString &text)
{
    return codepage::encode(text).bytes;
}

// A header text beyond ASCII as encoded words in the code page's charset,
// folded so that no word is longer than the 75 characters allowed.
QByteArray encodedWords(QByteArrayView bytes)
{
    constexpr qsizetype chunk = 36; // 48 base64 characters, 67 with the frame
    QByteArray out;
    for (qsizetype at = 0; at < bytes.size(); at += chunk) {
        if (at > 0)
            out += "\r\n ";
        out += "=?windows-1252?B?";
        out += bytes.sliced(at, std::min(chunk, bytes.size() - at)).toByteArray().toBase64();
        out += "?=";
    }
    return out;
}

// The longest line SMTP carries, its line break not counted.
constexpr qsizetype maxLineOctets = 998;

// The length of the longest line of a text whose lines end in CR LF.
qsizetype longestLine(QByteArrayView text)
{
    qsizetype longest = 0;
    for (qsizetype lineStart = 0; lineStart <= text.size();) {
        qsizetype end = text.indexOf("\r\n", lineStart);
        if (end < 0)
            end = text.size();
        longest = std::max(longest, end - lineStart);
        lineStart = end + 2;
    }
    return longest;
}

// The display name as an RFC 5322 phrase: as it is when it is one atom,
// quoted when it holds anything else (a dot, a blank, a special), as encoded
// words beyond ASCII. One that looks like an encoded word is quoted, so that
// readers show it as it is.
QByteArray displayPhrase(const QByteArray &name)
{
    static const QByteArray atextSpecials = QByteArrayLiteral("!#$%&'*+-/=?^_`{|}~");
    if (!isAscii(name))
        return encodedWords(name);
    const bool atom = !name.contains("=?") && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || atextSpecials.contains(c);
    });
    if (atom)
        return name;
    QByteArray quoted = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

// A MIME parameter ("name", "filename") with its value: unchanged when the value
// is a token, quoted when it holds blanks or special characters (a parser would
// cut it there), in RFC 2231 form when it goes beyond ASCII.
QByteArray parameter(const char *name, QByteArrayView value)
{
    static const QByteArray specials = QByteArrayLiteral("()<>@,;:\\\"/[]?= \t");
    if (!isAscii(value)) {
        QByteArray out = QByteArray(name) + "*=windows-1252''";
        out += value.toByteArray().toPercentEncoding();
        return out;
    }
    const bool token = !value.isEmpty() && std::none_of(value.begin(), value.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7f || specials.contains(c);
    });
    if (token || value.isEmpty())
        return QByteArray(name) + '=' + value.toByteArray();
    QByteArray quoted;
    for (char c : value) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return QByteArray(name) + "=\"" + quoted + '"';
}

QString fieldError(const QString &field, const QString &text)
{
    if (hasLineBreak(text))
        return QStringLiteral("The %1 holds a line break, which would end its line in the mail. "
                              "Remove the line break.")
            .arg(field);
    const codepage::Encoded encoded = codepage::encode(text);
    if (!encoded.ok())
        return QStringLiteral("The %1 holds %2, which the program's code page cannot send.")
            .arg(field, codepage::describe(*encoded.unrepresentable));
    return {};
}

// Writes base64 text as lines of 72 characters with CR LF after each full
// line; returns the end of what it wrote.
char *writeLines(const QByteArray &flat, char *to)
{
    const char *from = flat.constData();
    qsizetype left = flat.size();
    while (left >= lineChars) {
        std::memcpy(to, from, lineChars);
        to[lineChars] = '\r';
        to[lineChars + 1] = '\n';
        to += lineChars + 2;
        from += lineChars;
        left -= lineChars;
    }
    std::memcpy(to, from, static_cast<size_t>(left));
    return to + left;
}

} // namespace

// ---- Base64 -----------------------------------------------------------------

QByteArray EncodeGroup(QByteArrayView group)
{
    return group.first(std::min<qsizetype>(3, group.size())).toByteArray().toBase64();
}

Result EncodeAttachment(const QString &path, FileLoader &loader, TextBuffer &output)
{
    const QPointer<TextBuffer> target(&output);
    output.Clear();
    if (!loader.LoadFile(path))
        return { false,
            QStringLiteral("The attachment \"%1\" cannot be read: %2.").arg(path, loader.ErrorString()) };
    // A shared copy stays valid whatever the window does while events run.
    const QByteArray bytes = loader.Text();
    QByteArray text(encodedLength(bytes.size()), Qt::Uninitialized);
    char *to = text.data();

    // Slices of whole lines, small enough to check the time often.
    constexpr qsizetype slice = lineBytes * 1024;
    QElapsedTimer sinceYield;
    sinceYield.start();
    for (qsizetype at = 0; at < bytes.size(); at += slice) {
        const QByteArray part
            = QByteArray::fromRawData(bytes.constData() + at, std::min(slice, bytes.size() - at));
        to = writeLines(part.toBase64(), to);
        if (sinceYield.elapsed() >= yieldEveryMs) {
            QCoreApplication::processEvents();
            if (!target)
                return { false,
                    QStringLiteral("The encoding of the attachment was abandoned: its window was closed.") };
            sinceYield.restart();
        }
    }
    target->SetText(text);
    return {};
}

// ---- Message text -------------------------------------------------------------

QString GetToken(qsizetype index, const QString &text, const QString &delimiter)
{
    // Where the delimiter occurs at or after `from`, or -1. An empty delimiter
    // occurs before every character.
    const auto find = [&](qsizetype from) -> qsizetype {
        if (delimiter.isEmpty())
            return from < text.size() ? from : -1;
        return text.indexOf(delimiter, from);
    };

    QString result = index == 1 ? text : QString();
    if (find(0) < 0)
        return result;
    qsizetype start = 0;
    qsizetype count = 0;
    for (;;) {
        const qsizetype at = find(start);
        if (at < 0) {
            if (count == index - 1)
                result = text.mid(start);
            return result;
        }
        ++count;
        if (count == index)
            return text.mid(start, at - start);
        start = at + 1;
    }
}

QString DisplayName(const QString &fromAddress)
{
    return GetToken(1, fromAddress, QStringLiteral("@"));
}

QString AttachmentFileName(const QString &attachmentPath)
{
    // Paths picked on this system use "/"; typed ones may use "\\". Either way
    // only the name goes out, never the folders.
    const qsizetype cut = std::max(
        attachmentPath.lastIndexOf(QLatin1Char('\\')), attachmentPath.lastIndexOf(QLatin1Char('/')));
    return attachmentPath.mid(cut + 1);
}

bool HasAttachment(const QString &attachmentPath)
{
    return !attachmentPath.trimmed().isEmpty();
}

Result CheckHeaderFields(const QString &fromAddress, const QString &toAddress, const QString &subject,
    const QString &attachmentPath)
{
    if (fromAddress.trimmed().isEmpty())
        return { false,
            QStringLiteral("The sender address is empty; a mail without one cannot be answered or "
                           "returned. Enter your own e-mail address.") };
    const std::pair<QString, QString> fields[] = {
        { QStringLiteral("sender address"), fromAddress },
        { QStringLiteral("recipient address"), toAddress },
        { QStringLiteral("subject"), subject },
        { QStringLiteral("attachment's file name"),
            HasAttachment(attachmentPath) ? AttachmentFileName(attachmentPath) : QString() },
    };
    for (const auto &[field, text] : fields) {
        const QString error = fieldError(field, text);
        if (!error.isEmpty())
            return { false, error };
    }
    return {};
}

qsizetype Message::size() const
{
    qsizetype size = 0;
    for (const QByteArray &row : rows)
        size += row.size();
    return size + 2;
}

QByteArray Message::joined() const
{
    QByteArray all;
    all.reserve(size());
    for (const QByteArray &row : rows)
        all += row;
    return all;
}

QByteArray DotStuff(QByteArrayView data)
{
    QByteArray out;
    out.reserve(data.size() + 16);
    qsizetype copied = 0;
    qsizetype lineStart = 0;
    while (lineStart < data.size()) {
        if (data[lineStart] == '.') {
            out += data.sliced(copied, lineStart - copied);
            out += '.';
            copied = lineStart;
        }
        const qsizetype lf = data.indexOf('\n', lineStart);
        if (lf < 0)
            break;
        lineStart = lf + 1;
    }
    out += data.sliced(copied);
    return out;
}

QByteArray QuotedPrintable(QByteArrayView text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    // Encoded lines of at most 76 characters, the "=" of a soft line break
    // included.
    constexpr qsizetype widest = 76;
    const auto breakAt
        = [&](qsizetype i) { return i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n'; };
    QByteArray out;
    out.reserve(text.size() + text.size() / 8 + 16);
    qsizetype lineLength = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (breakAt(i)) {
            out += "\r\n";
            ++i;
            lineLength = 0;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        const bool lineEnds = i + 1 == text.size() || breakAt(i + 1);
        // Blanks at the end of a line would be lost in transport, so they are
        // encoded there.
        const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnds);
        const char token[3] = { literal ? static_cast<char>(c) : '=', hex[c >> 4], hex[c & 15] };
        const qsizetype length = literal ? 1 : 3;
        if (lineLength + length > (lineEnds ? widest : widest - 1)) {
            out += "=\r\n";
            lineLength = 0;
        }
        out.append(token, length);
        lineLength += length;
    }
    return out;
}

QByteArray OuterBoundary(QByteArrayView body)
{
    const QByteArray usual = "Unique-Boundary";
    const QByteArray usualDelimiter = "--" + usual;
    // The lines that a reader could take for a delimiter of the usual
    // boundary (or of one derived from it).
    QList<QByteArrayView> clashing;
    for (qsizetype lineStart = 0; lineStart < body.size();) {
        qsizetype lf = body.indexOf('\n', lineStart);
        if (lf < 0)
            lf = body.size();
        const QByteArrayView line = body.sliced(lineStart, lf - lineStart);
        if (line.startsWith(usualDelimiter))
            clashing << line;
        lineStart = lf + 1;
    }
    if (clashing.isEmpty())
        return usual;
    // "Unique-Boundary-2" belongs to the nested multipart, so the search
    // starts after it. Each clashing line rules out only the few candidates
    // that are prefixes of it, so the search ends.
    for (int n = 3;; ++n) {
        const QByteArray candidate = usual + '-' + QByteArray::number(n);
        const QByteArray delimiter = "--" + candidate;
        if (std::none_of(clashing.begin(), clashing.end(),
                [&](QByteArrayView line) { return line.startsWith(delimiter); }))
            return candidate;
    }
}

Message ComposeMessage(const QString &fromAddress, const QString &toAddress, const QString &subject,
    const QString &body, const QString &attachmentPath, const QByteArray *encoded, bool serverTakes8Bit)
{
    Message message;
    const Result fields = CheckHeaderFields(fromAddress, toAddress, subject, attachmentPath);
    if (!fields.ok) {
        message.ok = false;
        message.error = fields.error;
        return message;
    }
    const codepage::Encoded bodyBytes = codepage::encode(withCrLf(body));
    if (!bodyBytes.ok()) {
        message.ok = false;
        message.error = QStringLiteral("The message holds %1, which the program's code page cannot send.")
                            .arg(codepage::describe(*bodyBytes.unrepresentable));
        return message;
    }
    const QByteArray from = toCodePage(fromAddress);
    const QByteArray subjectBytes = toCodePage(subject);
    const QByteArray subjectRow = "Subject: " + subjectBytes + "\r\n";
    // Sent raw, a subject beyond ASCII, one that a reader would decode as an
    // encoded word, or one longer than a line may be would not arrive as typed.
    const bool subjectAsWords
        = !isAscii(subjectBytes) || subjectBytes.contains("=?") || subjectRow.size() > maxLineOctets + 2;

    // The text part goes out as it is when it can: ASCII, or 8-bit to a server
    // that takes it, and no line longer than SMTP carries.
    const bool asciiBody = isAscii(bodyBytes.bytes);
    const bool quoted = longestLine(bodyBytes.bytes) > maxLineOctets || (!asciiBody && !serverTakes8Bit);
    const QByteArray bodyText = quoted ? QuotedPrintable(bodyBytes.bytes) : bodyBytes.bytes;
    const QByteArray boundary = OuterBoundary(bodyText);

    QList<QByteArray> &rows = message.rows;
    rows << "MIME-Version: 1.0\r\n";
    rows << "From: " + displayPhrase(toCodePage(DisplayName(fromAddress))) + " <" + from + ">\r\n";
    rows << "To: <" + toCodePage(toAddress) + ">\r\n";
    rows << (subjectAsWords ? "Subject: " + encodedWords(subjectBytes) + "\r\n" : subjectRow);
    rows << "Content-Type: multipart/mixed;\r\n";
    rows << "              boundary=" + boundary + "\r\n\r\n";
    rows << " [ Random garbage here ]\r\n\r\n";
    rows << "\r\n--" + boundary + "\r\n";
    QByteArray textHeader = "Content-type: text/plain; charset=";
    textHeader += asciiBody ? "US-ASCII\r\n" : "windows-1252\r\n";
    if (quoted)
        textHeader += "Content-Transfer-Encoding: quoted-printable\r\n";
    else if (!asciiBody)
        textHeader += "Content-Transfer-Encoding: 8bit\r\n";
    rows << textHeader + "\r\n";
    rows << bodyText + "\r\n\r\n";
    if (HasAttachment(attachmentPath)) {
        const QByteArray fileName = toCodePage(AttachmentFileName(attachmentPath));
        rows << "--" + boundary + "\r\n";
        rows << "Content-Type: multipart/parallel; boundary=Unique-Boundary-2\r\n\r\n";
        rows << "--Unique-Boundary-2\r\n";
        rows << "Content-Type: application/octet-stream;\r\n";
        rows << " " + parameter("name", fileName) + "\r\n";
        rows << "Content-Transfer-Encoding: base64\r\n";
        rows << "Content-Disposition: inline;\r\n";
        rows << " " + parameter("filename", fileName) + "\r\n\r\n";
        rows << (encoded ? *encoded : QByteArray()) + "\r\n";
        // Each closing delimiter on a line of its own: together on one line
        // neither would close its multipart for a reader.
        rows << "--Unique-Boundary-2--\r\n--" + boundary + "--";
    } else {
        // The multipart is closed here too; the line break that ends the
        // delimiter line is the first of the end-of-data marker.
        rows << "--" + boundary + "--";
    }
    // Every row starts a line, so stuffing row by row covers the whole data.
    // Rows without a dot at a line start (the base64 text always) stay shared.
    for (QByteArray &row : rows)
        if (row.startsWith('.') || row.contains("\n."))
            row = DotStuff(row);
    return message;
}

// ---- SMTP dialogue --------------------------------------------------------------

void ConnectToServer(const QString &server, Winsock &socket, const QString &port)
{
    int number = 25;
    if (!port.isEmpty()) {
        // The whole number the text begins with, blanks before it allowed.
        const QString text = port.trimmed();
        qsizetype at = 0;
        bool negative = false;
        if (at < text.size() && (text[at] == QLatin1Char('+') || text[at] == QLatin1Char('-')))
            negative = text[at++] == QLatin1Char('-');
        qint64 value = 0;
        while (at < text.size() && text[at].isDigit() && text[at].unicode() < 0x80 && value <= 0xFFFFFF)
            value = value * 10 + (text[at++].unicode() - '0');
        number = static_cast<int>(negative ? -value : value);
    }
    socket.SetRemoteHost(server);
    socket.SetRemotePort(number);
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
        QEventLoop loop;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(ms);
        loop.exec();
    }
}

QString EhloIdentity(const QString &hostName, const QString &address)
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
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(m_socket, &Winsock::DataArrival, &loop, &QEventLoop::quit);
        QObject::connect(m_socket, &Winsock::PeerClosed, &loop, &QEventLoop::quit);
        QObject::connect(m_socket, &Winsock::Closed, &loop, &QEventLoop::quit);
        QObject::connect(m_socket, &Winsock::Error, &loop, &QEventLoop::quit);
        QObject::connect(m_socket, &QObject::destroyed, &loop, &QEventLoop::quit);
        timer.start(ms);
        loop.exec();
    }

    // Cuts the first complete reply out of the buffer.
    std::optional<SmtpReply> takeReply(QString *why)
    {
        ReplyRead read = ReadReply(m_buffer);
        switch (read.status) {
        case ReplyRead::Status::Complete:
            m_buffer.remove(0, read.consumed);
            return std::move(read.reply);
        case ReplyRead::Status::Error:
            *why = read.error;
            return std::nullopt;
        case ReplyRead::Status::NeedMore:
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

bool hasHighBytes(const QList<QByteArray> &rows)
{
    return std::any_of(rows.begin(), rows.end(), [](const QByteArray &row) { return !isAscii(row); });
}

bool advertises(const SmtpReply &ehlo, QByteArrayView keyword)
{
    for (qsizetype i = 1; i < ehlo.lines.size(); ++i) {
        const QByteArray extension = ehlo.lines[i].mid(4).trimmed().toUpper();
        if (extension == keyword || extension.startsWith(QByteArray(keyword.toByteArray() + ' ')))
            return true;
    }
    return false;
}

} // namespace

SendOutcome SendMail(const QString &fromAddress, const QString &toAddress, const QString &subject,
    const QString &body, Winsock &socket, const QString &attachmentPath, const TextBuffer *encoded,
    const Timeouts &timeouts)
{
    SendOutcome outcome;
    // Everything the dialogue needs is copied now: the window's fields may
    // change or vanish while events run.
    const QByteArray attachmentText = encoded ? encoded->Text() : QByteArray();
    const auto compose = [&](bool serverTakes8Bit) {
        return ComposeMessage(fromAddress, toAddress, subject, body, attachmentPath,
            encoded ? &attachmentText : nullptr, serverTakes8Bit);
    };
    Message message = compose(true);
    Conversation talk(socket, timeouts);
    if (!message.ok) {
        outcome.error = message.error;
        talk.close();
        return outcome;
    }
    const QString identity = EhloIdentity(socket.LocalHostName(), socket.LocalIP());

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
    // 8-bit text may go only to a server that said it takes it; to others the
    // text part goes quoted-printable.
    const bool eightBitMime = advertises(*ehlo, "8BITMIME");
    if (!eightBitMime && hasHighBytes(message.rows))
        message = compose(false);
    QByteArray mailFrom = "MAIL FROM:<" + toCodePage(fromAddress) + ">";
    if (eightBitMime && hasHighBytes(message.rows))
        mailFrom += " BODY=8BITMIME";
    // A server with a smaller limit then refuses before the upload, not after.
    if (advertises(*ehlo, "SIZE"))
        mailFrom += " SIZE=" + QByteArray::number(message.size());
    if (!step(mailFrom + "\r\n", QStringLiteral("the sender"), 2, timeouts.replyMs))
        return fail();
    if (!step("RCPT TO:<" + toCodePage(toAddress) + ">\r\n", QStringLiteral("the recipient"), 2,
            timeouts.replyMs))
        return fail();
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
