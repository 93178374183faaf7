#include "core/LineEnds.h"

namespace lineends {

QString withCrLf(QStringView text)
{
    QString out;
    out.reserve(text.size() + text.size() / 16);
    qsizetype copied = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        out += text.sliced(copied, i - copied);
        out += QLatin1StringView("\r\n");
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        copied = i + 1;
    }
    out += text.sliced(copied);
    return out;
}

bool hasLineBreak(QStringView text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

} // namespace lineends
