#include "ini/SettingsFile.h"

#include "core/IniText.h"
#include "fileio/FileRead.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

namespace settingsfile {

namespace {

// Small enough to stay in the processor's cache between the read and the scan.
constexpr qsizetype kPiece = 256 * 1024;

ReadResult openForReading(const QString &path, QFile *file)
{
    ReadResult result;
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        result.error = { FileError::Kind::NotFound, ENOENT, QStringLiteral("File Not Found") };
        return result;
    }
    if (const std::optional<FileError> odd = filebytes::notRegularFile(path)) {
        result.error = *odd;
        return result;
    }
    const int fd = filebytes::openRegular(path, &result.error);
    if (fd < 0)
        return result;
    if (!file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        result.error = FileError::of(*file);
        return result;
    }
    result.ok = true;
    return result;
}

// Reads the file piece by piece into one reused buffer and hands each piece
// to `f`, which returns false to stop early.
template <class F> ReadResult readPieces(const QString &path, F &&f)
{
    QFile file(path);
    ReadResult result = openForReading(path, &file);
    if (!result.ok)
        return result;
    QByteArray buffer(kPiece, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0) {
            result.ok = false;
            result.error = FileError::of(file);
            return result;
        }
        if (n == 0 || !f(QByteArrayView(buffer.constData(), n)))
            return result;
    }
}

// The key list's head rule: the first head whose name is exactly `name`.
// Returns a HeadReader callback that records that head's offset and stops.
auto headMatcher(const QByteArray &name, qsizetype *headAt)
{
    return [&name, headAt](qsizetype at, QByteArrayView line) {
        if (*ini::headName(line) != name)
            return true;
        *headAt = at;
        return false;
    };
}

// Appends each head's name to `names`: a HeadReader callback.
auto nameCollector(QList<QByteArray> *names)
{
    return [names](qsizetype, QByteArrayView line) {
        names->append(ini::headName(line)->toByteArray());
        return true;
    };
}

KeyLines keyLinesOf(QByteArrayView text, const ini::Section &section)
{
    KeyLines lines;
    lines.keys.reserve(section.keyLines.size());
    lines.values.reserve(section.keyLines.size());
    for (const ini::Line &line : section.keyLines) {
        const ini::KeyValue kv = ini::splitKeyLine(ini::view(text, line));
        lines.keys.append(kv.key.toByteArray());
        lines.values.append(kv.value.toByteArray());
    }
    return lines;
}

} // namespace

ReadResult readSectionNames(const QString &path, QList<QByteArray> *names, const Progress &progress)
{
    names->clear();
    const auto add = nameCollector(names);
    ini::HeadReader reader;
    qint64 read = 0;
    bool cancelled = false;
    ReadResult result = readPieces(path, [&](QByteArrayView piece) {
        read += piece.size();
        if (progress && !progress(read)) {
            cancelled = true;
            return false;
        }
        return reader.feed(piece, add);
    });
    if (cancelled) {
        result.ok = false;
        result.error = { FileError::Kind::Cancelled, 0, QStringLiteral("Cancelled") };
        return result;
    }
    if (result.ok)
        reader.finish(add);
    result.encoding = reader.encoding();
    return result;
}

ReadResult readSectionKeys(const QString &path, const QByteArray &name, KeyLines *lines)
{
    // First the head, without holding the file: its offset is all we keep.
    qsizetype headAt = -1;
    const auto match = headMatcher(name, &headAt);
    ini::HeadReader reader;
    ReadResult result = readPieces(path, [&](QByteArrayView piece) { return reader.feed(piece, match); });
    if (result.ok && headAt < 0)
        reader.finish(match);
    result.encoding = reader.encoding();
    if (!result.ok || headAt < 0)
        return result;

    // Then the section from its head on, read until its body has ended.
    QFile file(path);
    const ini::Encoding encoding = result.encoding;
    result = openForReading(path, &file);
    result.encoding = encoding;
    if (!result.ok)
        return result;
    if (!file.seek(headAt)) {
        result.ok = false;
        result.error = FileError::of(file);
        return result;
    }
    QByteArray text;
    ini::Section section;
    // The first read holds the whole name at least: a section whose head
    // is not yet read whole would look missing.
    for (qsizetype want = name.size() + 64 * 1024;; want *= 2) {
        const qsizetype had = text.size();
        text.resize(had + want);
        const qint64 n = file.read(text.data() + had, want);
        if (n < 0) {
            result.ok = false;
            result.error = FileError::of(file);
            return result;
        }
        text.resize(had + n);
        section = ini::findSection(text, name);
        // The body ended inside what was read, or the file did.
        if (!section.found || section.bodyEnd < text.size() || n == 0)
            break;
    }
    *lines = keyLinesOf(text, section);
    return result;
}

QList<QByteArray> sectionNamesIn(QByteArrayView text)
{
    QList<QByteArray> names;
    const auto add = nameCollector(&names);
    ini::HeadReader reader;
    reader.feed(text, add);
    reader.finish(add);
    return names;
}

KeyLines sectionKeysIn(QByteArrayView text, const QByteArray &name, qsizetype headAt)
{
    // From the head on, the first head is the one named.
    if (headAt > 0)
        text = text.sliced(headAt);
    const ini::Section section = ini::findSection(text, name);
    return section.found ? keyLinesOf(text, section) : KeyLines {};
}

QList<qsizetype> sectionHeadsIn(QByteArrayView text, const QList<QByteArray> &known, bool *unchanged)
{
    QList<qsizetype> heads;
    heads.reserve(known.size());
    bool same = true;
    const auto visit = [&](qsizetype at, QByteArrayView line) {
        same = same && heads.size() < known.size() && *ini::headName(line) == known.at(heads.size());
        heads.append(at);
        return true;
    };
    ini::HeadReader reader;
    reader.feed(text, visit);
    reader.finish(visit);
    *unchanged = same && heads.size() == known.size();
    return heads;
}

void createIfMissing(const QString &path)
{
    if (path.isEmpty() || QFileInfo::exists(path))
        return;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        file.close();
}

} // namespace settingsfile
