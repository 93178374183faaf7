#include "core/Base64.h"

namespace base64 {
namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr qsizetype lineBytes = lineChars / 4 * 3; // input bytes per full line

qsizetype encodedLength(qsizetype bytes)
{
    const qsizetype chars = (bytes + 2) / 3 * 4;
    return chars + chars / lineChars * 2;
}

// Three bytes to four characters.
inline char *group(const unsigned char *from, char *to)
{
    const unsigned value = (unsigned(from[0]) << 16) | (unsigned(from[1]) << 8) | from[2];
    to[0] = alphabet[value >> 18];
    to[1] = alphabet[(value >> 12) & 63];
    to[2] = alphabet[(value >> 6) & 63];
    to[3] = alphabet[value & 63];
    return to + 4;
}

} // namespace

QByteArray lines(QByteArrayView bytes)
{
    QByteArray text(encodedLength(bytes.size()), Qt::Uninitialized);
    const auto *from = reinterpret_cast<const unsigned char *>(bytes.data());
    qsizetype left = bytes.size();
    char *to = text.data();
    while (left >= lineBytes) {
        for (qsizetype i = 0; i < lineBytes; i += 3)
            to = group(from + i, to);
        *to++ = '\r';
        *to++ = '\n';
        from += lineBytes;
        left -= lineBytes;
    }
    while (left >= 3) {
        to = group(from, to);
        from += 3;
        left -= 3;
    }
    if (left > 0) {
        const unsigned char rest[3] = { from[0], left > 1 ? from[1] : static_cast<unsigned char>(0), 0 };
        to = group(rest, to);
        to[-1] = '=';
        if (left == 1)
            to[-2] = '=';
        // A padded last group may fill its line: a full line ends in CR LF
        // like every other.
        if (to + 2 == text.data() + text.size()) {
            *to++ = '\r';
            *to++ = '\n';
        }
    }
    return text;
}

} // namespace base64
