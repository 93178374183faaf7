// The code page both ways, checked against Qt's own Windows-1252 codec as the
// reference: every byte decodes to the character the codec gives it and encodes
// back to itself; arbitrary UTF-16 text either converts character by character
// as the reference's inverse says, or is refused at its first character the
// code page cannot hold.

#include "FuzzCheck.h"

#include "core/CodePage.h"

#include <QStringDecoder>

#include <array>
#include <cstdint>
#include <map>

namespace {

struct Reference {
    std::array<char16_t, 256> toUnicode {};
    std::map<char32_t, unsigned char> fromUnicode;

    Reference()
    {
        QStringDecoder decoder("windows-1252");
        for (int byte = 0; byte < 256; ++byte) {
            const char c = static_cast<char>(byte);
            const QString one = decoder.decode(QByteArrayView(&c, 1));
            FUZZ_CHECK(one.size() == 1);
            toUnicode[byte] = one[0].unicode();
            fromUnicode[one[0].unicode()] = static_cast<unsigned char>(byte);
        }
    }
};

const Reference &reference()
{
    static const Reference table;
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Reference &ref = reference();
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    const QString text = codepage::decode(bytes);
    FUZZ_CHECK(text.size() == bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        FUZZ_CHECK(text[i].unicode() == ref.toUnicode[static_cast<unsigned char>(bytes[i])]);
    const codepage::Encoded back = codepage::encode(text);
    FUZZ_CHECK(back.ok() && back.bytes == bytes);

    // The same bytes taken as UTF-16 text, surrogates paired as they come.
    const QStringView utf16(reinterpret_cast<const char16_t *>(data), static_cast<qsizetype>(size / 2));
    const codepage::Encoded encoded = codepage::encode(utf16);
    QByteArray expected;
    qsizetype failAt = -1;
    char32_t failed = 0;
    for (qsizetype i = 0; i < utf16.size(); ++i) {
        char32_t ch = utf16[i].unicode();
        if (QChar::isHighSurrogate(ch) && i + 1 < utf16.size() && utf16[i + 1].isLowSurrogate())
            ch = QChar::surrogateToUcs4(utf16[i], utf16[i + 1]);
        const auto byte = ref.fromUnicode.find(ch);
        if (byte == ref.fromUnicode.end()) {
            failAt = i;
            failed = ch;
            break;
        }
        expected.append(static_cast<char>(byte->second));
    }
    FUZZ_CHECK(encoded.ok() == (failAt < 0));
    FUZZ_CHECK(encoded.bytes == expected);
    if (failAt >= 0)
        FUZZ_CHECK(encoded.position == failAt && *encoded.unrepresentable == failed);
    return 0;
}
