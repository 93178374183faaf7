#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// Hands a message to the user's own mail program (xdg-email), for providers
// that take mail only from their own programs.
namespace mailprogram {

struct Message {
    QStringList to;
    QString subject;
    QString body;
    QString attachment; // a path, or empty
};

// The message as a mailto address (RFC 6068), with the attachment's absolute
// path in an "attach" field as desktop mail programs take it.
QString mailtoAddress(const Message &message);
// The arguments of xdg-email for the message.
QStringList arguments(const Message &message);

// Starts xdg-email and says, through `done` (unless `context` is gone), whether
// a mail program took the message, or why not in words for the user.
void open(const Message &message, QObject *context, std::function<void(bool ok, const QString &why)> done);

// Test seam: the program started instead of xdg-email; empty goes back.
void useProgramForTesting(const QString &program);

} // namespace mailprogram
