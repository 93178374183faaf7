#include "core/MimeMessage.h"

#include "core/CodePage.h"
#include "core/LineEnds.h"
#include "core/MailAddress.h"
#include "core/MailFields.h"
#include "core/MimeHeader.h"

#include <QRandomGenerator>

#include <algorithm>

namespace mime {

namespace {

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

// The first name "<usual>" or "<usual>-<n>" (n from `firstNumber`) whose
// delimiter starts no line of the body.
QByteArray freeBoundary(QByteArrayView body, const QByteArray &usual, int firstNumber)
{
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
    // Each clashing line rules out only the few candidates that are prefixes
    // of it, so the search ends.
    for (int n = firstNumber;; ++n) {
        const QByteArray candidate = usual + '-' + QByteArray::number(n);
        const QByteArray delimiter = "--" + candidate;
        if (std::none_of(clashing.begin(), clashing.end(),
                [&](QByteArrayView line) { return line.startsWith(delimiter); }))
            return candidate;
    }
}

// One mailbox as the header shows it: the name (when there is one) and the
// address in angle brackets.
QByteArray headerMailbox(const QString &name, const Mailbox &mailbox)
{
    const QByteArray address = "<" + mailbox.wire + ">";
    return name.isEmpty() ? address : displayPhrase(name) + ' ' + address;
}

QByteArray headerRow(QByteArrayView name, const QByteArray &value)
{
    const QByteArray line = name.toByteArray() + ": " + value;
    return foldHeader(line, name.size() + 2) + "\r\n";
}

} // namespace

MessageStamp newStamp()
{
    const QDateTime now = QDateTime::currentDateTime();
    const quint64 random = QRandomGenerator::system()->generate64();
    return { now,
        now.toUTC().toString(QStringLiteral("yyyyMMddhhmmsszzz")).toLatin1() + '.'
            + QByteArray::number(random, 16).rightJustified(16, '0') };
}

qsizetype Message::size() const
{
    qsizetype size = 0;
    for (const QByteArray &row : rows)
        size += row.size();
    return size - doubledDots + 2;
}

bool Message::hasHighBytes() const
{
    return std::any_of(rows.begin(), rows.end(), [](const QByteArray &row) { return !isAscii(row); });
}

QByteArray dotStuff(QByteArrayView data)
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

QByteArray quotedPrintable(QByteArrayView text)
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

QByteArray outerBoundary(QByteArrayView body)
{
    // "Unique-Boundary-2" was once the nested multipart's, so the search
    // starts after it.
    return freeBoundary(body, "Unique-Boundary", 3);
}

QByteArray nestedBoundary(QByteArrayView body)
{
    return freeBoundary(body, "Parallel-Boundary", 2);
}

Message composeMessage(const QString &fromAddress, const QString &toAddress, const QString &subject,
    const QString &body, const QString &attachmentPath, const QByteArray *encoded, bool serverTakes8Bit,
    const MessageStamp &stamp)
{
    Message message;
    const Result fields = checkFields(fromAddress, toAddress, subject, body, attachmentPath);
    if (!fields.ok) {
        message.error = fields.error;
        return message;
    }
    // checkFields has parsed the addresses already; this cannot fail.
    const Envelope envelope = envelopeOf(fromAddress, toAddress);
    message.ok = true;
    const codepage::Encoded bodyBytes = codepage::encode(lineends::withCrLf(body));
    const QByteArray subjectBytes = codepage::bytesOf(subject);
    // Sent raw, a subject beyond ASCII, one that a reader would decode as an
    // encoded word, or one with a line longer than SMTP carries would not
    // arrive as typed.
    QByteArray subjectRow = headerRow("Subject", subjectBytes);
    if (!isAscii(subjectBytes) || subjectBytes.contains("=?") || longestLine(subjectRow) > maxLineOctets)
        subjectRow = headerRow("Subject", encodedWords(subjectBytes, "windows-1252"));

    // The text part goes out as it is when it can: ASCII, or 8-bit to a server
    // that takes it, and no line longer than SMTP carries.
    const bool asciiBody = isAscii(bodyBytes.bytes);
    const bool quoted = longestLine(bodyBytes.bytes) > maxLineOctets || (!asciiBody && !serverTakes8Bit);
    const QByteArray bodyText = quoted ? quotedPrintable(bodyBytes.bytes) : bodyBytes.bytes;
    const QByteArray boundary = outerBoundary(bodyText);

    const Mailbox &sender = envelope.sender;
    // Without a typed name the sender is named by the address up to its "@".
    const QString senderName = sender.name.isEmpty() ? displayName(sender.typed) : sender.name;
    QList<QByteArray> recipients;
    for (const Mailbox &recipient : envelope.recipients)
        recipients << headerMailbox(recipient.name, recipient);

    QList<QByteArray> &rows = message.rows;
    rows << "MIME-Version: 1.0\r\n";
    rows << headerRow("From", headerMailbox(senderName, sender));
    rows << headerRow("To", recipients.join(", "));
    rows << subjectRow;
    rows << "Date: " + dateValue(stamp.date) + "\r\n";
    rows << "Message-ID: <" + stamp.unique + '@' + sender.wireDomain() + ">\r\n";
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
    if (hasAttachment(attachmentPath)) {
        const FileNameLines fileName = fileNameLines(attachmentFileName(attachmentPath));
        const QByteArray inner = nestedBoundary(bodyText);
        rows << "--" + boundary + "\r\n";
        rows << "Content-Type: multipart/parallel; boundary=" + inner + "\r\n\r\n";
        rows << "--" + inner + "\r\n";
        rows << "Content-Type: application/octet-stream;\r\n";
        rows << fileName.name + "\r\n";
        rows << "Content-Transfer-Encoding: base64\r\n";
        rows << "Content-Disposition: inline;\r\n";
        rows << fileName.filename + "\r\n\r\n";
        rows << (encoded ? *encoded : QByteArray()) + "\r\n";
        // Each closing delimiter on a line of its own: together on one line
        // neither would close its multipart for a reader.
        rows << "--" + inner + "--\r\n--" + boundary + "--";
    } else {
        // The multipart is closed here too; the line break that ends the
        // delimiter line is the first of the end-of-data marker.
        rows << "--" + boundary + "--";
    }
    // Every row starts a line, so stuffing row by row covers the whole data.
    // Rows without a dot at a line start (the base64 text always) stay shared.
    for (QByteArray &row : rows) {
        if (row.startsWith('.') || row.contains("\n.")) {
            const qsizetype before = row.size();
            row = dotStuff(row);
            message.doubledDots += row.size() - before;
        }
    }
    return message;
}

} // namespace mime
