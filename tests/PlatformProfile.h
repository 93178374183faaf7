#pragma once

// A settings-file reader with the emulator's profile rules, written plainly
// and apart from the program's own line model, so that tests can check what
// the emulator would see in a file the program wrote:
// - a line ends at CR LF, LF or CR; a leading UTF-8 byte-order mark is skipped;
// - blanks (space, tab) around a line are ignored, and so are empty lines;
// - a line whose first byte is "[" and that holds a "]" starts a section named
//   by what stands between the "[" and the last "]", blanks trimmed;
// - any other line in a section is a key line: key before the first "=",
//   value after it (none: an empty value), both trimmed;
// - a lookup takes the first section whose name matches, letter case ignored,
//   and in it the first matching key.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace platformprofile {

struct Key {
    QByteArray name;
    QByteArray value;
    bool operator==(const Key &) const = default;
};

struct Section {
    QByteArray name;
    QList<Key> keys;
    bool operator==(const Section &) const = default;
};

inline QByteArray trimmed(const QByteArray &bytes)
{
    qsizetype from = 0;
    qsizetype to = bytes.size();
    while (from < to && (bytes[from] == ' ' || bytes[from] == '\t'))
        ++from;
    while (to > from && (bytes[to - 1] == ' ' || bytes[to - 1] == '\t'))
        --to;
    return bytes.mid(from, to - from);
}

inline QList<QByteArray> lines(QByteArray text)
{
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    QList<QByteArray> out;
    QByteArray line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out.append(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line.append(c);
        }
    }
    if (!line.isEmpty())
        out.append(line);
    return out;
}

inline QList<Section> read(const QByteArray &text)
{
    QList<Section> sections;
    for (const QByteArray &raw : lines(text)) {
        const QByteArray line = trimmed(raw);
        if (line.isEmpty())
            continue;
        const qsizetype close = line.lastIndexOf(']');
        if (line.startsWith('[') && close > 0) {
            sections.append({ trimmed(line.mid(1, close - 1)), {} });
            continue;
        }
        if (sections.isEmpty())
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            sections.last().keys.append({ line, {} });
        else
            sections.last().keys.append({ trimmed(line.left(eq)), trimmed(line.mid(eq + 1)) });
    }
    return sections;
}

inline QList<QByteArray> names(const QByteArray &text)
{
    QList<QByteArray> out;
    for (const Section &section : read(text))
        out.append(section.name);
    return out;
}

// Letter case ignored as the tests need it: in the code page for a plain
// file, in UTF-8 for one with a byte-order mark.
inline bool sameName(const QByteArray &a, const QByteArray &b, bool utf8)
{
    if (utf8)
        return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
    return QString::fromLatin1(a).compare(QString::fromLatin1(b), Qt::CaseInsensitive) == 0;
}

// Where the emulator finds the section, or -1.
inline qsizetype sectionIndex(const QList<Section> &sections, const QByteArray &name, bool utf8)
{
    for (qsizetype i = 0; i < sections.size(); ++i)
        if (sameName(sections[i].name, trimmed(name), utf8))
            return i;
    return -1;
}

// The value the emulator reads for the key, or nothing.
inline std::optional<QByteArray> value(
    const QByteArray &text, const QByteArray &section, const QByteArray &key)
{
    const bool utf8 = text.startsWith("\xEF\xBB\xBF");
    const QList<Section> sections = read(text);
    const qsizetype at = sectionIndex(sections, section, utf8);
    if (at < 0)
        return std::nullopt;
    for (const Key &k : sections[at].keys)
        if (sameName(k.name, trimmed(key), utf8))
            return k.value;
    return std::nullopt;
}

} // namespace platformprofile
