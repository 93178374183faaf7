#include "ini/IniText.h"

#include <cstring>

namespace ini {

Line lineAt(QByteArrayView text, qsizetype from)
{
    const char *data = text.data();
    const qsizetype size = text.size();
    const void *cr = std::memchr(data + from, '\r', static_cast<size_t>(size - from));
    Line line;
    line.begin = from;
    if (!cr) {
        line.end = line.next = size;
        return line;
    }
    line.end = static_cast<const char *>(cr) - data;
    line.next = line.end + 1;
    if (line.next < size && data[line.next] == '\n')
        ++line.next;
    return line;
}

namespace {

// A line starts at the text's start or right after a line end (CR, or CR LF).
bool startsLine(QByteArrayView text, qsizetype at)
{
    if (at == 0)
        return true;
    const char before = text[at - 1];
    return before == '\r' || (before == '\n' && at >= 2 && text[at - 2] == '\r');
}

} // namespace

std::optional<Line> nextHead(QByteArrayView text, qsizetype from)
{
    const char *data = text.data();
    const qsizetype size = text.size();
    for (qsizetype at = from; at < size;) {
        const void *bracket = std::memchr(data + at, '[', static_cast<size_t>(size - at));
        if (!bracket)
            return std::nullopt;
        const qsizetype p = static_cast<const char *>(bracket) - data;
        // After a lone LF a "[" is inside a line.
        if (p == from || startsLine(text, p))
            return lineAt(text, p);
        at = p + 1;
    }
    return std::nullopt;
}

QByteArrayView headName(QByteArrayView headLine)
{
    if (headLine.size() < 2)
        return {};
    return headLine.sliced(1, headLine.size() - 2);
}

QByteArray headPattern(QByteArrayView name)
{
    QByteArray pattern;
    pattern.reserve(name.size() + 2);
    pattern.append('[').append(name).append(']');
    return pattern;
}

QList<QByteArray> sectionNames(QByteArrayView text)
{
    QList<QByteArray> names;
    const auto add = [&](qsizetype, QByteArrayView line) {
        names.append(headName(line).toByteArray());
        return true;
    };
    HeadReader reader;
    reader.feed(text, add);
    reader.finish(add);
    return names;
}

void HeadReader::advance(QByteArrayView piece)
{
    if (piece.size() >= 2) {
        m_before[0] = piece[piece.size() - 2];
        m_before[1] = piece[piece.size() - 1];
    } else if (piece.size() == 1) {
        m_before[0] = m_before[1];
        m_before[1] = piece[0];
    }
    m_offset += piece.size();
}

Section findSection(QByteArrayView text, QByteArrayView pattern)
{
    Section section;
    qsizetype at = 0;
    if (pattern.isEmpty()) {
        // Every line begins with nothing: the first line is the head.
        if (!text.isEmpty()) {
            section.found = true;
            section.head = lineAt(text, 0);
            at = section.head.next;
        }
    } else if (!pattern.contains('\r')) {
        // (A CR ends a line, so no line holds a pattern with one.)
        // Look for the pattern itself and keep the first hit that starts a
        // line: far fewer steps than testing every line of a large file.
        const char *data = text.data();
        for (qsizetype from = 0; from <= text.size() - pattern.size();) {
            const void *hit = memmem(data + from, static_cast<size_t>(text.size() - from), pattern.data(),
                static_cast<size_t>(pattern.size()));
            if (!hit)
                break;
            const qsizetype pos = static_cast<const char *>(hit) - data;
            if (startsLine(text, pos)) {
                section.found = true;
                section.head = lineAt(text, pos);
                at = section.head.next;
                break;
            }
            from = pos + 1;
        }
    }
    section.bodyEnd = text.size();
    if (!section.found)
        return section;
    while (at < text.size()) {
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
