// The attachment's base64 and the whole MIME message, read back by a plain
// reader written here: the base64 lines decode to the file's bytes in lines of
// 72; the data never holds the end-of-data marker before its end; undoing the
// dot-stuffing, the multipart and the transfer encodings gives back the body
// (line ends as CR LF) and the attachment exactly; no line of the text part is
// a delimiter of the chosen boundary. The fields come from FuzzedDataProvider.

#include "FuzzCheck.h"

#include "TestFiles.h"
#include "mail/modSendmail.h"
#include "platform/CodePage.h"
#include "platform/FileLoader.h"
#include "platform/TextBuffer.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <optional>
#include <string>
#include <vector>

using namespace modSendmail;

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
// string with backslash escapes, or the RFC 2231 form charset''%XX.
std::optional<std::string> parameterValue(const std::string &field, const std::string &name)
{
    const size_t plain = field.find(" " + name + "=");
    const size_t extended = field.find(" " + name + "*=");
    if (extended != std::string::npos && (plain == std::string::npos || extended < plain)) {
        const std::string prefix = " " + name + "*=windows-1252''";
        FUZZ_CHECK(field.compare(extended, prefix.size(), prefix) == 0);
        std::string value;
        for (size_t i = extended + prefix.size(); i < field.size() && field[i] != ';'; ++i) {
            if (field[i] != '%') {
                value += field[i];
                continue;
            }
            FUZZ_CHECK(i + 2 < field.size() && hexValue(field[i + 1]) >= 0 && hexValue(field[i + 2]) >= 0);
            value += static_cast<char>(hexValue(field[i + 1]) * 16 + hexValue(field[i + 2]));
            i += 2;
        }
        return value;
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
    static QTemporaryDir folder;
    const QString path = writeFile(folder, QStringLiteral("attachment"), bytesOf(bytes));
    FUZZ_CHECK(!path.isEmpty());

    FileLoader loader;
    TextBuffer output;
    FUZZ_CHECK(EncodeAttachment(path, loader, output).ok);
    const std::string text = stringOf(output.Text());

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
    return output.Text();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The encoder processes events while it works.
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool serverTakes8Bit = input.ConsumeBool();
    const bool keepBreaks = input.ConsumeIntegralInRange(0, 15) == 0;
    const QString from = headerText(input, keepBreaks);
    const QString to = headerText(input, keepBreaks);
    const QString subject = headerText(input, keepBreaks);
    const QString attachmentPath = headerText(input, keepBreaks);
    const std::string bodyBytes = input.ConsumeRandomLengthString(4096);
    const std::string attachment = input.ConsumeRemainingBytesAsString();
    const QString body
        = codepage::decode(QByteArrayView(bodyBytes.data(), static_cast<qsizetype>(bodyBytes.size())));

    const QByteArray encoded = encodeAttachment(attachment);
    const Message message
        = ComposeMessage(from, to, subject, body, attachmentPath, &encoded, serverTakes8Bit);

    // Refused exactly when a header field could not stand on its line.
    const bool withAttachment = !attachmentPath.trimmed().isEmpty();
    const QString fileName = attachmentPath.mid(
        std::max(attachmentPath.lastIndexOf(QLatin1Char('/')), attachmentPath.lastIndexOf(QLatin1Char('\\')))
        + 1);
    const auto breaks = [](const QString &text) { return text.contains(u'\r') || text.contains(u'\n'); };
    const bool refused = from.trimmed().isEmpty() || breaks(from) || breaks(to) || breaks(subject)
        || (withAttachment && breaks(fileName));
    FUZZ_CHECK(message.ok == !refused);
    if (!message.ok)
        return 0;

    // The data on the wire, then the end-of-data marker: no bare CR or LF, and
    // the marker nowhere but at the end.
    const std::string wire = stringOf(message.joined());
    FUZZ_CHECK(message.size() == static_cast<qsizetype>(wire.size()) + 2);
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

    // The outer multipart: the text part and, with an attachment, the
    // parallel multipart holding it.
    const Entity mail = splitEntity(lines);
    const std::string boundary = boundaryOf(headerField(mail, "Content-Type"));
    const QByteArray subjectBytes = codepage::encode(subject).bytes;
    FUZZ_CHECK(subjectText(headerField(mail, "Subject")) == stringOf(subjectBytes));
    const std::vector<Lines> parts = multipartParts(mail.body, boundary);
    FUZZ_CHECK(parts.size() == (withAttachment ? 2u : 1u));

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
        const Entity parallel = splitEntity(parts[1]);
        const std::string inner = boundaryOf(headerField(parallel, "Content-Type"));
        const std::vector<Lines> innerParts = multipartParts(parallel.body, inner);
        FUZZ_CHECK(innerParts.size() == 1);
        const Entity file = splitEntity(innerParts[0]);
        FUZZ_CHECK(lower(headerField(file, "Content-Transfer-Encoding")) == " base64");
        const std::string name = stringOf(codepage::encode(fileName).bytes);
        FUZZ_CHECK(parameterValue(headerField(file, "Content-Type"), "name") == name);
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
