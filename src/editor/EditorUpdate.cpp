#include "editor/EditorUpdate.h"

#include "core/IniText.h"
#include "fileio/FileBytes.h"

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

} // namespace editorupdate
