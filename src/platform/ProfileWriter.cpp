#include "platform/ProfileWriter.h"

#include "ini/IniText.h"
#include "platform/CodePage.h"
#include "platform/FileBytes.h"

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

// One key write, already checked, on a text that holds the section's head.
Edit planInSection(QByteArrayView text, const ini::Line &headLine, QByteArrayView key, QByteArrayView value,
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

QByteArray applied(QByteArrayView text, const Edit &edit)
{
    QByteArray out;
    out.reserve(text.size() - edit.removed + edit.inserted.size());
    out.append(text.first(edit.at)).append(edit.inserted).append(text.sliced(edit.at + edit.removed));
    return out;
}

} // namespace

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

namespace {

// Reads [offset, offset + size) of the text being planned on.
using ReadAt = std::function<bool(qint64 offset, qint64 size, QByteArray *out, QString *error)>;

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

    // The section's head and the head after it, and the first line end.
    std::optional<qint64> head;
    std::optional<qint64> after;
    const auto match = [&](qsizetype at, QByteArrayView line) {
        if (head) {
            after = at;
            return false;
        }
        if (sameName(*ini::headName(line), keys.section, style.encoding))
            head = at;
        return true;
    };
    std::optional<QByteArrayView> lineEnd;
    bool crAtPieceEnd = false;
    ini::HeadReader reader;
    for (qint64 offset = 0; offset < size;) {
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
    if (!after)
        reader.finish(match);
    if (!lineEnd && crAtPieceEnd)
        lineEnd = "\r";
    if (lineEnd)
        style.lineEnd = lineEnd->toByteArray();
    if (keys.writes.isEmpty()) {
        plan.ok = true;
        plan.edit.at = size;
        return plan;
    }

    QByteArray window;
    qsizetype next = 0;
    if (head) {
        if (!read(*head, (after ? *after : size) - *head, &window, &plan.error))
            return plan;
        // The blanks before the next head's "[" are that head's line.
        if (after)
            window = ini::withoutBlanks(window).toByteArray(); // (it begins with its "[")
        plan.edit.at = *head;
        plan.edit.removed = window.size();
    } else {
        QByteArray tail;
        const qint64 tailOffset = std::max<qint64>(0, size - 3);
        if (size > 0 && !read(tailOffset, size - tailOffset, &tail, &plan.error))
            return plan;
        plan.edit = appendSection(size, endingOf(tail, tailOffset, start), keys.section,
            keys.writes.first().key, keys.writes.first().value, style);
        window = plan.edit.inserted;
        next = 1;
    }
    for (; next < keys.writes.size(); ++next) {
        const std::optional<ini::Line> inWindow = ini::nextHead(window, 0);
        window = applied(
            window, planInSection(window, *inWindow, keys.writes[next].key, keys.writes[next].value, style));
    }
    plan.ok = true;
    plan.edit.inserted = window;
    return plan;
}

} // namespace

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
    result.text = applied(text, plan.edit);
    return result;
}

} // namespace profile

namespace {

// Plans on the file as it is read in pieces (a missing one is empty), then
// replaces it once, copying the bytes outside the edit inside the kernel.
bool writeKeys(
    const QString &path, const std::function<ProfileKeys(ini::Encoding)> &compose, FileError *error)
{
    // Planned under the file's lock on the file as it is then; planned again
    // if another process replaced the file meanwhile.
    QByteArray inserted;
    return filebytes::update(
        path,
        [&](const filebytes::Snapshot &file, QList<filebytes::Piece> *pieces, FileError *reason) {
            // The planner keeps only a read's text; the error itself is kept here.
            FileError readError;
            const auto read = [&file, &readError](qint64 offset, qint64 size, QByteArray *out, QString *why) {
                if (file.readAt(offset, size, out, &readError))
                    return true;
                *why = readError.text;
                return false;
            };
            const profile::Plan plan = profile::planOn(file.size(), read, compose, profile::kPieceSize);
            if (!plan.ok) {
                *reason = plan.refused ? FileError { FileError::Kind::Refused, 0, plan.error } : readError;
                return false;
            }
            const profile::Edit &edit = plan.edit;
            const qint64 rest = edit.at + edit.removed;
            // The plan's inserted bytes live in `inserted` until update() returns.
            inserted = edit.inserted;
            *pieces = { { {}, 0, edit.at }, { QByteArrayView(inserted) }, { {}, rest, file.size() - rest } };
            return true;
        },
        error);
}

} // namespace

bool WritePrivateProfileStringA(
    QByteArrayView section, QByteArrayView key, QByteArrayView value, const QString &path, FileError *error)
{
    const auto compose = [&](ini::Encoding) {
        return ProfileKeys { section.toByteArray(), { { key.toByteArray(), value.toByteArray() } }, {} };
    };
    return writeKeys(path, compose, error);
}

bool WritePrivateProfileKeys(
    const QString &path, const std::function<ProfileKeys(ini::Encoding)> &compose, FileError *error)
{
    return writeKeys(path, compose, error);
}
