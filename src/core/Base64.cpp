#include "core/Base64.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace base64 {
namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Every 12 bits as their two characters: a group of three bytes is two
// look-ups and two 16-bit stores instead of four of each.
constexpr std::array<char, 2 * 4096> makePairs()
{
    std::array<char, 2 * 4096> pairs {};
    for (unsigned value = 0; value < 4096; ++value) {
        pairs[2 * value] = alphabet[value >> 6];
        pairs[2 * value + 1] = alphabet[value & 63];
    }
    return pairs;
}
constexpr std::array<char, 2 * 4096> pairs = makePairs();

qsizetype encodedLength(qsizetype bytes)
{
    const qsizetype chars = (bytes + 2) / 3 * 4;
    return chars + chars / lineChars * 2;
}

// Three bytes to four characters.
inline char *group(const unsigned char *from, char *to)
{
    const unsigned value = (unsigned(from[0]) << 16) | (unsigned(from[1]) << 8) | from[2];
    std::memcpy(to, &pairs[2 * (value >> 12)], 2);
    std::memcpy(to + 2, &pairs[2 * (value & 0xFFF)], 2);
    return to + 4;
}

// A full line of bytes to its characters and CR LF.
inline char *line(const unsigned char *from, char *to)
{
    for (qsizetype i = 0; i < lineBytes; i += 3)
        to = group(from + i, to);
    std::memcpy(to, "\r\n", 2);
    return to + 2;
}

} // namespace

QByteArray lines(QByteArrayView bytes)
{
    Writer writer(bytes.size());
    writer.add(bytes);
    return writer.finish();
}

Writer::Writer(qsizetype expectedBytes)
{
    m_text.reserve(encodedLength(expectedBytes));
}

char *Writer::grow(qsizetype chars)
{
    const qsizetype at = m_text.size();
    m_text.resize(at + chars);
    return m_text.data() + at;
}

void Writer::add(QByteArrayView bytes)
{
    if (bytes.isEmpty()) // its data may be null, which memcpy must not be given
        return;
    const auto *from = reinterpret_cast<const unsigned char *>(bytes.data());
    qsizetype left = bytes.size();
    if (m_carried > 0) {
        const qsizetype taken = std::min(lineBytes - m_carried, left);
        std::memcpy(m_carry + m_carried, from, static_cast<size_t>(taken));
        m_carried += taken;
        from += taken;
        left -= taken;
        if (m_carried < lineBytes)
            return;
        line(m_carry, grow(lineChars + 2));
        m_carried = 0;
    }
    char *to = grow(left / lineBytes * (lineChars + 2));
    for (; left >= lineBytes; left -= lineBytes, from += lineBytes)
        to = line(from, to);
    std::memcpy(m_carry, from, static_cast<size_t>(left));
    m_carried = left;
}

QByteArray Writer::finish()
{
    const qsizetype groups = m_carried / 3;
    const qsizetype rest = m_carried % 3;
    char *to = grow((m_carried + 2) / 3 * 4);
    for (qsizetype i = 0; i < groups; ++i)
        to = group(m_carry + 3 * i, to);
    if (rest > 0) {
        const unsigned char padded[3]
            = { m_carry[3 * groups], rest > 1 ? m_carry[3 * groups + 1] : static_cast<unsigned char>(0), 0 };
        to = group(padded, to);
        to[-1] = '=';
        if (rest == 1)
            to[-2] = '=';
    }
    // A padded last group may fill its line: a full line ends in CR LF like
    // every other.
    if (m_carried > 0 && (m_carried + 2) / 3 * 4 == lineChars)
        std::memcpy(grow(2), "\r\n", 2);
    m_carried = 0;
    return std::exchange(m_text, QByteArray());
}

} // namespace base64
