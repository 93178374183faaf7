#include "core/ProfilePlan.h"

#include "core/IniText.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace profile {
namespace {

// What every write to one file shares: decided once from the bytes read.
struct Style {
    ini::Encoding encoding = ini::Encoding::Ansi;
    QByteArray lineEnd = "\r\n";
};

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// What in a name would break the file or read back as something else.
QString refusal(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    const struct {
        QByteArrayView bytes;
        const char *what;
    } parts[] = { { section, "section name" }, { key, "key name" }, { value, "value" } };
    for (const auto &part : parts) {
        if (part.bytes.contains('\r') || part.bytes.contains('\n'))
            return QStringLiteral("The %1 holds a line break.").arg(QLatin1String(part.what));
        if (part.bytes.contains('\0'))
            return QStringLiteral("The %1 holds a NUL byte.").arg(QLatin1String(part.what));
    }
    if (ini::withoutBlanks(section).isEmpty())
        return QStringLiteral("The section name is empty.");
    if (ini::withoutBlanks(key).isEmpty())
        return QStringLiteral("The key name is empty.");
    if (key.contains('='))
        return QStringLiteral("The key name holds \"=\".");
    if (ini::withoutBlanks(key).startsWith('['))
        return QStringLiteral("The key name begins with \"[\".");
    return {};
}

// What of a text's end decides how a section is appended to it.
struct Ending {
    bool empty = true; // nothing but a byte-order mark, if that
    bool lineEnd = false; // the last line has its line end
    bool emptyLine = false; // the last line is an empty line with its line end
    bool cr = false; // the last byte is a CR
};

// The ending of a text from its last (up to) three bytes `tail`, which start at
// `tailOffset`; the text's first line starts at `start`.
Ending endingOf(QByteArrayView tail, qint64 tailOffset, qsizetype start)
{
    Ending ending;
    ending.empty = tailOffset + tail.size() <= start;
    ending.lineEnd = ini::endsWithLineEnd(tail);
    ending.cr = tail.endsWith('\r');
    if (ending.lineEnd) {
        const QByteArrayView rest = tail.chopped(tail.endsWith("\r\n") ? 2 : 1);
        ending.emptyLine = tailOffset + rest.size() <= start || ini::endsWithLineEnd(rest);
    }
    return ending;
}

QByteArray keyLine(QByteArrayView key, QByteArrayView value)
{
    QByteArray line;
    line.reserve(key.size() + value.size() + 3);
    line.append(key).append('=').append(value);
    return line;
}

// The line end of a line added between two bytes of a text with mixed line
// ends: a lone CR before an LF, or an LF after a lone CR, would make one line
// end of two and swallow a line (an empty line that ends a section's body, say),
// so CR LF ends the added line there.
QByteArrayView lineEndBetween(const Style &style, bool crBefore, bool lfAfter)
{
    if ((style.lineEnd == "\r" && lfAfter) || (style.lineEnd == "\n" && crBefore))
        return "\r\n";
    return style.lineEnd;
}

// A new section with the key, appended to a text that ends at `at` as `ending` says.
Edit appendSection(qint64 at, const Ending &ending, QByteArrayView section, QByteArrayView key,
    QByteArrayView value, const Style &style)
{
    Edit edit;
    edit.at = at;
    if (!ending.empty) {
        if (!ending.lineEnd)
            edit.inserted.append(style.lineEnd);
        if (!ending.emptyLine)
            edit.inserted.append(lineEndBetween(style, ending.lineEnd && ending.cr, false));
    }
    edit.inserted.append('[').append(section).append(']').append(style.lineEnd);
    edit.inserted.append(keyLine(key, value)).append(style.lineEnd);
    return edit;
}

// One key write, already checked, on a text in memory that holds the
// section's head.
Edit planInWindow(QByteArrayView text, const ini::Line &headLine, QByteArrayView key, QByteArrayView value,
    const Style &style)
{
    Edit edit;
    ini::Line lastOfBody = headLine;
    bool inBody = true; // until the first empty line
    for (qsizetype at = headLine.next; at < text.size();) {
        const ini::Line line = ini::lineAt(text, at);
        const QByteArrayView bytes = ini::view(text, line);
        if (ini::isHead(bytes))
            break;
        if (bytes.isEmpty()) {
            inBody = false;
        } else {
            if (inBody)
                lastOfBody = line;
            if (sameName(ini::splitKeyLine(bytes).key, key, style.encoding)) {
                edit.at = line.begin;
                edit.removed = line.length();
                edit.inserted = keyLine(key, value);
                return edit;
            }
        }
        at = line.next;
    }

    edit.at = lastOfBody.next;
    if (!lastOfBody.hasLineEnd())
        edit.inserted.append(style.lineEnd);
    edit.inserted.append(keyLine(key, value))
        .append(lineEndBetween(style, false, edit.at < text.size() && text[edit.at] == '\n'));
    return edit;
}

QByteArray appliedOne(QByteArrayView text, const Edit &edit)
{
    return applied(text, { edit });
}

// One line of a section as the scan keeps it: where it is, and its key
// without the blanks around it, unless that is too long to equal any key
// written.
struct ScannedLine {
    qint64 begin = 0;
    qint64 end = 0;
    qint64 next = 0;
    QByteArrayView key;
    bool keyTooLong = false;
    bool head = false; // a head line by the rule of IniText.h
};

// Splits a stretch of text that arrives in pieces into lines by the line
// model of IniText.h, keeping of a line only what planning needs, so that a
// section of any size is planned in the memory of a piece. It tells head
// lines too, so that a section's end is found in the same pass as its lines.
class LineScan {
public:
    LineScan(qint64 offset, qsizetype longestKey) : m_begin(offset), m_at(offset), m_longest(longestKey) { }

    // Calls f(line) for every line the piece completes.
    template <class F> void feed(QByteArrayView piece, F &&f)
    {
        const char *data = piece.data();
        const char *end = data + piece.size();
        const qint64 base = m_at;
        const auto offsetOf = [&](const char *at) { return base + (at - data); };
        const char *p = data;
        if (m_crPending) {
            m_crPending = false;
            if (p < end && *p == '\n')
                ++p;
            endLine(m_crAt, offsetOf(p), f);
        }
        while (p < end) {
            const char *lineEnd = ini::findLineEnd(p, end);
            const char *stop = lineEnd ? lineEnd : end;
            // CR LF may be split between two pieces: the line is told only
            // with the next piece.
            const bool crSplit = lineEnd && *lineEnd == '\r' && lineEnd + 1 == end;
            if (!m_keyDone)
                takeKey(p, stop, m_begin >= base, lineEnd && !crSplit);
            if (m_lead == Lead::Blanks || m_lead == Lead::Bracket)
                classify(p, stop);
            if (!lineEnd)
                break;
            if (crSplit) {
                m_crPending = true;
                m_crAt = offsetOf(lineEnd);
                break;
            }
            const char *next = lineEnd + (*lineEnd == '\r' && lineEnd[1] == '\n' ? 2 : 1);
            endLine(offsetOf(lineEnd), offsetOf(next), f);
            p = next;
        }
        m_at = base + piece.size();
    }

    // The end of the stretch; a last line without a line end is reported only
    // when `openLine` says it belongs to it.
    template <class F> void finish(bool openLine, F &&f)
    {
        if (m_crPending) {
            m_crPending = false;
            endLine(m_crAt, m_crAt + 1, f);
        } else if (openLine && m_at > m_begin) {
            endLine(m_at, m_at, f);
        }
    }

private:
    // What the line's bytes so far say about its being a head: only blanks,
    // a "[" first and no "]" after it yet, a head, or anything else.
    enum class Lead { Blanks, Bracket, Head, Other };

    void classify(const char *from, const char *to)
    {
        if (m_lead == Lead::Blanks) {
            while (from < to && ini::isBlank(*from))
                ++from;
            if (from == to)
                return;
            if (*from != '[') {
                m_lead = Lead::Other;
                return;
            }
            m_lead = Lead::Bracket;
            ++from;
        }
        if (from < to && std::memchr(from, ']', static_cast<size_t>(to - from)))
            m_lead = Lead::Head;
    }

    // The key part of [from, to), the line's bytes in this piece: in place
    // when the line and its key are whole in the piece (the usual case), else
    // gathered without its blanks around it, and only up to the longest key
    // that could equal one written.
    void takeKey(const char *from, const char *to, bool lineStartsHere, bool lineEndsHere)
    {
        const void *eq = std::memchr(from, '=', static_cast<size_t>(to - from));
        const char *keyEnd = eq ? static_cast<const char *>(eq) : to;
        if (eq)
            m_keyDone = true;
        if (lineStartsHere && (eq || lineEndsHere)) {
            const QByteArrayView key = ini::withoutBlanks(QByteArrayView(from, keyEnd - from));
            m_keyDone = true;
            m_tooLong = key.size() > m_longest;
            if (lineEndsHere) {
                m_view = key;
                m_viewed = true;
            } else if (!m_tooLong)
                m_key = key.toByteArray();
            return;
        }
        for (const char *at = from; at < keyEnd; ++at) {
            if (ini::isBlank(*at)) {
                if (!m_key.isEmpty() && m_blanks.size() <= m_longest)
                    m_blanks.append(*at);
                continue;
            }
            if (m_key.size() + m_blanks.size() + 1 > m_longest) {
                m_tooLong = m_keyDone = true;
                return;
            }
            m_key.append(m_blanks).append(*at);
            m_blanks.clear();
        }
    }

    template <class F> void endLine(qint64 end, qint64 next, F &&f)
    {
        ScannedLine line { m_begin, end, next, m_viewed ? m_view : QByteArrayView(m_key), m_tooLong,
            m_lead == Lead::Head };
        f(line);
        m_begin = next;
        m_viewed = false;
        if (!m_key.isEmpty())
            m_key.clear();
        if (!m_blanks.isEmpty())
            m_blanks.clear();
        m_keyDone = m_tooLong = false;
        m_lead = Lead::Blanks;
    }

    qint64 m_begin; // where the current line begins
    qint64 m_at; // where the next piece begins
    qsizetype m_longest;
    bool m_keyDone = false; // its "=" was seen, or the key is too long
    bool m_tooLong = false;
    QByteArrayView m_view; // the key in the piece, when it is whole there
    bool m_viewed = false;
    QByteArray m_key; // else the key gathered so far
    QByteArray m_blanks; // blanks after m_key, which count only if more follows
    Lead m_lead = Lead::Blanks;
    bool m_crPending = false; // a piece ended with a CR
    qint64 m_crAt = 0;
};

// Plans every write on the section whose head's "[" is at `head`, in a text
// of `size` bytes, reading it in pieces from there to its end (the next head
// line, or the text's end), which the same scan finds. Each write replaces
// the first line of the section with its key, or is added after the body's
// last line; a write whose key an earlier write of the plan added replaces
// that line. The result equals planning each write on the text the writes
// before it left.
bool planInSection(qint64 head, qint64 size, const ReadAt &read, const QList<KeyWrite> &writes,
    const Style &style, qint64 pieceSize, Plan *plan)
{
    qsizetype longest = 0;
    std::vector<QByteArrayView> names;
    for (const KeyWrite &write : writes) {
        names.push_back(ini::withoutBlanks(write.key));
        longest = std::max(longest, names.back().size());
    }
    // Most lines' keys differ in length from every key written: in the code
    // page a name's length is its letters', so they are passed over at once.
    const bool byLength = style.encoding != ini::Encoding::Utf8;
    std::vector<bool> lengthWritten(longest + 1);
    for (const QByteArrayView name : names)
        lengthWritten[name.size()] = true;
    // A name in UTF-8 may take up to three bytes per letter that another
    // spelling of it takes one for.
    LineScan scan(head, 3 * longest + 4);
    std::vector<std::optional<ScannedLine>> found(names.size());
    qsizetype unfound = writes.size();
    ScannedLine lastOfBody;
    bool headSeen = false;
    bool ended = false; // the next head was seen
    bool inBody = true; // until the first empty line
    const auto take = [&](const ScannedLine &line) {
        if (ended)
            return;
        if (!headSeen) {
            headSeen = true;
            lastOfBody = line;
            return;
        }
        if (line.head) {
            ended = true;
            return;
        }
        if (line.end == line.begin) {
            inBody = false;
            return;
        }
        if (inBody)
            lastOfBody = line;
        if (line.keyTooLong || unfound == 0)
            return;
        if (byLength && (line.key.size() > longest || !lengthWritten[line.key.size()]))
            return;
        for (size_t i = 0; i < names.size(); ++i) {
            if (found[i] || (byLength && line.key.size() != names[i].size()))
                continue;
            if (sameName(line.key, names[i], style.encoding)) {
                found[i] = line;
                --unfound;
            }
        }
    };
    QByteArray piece;
    for (qint64 at = head; at < size && !ended; at += piece.size()) {
        // Once the body has ended and every key has its line, the rest of the
        // section cannot change the plan.
        if (!inBody && unfound == 0)
            break;
        if (!read(at, std::min(size - at, pieceSize), &piece, &plan->error))
            return false;
        if (piece.isEmpty()) // shortened meanwhile; the replace will notice
            break;
        scan.feed(piece, take);
    }
    // A last line without a line end belongs to the section unless it is a head.
    scan.finish(true, take);

    // Lines replaced, each by the last write that found it.
    QList<Edit> edits;
    QList<KeyWrite> added;
    for (qsizetype i = 0; i < writes.size(); ++i) {
        const KeyWrite &write = writes[i];
        if (found[i]) {
            const auto same = std::find_if(
                edits.begin(), edits.end(), [&](const Edit &edit) { return edit.at == found[i]->begin; });
            Edit &edit = same != edits.end() ? *same : edits.emplace_back();
            edit = { found[i]->begin, found[i]->end - found[i]->begin, keyLine(write.key, write.value) };
            continue;
        }
        const auto same = std::find_if(added.begin(), added.end(),
            [&](const KeyWrite &other) { return sameName(other.key, write.key, style.encoding); });
        if (same != added.end())
            *same = write;
        else
            added.append(write);
    }
    if (!added.isEmpty()) {
        Edit edit;
        edit.at = lastOfBody.next;
        QByteArray after;
        if (edit.at < size && !read(edit.at, 1, &after, &plan->error))
            return false;
        const QByteArrayView lineEnd = lineEndBetween(style, false, after.startsWith('\n'));
        if (lastOfBody.next == lastOfBody.end)
            edit.inserted.append(style.lineEnd);
        for (const KeyWrite &write : added)
            edit.inserted.append(keyLine(write.key, write.value)).append(lineEnd);
        edits.append(edit);
    }
    std::sort(edits.begin(), edits.end(), [](const Edit &a, const Edit &b) { return a.at < b.at; });
    plan->edits = edits;
    return true;
}

} // namespace

QByteArray applied(QByteArrayView text, const QList<Edit> &edits)
{
    QByteArray out;
    qsizetype size = text.size();
    for (const Edit &edit : edits)
        size += edit.inserted.size() - edit.removed;
    out.reserve(size);
    qsizetype at = 0;
    for (const Edit &edit : edits) {
        out.append(text.sliced(at, edit.at - at)).append(edit.inserted);
        at = edit.at + edit.removed;
    }
    out.append(text.sliced(at));
    return out;
}

bool sameName(QByteArrayView a, QByteArrayView b, ini::Encoding encoding)
{
    a = ini::withoutBlanks(a);
    b = ini::withoutBlanks(b);
    // Folding maps each character of the code page to one UTF-16 unit, so names
    // of different lengths never match there; in UTF-8 they may.
    if (a.size() != b.size() && encoding != ini::Encoding::Utf8)
        return false;
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char x = a[i];
        const char y = b[i];
        if ((static_cast<unsigned char>(x) | static_cast<unsigned char>(y)) & 0x80)
            return QString::compare(ini::decode(a, encoding), ini::decode(b, encoding), Qt::CaseInsensitive)
                == 0;
        if (x != y && asciiLower(x) != asciiLower(y))
            return false;
    }
    if (a.size() == b.size())
        return true;
    // Only UTF-8 gets here: an ASCII prefix, then more in one of them.
    return QString::compare(ini::decode(a, encoding), ini::decode(b, encoding), Qt::CaseInsensitive) == 0;
}

// Plans the writes that `compose` gives on a text of `size` bytes that is read
// through `read` in pieces of `pieceSize`: the heads are found while the pieces
// go by, and only the section that is written (or the text's last bytes, when
// the section is missing) is read whole. Every write after the first lands in
// the one section the first found or appended, and nothing outside it decides
// where, so each is planned on that section alone.
Plan planOn(qint64 size, const ReadAt &read, const std::function<ProfileKeys(ini::Encoding)> &compose,
    qint64 pieceSize)
{
    Plan plan;
    QByteArray piece;
    // The first piece holds the whole byte-order mark.
    if (size > 0 && !read(0, std::min(size, std::max<qint64>(pieceSize, 3)), &piece, &plan.error))
        return plan;
    plan.refused = true;
    Style style;
    style.encoding = ini::encodingOf(piece);
    if (style.encoding == ini::Encoding::Utf16) {
        plan.error = QStringLiteral("The file %1.").arg(ini::utf16Reason());
        return plan;
    }
    const ProfileKeys keys = compose(style.encoding);
    plan.error = keys.refusal;
    for (qsizetype i = 0; plan.error.isEmpty() && i < keys.writes.size(); ++i)
        plan.error = refusal(keys.section, keys.writes[i].key, keys.writes[i].value);
    if (!plan.error.isEmpty())
        return plan;
    plan.refused = false;
    const qsizetype start = ini::textStart(piece);

    // The section's head, and the first line end. The section itself is
    // read from its head on, once: the scan of its lines finds its end.
    std::optional<qint64> head;
    const auto match = [&](qsizetype at, QByteArrayView line) {
        if (sameName(*ini::headName(line), keys.section, style.encoding))
            head = at;
        return !head;
    };
    std::optional<QByteArrayView> lineEnd;
    bool crAtPieceEnd = false;
    qint64 offset = 0;
    ini::HeadReader reader;
    while (offset < size) {
        if (offset > 0 && !read(offset, std::min(size - offset, pieceSize), &piece, &plan.error))
            return plan;
        if (crAtPieceEnd && !lineEnd)
            lineEnd = piece.startsWith('\n') ? QByteArrayView("\r\n") : QByteArrayView("\r");
        if (!lineEnd) {
            const char *end = piece.constData() + piece.size();
            if (const char *found = ini::findLineEnd(piece.constData(), end)) {
                if (*found == '\n')
                    lineEnd = "\n";
                else if (found + 1 < end)
                    lineEnd = found[1] == '\n' ? QByteArrayView("\r\n") : QByteArrayView("\r");
                else
                    crAtPieceEnd = true;
            }
        }
        if (!reader.feed(piece, match))
            break;
        offset += piece.size();
        if (piece.isEmpty()) // shortened meanwhile; the replace will notice
            break;
    }
    if (!head)
        reader.finish(match);
    if (!lineEnd && crAtPieceEnd && head && offset + piece.size() < size) {
        // The head's piece ended with the file's first line end, a CR: the
        // byte after it tells whether that is CR LF.
        QByteArray next;
        if (!read(offset + piece.size(), 1, &next, &plan.error))
            return plan;
        lineEnd = next.startsWith('\n') ? QByteArrayView("\r\n") : QByteArrayView("\r");
    }
    if (!lineEnd && crAtPieceEnd)
        lineEnd = "\r";
    if (lineEnd)
        style.lineEnd = lineEnd->toByteArray();
    if (keys.writes.isEmpty()) {
        plan.ok = true;
        return plan;
    }
    if (head) {
        if (!planInSection(*head, size, read, keys.writes, style, pieceSize, &plan))
            return plan;
        plan.ok = true;
        return plan;
    }

    QByteArray tail;
    const qint64 tailOffset = std::max<qint64>(0, size - 3);
    if (size > 0 && !read(tailOffset, size - tailOffset, &tail, &plan.error))
        return plan;
    Edit edit = appendSection(size, endingOf(tail, tailOffset, start), keys.section, keys.writes.first().key,
        keys.writes.first().value, style);
    // The rest go to the section just added, which is all in memory.
    for (qsizetype next = 1; next < keys.writes.size(); ++next) {
        const std::optional<ini::Line> inWindow = ini::nextHead(edit.inserted, 0);
        edit.inserted = appliedOne(edit.inserted,
            planInWindow(edit.inserted, *inWindow, keys.writes[next].key, keys.writes[next].value, style));
    }
    plan.ok = true;
    plan.edits = { edit };
    return plan;
}

Plan planWrites(
    QByteArrayView text, QByteArrayView section, const QList<KeyWrite> &writes, qsizetype pieceSize)
{
    const auto read = [text](qint64 offset, qint64 size, QByteArray *out, QString *) {
        *out = text.sliced(offset, size).toByteArray();
        return true;
    };
    const auto compose = [&](ini::Encoding) { return ProfileKeys { section.toByteArray(), writes, {} }; };
    return planOn(text.size(), read, compose, pieceSize);
}

Plan planWrite(QByteArrayView text, QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    return planWrites(text, section, { { key.toByteArray(), value.toByteArray() } });
}

Updated updatedText(QByteArrayView text, QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    Updated result;
    const Plan plan = planWrite(text, section, key, value);
    if (!plan.ok) {
        result.error = plan.error;
        return result;
    }
    result.ok = true;
    result.text = applied(text, plan.edits);
    return result;
}

} // namespace profile
