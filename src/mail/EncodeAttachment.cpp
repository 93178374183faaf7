#include "mail/modSendmail.h"

#include "core/Base64.h"
#include "fileio/FileRead.h"

namespace modSendmail {

EncodedAttachment EncodeAttachment(const QString &path)
{
    EncodedAttachment encoded;
    QByteArray bytes;
    FileError error;
    if (!filebytes::read(path, &bytes, &error)) {
        encoded.error = QStringLiteral("The attachment \"%1\" cannot be read: %2.").arg(path, error.text);
        return encoded;
    }
    encoded.text = base64::lines(bytes);
    encoded.ok = true;
    return encoded;
}

} // namespace modSendmail
