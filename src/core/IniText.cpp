#include "core/IniText.h"

#include <algorithm>
#include <cstring>

namespace ini {

namespace {

constexpr QByteArrayView kUtf8Mark("\xEF\xBB\xBF");

} // namespace

Encoding encodingOf(QByteArrayView text)
{
    if (text.startsWith(kUtf8Mark))
        return Encoding::Utf8;
    if (text.startsWith("\xFF\xFE") || text.startsWith("\xFE\xFF"))
        return Encoding::Utf16;
    return Encoding::Ansi;
}

qsizetype textStart(QByteArrayView text)
{
    return text.startsWith(kUtf8Mark) ? kUtf8Mark.size() : 0;
}

QString utf16Reason()
{
    return QStringLiteral(
        "is a UTF-16 file (it begins with a UTF-16 byte-order mark), and this program writes only "
        "8-bit and UTF-8 settings files: 8-bit lines would corrupt it");
}

codepage::Encoded encode(QStringView text, Encoding encoding)
{
    if (encoding == Encoding::Utf8) {
        codepage::Encoded out;
        out.bytes = text.toUtf8();
        return out;
    }
    return codepage::encode(text);
}

QString decode(QByteArrayView bytes, Encoding encoding)
{
    return encoding == Encoding::Utf8 ? QString::fromUtf8(bytes) : codepage::decode(bytes);
}

const char *findLineEnd(const char *from, const char *end)
{
    // Two memchr calls over bounded steps: linear in the text whichever of the
    // two bytes it lacks (an LF file has no CR at all), far faster than testing
    // byte by byte, and short first steps for the usual short line.
    for (qsizetype step = 128; from < end; step = std::min<qsizetype>(step * 2, 64 * 1024)) {
        const size_t n = static_cast<size_t>(std::min<qsizetype>(step, end - from));
        const void *cr = std::memchr(from, '\r', n);
        const size_t beforeCr = cr ? static_cast<size_t>(static_cast<const char *>(cr) - from) : n;
        if (const void *lf = std::memchr(from, '\n', beforeCr))
            return static_cast<const char *>(lf);
        if (cr)
            return static_cast<const char *>(cr);
        from += n;
    }
    return nullptr;
}

Line lineAt(QByteArrayView text, qsizetype from)
{
    const char *data = text.data();
    const qsizetype size = text.size();
    const char *found = findLineEnd(data + from, data + size);
    Line line;
    line.begin = from;
    if (!found) {
        line.end = line.next = size;
        return line;
    }
    line.end = found - data;
    line.next = line.end + 1;
    if (*found == '\r' && line.next < size && data[line.next] == '\n')
        ++line.next;
    return line;
}

QByteArrayView withoutBlanks(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && isBlank(bytes.front()))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && isBlank(bytes.back()))
        bytes.chop(1);
    return bytes;
}

std::optional<QByteArrayView> headName(QByteArrayView line)
{
    qsizetype open = 0;
    while (open < line.size() && isBlank(line[open]))
        ++open;
    if (open == line.size() || line[open] != '[')
        return std::nullopt;
    const qsizetype close = line.lastIndexOf(']');
    if (close <= open)
        return std::nullopt;
    return withoutBlanks(line.sliced(open + 1, close - open - 1));
}

namespace {

// Whether a line begins at offset `at` of a text whose first line begins at
// `start` (after a UTF-8 byte-order mark, else 0): at the text's start, where
// its first line starts, or after a line end; `before` is the byte at `at - 1`.
// The one rule for where a head's line may begin, whether the text is read
// whole or in pieces.
inline bool beginsLine(qsizetype at, char before, qsizetype start)
{
    return at == 0 || before == '\r' || before == '\n' || at == start;
}

// Whether the line that holds `at` begins with only blanks before `at`; gives
// that line's start.
std::optional<qsizetype> lineStartBefore(QByteArrayView text, qsizetype at, qsizetype start)
{
    qsizetype first = at;
    while (first > 0 && isBlank(text[first - 1]))
        --first;
    if (beginsLine(first, first > 0 ? text[first - 1] : '\0', start))
        return first;
    return std::nullopt;
}

} // namespace

std::optional<Line> nextHead(QByteArrayView text, qsizetype from)
{
    const char *data = text.data();
    const qsizetype size = text.size();
    const qsizetype start = textStart(text);
    for (qsizetype at = from; at < size;) {
        const void *bracket = std::memchr(data + at, '[', static_cast<size_t>(size - at));
        if (!bracket)
            return std::nullopt;
        const qsizetype p = static_cast<const char *>(bracket) - data;
        std::optional<qsizetype> begin = lineStartBefore(text, p, start);
        // `from` starts a line whatever stands before it.
        if (!begin && withoutBlanks(text.sliced(from, p - from)).isEmpty())
            begin = from;
        if (begin && *begin >= from) {
            const Line line = lineAt(text, *begin);
            if (isHead(view(text, line)))
                return line;
            at = line.next;
            continue;
        }
        at = p + 1;
    }
    return std::nullopt;
}

bool HeadReader::lineStartBefore(const char *data, qsizetype at) const
{
    if (at == 0)
        return m_blankLineSoFar;
    return beginsLine(m_offset + at, data[at - 1], m_start);
}

void HeadReader::noteFirstBytes(QByteArrayView piece)
{
    if (m_first.size() < kUtf8Mark.size()) {
        m_first.append(piece.first(std::min(kUtf8Mark.size() - m_first.size(), piece.size())));
        m_start = textStart(m_first);
    }
}

void HeadReader::advance(QByteArrayView piece)
{
    qsizetype first = piece.size();
    while (first > 0 && isBlank(piece[first - 1]))
        --first;
    if (first > 0)
        m_blankLineSoFar = lineStartBefore(piece.data(), first);
    m_offset += piece.size();
}

Section findSection(QByteArrayView text, QByteArrayView name)
{
    Section section;
    section.bodyEnd = text.size();
    for (std::optional<Line> head = nextHead(text, textStart(text)); head;
         head = nextHead(text, head->next)) {
        if (*headName(view(text, *head)) == name) {
            section.found = true;
            section.head = *head;
            break;
        }
    }
    if (!section.found)
        return section;
    for (qsizetype at = section.head.next; at < text.size();) {
        const Line line = lineAt(text, at);
        const QByteArrayView bytes = view(text, line);
        if (bytes.isEmpty() || isHead(bytes)) {
            section.bodyEnd = line.begin;
            break;
        }
        section.keyLines.append(line);
        at = line.next;
    }
    return section;
}

KeyValue splitKeyLine(QByteArrayView line)
{
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return { line, {} };
    return { line.first(eq), line.sliced(eq + 1) };
}

} // namespace ini
