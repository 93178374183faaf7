#include "core/MimeMessage.h"

#include "core/CodePage.h"
#include "core/LineEnds.h"
#include "core/MailFields.h"

#include <algorithm>

namespace mime {

namespace {

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(
        bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
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

} // namespace

qsizetype Message::size() const
{
    qsizetype size = 0;
    for (const QByteArray &row : rows)
        size += row.size();
    return size + 2;
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

Message composeMessage(const QString &fromAddress, const QString &toAddress, const QString &subject,
    const QString &body, const QString &attachmentPath, const QByteArray *encoded, bool serverTakes8Bit)
{
    Message message;
    const Result fields = checkFields(fromAddress, toAddress, subject, body, attachmentPath);
    if (!fields.ok) {
        message.error = fields.error;
        return message;
    }
    message.ok = true;
    const codepage::Encoded bodyBytes = codepage::encode(lineends::withCrLf(body));
    const QByteArray from = codepage::bytesOf(fromAddress);
    const QByteArray subjectBytes = codepage::bytesOf(subject);
    const QByteArray subjectRow = "Subject: " + subjectBytes + "\r\n";
    // Sent raw, a subject beyond ASCII, one that a reader would decode as an
    // encoded word, or one longer than a line may be would not arrive as typed.
    const bool subjectAsWords
        = !isAscii(subjectBytes) || subjectBytes.contains("=?") || subjectRow.size() > maxLineOctets + 2;

    // The text part goes out as it is when it can: ASCII, or 8-bit to a server
    // that takes it, and no line longer than SMTP carries.
    const bool asciiBody = isAscii(bodyBytes.bytes);
    const bool quoted = longestLine(bodyBytes.bytes) > maxLineOctets || (!asciiBody && !serverTakes8Bit);
    const QByteArray bodyText = quoted ? quotedPrintable(bodyBytes.bytes) : bodyBytes.bytes;
    const QByteArray boundary = outerBoundary(bodyText);

    QList<QByteArray> &rows = message.rows;
    rows << "MIME-Version: 1.0\r\n";
    rows << "From: " + displayPhrase(codepage::bytesOf(displayName(fromAddress))) + " <" + from + ">\r\n";
    rows << "To: <" + codepage::bytesOf(toAddress) + ">\r\n";
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
    if (hasAttachment(attachmentPath)) {
        const QByteArray fileName = codepage::bytesOf(attachmentFileName(attachmentPath));
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
            row = dotStuff(row);
    return message;
}

} // namespace mime
