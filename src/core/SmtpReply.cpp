#include "core/SmtpReply.h"

#include "core/CodePage.h"

#include <algorithm>

namespace smtp {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

QByteArray SmtpReply::text() const
{
    return lines.join("\r\n");
}

ReplyRead readReply(QByteArrayView received)
{
    ReplyRead read;
    qsizetype at = 0;
    for (;;) {
        const qsizetype lf = received.indexOf('\n', at);
        if (lf < 0 || lf >= longestSmtpReply) {
            // A reply that long is no reply; waiting for its end could take
            // all memory.
            if (lf >= 0 || received.size() > longestSmtpReply) {
                read.status = ReplyRead::Status::Error;
                read.error = QStringLiteral("The server sent an overlong reply.");
            }
            read.reply = {};
            return read;
        }
        QByteArrayView line = received.sliced(at, lf - at);
        if (line.endsWith('\r'))
            line.chop(1);
        at = lf + 1;
        if (line.size() < 3 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2])
            || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
            read.status = ReplyRead::Status::Error;
            read.error = QStringLiteral("The server sent a reply that is not SMTP: %1")
                             .arg(codepage::decode(line.first(std::min<qsizetype>(200, line.size()))));
            read.reply = {};
            return read;
        }
        read.reply.lines << line.toByteArray();
        if (line.size() == 3 || line[3] == ' ') {
            read.reply.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
            read.status = ReplyRead::Status::Complete;
            read.consumed = at;
            return read;
        }
    }
}

bool advertises(const SmtpReply &ehlo, QByteArrayView keyword)
{
    for (qsizetype i = 1; i < ehlo.lines.size(); ++i) {
        const QByteArray extension = ehlo.lines[i].mid(4).trimmed().toUpper();
        if (extension == keyword || extension.startsWith(QByteArray(keyword.toByteArray() + ' ')))
            return true;
    }
    return false;
}

} // namespace smtp
