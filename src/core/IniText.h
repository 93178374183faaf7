#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include "core/CodePage.h"

#include <cstring>
#include <optional>

// How the program reads a settings file's bytes. One line model and one head
// rule serve every reader and the profile writer, and they are the rules the
// emulator's own profile functions follow, so what one side writes the others
// find where the emulator finds it:
//
// - A line ends at CR LF, at a lone LF or at a lone CR; the line end is not
//   part of the line. (LF CR is two line ends: an LF, then an empty line.)
// - A UTF-8 byte-order mark at the start of the text is not part of the first
//   line. A text that begins with a UTF-16 byte-order mark is not read as
//   8-bit lines at all by the writers: they refuse it.
// - Blanks are space, tab, vertical tab, form feed and Ctrl-Z (0x1A): the
//   emulator's profile functions pass over all five alike, before a head's "["
//   and around names and keys, so the writer must too or it would miss a head
//   or key the emulator reads and add a second one that it never sees.
// - A head is a line whose first byte other than blanks is "["
//   and that holds a "]" after it. Its name is what stands between that "[" and
//   the line's last "]", without the blanks around it; whatever follows the
//   last "]" (a comment, say) is ignored. A line such as "[broken" without a
//   "]" is no head: it is a line of the section it stands in, like any key
//   line (a key without "=").
// - A section's body, as the editor lists it, is the lines after its head up
//   to the next head, the first empty line, or the end of the text. Each body
//   line is a key line, split at its first "=" into key and value; a line
//   without "=" is a key with an empty value.
//
// Everything works on byte offsets into the caller's buffer; nothing is copied
// until a caller asks for a name.
namespace ini {

// How a text's bytes stand for characters, told by its byte-order mark.
enum class Encoding {
    Ansi, // no byte-order mark: the program's 8-bit code page
    Utf8, // EF BB BF
    Utf16, // FF FE or FE FF: refused by the writers
};

Encoding encodingOf(QByteArrayView text);

// Where the first line begins: after a UTF-8 byte-order mark, else at 0.
qsizetype textStart(QByteArrayView text);

// Why a UTF-16 text is not written, for messages: "The file " + this.
QString utf16Reason();

// Text of the program to bytes of a file in `encoding`, and back. The code
// page reports a character it cannot hold; UTF-8 holds every one.
codepage::Encoded encode(QStringView text, Encoding encoding);
QString decode(QByteArrayView bytes, Encoding encoding);

// The first line end (CR LF, LF or CR) at or after `from`, or nothing.
const char *findLineEnd(const char *from, const char *end);

struct Line {
    qsizetype begin = 0; // first byte of the line
    qsizetype end = 0; // one past its last byte, before the line end
    qsizetype next = 0; // first byte of the following line (the text's size at the end)

    qsizetype length() const { return end - begin; }
    bool hasLineEnd() const { return next > end; }
};

// The line that starts at `from`; `from` must be below the text's size.
Line lineAt(QByteArrayView text, qsizetype from);

inline QByteArrayView view(QByteArrayView text, const Line &line)
{
    return text.sliced(line.begin, line.length());
}

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a';
}

QByteArrayView withoutBlanks(QByteArrayView bytes);

// The name of a head line (a line without its line end), or nothing when the
// line is no head.
std::optional<QByteArrayView> headName(QByteArrayView line);

inline bool isHead(QByteArrayView line)
{
    return headName(line).has_value();
}

// True when the text's last line is closed by a line end (CR or LF).
inline bool endsWithLineEnd(QByteArrayView text)
{
    return text.endsWith('\r') || text.endsWith('\n');
}

// The first head line that starts at or after `from`, which must be the start
// of a line; nothing when there is none. Skips the lines between without
// looking at them, so it is the fast way through a large text.
std::optional<Line> nextHead(QByteArrayView text, qsizetype from);

// Finds the head lines of a text that arrives in pieces (a file read in
// blocks), in order, keeping nothing but an unfinished head line between
// pieces. A piece may end anywhere, also between the CR and LF of a line end
// or inside a byte-order mark. It looks only at the "[" bytes of the text and
// the blanks and line end before them, so it runs at memchr speed.
class HeadReader {
public:
    // Calls f(offset, headLine) for each head line completed by this piece,
    // with the offset of its "[" in the whole text and its bytes from that "["
    // to the line end; f returns false to stop. Returns false when f stopped it.
    template <class F> bool feed(QByteArrayView piece, F &&f);
    // The end of the text: reports a head line that had no line end.
    template <class F> void finish(F &&f);

    // The encoding that the text's first bytes announce.
    Encoding encoding() const { return encodingOf(m_first); }

private:
    // Whether position `at` of the piece is the start of a line.
    bool lineStartBefore(const char *data, qsizetype at) const;
    void noteFirstBytes(QByteArrayView piece);
    void advance(QByteArrayView piece);

    qsizetype m_offset = 0; // offset of the next piece in the whole text
    QByteArray m_first; // the text's first (up to three) bytes
    qsizetype m_start = 0; // where the first line begins, once m_first is whole
    // Only blanks stand between the last line start and the next piece.
    bool m_blankLineSoFar = true;
    bool m_inHead = false; // a head line began and its line end is still to come
    QByteArray m_pending;
    qsizetype m_pendingOffset = 0;
};

struct Section {
    bool found = false;
    Line head;
    QList<Line> keyLines; // the body
    // Where the body stops: the first byte of the line that ends it (an empty
    // line or the next head), or the text's size.
    qsizetype bodyEnd = 0;
};

// The first section whose head's name is `name` (exact bytes, letter case
// included), with its body.
Section findSection(QByteArrayView text, QByteArrayView name);

struct KeyValue {
    QByteArrayView key;
    QByteArrayView value;
};

// Splits a key line at its first "="; without one, the whole line is the key.
KeyValue splitKeyLine(QByteArrayView line);

template <class F> bool HeadReader::feed(QByteArrayView piece, F &&f)
{
    noteFirstBytes(piece);
    const char *data = piece.data();
    const qsizetype size = piece.size();
    qsizetype pos = 0;
    if (m_inHead) {
        const char *end = findLineEnd(data, data + size);
        if (!end) {
            m_pending.append(piece);
            advance(piece);
            return true;
        }
        m_pending.append(data, end - data);
        m_inHead = false;
        const bool head = isHead(m_pending);
        if (head && !f(m_pendingOffset, QByteArrayView(m_pending))) {
            advance(piece);
            return false;
        }
        pos = end - data + 1;
    }
    while (pos < size) {
        const void *hit = std::memchr(data + pos, '[', static_cast<size_t>(size - pos));
        if (!hit)
            break;
        const qsizetype at = static_cast<const char *>(hit) - data;
        qsizetype first = at; // the first of the blanks before the "["
        while (first > 0 && isBlank(data[first - 1]))
            --first;
        if (!lineStartBefore(data, first)) {
            pos = at + 1;
            continue;
        }
        const char *end = findLineEnd(data + at, data + size);
        if (!end) {
            m_inHead = true;
            m_pending = QByteArray(data + at, size - at);
            m_pendingOffset = m_offset + at;
            break;
        }
        const QByteArrayView line(data + at, end - (data + at));
        if (isHead(line) && !f(m_offset + at, line)) {
            advance(piece);
            return false;
        }
        pos = end - data + 1;
    }
    advance(piece);
    return true;
}

template <class F> void HeadReader::finish(F &&f)
{
    if (!m_inHead)
        return;
    m_inHead = false;
    if (isHead(m_pending))
        f(m_pendingOffset, QByteArrayView(m_pending));
}

} // namespace ini
