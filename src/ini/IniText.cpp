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

std::optional<Line> nextHead(QByteArrayView text, qsizetype from)
{
    const char *data = text.data();
    const qsizetype size = text.size();
    for (qsizetype at = from; at < size;) {
        const void *bracket = std::memchr(data + at, '[', static_cast<size_t>(size - at));
        if (!bracket)
            return std::nullopt;
        const qsizetype p = static_cast<const char *>(bracket) - data;
        // A "[" begins a line at `from`, after a CR, or after a CR LF; after a
        // lone LF it is inside a line.
        const bool lineStart =
            p == from || data[p - 1] == '\r' || (data[p - 1] == '\n' && p >= 2 && data[p - 2] == '\r');
        if (lineStart)
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
    forEachLine(text, [&](const Line &line) {
        const QByteArrayView bytes = view(text, line);
        if (isHead(bytes))
            names.append(headName(bytes).toByteArray());
        return true;
    });
    return names;
}

Section findSection(QByteArrayView text, QByteArrayView pattern)
{
    Section section;
    qsizetype at = 0;
    while (at < text.size()) {
        const Line line = lineAt(text, at);
        at = line.next;
        if (view(text, line).startsWith(pattern)) {
            section.found = true;
            section.head = line;
            break;
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
        return {line, {}};
    return {line.first(eq), line.sliced(eq + 1)};
}

} // namespace ini
