// The long-line cutter against a byte-by-byte reference: a byte is hidden when
// its line already has `shown` bytes before it and it ends no line, however
// the text is split into pieces.

#include "FuzzCheck.h"

#include "core/LongLines.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const qsizetype shown = input.ConsumeIntegralInRange<qsizetype>(1, 64);
    std::vector<qsizetype> pieces;
    for (int i = input.ConsumeIntegralInRange(0, 8); i > 0; --i)
        pieces.push_back(input.ConsumeIntegralInRange<qsizetype>(1, 200));
    const std::string text = input.ConsumeRemainingBytesAsString();

    std::vector<bool> hidden;
    qsizetype line = 0;
    for (const char c : text) {
        const bool end = c == '\r' || c == '\n';
        hidden.push_back(!end && line >= shown);
        line = end ? 0 : line + 1;
    }

    longlines::Cutter cutter(shown);
    size_t at = 0;
    for (size_t turn = 0; at < text.size(); ++turn) {
        const size_t length
            = pieces.empty() ? text.size() : static_cast<size_t>(pieces[turn % pieces.size()]);
        const QByteArrayView piece(
            text.data() + at, static_cast<qsizetype>(std::min(length, text.size() - at)));
        const QList<longlines::Part> parts = cutter.feed(piece);
        for (qsizetype i = 0; i < parts.size(); ++i) {
            const longlines::Part &part = parts[i];
            FUZZ_CHECK(!part.bytes.isEmpty());
            FUZZ_CHECK(part.bytes.data() == text.data() + at);
            FUZZ_CHECK(i == 0 || parts[i - 1].hidden != part.hidden);
            for (qsizetype k = 0; k < part.bytes.size(); ++k)
                FUZZ_CHECK(hidden[at + static_cast<size_t>(k)] == part.hidden);
            at += static_cast<size_t>(part.bytes.size());
        }
        FUZZ_CHECK(at == static_cast<size_t>(piece.data() - text.data() + piece.size()));
    }
    return 0;
}
