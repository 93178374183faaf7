#include "mail/modSendmail.h"

#include "core/Base64.h"
#include "platform/FileLoader.h"
#include "platform/TextBuffer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>

namespace modSendmail {
namespace {

// The longest stretch without event processing while encoding, so the window
// keeps up with a 60 Hz display.
constexpr qint64 yieldEveryMs = 10;

} // namespace

Result EncodeAttachment(const QString &path, FileLoader &loader, TextBuffer &output)
{
    const QPointer<TextBuffer> target(&output);
    output.Clear();
    if (!loader.LoadFile(path))
        return { false,
            QStringLiteral("The attachment \"%1\" cannot be read: %2.").arg(path, loader.ErrorString()) };
    // A shared copy stays valid whatever the window does while events run.
    const QByteArray bytes = loader.Text();
    base64::LineEncoder encoder(bytes);
    QElapsedTimer sinceYield;
    sinceYield.start();
    while (!encoder.atEnd()) {
        encoder.encodeNext();
        if (sinceYield.elapsed() >= yieldEveryMs) {
            QCoreApplication::processEvents();
            if (!target)
                return { false,
                    QStringLiteral("The encoding of the attachment was abandoned: its window was closed.") };
            sinceYield.restart();
        }
    }
    target->SetText(encoder.takeText());
    return { true, {} };
}

} // namespace modSendmail
