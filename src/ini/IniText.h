#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

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
    qsizetype end = 0;   // one past its last byte, before the line end
    qsizetype next = 0;  // first byte of the following line (the text's size at the end)

    qsizetype length() const { return end - begin; }
    bool hasLineEnd() const { return next > end; }
};

// The line that starts at `from`; `from` must be below the text's size.
Line lineAt(QByteArrayView text, qsizetype from);

// Calls f(const Line &) for every line in order; f returns false to stop early.
template <class F>
void forEachLine(QByteArrayView text, F &&f)
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

} // namespace ini
