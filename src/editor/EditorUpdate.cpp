#include "editor/EditorUpdate.h"

#include "core/IniText.h"

#include <QDir>

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

QString openingNote(const QString &path)
{
    const std::optional<QString> backup = filebytes::leftoverBackup(path);
    if (!backup)
        return {};
    return QStringLiteral(
        "An earlier update of \"%1\" was interrupted, and its previous content is kept in "
        "\"%2\".\n\nCheck the file against that copy (put the copy in its place if the file "
        "is damaged), then remove the copy. Until then the file cannot be updated.")
        .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(*backup));
}

} // namespace editorupdate
