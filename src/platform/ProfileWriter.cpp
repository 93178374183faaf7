#include "platform/ProfileWriter.h"

#include "ini/IniText.h"
#include "platform/CodePage.h"
#include "platform/FileBytes.h"

#include <QFileInfo>

namespace profile {
namespace {

// What every write to one file shares: decided once from the bytes read.
struct Style {
    ini::Encoding encoding = ini::Encoding::Ansi;
    QByteArray lineEnd = "\r\n";
};

Style styleOf(QByteArrayView text)
{
    return { ini::encodingOf(text), ini::lineEndOf(text).toByteArray() };
}

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

bool endsWithLineEnd(QByteArrayView text)
{
    return text.endsWith('\r') || text.endsWith('\n');
}

// True when the text's last line is an empty line with its line end.
bool endsWithEmptyLine(QByteArrayView text, qsizetype start)
{
    if (text.endsWith("\r\n"))
        text.chop(2);
    else if (endsWithLineEnd(text))
        text.chop(1);
    else
        return false;
    return text.size() <= start || endsWithLineEnd(text);
}

QByteArray keyLine(QByteArrayView key, QByteArrayView value)
{
    QByteArray line;
    line.reserve(key.size() + value.size() + 3);
    line.append(key).append('=').append(value);
    return line;
}

// The first head that names the section, searched from `from`.
std::optional<ini::Line> sectionHead(
    QByteArrayView text, qsizetype from, QByteArrayView section, ini::Encoding encoding)
{
    for (std::optional<ini::Line> line = ini::nextHead(text, from); line;
         line = ini::nextHead(text, line->next))
        if (sameName(*ini::headName(ini::view(text, *line)), section, encoding))
            return line;
    return std::nullopt;
}

// One key write, already checked, on a text whose first line starts at `from`
// and whose section head, if any, is `head`.
Edit planOne(QByteArrayView text, qsizetype from, const std::optional<ini::Line> &head,
    QByteArrayView section, QByteArrayView key, QByteArrayView value, const Style &style)
{
    Edit edit;
    if (!head) {
        edit.at = text.size();
        if (text.size() > from) {
            if (!endsWithLineEnd(text))
                edit.inserted.append(style.lineEnd);
            if (!endsWithEmptyLine(text, from))
                edit.inserted.append(style.lineEnd);
        }
        edit.inserted.append('[').append(section).append(']').append(style.lineEnd);
        edit.inserted.append(keyLine(key, value)).append(style.lineEnd);
        return edit;
    }

    ini::Line lastOfBody = *head;
    bool inBody = true; // until the first empty line
    for (qsizetype at = head->next; at < text.size();) {
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
    edit.inserted.append(keyLine(key, value)).append(style.lineEnd);
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

Plan planWrites(QByteArrayView text, QByteArrayView section, const QList<KeyWrite> &writes)
{
    Plan plan;
    if (ini::encodingOf(text) == ini::Encoding::Utf16) {
        plan.error = QStringLiteral("The file %1.").arg(ini::utf16Reason());
        return plan;
    }
    for (const KeyWrite &write : writes) {
        plan.error = refusal(section, write.key, write.value);
        if (!plan.error.isEmpty())
            return plan;
    }
    plan.ok = true;
    if (writes.isEmpty()) {
        plan.edit.at = text.size();
        return plan;
    }
    const Style style = styleOf(text);
    const qsizetype start = ini::textStart(text);
    // Every write after the first lands in the one section the first found or
    // appended, and nothing of the text outside that section decides where: so
    // the later writes are planned on that section alone, not on a copy of the
    // whole file each.
    QByteArray window;
    qsizetype next = 0;
    const std::optional<ini::Line> head = sectionHead(text, start, section, style.encoding);
    if (head) {
        const std::optional<ini::Line> after = ini::nextHead(text, head->next);
        plan.edit.at = head->begin;
        plan.edit.removed = (after ? after->begin : text.size()) - head->begin;
        window = text.sliced(plan.edit.at, plan.edit.removed).toByteArray();
    } else {
        plan.edit = planOne(text, start, head, section, writes.first().key, writes.first().value, style);
        window = plan.edit.inserted;
        next = 1;
    }
    for (; next < writes.size(); ++next) {
        const std::optional<ini::Line> inWindow = sectionHead(window, 0, section, style.encoding);
        window = applied(
            window, planOne(window, 0, inWindow, section, writes[next].key, writes[next].value, style));
    }
    plan.edit.inserted = window;
    return plan;
}

Plan planWrite(QByteArrayView text, QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    Plan plan;
    if (ini::encodingOf(text) == ini::Encoding::Utf16) {
        plan.error = QStringLiteral("The file %1.").arg(ini::utf16Reason());
        return plan;
    }
    plan.error = refusal(section, key, value);
    if (!plan.error.isEmpty())
        return plan;
    plan.ok = true;
    const Style style = styleOf(text);
    const qsizetype start = ini::textStart(text);
    plan.edit
        = planOne(text, start, sectionHead(text, start, section, style.encoding), section, key, value, style);
    return plan;
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

// Reads the file once (a missing one is empty), plans, and replaces it once.
bool writeKeys(const QString &path, const std::function<ProfileKeys(ini::Encoding)> &compose, QString *error,
    bool *refused)
{
    QString reason;
    bool refusedHere = false;
    filebytes::Snapshot file;
    bool ok = !QFileInfo::exists(path) || file.open(path, &reason);
    if (ok) {
        const QByteArrayView text = file.bytes();
        const ini::Encoding encoding = ini::encodingOf(text);
        ProfileKeys keys;
        if (encoding != ini::Encoding::Utf16)
            keys = compose(encoding);
        profile::Plan plan;
        if (keys.refusal.isEmpty())
            plan = profile::planWrites(text, keys.section, keys.writes);
        else
            plan.error = keys.refusal;
        ok = plan.ok;
        if (!ok) {
            refusedHere = true;
            reason = plan.error;
        } else {
            const profile::Edit &edit = plan.edit;
            ok = filebytes::replace(path,
                { text.first(edit.at), QByteArrayView(edit.inserted), text.sliced(edit.at + edit.removed) },
                &reason, &file);
        }
    }
    if (!ok && error)
        *error = reason;
    if (refused)
        *refused = !ok && refusedHere;
    return ok;
}

} // namespace

bool WritePrivateProfileStringA(
    QByteArrayView section, QByteArrayView key, QByteArrayView value, const QString &path, QString *error)
{
    const auto compose = [&](ini::Encoding) {
        return ProfileKeys { section.toByteArray(), { { key.toByteArray(), value.toByteArray() } }, {} };
    };
    return writeKeys(path, compose, error, nullptr);
}

bool WritePrivateProfileKeys(const QString &path, const std::function<ProfileKeys(ini::Encoding)> &compose,
    QString *error, bool *refused)
{
    return writeKeys(path, compose, error, refused);
}
