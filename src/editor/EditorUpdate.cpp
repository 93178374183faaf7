#include "editor/EditorUpdate.h"

#include "core/IniText.h"

namespace editorupdate {

namespace {

// The bytes an update writes: the text as it is when its last line already
// ends with a line end, else with CR LF after it, so saving never adds blank
// lines.
QList<QByteArrayView> contentOf(QByteArrayView text)
{
    QList<QByteArrayView> pieces { text };
    if (!ini::endsWithLineEnd(text))
        pieces.append(QByteArrayView("\r\n"));
    return pieces;
}

} // namespace

Saved write(
    const QString &path, QByteArrayView text, const diskstamp::Stamp *expected, const filebytes::Wait &wait)
{
    Saved saved;
    const QList<QByteArrayView> pieces = contentOf(text);
    // The check is made on the file the update holds: a writer that came
    // between an earlier check and the lock would otherwise be overwritten.
    const auto change = [&](const filebytes::Snapshot &old, QList<filebytes::Piece> *out, FileError *why) {
        if (expected && !diskstamp::unchanged(old, *expected)) {
            saved.changedOnDisk = true;
            *why = { FileError::Kind::Changed, 0, QStringLiteral("the file was changed on disk") };
            return false;
        }
        out->clear();
        for (const QByteArrayView piece : pieces)
            out->append({ piece });
        return true;
    };
    const auto stamp = [&](int fd) { saved.stamp = diskstamp::ofWritten(fd, pieces); };
    saved.ok = filebytes::update(path, change, &saved.error, wait, stamp);
    return saved;
}

} // namespace editorupdate
