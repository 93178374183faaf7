#include "core/CodePage.h"

#include <array>

namespace codepage {
namespace {

// Windows-1252's 0x80-0x9F row; the undefined bytes keep their C1 control.
constexpr std::array<char16_t, 32> kHighRow = { 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020,
    0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C,
    0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178 };

} // namespace

char16_t toUnicode(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kHighRow[byte - 0x80];
    return byte;
}

std::optional<unsigned char> fromUnicode(char32_t ch)
{
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return static_cast<unsigned char>(ch);
    for (std::size_t i = 0; i < kHighRow.size(); ++i) {
        if (kHighRow[i] == ch)
            return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

QString decode(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = QChar(toUnicode(static_cast<unsigned char>(bytes[i])));
    return text;
}

Encoded encode(QStringView text)
{
    Encoded result;
    result.bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        char32_t ch = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ch = QChar::surrogateToUcs4(c, text[i + 1]);
        const std::optional<unsigned char> byte = fromUnicode(ch);
        if (!byte) {
            result.unrepresentable = ch;
            result.position = i;
            return result;
        }
        result.bytes.append(static_cast<char>(*byte));
    }
    return result;
}

QString describe(char32_t ch)
{
    const QString hex = QString::number(static_cast<uint>(ch), 16).toUpper().rightJustified(4, u'0');
    return QStringLiteral("\"%1\" (U+%2)").arg(QString::fromUcs4(&ch, 1), hex);
}

} // namespace codepage
