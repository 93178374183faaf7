// The profile writer against the reader with the emulator's rules that the
// tests share (PlatformProfile.h): a write is refused exactly for the names and
// texts it must refuse; otherwise it changes one line or adds lines at one
// place, every other line keeps its bytes and its line end, the emulator reads
// the key back with the value, no section or key is there twice that was not
// before, and every other section and key reads as it did.

#include "FuzzCheck.h"

#include "PlatformProfile.h"
#include "platform/ProfileWriter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

using namespace platformprofile;

namespace {

bool refusedName(const QByteArray &bytes)
{
    return trimmed(bytes).isEmpty();
}

bool breaksLines(const QByteArray &bytes)
{
    return bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const auto field = [&](size_t longest) {
        const std::string s = input.ConsumeRandomLengthString(longest);
        return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
    };
    const QByteArray section = field(16);
    const QByteArray key = field(16);
    const QByteArray value = field(16);
    const QByteArray key2 = field(16);
    const QByteArray value2 = field(16);
    const qsizetype pieceSize = input.ConsumeIntegralInRange<qsizetype>(1, 64);
    const std::string rest = input.ConsumeRemainingBytesAsString();
    const QByteArray text(rest.data(), static_cast<qsizetype>(rest.size()));

    const profile::Plan plan = profile::planWrite(text, section, key, value);
    const bool utf16 = text.startsWith("\xFF\xFE") || text.startsWith("\xFE\xFF");
    const bool refuse = utf16 || refusedName(section) || refusedName(key) || breaksLines(section)
        || breaksLines(key) || breaksLines(value) || key.contains('=') || trimmed(key).startsWith('[');
    FUZZ_CHECK(plan.ok == !refuse);
    const profile::Updated updated = profile::updatedText(text, section, key, value);
    FUZZ_CHECK(updated.ok == plan.ok);
    if (!plan.ok) {
        FUZZ_CHECK(!plan.error.isEmpty());
        return 0;
    }
    // Two keys planned at once, the text scanned in small pieces: the same
    // bytes as the two writes one after the other.
    const profile::Plan both
        = profile::planWrites(text, section, { { key, value }, { key2, value2 } }, pieceSize);
    const profile::Updated second = profile::updatedText(updated.text, section, key2, value2);
    FUZZ_CHECK(both.ok == second.ok);
    if (both.ok)
        FUZZ_CHECK(profile::applied(text, both.edits) == second.text);

    // One write is one edit.
    FUZZ_CHECK(plan.edits.size() == 1);
    const profile::Edit &edit = plan.edits.first();
    FUZZ_CHECK(edit.at >= 0 && edit.removed >= 0 && edit.at + edit.removed <= text.size());
    const QByteArray after = text.first(edit.at) + edit.inserted + text.sliced(edit.at + edit.removed);
    FUZZ_CHECK(updated.text == after);

    // One line replaced, or lines added at one place; every other line as it was.
    const QList<Line> before = linesWithEnds(text);
    const QList<Line> now = linesWithEnds(after);
    qsizetype same = 0;
    while (same < before.size() && same < now.size() && before[same] == now[same])
        ++same;
    qsizetype sameEnd = 0;
    while (sameEnd < before.size() - same && sameEnd < now.size() - same
        && before[before.size() - 1 - sameEnd] == now[now.size() - 1 - sameEnd])
        ++sameEnd;
    const QList<Line> gone = before.sliced(same, before.size() - same - sameEnd);
    const QList<Line> come = now.sliced(same, now.size() - same - sameEnd);
    const bool inUtf8 = hasUtf8Mark(text);
    const QByteArray keyLine = key + '=' + value;
    if (gone.isEmpty() && come.isEmpty()) {
        // The key line was there as written already.
        FUZZ_CHECK(after == text);
    } else if (gone.size() == 1 && come.size() == 1 && gone[0].end == come[0].end
        && come[0].content == keyLine) {
        // A key line replaced in place.
        const qsizetype eq = gone[0].content.indexOf('=');
        FUZZ_CHECK(sameName(eq < 0 ? gone[0].content : gone[0].content.left(eq), key, inUtf8));
    } else {
        // Added lines; the last line gets a line end first when it had none.
        FUZZ_CHECK(gone.size() <= 1);
        FUZZ_CHECK(!come.isEmpty() && come.back().content == keyLine);
        if (gone.size() == 1)
            FUZZ_CHECK(gone[0].end.isEmpty() && come[0].content == gone[0].content && !come[0].end.isEmpty()
                && same + 1 == before.size());
    }

    // What the emulator reads: the key with its value, nothing doubled,
    // everything else unchanged.
    const QList<Section> old = read(text);
    const QList<Section> changed = read(after);
    const qsizetype sectionsBefore = countSections(old, section, inUtf8);
    FUZZ_CHECK(countSections(changed, section, inUtf8) == std::max<qsizetype>(sectionsBefore, 1));
    const Section *target = firstSection(changed, section, inUtf8);
    const Section *was = firstSection(old, section, inUtf8);
    FUZZ_CHECK(target);
    FUZZ_CHECK(
        countKeys(*target, key, inUtf8) == std::max<qsizetype>(was ? countKeys(*was, key, inUtf8) : 0, 1));
    // The first of the section's lines for the key holds the value; the
    // section's other keys read as before, in their order.
    const auto others = [&](const Section &s) {
        QList<Key> keys;
        for (const Key &k : s.keys)
            if (!sameName(k.name, key, inUtf8))
                keys.append(k);
        return keys;
    };
    const auto first = std::find_if(target->keys.begin(), target->keys.end(),
        [&](const Key &k) { return sameName(k.name, key, inUtf8); });
    FUZZ_CHECK(first != target->keys.end() && first->value == trimmed(value));
    if (was)
        FUZZ_CHECK(others(*target) == others(*was));
    FUZZ_CHECK(changed.size() == old.size() + (was ? 0 : 1));
    for (qsizetype i = 0; i < old.size(); ++i) {
        if (&old[i] == was)
            continue;
        FUZZ_CHECK(changed[i] == old[i]);
    }
    return 0;
}
