#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// The program's 8-bit code page (Windows-1252). Every conversion between the
// program's text and the bytes of a file, the profile writer or the socket goes
// through here. Each of the 256 byte values maps to one character and back, so
// bytes survive a round trip unchanged; the five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same
// number. A character the code page cannot hold is reported, never replaced.
namespace codepage {

// The character that stands for one byte.
char16_t toUnicode(unsigned char byte);

// The byte for one character, or nothing when the code page cannot hold it.
std::optional<unsigned char> fromUnicode(char32_t ch);

QString decode(QByteArrayView bytes);

struct Encoded {
    QByteArray bytes;
    // The first character that could not be converted, and its index in the
    // source text (in UTF-16 units); unset when everything converted.
    std::optional<char32_t> unrepresentable;
    qsizetype position = -1;

    bool ok() const { return !unrepresentable.has_value(); }
};

// Converts the whole text; on failure `bytes` holds the conversion up to the
// offending character.
Encoded encode(QStringView text);

// The bytes of a text already known to fit the code page (checked before, as
// the mail's fields are); a character that does not fit ends the bytes.
inline QByteArray bytesOf(QStringView text)
{
    return encode(text).bytes;
}

// A short human description of a character for messages: the character itself
// in quotes and its code point ("日" (U+65E5)).
QString describe(char32_t ch);

} // namespace codepage
