#pragma once

// A settings-file reader with the emulator's profile rules, written plainly
// and apart from the program's own line model, so that tests and fuzz targets
// can check what the emulator would see in a file the program wrote:
// - a line ends at CR LF, LF or CR; a leading UTF-8 byte-order mark is skipped;
// - blanks (space, tab, vertical tab, form feed, Ctrl-Z) around a line are
//   ignored, and so are empty lines;
// - a line whose first byte is "[" and that holds a "]" starts a section named
//   by what stands between the "[" and the last "]", blanks trimmed;
// - any other line in a section is a key line: key before the first "=",
//   value after it (none: an empty value), both trimmed;
// - a lookup takes the first section whose name matches, letter case ignored
//   (in the code page for a plain file, in UTF-8 for one with a byte-order
//   mark), and in it the first matching key.
// It also tells what the editor lists for a section (editorKeys), by the same
// plain line rules.

#include "core/CodePage.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <algorithm>
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

struct Line {
    QByteArray content;
    QByteArray end; // "\r\n", "\n", "\r" or "" for a last line without one
    bool operator==(const Line &) const = default;
};

inline bool hasUtf8Mark(const QByteArray &text)
{
    return text.startsWith("\xEF\xBB\xBF");
}

inline bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a';
}

inline QByteArray trimmed(const QByteArray &bytes)
{
    qsizetype from = 0;
    qsizetype to = bytes.size();
    while (from < to && blank(bytes[from]))
        ++from;
    while (to > from && blank(bytes[to - 1]))
        --to;
    return bytes.mid(from, to - from);
}

// The lines with their line ends, a UTF-8 byte-order mark as a line of its own
// without a line end.
inline QList<Line> linesWithEnds(const QByteArray &text)
{
    QList<Line> lines;
    qsizetype at = 0;
    if (hasUtf8Mark(text)) {
        lines.append({ text.first(3), {} });
        at = 3;
    }
    QByteArray content;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c != '\r' && c != '\n') {
            content += c;
            continue;
        }
        const bool crLf = c == '\r' && at + 1 < text.size() && text[at + 1] == '\n';
        lines.append({ content, crLf ? QByteArray("\r\n") : QByteArray(1, c) });
        content.clear();
        at += crLf ? 1 : 0;
    }
    if (!content.isEmpty())
        lines.append({ content, {} });
    return lines;
}

// The lines without their line ends and without a byte-order mark.
inline QList<QByteArray> lines(const QByteArray &text)
{
    QList<QByteArray> out;
    for (const Line &line : linesWithEnds(text))
        out.append(line.content);
    if (hasUtf8Mark(text))
        out.removeFirst();
    return out;
}

// The section name a line starts, or nothing.
inline std::optional<QByteArray> headName(const QByteArray &line)
{
    const QByteArray bare = trimmed(line);
    const qsizetype close = bare.lastIndexOf(']');
    if (!bare.startsWith('[') || close <= 0)
        return std::nullopt;
    return trimmed(bare.mid(1, close - 1));
}

inline QList<Section> read(const QByteArray &text)
{
    QList<Section> sections;
    for (const QByteArray &raw : lines(text)) {
        const QByteArray line = trimmed(raw);
        if (line.isEmpty())
            continue;
        if (const std::optional<QByteArray> name = headName(line)) {
            sections.append({ *name, {} });
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

// Names equal as the emulator compares them: blanks around them ignored,
// letter case folded, of the characters the bytes stand for.
inline bool sameName(const QByteArray &a, const QByteArray &b, bool utf8)
{
    const QByteArray x = trimmed(a);
    const QByteArray y = trimmed(b);
    if (utf8)
        return QString::fromUtf8(x).toCaseFolded() == QString::fromUtf8(y).toCaseFolded();
    return codepage::decode(x).toCaseFolded() == codepage::decode(y).toCaseFolded();
}

// Where the emulator finds the section, or -1.
inline qsizetype sectionIndex(const QList<Section> &sections, const QByteArray &name, bool utf8)
{
    for (qsizetype i = 0; i < sections.size(); ++i)
        if (sameName(sections[i].name, name, utf8))
            return i;
    return -1;
}

// The section the emulator finds, or null.
inline const Section *firstSection(const QList<Section> &sections, const QByteArray &name, bool utf8)
{
    const qsizetype at = sectionIndex(sections, name, utf8);
    return at < 0 ? nullptr : &sections[at];
}

// How many sections, or keys of a section, go by the name.
inline qsizetype countSections(const QList<Section> &sections, const QByteArray &name, bool utf8)
{
    return std::count_if(
        sections.begin(), sections.end(), [&](const Section &s) { return sameName(s.name, name, utf8); });
}

inline qsizetype countKeys(const Section &section, const QByteArray &key, bool utf8)
{
    return std::count_if(
        section.keys.begin(), section.keys.end(), [&](const Key &k) { return sameName(k.name, key, utf8); });
}

// The value the emulator reads for the key, or nothing.
inline std::optional<QByteArray> value(
    const QByteArray &text, const QByteArray &section, const QByteArray &key)
{
    const bool utf8 = hasUtf8Mark(text);
    const QList<Section> sections = read(text);
    const Section *found = firstSection(sections, section, utf8);
    if (!found)
        return std::nullopt;
    for (const Key &k : found->keys)
        if (sameName(k.name, key, utf8))
            return k.value;
    return std::nullopt;
}

// The editor's view of a section: the lines after the first head with exactly
// this name, up to the next head or the first empty line, split at the first
// "=" and not trimmed; nothing when no head has the name.
inline std::optional<QList<Key>> editorKeys(const QByteArray &text, const QByteArray &name)
{
    const QList<QByteArray> all = lines(text);
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (headName(all[i]) != name)
            continue;
        QList<Key> keys;
        for (qsizetype j = i + 1; j < all.size() && !all[j].isEmpty() && !headName(all[j]); ++j) {
            const qsizetype eq = all[j].indexOf('=');
            keys.append(eq < 0 ? Key { all[j], {} } : Key { all[j].left(eq), all[j].mid(eq + 1) });
        }
        return keys;
    }
    return std::nullopt;
}

} // namespace platformprofile
