#include "platform/ProfileWriter.h"

#include "ini/IniText.h"
#include "platform/CodePage.h"
#include "platform/FileBytes.h"

namespace profile {
namespace {

constexpr QByteArrayView lineEnd("\r\n");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView withoutBlanks(QByteArrayView name)
{
    while (!name.isEmpty() && isBlank(name.front()))
        name = name.sliced(1);
    while (!name.isEmpty() && isBlank(name.back()))
        name.chop(1);
    return name;
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
    if (withoutBlanks(section).isEmpty())
        return QStringLiteral("The section name is empty.");
    if (withoutBlanks(key).isEmpty())
        return QStringLiteral("The key name is empty.");
    if (key.contains('='))
        return QStringLiteral("The key name holds \"=\".");
    if (ini::isHead(key))
        return QStringLiteral("The key name begins with \"[\".");
    return {};
}

// A head that names a section: "[" first and "]" last.
bool isSectionHead(QByteArrayView line)
{
    return ini::isHead(line) && line.size() >= 2 && line.back() == ']';
}

bool endsWithLineEnd(QByteArrayView text)
{
    return text.endsWith('\r') || text.endsWith(lineEnd);
}

// True when the text's last line is an empty line with its line end.
bool endsWithEmptyLine(QByteArrayView text)
{
    if (text.endsWith(lineEnd))
        text.chop(2);
    else if (text.endsWith('\r'))
        text.chop(1);
    else
        return false;
    return text.isEmpty() || endsWithLineEnd(text);
}

QByteArray keyLine(QByteArrayView key, QByteArrayView value)
{
    QByteArray line;
    line.reserve(key.size() + value.size() + 3);
    line.append(key).append('=').append(value);
    return line;
}

} // namespace

bool sameName(QByteArrayView a, QByteArrayView b)
{
    a = withoutBlanks(a);
    b = withoutBlanks(b);
    // Folding maps each character of the code page to one UTF-16 unit, so names
    // of different lengths never match.
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char x = a[i];
        const char y = b[i];
        if (x == y)
            continue;
        if ((static_cast<unsigned char>(x) | static_cast<unsigned char>(y)) & 0x80)
            return QString::compare(codepage::decode(a), codepage::decode(b), Qt::CaseInsensitive) == 0;
        if (asciiLower(x) != asciiLower(y))
            return false;
    }
    return true;
}

Plan planWrite(QByteArrayView text, QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    Plan plan;
    plan.error = refusal(section, key, value);
    if (!plan.error.isEmpty())
        return plan;
    plan.ok = true;
    Edit &edit = plan.edit;

    ini::Line head;
    bool found = false;
    for (std::optional<ini::Line> line = ini::nextHead(text, 0); line;
         line = ini::nextHead(text, line->next)) {
        const QByteArrayView bytes = ini::view(text, *line);
        if (isSectionHead(bytes) && sameName(ini::headName(bytes), section)) {
            head = *line;
            found = true;
            break;
        }
    }
    if (!found) {
        edit.at = text.size();
        if (!text.isEmpty()) {
            if (!endsWithLineEnd(text))
                edit.inserted.append(lineEnd);
            if (!endsWithEmptyLine(text))
                edit.inserted.append(lineEnd);
        }
        edit.inserted.append('[').append(section).append(']').append(lineEnd);
        edit.inserted.append(keyLine(key, value)).append(lineEnd);
        return plan;
    }

    ini::Line lastOfBody = head;
    bool inBody = true; // until the first empty line
    for (qsizetype at = head.next; at < text.size();) {
        const ini::Line line = ini::lineAt(text, at);
        const QByteArrayView bytes = ini::view(text, line);
        if (ini::isHead(bytes))
            break;
        if (bytes.isEmpty()) {
            inBody = false;
        } else {
            if (inBody)
                lastOfBody = line;
            if (sameName(ini::splitKeyLine(bytes).key, key)) {
                edit.at = line.begin;
                edit.removed = line.length();
                edit.inserted = keyLine(key, value);
                return plan;
            }
        }
        at = line.next;
    }

    edit.at = lastOfBody.next;
    if (!lastOfBody.hasLineEnd())
        edit.inserted.append(lineEnd);
    edit.inserted.append(keyLine(key, value)).append(lineEnd);
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
    result.text.reserve(text.size() - plan.edit.removed + plan.edit.inserted.size());
    result.text.append(text.first(plan.edit.at))
        .append(plan.edit.inserted)
        .append(text.sliced(plan.edit.at + plan.edit.removed));
    return result;
}

} // namespace profile

bool WritePrivateProfileStringA(
    QByteArrayView section, QByteArrayView key, QByteArrayView value, const QString &path, QString *error)
{
    // Planned on the bytes read under the file's lock; planned again if
    // another process replaced the file meanwhile.
    profile::Plan plan;
    return filebytes::update(
        path,
        [&](QByteArrayView text, QList<QByteArrayView> *pieces, QString *reason) {
            plan = profile::planWrite(text, section, key, value);
            if (!plan.ok) {
                *reason = plan.error;
                return false;
            }
            const profile::Edit &edit = plan.edit;
            *pieces
                = { text.first(edit.at), QByteArrayView(edit.inserted), text.sliced(edit.at + edit.removed) };
            return true;
        },
        error);
}
