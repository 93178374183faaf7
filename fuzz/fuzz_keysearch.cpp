// The key search against std::search as the reference: Find First finds the
// first occurrence, Find Next steps on from the selection as the editor does
// (two past the old start, one byte back, the last byte once more at the end).

#include "FuzzCheck.h"

#include "core/KeySearch.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

namespace {

qsizetype referenceIndexOf(const std::string &text, const std::string &needle, qsizetype from)
{
    if (needle.empty() || from < 0 || from >= static_cast<qsizetype>(text.size()))
        return -1;
    const auto hit = std::search(text.begin() + from, text.end(), needle.begin(), needle.end());
    return hit == text.end() ? -1 : hit - text.begin();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const qsizetype selection = input.ConsumeIntegralInRange<qsizetype>(-2, 4096);
    const std::string needle = input.ConsumeRandomLengthString(64);
    const std::string text = input.ConsumeRemainingBytesAsString();
    const QByteArrayView textView(text.data(), static_cast<qsizetype>(text.size()));
    const QByteArrayView needleView(needle.data(), static_cast<qsizetype>(needle.size()));

    FUZZ_CHECK(keysearch::findFirst(textView, needleView) == referenceIndexOf(text, needle, 0));

    const keysearch::NextStep step = keysearch::findNext(textView, needleView, selection);
    const qsizetype textSize = static_cast<qsizetype>(text.size());
    const qsizetype start = std::max<qsizetype>(selection, 0) + 2;
    FUZZ_CHECK(step.caret == std::min(start, textSize));
    const qsizetype from = text.empty() ? textSize : (start > textSize ? textSize - 1 : start - 1);
    FUZZ_CHECK(step.match == referenceIndexOf(text, needle, from));
    if (step.match >= 0)
        FUZZ_CHECK(text.compare(static_cast<size_t>(step.match), needle.size(), needle) == 0);
    return 0;
}
