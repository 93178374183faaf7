#include "editor/EditorUpdate.h"

#include "core/IniText.h"
#include "fileio/FileBytes.h"

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

Saved write(const QString &path, QByteArrayView text)
{
    Saved written;
    const QList<QByteArrayView> pieces = contentOf(text);
    written.ok = filebytes::replace(path, pieces, &written.error);
    if (written.ok)
        written.stamp = diskstamp::take(path, diskstamp::now(), pieces);
    return written;
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
