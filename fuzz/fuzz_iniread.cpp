// The section and key readers against the reader with the emulator's rules
// that the tests share (PlatformProfile.h): the heads that the name list finds,
// in the text whole and fed in random pieces, are the sections the emulator
// sees; the key lines the editor lists for a section are the lines after its
// head up to the next head or the first empty line, split at the first "=";
// a key read stopped early, once the body ended inside what was read so far,
// lists the same lines as one over the whole text. The editor's file reads
// give the same.

#include "FuzzCheck.h"

#include "LineModel.h"
#include "PlatformProfile.h"
#include "SectionKeys.h"
#include "TestFiles.h"
#include "core/IniText.h"
#include "ini/SettingsFile.h"

#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <optional>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const size_t pick = input.ConsumeIntegral<uint8_t>();
    const std::string asked = input.ConsumeRandomLengthString(16);
    std::vector<size_t> pieces;
    for (size_t count = input.ConsumeIntegralInRange<size_t>(1, 16); count > 0; --count)
        pieces.push_back(input.ConsumeIntegralInRange<size_t>(1, 8));
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    const QByteArray text(bytes.data(), static_cast<qsizetype>(bytes.size()));

    // The name list, whole and in pieces.
    const QList<QByteArray> names = platformprofile::names(text);
    FUZZ_CHECK(linemodel::sectionNames(text) == names);
    QList<QByteArray> pieceNames;
    std::vector<qsizetype> headOffsets;
    const auto add = [&](qsizetype at, QByteArrayView line) {
        FUZZ_CHECK(at + line.size() <= text.size() && QByteArrayView(text).sliced(at).startsWith(line));
        pieceNames.append(ini::headName(line)->toByteArray());
        headOffsets.push_back(at);
        return true;
    };
    ini::HeadReader reader;
    for (size_t at = 0, n = 0; at < bytes.size(); ++n) {
        const size_t length = std::min(pieces[n % pieces.size()], bytes.size() - at);
        FUZZ_CHECK(reader.feed(
            QByteArrayView(text).sliced(static_cast<qsizetype>(at), static_cast<qsizetype>(length)), add));
        at += length;
    }
    reader.finish(add);
    FUZZ_CHECK(pieceNames == names);

    // The key lines of a listed section (or of a name that may be none).
    const QByteArray name = names.isEmpty() || pick % 4 == 0
        ? QByteArray(asked.data(), static_cast<qsizetype>(asked.size()))
        : names[static_cast<qsizetype>(pick % names.size())];
    const std::optional<QList<platformprofile::Key>> expected = platformprofile::editorKeys(text, name);
    const ini::Section section = ini::findSection(text, name);
    FUZZ_CHECK(section.found == expected.has_value());
    if (section.found) {
        FUZZ_CHECK(sectionkeys::of(text, section) == *expected);
        // Reading on from the head, a prefix whose body already ended lists
        // the whole's lines.
        const QByteArrayView fromHead = QByteArrayView(text).sliced(section.head.begin);
        for (size_t length = 0, n = 0; length < static_cast<size_t>(fromHead.size()); ++n) {
            length += pieces[n % pieces.size()];
            const QByteArrayView prefix
                = fromHead.first(std::min<qsizetype>(static_cast<qsizetype>(length), fromHead.size()));
            const ini::Section early = ini::findSection(prefix, name);
            if (early.found && early.bodyEnd < prefix.size())
                FUZZ_CHECK(sectionkeys::of(prefix, early) == *expected);
        }
    }

    // The editor's reads of the file.
    static QTemporaryDir folder;
    const QString path = writeFile(folder, QStringLiteral("Ferox.ini"), text);
    FUZZ_CHECK(!path.isEmpty());
    QList<QByteArray> fileNames;
    FUZZ_CHECK(settingsfile::readSectionNames(path, &fileNames).ok && fileNames == names);
    settingsfile::KeyLines lines;
    FUZZ_CHECK(settingsfile::readSectionKeys(path, name, &lines).ok);
    QList<platformprofile::Key> fileKeys;
    for (qsizetype i = 0; i < lines.keys.size(); ++i)
        fileKeys.append({ lines.keys[i], lines.values[i] });
    FUZZ_CHECK(fileKeys == expected.value_or(QList<platformprofile::Key> {}));
    return 0;
}
