#pragma once

// Sends a mail through the transport the way the mail window does: encodes the
// attachment, connects, and on the socket's Connect event (after the window's
// half-second pause, when asked for) holds the SMTP dialogue. For the SMTP
// tests and the mail benchmarks.

#include "core/MailFields.h"
#include "mail/modSendmail.h"
#include "platform/FileLoader.h"
#include "platform/TextBuffer.h"
#include "platform/Winsock.h"

#include <QEventLoop>
#include <QList>
#include <QString>
#include <QTimer>

namespace mailrun {

struct Mail {
    QString from = QStringLiteral("alice@example.org");
    QString to = QStringLiteral("maintainers@example.net");
    QString subject = QStringLiteral("Updated Ferox.ini File");
    QString body = QStringLiteral("Hello,\r\nthe new entries are attached.");
    QString attachment; // a path, or empty
    bool pauseFirst = false; // wait half a second after the Connect event, as the window does
};

struct ErrorEvent {
    int number;
    QString description;
    QString source;
};

struct Run {
    bool connected = false;
    bool finished = false; // the dialogue ended, or the attachment could not be encoded
    modSendmail::SendOutcome outcome;
    QList<ErrorEvent> errors; // the socket's Error events
};

// Runs the events until the dialogue has ended, the connection failed, or
// `waitMs` have passed (a negative `waitMs`: no limit).
inline Run sendAsTheWindowDoes(const QString &host, const QString &port, const Mail &mail,
    const modSendmail::Timeouts &timeouts, int waitMs = 30000)
{
    using namespace modSendmail;
    Run run;
    // Declared before the socket, so that they outlive whatever it emits.
    QEventLoop loop;
    QTimer limit;
    Winsock socket;
    socket.setObjectName(QStringLiteral("Winsock1"));
    FileLoader loader;
    TextBuffer encoded;
    if (mime::hasAttachment(mail.attachment)) {
        const Result result = EncodeAttachment(mail.attachment, loader, encoded);
        if (!result.ok) {
            run.outcome.error = result.error;
            run.finished = true;
            return run;
        }
    }
    QObject::connect(&socket, &Winsock::Connect, [&] {
        run.connected = true;
        if (mail.pauseFirst)
            Pause(0.5);
        run.outcome = SendMail(mail.from, mail.to, mail.subject, mail.body, socket, mail.attachment,
            mime::hasAttachment(mail.attachment) ? &encoded : nullptr, timeouts);
        run.finished = true;
        loop.quit();
    });
    QObject::connect(
        &socket, &Winsock::Error, [&](int number, const QString &description, const QString &source) {
            run.errors.append({ number, description, source });
            if (!run.connected)
                loop.quit();
        });
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (waitMs >= 0)
        limit.start(waitMs);
    ConnectToServer(host, socket, port);
    if (!run.finished && (run.connected || run.errors.isEmpty()))
        loop.exec();
    return run;
}

} // namespace mailrun
