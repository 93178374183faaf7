#include "core/MailAddress.h"

#include <QUrl>

#include <algorithm>
#include <optional>

namespace mime {
namespace {

// RFC 5321 4.5.3.1: the longest local part and the longest path.
constexpr qsizetype longestLocalPart = 64;
constexpr qsizetype longestAddress = 254;
constexpr qsizetype longestDomain = 253;
constexpr qsizetype longestLabel = 63;

bool isAsciiText(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control
        || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph;
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
}

// A character of a dot-atom (RFC 5322 atext, widened by RFC 6532 to every
// character beyond ASCII).
bool isAtext(QChar c)
{
    static const QString specials = QStringLiteral("!#$%&'*+-/=?^_`{|}~");
    if (c.unicode() >= 0x80)
        return !isControl(c) && !isBlank(c);
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
        || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || specials.contains(c);
}

// Where the quoted string that opens at `at` closes (the index of its closing
// quote), or -1 when it does not.
qsizetype closingQuote(const QString &text, qsizetype at)
{
    for (qsizetype i = at + 1; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\'))
            ++i;
        else if (text[i] == QLatin1Char('"'))
            return i;
    }
    return -1;
}

QString unquoted(const QString &quoted)
{
    QString out;
    for (qsizetype i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] == QLatin1Char('\\') && i + 2 < quoted.size())
            ++i;
        out += quoted[i];
    }
    return out;
}

// The places of a field between its separators, quotes and angle brackets
// respected; nullopt when a quote is left open.
std::optional<QStringList> splitField(const QString &text)
{
    QStringList items;
    qsizetype start = 0;
    bool inAngle = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('"')) {
            i = closingQuote(text, i);
            if (i < 0)
                return std::nullopt;
        } else if (c == QLatin1Char('<')) {
            inAngle = true;
        } else if (c == QLatin1Char('>')) {
            inAngle = false;
        } else if (!inAngle && (c == QLatin1Char(',') || c == QLatin1Char(';'))) {
            items << text.mid(start, i - start);
            start = i + 1;
        }
    }
    items << text.mid(start);
    return items;
}

// Why `local` is no local part, or empty when it is one.
QString localPartError(const QString &local)
{
    if (local.isEmpty())
        return QStringLiteral("there is nothing before the \"@\"");
    if (local.startsWith(QLatin1Char('"'))) {
        if (closingQuote(local, 0) != local.size() - 1)
            return QStringLiteral("its quotes do not enclose the part before the \"@\"");
        for (qsizetype i = 1; i + 1 < local.size(); ++i)
            if (isControl(local[i]))
                return QStringLiteral("it holds a control character");
        return {};
    }
    if (local.contains(QLatin1Char('@')))
        return QStringLiteral("it holds more than one \"@\"");
    for (QChar c : local) {
        if (isBlank(c))
            return QStringLiteral("it holds a blank");
        if (c != QLatin1Char('.') && !isAtext(c))
            return QStringLiteral("it holds \"%1\", which an address cannot hold unquoted").arg(c);
    }
    if (local.startsWith(QLatin1Char('.')) || local.endsWith(QLatin1Char('.'))
        || local.contains(QLatin1String("..")))
        return QStringLiteral("a dot stands at the start or the end of its name or next to another");
    return {};
}

bool isHostLabel(QStringView label)
{
    if (label.isEmpty() || label.size() > longestLabel || label.startsWith(QLatin1Char('-'))
        || label.endsWith(QLatin1Char('-')))
        return false;
    return std::all_of(label.begin(), label.end(),
        [](QChar c) { return c.unicode() < 0x80 && (c.isLetterOrNumber() || c == QLatin1Char('-')); });
}

// The domain as it goes on the wire, or why it cannot.
struct Domain {
    QByteArray wire;
    QString error;
};

Domain domainOf(const QString &domain)
{
    if (domain.isEmpty())
        return { {}, QStringLiteral("there is nothing after the \"@\"") };
    if (domain.contains(QLatin1Char('@')))
        return { {}, QStringLiteral("it holds more than one \"@\"") };
    if (std::any_of(domain.begin(), domain.end(), isBlank))
        return { {}, QStringLiteral("it holds a blank") };
    if (domain.startsWith(QLatin1Char('['))) {
        // An address literal: whatever the brackets hold, as long as it is
        // printable ASCII without brackets or backslashes (RFC 5321 4.1.3).
        const QString inner = domain.mid(1, domain.size() - 2);
        const bool literal = domain.size() > 2 && domain.endsWith(QLatin1Char(']'))
            && std::all_of(inner.begin(), inner.end(), [](QChar c) {
                   return c.unicode() > 32 && c.unicode() < 127 && c != QLatin1Char('[')
                       && c != QLatin1Char(']') && c != QLatin1Char('\\');
               });
        if (!literal)
            return { {}, QStringLiteral("its address in brackets is not closed or holds other characters") };
        return { domain.toLatin1(), {} };
    }
    QString ascii = domain;
    if (!isAsciiText(domain)) {
        ascii = QString::fromLatin1(QUrl::toAce(domain, QUrl::AceProcessingOption::IgnoreIDNWhitelist));
        if (ascii.isEmpty())
            return { {}, QStringLiteral("its domain \"%1\" is no valid name").arg(domain) };
    }
    const QStringList labels = ascii.split(QLatin1Char('.'));
    const bool valid = ascii.size() <= longestDomain
        && std::all_of(labels.begin(), labels.end(), [](const QString &label) { return isHostLabel(label); });
    if (!valid)
        return { {}, QStringLiteral("its domain \"%1\" is no valid host name").arg(domain) };
    return { ascii.toLatin1(), {} };
}

struct Parsed {
    Mailbox mailbox;
    QString error; // without the field's name
};

Parsed parseMailbox(const QString &item)
{
    Parsed parsed;
    Mailbox &mailbox = parsed.mailbox;
    // The name ends where an angle bracket outside quotes opens.
    qsizetype open = -1;
    for (qsizetype i = 0; i < item.size() && open < 0; ++i) {
        if (item[i] == QLatin1Char('"')) {
            i = closingQuote(item, i);
            if (i < 0)
                break; // the field's split refuses an open quote before this
        } else if (item[i] == QLatin1Char('<')) {
            open = i;
        } else if (item[i] == QLatin1Char('>')) {
            parsed.error = QStringLiteral("it holds a \">\" without a \"<\" before it");
            return parsed;
        }
    }
    QString address = item;
    if (open >= 0) {
        // The address may quote a ">" of its own.
        qsizetype close = open + 1;
        for (; close < item.size() && item[close] != QLatin1Char('>'); ++close) {
            if (item[close] == QLatin1Char('"') && (close = closingQuote(item, close)) < 0)
                break;
        }
        if (close < 0 || close >= item.size()) {
            parsed.error = QStringLiteral("its \"<\" is not closed by a \">\"");
            return parsed;
        }
        if (!item.mid(close + 1).trimmed().isEmpty()) {
            parsed.error = QStringLiteral("there is more after its \">\"");
            return parsed;
        }
        QString name = item.left(open).trimmed();
        if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && closingQuote(name, 0) == name.size() - 1)
            name = unquoted(name);
        if (std::any_of(name.begin(), name.end(), isControl)) {
            parsed.error = QStringLiteral("its name holds a control character");
            return parsed;
        }
        mailbox.name = name;
        address = item.mid(open + 1, close - open - 1).trimmed();
        if (address.isEmpty()) {
            parsed.error = QStringLiteral("there is no address between its \"<\" and \">\"");
            return parsed;
        }
    }
    mailbox.typed = address;

    // A quoted local part may hold "@"; the domain follows its closing quote.
    qsizetype at = -1;
    if (address.startsWith(QLatin1Char('"'))) {
        const qsizetype quote = closingQuote(address, 0);
        at = quote < 0 ? -1 : address.indexOf(QLatin1Char('@'), quote);
    } else {
        at = address.lastIndexOf(QLatin1Char('@'));
    }
    if (at < 0) {
        parsed.error = QStringLiteral("it holds no \"@\"");
        return parsed;
    }
    const QString local = address.left(at);
    parsed.error = localPartError(local);
    if (!parsed.error.isEmpty())
        return parsed;
    const Domain domain = domainOf(address.mid(at + 1));
    if (!domain.error.isEmpty()) {
        parsed.error = domain.error;
        return parsed;
    }
    const QByteArray localBytes = local.toUtf8();
    mailbox.wire = localBytes + '@' + domain.wire;
    mailbox.needsSmtpUtf8 = !isAsciiText(local);
    if (localBytes.size() > longestLocalPart)
        parsed.error
            = QStringLiteral("the part before the \"@\" is longer than %1 octets").arg(longestLocalPart);
    else if (mailbox.wire.size() > longestAddress)
        parsed.error = QStringLiteral("it is longer than %1 octets").arg(longestAddress);
    return parsed;
}

} // namespace

QByteArray Mailbox::wireDomain() const
{
    return wire.mid(wire.lastIndexOf('@') + 1);
}

AddressList parseAddresses(const QString &text, const QString &field)
{
    AddressList list;
    const std::optional<QStringList> items = splitField(text);
    if (!items) {
        list.error
            = QStringLiteral("The %1 \"%2\" holds a quote that is not closed.").arg(field, text.trimmed());
        return list;
    }
    for (const QString &raw : *items) {
        const QString item = raw.trimmed();
        if (item.isEmpty())
            continue;
        const Parsed parsed = parseMailbox(item);
        if (!parsed.error.isEmpty()) {
            list.error = QStringLiteral("The %1 \"%2\" is not an e-mail address: %3. Enter it as "
                                        "name@example.org or Name <name@example.org>.")
                             .arg(field, item, parsed.error);
            list.mailboxes.clear();
            return list;
        }
        list.mailboxes << parsed.mailbox;
    }
    list.ok = true;
    return list;
}

Envelope envelopeOf(const QString &fromAddress, const QString &toAddress)
{
    Envelope envelope;
    const AddressList senders = parseAddresses(fromAddress, QStringLiteral("sender address"));
    if (!senders.ok) {
        envelope.error = senders.error;
        return envelope;
    }
    if (senders.mailboxes.isEmpty()) {
        envelope.error = QStringLiteral("The sender address is empty; a mail without one cannot be answered "
                                        "or returned. Enter your own e-mail address.");
        return envelope;
    }
    if (senders.mailboxes.size() > 1) {
        envelope.error = QStringLiteral("The sender address field holds %1 addresses; a mail has one sender. "
                                        "Enter your own e-mail address only.")
                             .arg(senders.mailboxes.size());
        return envelope;
    }
    const AddressList recipients = parseAddresses(toAddress, QStringLiteral("recipient address"));
    if (!recipients.ok) {
        envelope.error = recipients.error;
        return envelope;
    }
    if (recipients.mailboxes.isEmpty()) {
        envelope.error
            = QStringLiteral("The recipient address is empty. Enter the address the mail goes to.");
        return envelope;
    }
    envelope.ok = true;
    envelope.sender = senders.mailboxes.first();
    envelope.recipients = recipients.mailboxes;
    envelope.needsSmtpUtf8 = envelope.sender.needsSmtpUtf8
        || std::any_of(envelope.recipients.begin(), envelope.recipients.end(),
            [](const Mailbox &mailbox) { return mailbox.needsSmtpUtf8; });
    return envelope;
}

EnvelopeCommands envelopeCommands(
    const Envelope &envelope, qsizetype messageOctets, bool eightBit, const ServerOffers &offers)
{
    EnvelopeCommands commands;
    if (!envelope.ok) {
        commands.error = envelope.error;
        return commands;
    }
    if (envelope.needsSmtpUtf8 && !offers.smtpUtf8) {
        QList<Mailbox> all = envelope.recipients;
        all.prepend(envelope.sender);
        const auto wide = std::find_if(
            all.begin(), all.end(), [](const Mailbox &mailbox) { return mailbox.needsSmtpUtf8; });
        commands.error = QStringLiteral("The address \"%1\" holds characters beyond ASCII before its \"@\", "
                                        "which this server does not accept (it does not offer SMTPUTF8). "
                                        "Nothing was sent.")
                             .arg(wide->typed);
        return commands;
    }
    commands.ok = true;
    commands.mailFrom = "MAIL FROM:<" + envelope.sender.wire + ">";
    if (eightBit && offers.eightBitMime)
        commands.mailFrom += " BODY=8BITMIME";
    if (envelope.needsSmtpUtf8)
        commands.mailFrom += " SMTPUTF8";
    // A server with a smaller limit then refuses before the upload, not after.
    if (offers.size)
        commands.mailFrom += " SIZE=" + QByteArray::number(messageOctets);
    commands.mailFrom += "\r\n";
    for (const Mailbox &recipient : envelope.recipients)
        commands.rcptTo << "RCPT TO:<" + recipient.wire + ">\r\n";
    return commands;
}

} // namespace mime
