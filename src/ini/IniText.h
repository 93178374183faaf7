#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>
#include <cstring>

// How the program reads a settings file's bytes. One line model serves every
// reader and the profile writer, so what one side writes the other finds:
//
// - A line ends at CR LF or at a lone CR; the line end is not part of the line.
//   A lone LF is no line end: it stays inside the line as an ordinary byte.
// - A head is a line whose first byte is "["; its name is the line without its
//   first and its last byte, whatever that last byte is ("[" alone names "").
// - A section's body is the lines after its head up to the next head, the first
//   empty line, or the end of the text. Each body line is a key line, split at
//   its first "=" into key and value; a line without "=" is a key with an empty
//   value.
//
// Everything works on byte offsets into the caller's buffer; nothing is copied
// until a caller asks for a name.
namespace ini {

struct Line {
    qsizetype begin = 0; // first byte of the line
    qsizetype end = 0; // one past its last byte, before the line end
    qsizetype next = 0; // first byte of the following line (the text's size at the end)

    qsizetype length() const { return end - begin; }
    bool hasLineEnd() const { return next > end; }
};

// The line that starts at `from`; `from` must be below the text's size.
Line lineAt(QByteArrayView text, qsizetype from);

// Calls f(const Line &) for every line in order; f returns false to stop early.
template <class F> void forEachLine(QByteArrayView text, F &&f)
{
    for (qsizetype at = 0; at < text.size();) {
        const Line line = lineAt(text, at);
        if (!f(line))
            return;
        at = line.next;
    }
}

inline QByteArrayView view(QByteArrayView text, const Line &line)
{
    return text.sliced(line.begin, line.length());
}

inline bool isHead(QByteArrayView line)
{
    return !line.isEmpty() && line.front() == '[';
}

// The first head line that starts at or after `from`, which must be the start
// of a line; nothing when there is none. Skips the lines between without
// looking at them, so it is the fast way through a large text.
std::optional<Line> nextHead(QByteArrayView text, qsizetype from);

// The name a head line lists: without its first and last byte.
QByteArrayView headName(QByteArrayView headLine);

// "[" + name + "]", the pattern a section is found by.
QByteArray headPattern(QByteArrayView name);

// Every head's name, in file order, duplicates kept.
QList<QByteArray> sectionNames(QByteArrayView text);

// Finds the head lines of a text that arrives in pieces (a file read in
// blocks), in order, keeping nothing but an unfinished head line between
// pieces. A piece may end anywhere, also between the CR and LF of a line end.
// It looks only at the "[" bytes of the text and the bytes before them, so it
// runs at memchr speed over large files.
class HeadReader {
public:
    // Calls f(offset, headLine) for each head line completed by this piece,
    // with the line's offset in the whole text and its bytes without the line
    // end; f returns false to stop. Returns false when f stopped it.
    template <class F> bool feed(QByteArrayView piece, F &&f);
    // The end of the text: reports a head line that had no line end.
    template <class F> void finish(F &&f);

private:
    void advance(QByteArrayView piece);

    qsizetype m_offset = 0; // offset of the next piece in the whole text
    // The two bytes before the next piece; the text's start counts as a line start.
    char m_before[2] = { '\0', '\r' };
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

// The first section whose head line begins with `pattern` (exact bytes, letter
// case included; anything may follow on the head line), with its body.
Section findSection(QByteArrayView text, QByteArrayView pattern);

struct KeyValue {
    QByteArrayView key;
    QByteArrayView value;
};

// Splits a key line at its first "="; without one, the whole line is the key.
KeyValue splitKeyLine(QByteArrayView line);

template <class F> bool HeadReader::feed(QByteArrayView piece, F &&f)
{
    const char *data = piece.data();
    const qsizetype size = piece.size();
    qsizetype pos = 0;
    if (m_inHead) {
        const void *cr = std::memchr(data, '\r', static_cast<size_t>(size));
        if (!cr) {
            m_pending.append(piece);
            advance(piece);
            return true;
        }
        const qsizetype end = static_cast<const char *>(cr) - data;
        m_pending.append(data, end);
        m_inHead = false;
        if (!f(m_pendingOffset, QByteArrayView(m_pending))) {
            advance(piece);
            return false;
        }
        pos = end + 1;
    }
    while (pos < size) {
        const void *hit = std::memchr(data + pos, '[', static_cast<size_t>(size - pos));
        if (!hit)
            break;
        const qsizetype at = static_cast<const char *>(hit) - data;
        // A line starts after a CR, or after the LF of a CR LF.
        const char before = at >= 1 ? data[at - 1] : m_before[1];
        const char beforeThat = at >= 2 ? data[at - 2] : at == 1 ? m_before[1] : m_before[0];
        if (before != '\r' && !(before == '\n' && beforeThat == '\r')) {
            pos = at + 1;
            continue;
        }
        const void *cr = std::memchr(data + at, '\r', static_cast<size_t>(size - at));
        if (!cr) {
            m_inHead = true;
            m_pending = QByteArray(data + at, size - at);
            m_pendingOffset = m_offset + at;
            break;
        }
        const qsizetype end = static_cast<const char *>(cr) - data;
        if (!f(m_offset + at, QByteArrayView(data + at, end - at))) {
            advance(piece);
            return false;
        }
        pos = end + 1;
    }
    advance(piece);
    return true;
}

template <class F> void HeadReader::finish(F &&f)
{
    if (!m_inHead)
        return;
    m_inHead = false;
    f(m_pendingOffset, QByteArrayView(m_pending));
}

} // namespace ini
