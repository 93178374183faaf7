#pragma once

// Sends a mail with the SMTP client the way the mail window does, and runs the
// events until its one outcome arrives. For the SMTP tests and the mail
// benchmarks.

#include "mail/SmtpClient.h"

#include <QEventLoop>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace mailrun {

struct Mail {
    QString from = QStringLiteral("alice@example.org");
    QString to = QStringLiteral("maintainers@example.net");
    QString subject = QStringLiteral("Updated Ferox.ini File");
    QString body = QStringLiteral("Hello,\r\nthe new entries are attached.");
    QString attachment; // a path, or empty
    smtp::Security security = smtp::Security::StartTlsWhenOffered;
    QString userName; // from the connection settings
    // The passwords given, in turn, each time the client asks for a login;
    // when they run out the send is cancelled.
    QStringList passwords;
    QString trustedFingerprint;
    bool plainAfterTlsFailure = false;
};

struct Run {
    bool finished = false;
    MailOutcome outcome;
    QList<SmtpClient::Step> steps;
    QStringList loginReasons; // one entry per login request
    QStringList waits; // what the client said it waits for
};

inline SmtpClient::Timeouts shortTimeouts()
{
    SmtpClient::Timeouts timeouts;
    timeouts.connectMs = 5000;
    timeouts.greetingMs = 3000;
    timeouts.commandMs = 3000;
    timeouts.dataStartMs = 3000;
    timeouts.uploadStallMs = 5000;
    timeouts.dataEndMs = 5000;
    timeouts.quitMs = 1000;
    return timeouts;
}

inline MailJob jobFor(const QString &host, int port, const Mail &mail)
{
    MailJob job;
    job.endpoint.host = host;
    job.endpoint.port = port;
    job.endpoint.security = mail.security;
    job.userName = mail.userName;
    job.trustedFingerprint = mail.trustedFingerprint;
    job.plainAfterTlsFailure = mail.plainAfterTlsFailure;
    job.fromAddress = mail.from;
    job.toAddress = mail.to;
    job.subject = mail.subject;
    job.body = mail.body;
    job.attachmentPath = mail.attachment;
    return job;
}

// Runs the send until its outcome, or `waitMs` (negative: no limit). `during`
// is called on every step, with the client, so a test can cancel there.
inline Run send(const QString &host, int port, const Mail &mail,
    const SmtpClient::Timeouts &timeouts = shortTimeouts(), int waitMs = 30000,
    const std::function<void(SmtpClient &, SmtpClient::Step)> &during = {})
{
    Run run;
    QEventLoop loop;
    QTimer limit;
    SmtpClient client;
    client.setTimeouts(timeouts);
    QStringList passwords = mail.passwords;
    QObject::connect(&client, &SmtpClient::stepChanged, [&](SmtpClient::Step step) {
        run.steps << step;
        if (during)
            during(client, step);
    });
    QObject::connect(&client, &SmtpClient::waiting, [&](const QString &what, int) { run.waits << what; });
    QObject::connect(&client, &SmtpClient::loginNeeded, [&](const QString &user, const QString &reason) {
        run.loginReasons << reason;
        if (passwords.isEmpty()) {
            client.cancel();
            return;
        }
        client.provideLogin(user.isEmpty() ? mail.from : user, passwords.takeFirst());
    });
    QObject::connect(&client, &SmtpClient::finished, [&](const MailOutcome &outcome) {
        run.outcome = outcome;
        run.finished = true;
        loop.quit();
    });
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (waitMs >= 0)
        limit.start(waitMs);
    client.start(jobFor(host, port, mail));
    if (!run.finished)
        loop.exec();
    return run;
}

} // namespace mailrun
