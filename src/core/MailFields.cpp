#include "core/MailFields.h"

#include "core/CodePage.h"
#include "core/LineEnds.h"
#include "core/MailAddress.h"

#include <algorithm>
#include <utility>

namespace mime {
namespace {

QString lineBreakError(const QString &field, const QString &text)
{
    if (!lineends::hasLineBreak(text))
        return {};
    return QStringLiteral("The %1 holds a line break, which would end its line in the mail. "
                          "Remove the line break.")
        .arg(field);
}

QString codePageError(const QString &what, const QString &text)
{
    const codepage::Encoded encoded = codepage::encode(text);
    if (encoded.ok())
        return {};
    return QStringLiteral("%1 holds %2, which the program's code page cannot send.")
        .arg(what, codepage::describe(*encoded.unrepresentable));
}

} // namespace

QString GetToken(qsizetype index, const QString &text, const QString &delimiter)
{
    // Where the delimiter occurs at or after `from`, or -1. An empty delimiter
    // occurs before every character.
    const auto find = [&](qsizetype from) -> qsizetype {
        if (delimiter.isEmpty())
            return from < text.size() ? from : -1;
        return text.indexOf(delimiter, from);
    };

    QString result = index == 1 ? text : QString();
    if (find(0) < 0)
        return result;
    qsizetype start = 0;
    qsizetype count = 0;
    for (;;) {
        const qsizetype at = find(start);
        if (at < 0) {
            if (count == index - 1)
                result = text.mid(start);
            return result;
        }
        ++count;
        if (count == index)
            return text.mid(start, at - start);
        start = at + 1;
    }
}

QString displayName(const QString &fromAddress)
{
    return GetToken(1, fromAddress, QStringLiteral("@"));
}

QString attachmentFileName(const QString &attachmentPath)
{
    // Paths picked on this system use "/"; typed ones may use "\\". Either way
    // only the name goes out, never the folders.
    const qsizetype cut = std::max(
        attachmentPath.lastIndexOf(QLatin1Char('\\')), attachmentPath.lastIndexOf(QLatin1Char('/')));
    return attachmentPath.mid(cut + 1);
}

bool hasAttachment(const QString &attachmentPath)
{
    return !attachmentPath.trimmed().isEmpty();
}

Result checkFields(const QString &fromAddress, const QString &toAddress, const QString &subject,
    const QString &body, const QString &attachmentPath)
{
    if (fromAddress.trimmed().isEmpty())
        return { false,
            QStringLiteral("The sender address is empty; a mail without one cannot be answered or "
                           "returned. Enter your own e-mail address.") };
    const std::pair<QString, QString> fields[] = {
        { QStringLiteral("sender address"), fromAddress },
        { QStringLiteral("recipient address"), toAddress },
        { QStringLiteral("subject"), subject },
        { QStringLiteral("attachment's file name"),
            hasAttachment(attachmentPath) ? attachmentFileName(attachmentPath) : QString() },
    };
    for (const auto &[field, text] : fields) {
        const QString error = lineBreakError(field, text);
        if (!error.isEmpty())
            return { false, error };
    }
    // Addresses go in UTF-8 and IDNA, the file name in UTF-8: only the
    // subject and the body are bound to the code page.
    const Envelope envelope = envelopeOf(fromAddress, toAddress);
    if (!envelope.ok)
        return { false, envelope.error };
    for (const QString &error : { codePageError(QStringLiteral("The subject"), subject),
             // The body's line ends become CR LF, which the code page holds.
             codePageError(QStringLiteral("The message"), body) })
        if (!error.isEmpty())
            return { false, error };
    return { true, {} };
}

} // namespace mime
