// The attachment's base64 and the whole MIME message, read back by a plain
// reader written here: the base64 lines decode to the file's bytes in lines of
// 72; the data never holds the end-of-data marker before its end; undoing the
// dot-stuffing, the multipart and the transfer encodings gives back the body
// (line ends as CR LF) and the attachment exactly; no line of the text part is
// a delimiter of the chosen boundary, and the nested boundary never begins
// with the outer one nor the outer with it; no header line is over 998
// octets, and one over 78 only where no blank allows a fold; the envelope's
// addresses stand in the From and To fields; SIZE counts the message before
// dot-stuffing. The fields come from FuzzedDataProvider, the addresses mostly
// built from an address's pieces so that they pass the checks.

#include "FuzzCheck.h"

#include "core/Base64.h"
#include "core/CodePage.h"
#include "core/MailAddress.h"
#include "core/MimeHeader.h"
#include "core/MimeMessage.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <optional>
#include <string>
#include <vector>

using namespace mime;

namespace {

using Lines = std::vector<std::string>;

// ---- The reference reader ------------------------------------------------------

const std::string base64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(const std::string &bytes)
{
    std::string out;
    for (size_t at = 0; at < bytes.size(); at += 3) {
        unsigned group = 0;
        const size_t count = std::min<size_t>(3, bytes.size() - at);
        for (size_t i = 0; i < 3; ++i)
            group = group << 8 | (i < count ? static_cast<unsigned char>(bytes[at + i]) : 0u);
        for (size_t i = 0; i < 4; ++i)
            out += i <= count ? base64Alphabet[group >> (18 - 6 * i) & 63] : '=';
    }
    return out;
}

// Strict: only the alphabet, padding only at the end; nullopt otherwise.
std::optional<std::string> base64Decode(const std::string &text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::string out;
    for (size_t at = 0; at < text.size(); at += 4) {
        unsigned group = 0;
        size_t padding = 0;
        for (size_t i = 0; i < 4; ++i) {
            const char c = text[at + i];
            const size_t value = base64Alphabet.find(c);
            if (c == '=' && at + 4 == text.size() && i >= 2) {
                ++padding;
                group <<= 6;
            } else if (value != std::string::npos && padding == 0) {
                group = group << 6 | static_cast<unsigned>(value);
            } else {
                return std::nullopt;
            }
        }
        for (size_t i = 0; i < 3 - padding; ++i)
            out += static_cast<char>(group >> (16 - 8 * i) & 255);
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Quoted-printable as a reader takes it: "=" at the end of a line is a soft
// break, "=XX" one byte; anything else is taken literally.
std::optional<std::string> quotedPrintableDecode(const Lines &lines)
{
    std::string out;
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string &line = lines[n];
        bool soft = false;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] != '=') {
                out += line[i];
            } else if (i + 1 == line.size()) {
                soft = true;
            } else if (i + 2 < line.size() && hexValue(line[i + 1]) >= 0 && hexValue(line[i + 2]) >= 0) {
                out += static_cast<char>(hexValue(line[i + 1]) * 16 + hexValue(line[i + 2]));
                i += 2;
            } else {
                return std::nullopt; // an "=" that is neither: the writer never makes one
            }
        }
        if (!soft && n + 1 < lines.size())
            out += "\r\n";
        FUZZ_CHECK(!(soft && n + 1 == lines.size()));
    }
    return out;
}

// Any line end (CR LF, lone CR, lone LF) as CR LF.
std::string withCrLf(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string joinCrLf(const Lines &lines)
{
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i)
        out += (i ? "\r\n" : "") + lines[i];
    return out;
}

bool startsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

struct Entity {
    Lines header; // unfolded: a line starting with a blank joins the one before
    Lines body;
};

Entity splitEntity(const Lines &lines)
{
    Entity entity;
    size_t n = 0;
    for (; n < lines.size() && !lines[n].empty(); ++n) {
        if ((lines[n][0] == ' ' || lines[n][0] == '\t') && !entity.header.empty())
            entity.header.back() += lines[n];
        else
            entity.header.push_back(lines[n]);
    }
    FUZZ_CHECK(n < lines.size()); // the empty line that ends the header
    entity.body.assign(lines.begin() + static_cast<std::ptrdiff_t>(n) + 1, lines.end());
    return entity;
}

std::string headerField(const Entity &entity, const std::string &name)
{
    for (const std::string &field : entity.header)
        if (lower(field).compare(0, name.size() + 1, lower(name) + ":") == 0)
            return field.substr(name.size() + 1);
    return {};
}

std::string boundaryOf(const std::string &contentType)
{
    const size_t at = contentType.find("boundary=");
    FUZZ_CHECK(at != std::string::npos);
    std::string boundary = contentType.substr(at + 9);
    FUZZ_CHECK(!boundary.empty() && boundary.find_first_of(" \t;\"") == std::string::npos);
    return boundary;
}

// The body parts of a multipart: the lines between the delimiter lines (the
// line break before a delimiter belongs to it). The closing delimiter must be
// there and be the last line.
std::vector<Lines> multipartParts(const Lines &body, const std::string &boundary)
{
    const std::string delimiter = "--" + boundary;
    std::vector<Lines> parts;
    bool closed = false;
    bool started = false;
    for (size_t n = 0; n < body.size(); ++n) {
        FUZZ_CHECK(!closed); // nothing after the closing delimiter
        if (body[n] == delimiter) {
            parts.emplace_back();
            started = true;
        } else if (body[n] == delimiter + "--") {
            closed = true;
        } else if (started) {
            parts.back().push_back(body[n]);
        }
    }
    FUZZ_CHECK(closed);
    return parts;
}

// The subject as a reader shows it: the raw text, or encoded words (base64 in
// the code page's charset) whose separating blanks are dropped.
std::optional<std::string> subjectText(const std::string &field)
{
    FUZZ_CHECK(startsWith(field, " "));
    const std::string value = field.substr(1);
    const std::string open = "=?windows-1252?B?";
    if (!startsWith(value, open))
        return value;
    std::string text;
    for (size_t at = 0; at < value.size();) {
        size_t end = value.find(' ', at);
        if (end == std::string::npos)
            end = value.size();
        const std::string word = value.substr(at, end - at);
        FUZZ_CHECK(
            word.size() <= 75 && startsWith(word, open) && word.compare(word.size() - 2, 2, "?=") == 0);
        const std::optional<std::string> bytes
            = base64Decode(word.substr(open.size(), word.size() - open.size() - 2));
        if (!bytes)
            return std::nullopt;
        text += *bytes;
        at = end + 1;
    }
    return text;
}

// A parameter of a header field as a reader takes it: a token, a quoted
// string with backslash escapes, or the RFC 2231 form UTF-8''%XX, whole or
// continued (name*0*=UTF-8''..; name*1*=..), each piece decoded on its own.
// Where `text` starts in the field outside quoted strings, or npos.
size_t findOutsideQuotes(const std::string &field, const std::string &text)
{
    bool quoted = false;
    for (size_t i = 0; i < field.size(); ++i) {
        if (quoted && field[i] == '\\')
            ++i;
        else if (field[i] == '"')
            quoted = !quoted;
        else if (!quoted && field.compare(i, text.size(), text) == 0)
            return i;
    }
    return std::string::npos;
}

std::optional<std::string> parameterValue(const std::string &field, const std::string &name)
{
    const size_t plain = findOutsideQuotes(field, " " + name + "=");
    const size_t extended = findOutsideQuotes(field, " " + name + "*");
    if (extended != std::string::npos) {
        FUZZ_CHECK(plain == std::string::npos); // readers flag a parameter given twice
        std::string value;
        for (int piece = 0;; ++piece) {
            const std::string start = field.compare(extended, name.size() + 3, " " + name + "*=") == 0
                ? " " + name + "*="
                : " " + name + "*" + std::to_string(piece) + "*=";
            size_t i = findOutsideQuotes(field, start);
            if (i == std::string::npos) {
                FUZZ_CHECK(piece > 0);
                return value;
            }
            i += start.size();
            if (piece == 0) {
                FUZZ_CHECK(field.compare(i, 7, "UTF-8''") == 0);
                i += 7;
            }
            std::string bytes;
            for (; i < field.size() && field[i] != ';'; ++i) {
                FUZZ_CHECK(field[i] != ' ' && field[i] != '"' && field[i] != '*' && field[i] != '\'');
                if (field[i] != '%') {
                    bytes += field[i];
                    continue;
                }
                FUZZ_CHECK(
                    i + 2 < field.size() && hexValue(field[i + 1]) >= 0 && hexValue(field[i + 2]) >= 0);
                bytes += static_cast<char>(hexValue(field[i + 1]) * 16 + hexValue(field[i + 2]));
                i += 2;
            }
            // Each piece is whole UTF-8 of its own.
            const QByteArray pieceBytes(bytes.data(), static_cast<qsizetype>(bytes.size()));
            FUZZ_CHECK(QString::fromUtf8(pieceBytes).toUtf8() == pieceBytes);
            value += bytes;
            if (start == " " + name + "*=")
                return value;
        }
    }
    if (plain == std::string::npos)
        return std::nullopt;
    size_t i = plain + name.size() + 2;
    std::string value;
    if (i < field.size() && field[i] == '"') {
        for (++i; i < field.size() && field[i] != '"'; ++i) {
            if (field[i] == '\\')
                ++i;
            FUZZ_CHECK(i < field.size());
            value += field[i];
        }
        FUZZ_CHECK(i + 1 == field.size() || field[i + 1] == ';');
        return value;
    }
    for (; i < field.size() && field[i] != ';'; ++i) {
        FUZZ_CHECK(std::string("()<>@,:\\\"/[]?= \t").find(field[i]) == std::string::npos
            && static_cast<unsigned char>(field[i]) >= 0x20);
        value += field[i];
    }
    return value;
}

// The header lines of an entity (up to its first empty line): none over 998
// octets, and one over 78 only when no blank in it allows a fold, that is a
// blank after a non-blank with more than blanks after it, not the blank
// right after a field's colon.
void checkHeaderLines(const Lines &entity)
{
    for (const std::string &line : entity) {
        if (line.empty())
            return;
        FUZZ_CHECK(line.size() <= 998);
        if (line.size() <= 78)
            continue;
        size_t from = 1;
        if (line[0] != ' ' && line[0] != '\t') {
            const size_t colon = line.find(':');
            FUZZ_CHECK(colon != std::string::npos);
            from = colon + 2;
        }
        const size_t lastText = line.find_last_not_of(" \t");
        for (size_t p = from; p < lastText; ++p)
            FUZZ_CHECK(!((line[p] == ' ' || line[p] == '\t') && line[p - 1] != ' ' && line[p - 1] != '\t'));
    }
}

// ---- The fuzzed fields -----------------------------------------------------------

QString headerText(FuzzedDataProvider &input, bool keepBreaks)
{
    std::string bytes = input.ConsumeRandomLengthString(80);
    if (!keepBreaks)
        for (char &c : bytes)
            if (c == '\r' || c == '\n')
                c = ' ';
    return codepage::decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// Characters taken from `alphabet` by the fuzzer's bytes.
QString pickText(FuzzedDataProvider &input, const QString &alphabet, int longest)
{
    QString text;
    const int length = input.ConsumeIntegralInRange(0, longest);
    for (int i = 0; i < length; ++i)
        text += alphabet[input.ConsumeIntegralInRange<qsizetype>(0, alphabet.size() - 1)];
    return text;
}

// An address field: mostly one to three addresses, some with a display name,
// put together as people type them; sometimes any text.
QString addressField(FuzzedDataProvider &input, bool keepBreaks)
{
    if (input.ConsumeIntegralInRange(0, 7) == 0)
        return headerText(input, keepBreaks);
    static const QString atomAlphabet = QStringLiteral("abcxyz09+-_'=?\u00e9\u00df\u65e5");
    static const QString labelAlphabet = QStringLiteral("abcxyz09\u00fc\u0436");
    static const QString nameAlphabet = QStringLiteral("Ab z.'=?\u00e9\u65e5");
    static const QString quotedAlphabet = QStringLiteral("Ab z.,;<>@'\"\\=?\u00e9\u65e5");
    // Words of 1 to 12 characters joined by `separator`.
    const auto words = [&](const QString &alphabet, const QString &separator) {
        QString text;
        const int count = input.ConsumeIntegralInRange(1, 3);
        for (int i = 0; i < count; ++i) {
            QString word = pickText(input, alphabet, 12);
            text += (i > 0 ? separator : QString()) + (word.isEmpty() ? QStringLiteral("a") : word);
        }
        return text;
    };
    QString field;
    const int count = input.ConsumeIntegralInRange(1, 3);
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            field += input.ConsumeBool() ? QStringLiteral(", ") : QStringLiteral(";");
        QString local = words(atomAlphabet, QStringLiteral("."));
        if (input.ConsumeIntegralInRange(0, 5) == 0)
            local = QLatin1Char('"') + local + QStringLiteral(" @\"");
        const QString address = local + QLatin1Char('@') + words(labelAlphabet, QStringLiteral("."));
        switch (input.ConsumeIntegralInRange(0, 2)) {
        case 0:
            field += address;
            break;
        case 1:
            field += pickText(input, nameAlphabet, 60) + QStringLiteral(" <") + address + QLatin1Char('>');
            break;
        default: {
            QString name = pickText(input, quotedAlphabet, 60);
            name.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
                .replace(QLatin1Char('"'), QStringLiteral("\\\""));
            field += QLatin1Char('"') + name + QStringLiteral("\" <") + address + QLatin1Char('>');
        }
        }
    }
    return field;
}

QByteArray bytesOf(const std::string &text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::string stringOf(QByteArrayView bytes)
{
    return std::string(bytes.data(), static_cast<size_t>(bytes.size()));
}

// The attachment's base64 as the encoder writes it; checked against the
// reference encoder and decoder.
QByteArray encodeAttachment(const std::string &bytes)
{
    const QByteArray encoded = base64::lines(bytesOf(bytes));
    const std::string text = stringOf(encoded);

    const std::string flat = base64Encode(bytes);
    std::string expected;
    for (size_t at = 0; at < flat.size(); at += 72)
        expected += flat.substr(at, 72) + (at + 72 <= flat.size() ? "\r\n" : "");
    FUZZ_CHECK(text == expected);
    std::string joined;
    for (size_t at = 0; at < text.size(); at += 74) {
        const std::string line = text.substr(at, 74);
        FUZZ_CHECK(line.size() < 72 || (line.size() == 74 && line.compare(72, 2, "\r\n") == 0));
        joined += line.substr(0, 72);
    }
    FUZZ_CHECK(base64Decode(joined) == bytes);
    return encoded;
}

// The data as the server receives it between DATA and the end-of-data marker.
std::string wireOf(const Message &message)
{
    std::string wire;
    for (const QByteArray &row : message.rows)
        wire += stringOf(row);
    return wire;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool serverTakes8Bit = input.ConsumeBool();
    const bool keepBreaks = input.ConsumeIntegralInRange(0, 15) == 0;
    const QString from = addressField(input, keepBreaks);
    const QString to = addressField(input, keepBreaks);
    const QString subject = input.ConsumeBool() ? headerText(input, keepBreaks)
                                                : pickText(input, QStringLiteral("ab \u00e9=?"), 300);
    const QString attachmentPath = headerText(input, keepBreaks);
    const std::string bodyBytes = input.ConsumeRandomLengthString(4096);
    const std::string attachment = input.ConsumeRemainingBytesAsString();
    const QString body
        = codepage::decode(QByteArrayView(bodyBytes.data(), static_cast<qsizetype>(bodyBytes.size())));

    const QByteArray encoded = encodeAttachment(attachment);
    const Message message
        = composeMessage(from, to, subject, body, attachmentPath, &encoded, serverTakes8Bit);

    // Refused exactly when a header field could not stand on its line.
    const bool withAttachment = !attachmentPath.trimmed().isEmpty();
    const QString fileName = attachmentPath.mid(
        std::max(attachmentPath.lastIndexOf(QLatin1Char('/')), attachmentPath.lastIndexOf(QLatin1Char('\\')))
        + 1);
    const auto breaks = [](const QString &text) { return text.contains(u'\r') || text.contains(u'\n'); };
    const Envelope envelope = envelopeOf(from, to);
    const bool refused = from.trimmed().isEmpty() || breaks(from) || breaks(to) || breaks(subject)
        || (withAttachment && breaks(fileName)) || !envelope.ok;
    FUZZ_CHECK(message.ok == !refused);
    if (!message.ok)
        return 0;

    // The data on the wire, then the end-of-data marker: no bare CR or LF, and
    // the marker nowhere but at the end.
    const std::string wire = wireOf(message);
    const std::string stream = wire + "\r\n.\r\n";
    FUZZ_CHECK(!startsWith(stream, ".\r\n"));
    FUZZ_CHECK(stream.find("\r\n.\r\n") == stream.size() - 5);
    Lines lines;
    for (size_t start = 0; start < stream.size() - 3;) {
        const size_t end = stream.find("\r\n", start);
        const std::string line = stream.substr(start, end - start);
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        // Every line that starts with a dot was stuffed.
        FUZZ_CHECK(line.empty() || line[0] != '.' || (line.size() >= 2 && line[1] == '.'));
        lines.push_back(line.empty() || line[0] != '.' ? line : line.substr(1));
        start = end + 2;
    }
    // SIZE declares the message before its dots were doubled.
    size_t unstuffed = 0;
    for (const std::string &line : lines)
        unstuffed += line.size() + 2;
    FUZZ_CHECK(message.size() == static_cast<qsizetype>(unstuffed));
    checkHeaderLines(lines);

    // The outer multipart: the text part and, with an attachment, the
    // parallel multipart holding it.
    const Entity mail = splitEntity(lines);
    const std::string boundary = boundaryOf(headerField(mail, "Content-Type"));
    // The envelope's addresses stand in the header; Date and Message-ID are there.
    FUZZ_CHECK(
        headerField(mail, "From").find(" <" + stringOf(envelope.sender.wire) + ">") != std::string::npos);
    for (const Mailbox &recipient : envelope.recipients)
        FUZZ_CHECK(headerField(mail, "To").find("<" + stringOf(recipient.wire) + ">") != std::string::npos);
    FUZZ_CHECK(!headerField(mail, "Date").empty());
    FUZZ_CHECK(headerField(mail, "Message-ID").find("@" + stringOf(envelope.sender.wireDomain()) + ">")
        != std::string::npos);
    const QByteArray subjectBytes = codepage::encode(subject).bytes;
    FUZZ_CHECK(subjectText(headerField(mail, "Subject")) == stringOf(subjectBytes));
    const std::vector<Lines> parts = multipartParts(mail.body, boundary);
    FUZZ_CHECK(parts.size() == (withAttachment ? 2u : 1u));

    checkHeaderLines(parts[0]);
    const Entity text = splitEntity(parts[0]);
    for (const std::string &line : text.body) {
        FUZZ_CHECK(!startsWith(line, "--" + boundary));
        FUZZ_CHECK(line.size() <= 998);
    }
    const std::string encoding = lower(headerField(text, "Content-Transfer-Encoding"));
    std::optional<std::string> decoded = joinCrLf(text.body);
    if (encoding == " quoted-printable") {
        for (const std::string &line : text.body)
            FUZZ_CHECK(line.size() <= 76);
        decoded = quotedPrintableDecode(text.body);
        FUZZ_CHECK(decoded.has_value());
    } else {
        FUZZ_CHECK(encoding.empty() || encoding == " 8bit");
    }
    if (!serverTakes8Bit || encoding.empty())
        for (const std::string &line : text.body)
            for (char c : line)
                FUZZ_CHECK(static_cast<unsigned char>(c) < 0x80);
    // The text part ends with one line break more than the body.
    FUZZ_CHECK(*decoded == withCrLf(bodyBytes) + "\r\n");

    if (withAttachment) {
        checkHeaderLines(parts[1]);
        const Entity parallel = splitEntity(parts[1]);
        const std::string inner = boundaryOf(headerField(parallel, "Content-Type"));
        FUZZ_CHECK(!startsWith(inner, boundary) && !startsWith(boundary, inner));
        const std::vector<Lines> innerParts = multipartParts(parallel.body, inner);
        FUZZ_CHECK(innerParts.size() == 1);
        checkHeaderLines(innerParts[0]);
        const Entity file = splitEntity(innerParts[0]);
        FUZZ_CHECK(lower(headerField(file, "Content-Transfer-Encoding")) == " base64");
        // The exact name in `filename`; in `name` the same when it is ASCII,
        // else a plain ASCII form of it.
        const std::string name = stringOf(fileName.toUtf8());
        const std::optional<std::string> plainName
            = parameterValue(headerField(file, "Content-Type"), "name");
        FUZZ_CHECK(plainName.has_value());
        for (char c : *plainName)
            FUZZ_CHECK(static_cast<unsigned char>(c) < 0x80);
        if (isAscii(fileName.toUtf8()) && name.size() <= 900)
            FUZZ_CHECK(plainName == name);
        FUZZ_CHECK(parameterValue(headerField(file, "Content-Disposition"), "filename") == name);
        std::string base64;
        for (const std::string &line : file.body) {
            FUZZ_CHECK(line.size() <= 72);
            base64 += line;
        }
        FUZZ_CHECK(base64Decode(base64) == attachment);
    }
    return 0;
}
