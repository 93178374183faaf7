#include "core/MimeHeader.h"

#include <QList>
#include <QLocale>

#include <algorithm>
#include <cstdlib>

namespace mime {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray quoted(QByteArrayView text)
{
    QByteArray out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// The name in ASCII for readers that take only plain parameters.
QByteArray asciiFallback(const QString &name)
{
    QByteArray out;
    for (QChar c : name.normalized(QString::NormalizationForm_KD)) {
        if (c.category() == QChar::Mark_NonSpacing || c.category() == QChar::Mark_SpacingCombining
            || c.category() == QChar::Mark_Enclosing || c.isLowSurrogate())
            continue;
        out += c.unicode() >= 0x20 && c.unicode() < 0x7f ? static_cast<char>(c.unicode()) : '_';
    }
    return out;
}

// A parameter in RFC 2231 extended form, UTF-8, on one line when it fits,
// else continued over numbered lines. A character is never split between two
// lines, since readers decode each line on its own.
QByteArray extendedParameter(QByteArrayView name, QByteArrayView utf8)
{
    static const QByteArray kept = QByteArrayLiteral("!#$&+-.^_`|~");
    static constexpr char hex[] = "0123456789ABCDEF";
    QList<QByteArray> pieces; // one per character
    for (qsizetype i = 0; i < utf8.size();) {
        qsizetype end = i + 1;
        while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
            ++end;
        QByteArray piece;
        for (; i < end; ++i) {
            const auto c = static_cast<unsigned char>(utf8[i]);
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                || kept.contains(char(c)))
                piece += char(c);
            else
                piece += QByteArray("%") + hex[c >> 4] + hex[c & 15];
        }
        pieces << piece;
    }
    const QByteArray single = " " + name.toByteArray() + "*=UTF-8''" + pieces.join();
    if (single.size() <= foldedLineOctets)
        return single;
    QList<QByteArray> lines;
    QByteArray line = " " + name.toByteArray() + "*0*=UTF-8''";
    bool lineHasText = false;
    for (const QByteArray &piece : pieces) {
        if (lineHasText && line.size() + piece.size() + 1 > foldedLineOctets) {
            lines << line + ';';
            line = " " + name.toByteArray() + '*' + QByteArray::number(lines.size()) + "*=";
        }
        line += piece;
        lineHasText = true;
    }
    lines << line;
    return lines.join("\r\n");
}

} // namespace

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(
        bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

QByteArray foldHeader(QByteArrayView line, qsizetype valueStart)
{
    qsizetype lastText = line.size() - 1;
    while (lastText >= 0 && isBlank(line[lastText]))
        --lastText;
    QList<qsizetype> folds;
    for (qsizetype p = std::max<qsizetype>(valueStart, 1); p < lastText; ++p)
        if (isBlank(line[p]) && !isBlank(line[p - 1]))
            folds << p;

    QByteArray out;
    qsizetype lineStart = 0;
    qsizetype next = 0; // the first fold after lineStart
    while (line.size() - lineStart > foldedLineOctets && next < folds.size()) {
        // The last fold that keeps this line short, else the first at all.
        qsizetype pick = next;
        while (pick + 1 < folds.size() && folds[pick + 1] - lineStart <= foldedLineOctets)
            ++pick;
        if (folds[pick] - lineStart > foldedLineOctets)
            pick = next;
        out += line.sliced(lineStart, folds[pick] - lineStart);
        out += "\r\n";
        lineStart = folds[pick];
        next = pick + 1;
    }
    out += line.sliced(lineStart);
    return out;
}

QByteArray encodedWords(QByteArrayView bytes, QByteArrayView charset)
{
    // 48 base64 characters a word: with the frame at most 67, so that a
    // word fits on a first header line after its field name.
    constexpr qsizetype chunk = 36;
    const bool utf8 = charset.compare("UTF-8", Qt::CaseInsensitive) == 0;
    QByteArray out;
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype end = std::min(at + chunk, bytes.size());
        while (utf8 && end < bytes.size() && end > at + 1
            && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
            --end;
        if (at > 0)
            out += ' ';
        out += "=?" + charset.toByteArray() + "?B?";
        out += bytes.sliced(at, end - at).toByteArray().toBase64();
        out += "?=";
        at = end;
    }
    return out;
}

QByteArray displayPhrase(const QString &name)
{
    static const QByteArray atextSpecials = QByteArrayLiteral("!#$%&'*+-/=?^_`{|}~");
    const QByteArray bytes = name.toUtf8();
    if (!isAscii(bytes))
        return encodedWords(bytes, "UTF-8");
    const bool atom
        = !bytes.isEmpty() && !bytes.contains("=?") && std::all_of(bytes.begin(), bytes.end(), [](char c) {
              return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                  || atextSpecials.contains(c);
          });
    return atom ? bytes : quoted(bytes);
}

QByteArray parameterValue(QByteArrayView value)
{
    static const QByteArray specials = QByteArrayLiteral("()<>@,;:\\\"/[]?= \t");
    const bool token = std::none_of(value.begin(), value.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f || specials.contains(c); });
    return token ? value.toByteArray() : quoted(value);
}

FileNameLines fileNameLines(const QString &fileName)
{
    const QByteArray utf8 = fileName.toUtf8();
    const QByteArray plainFilename = " filename=" + parameterValue(utf8);
    if (isAscii(utf8) && plainFilename.size() <= foldedLineOctets)
        return { " name=" + parameterValue(utf8), plainFilename };
    // The plain form stays within the longest line SMTP carries.
    constexpr qsizetype longestPlainName = 900;
    const QByteArray plain = (isAscii(utf8) ? utf8 : asciiFallback(fileName)).left(longestPlainName);
    const QByteArray nameLine = " name=" + parameterValue(plain);
    return { foldHeader(nameLine, 1), extendedParameter("filename", utf8) };
}

QByteArray dateValue(const QDateTime &time)
{
    const int offsetMinutes = time.offsetFromUtc() / 60;
    const int magnitude = std::abs(offsetMinutes);
    return QLocale::c().toString(time, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss")).toLatin1()
        + (offsetMinutes < 0 ? " -" : " +") + QByteArray::number(magnitude / 60).rightJustified(2, '0')
        + QByteArray::number(magnitude % 60).rightJustified(2, '0');
}

} // namespace mime
