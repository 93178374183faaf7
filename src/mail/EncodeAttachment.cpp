#include "mail/modSendmail.h"

#include "core/Base64.h"
#include "fileio/FileRead.h"

namespace modSendmail {

EncodedAttachment EncodeAttachment(const QString &path)
{
    EncodedAttachment encoded;
    base64::Writer writer;
    FileError error;
    // Whole lines' worth of bytes per piece, small enough to stay in the
    // processor's cache: the file is never held twice.
    constexpr qsizetype pieceBytes = base64::lineBytes * 2048;
    const bool read = filebytes::readInPieces(
        path, pieceBytes, [&writer](qint64 size) { writer = base64::Writer(static_cast<qsizetype>(size)); },
        [&writer](QByteArrayView piece) { writer.add(piece); }, &error);
    if (!read) {
        encoded.error = QStringLiteral("The attachment \"%1\" cannot be read: %2.").arg(path, error.text);
        return encoded;
    }
    encoded.text = writer.finish();
    encoded.ok = true;
    return encoded;
}

} // namespace modSendmail
