#include "platform/MailProgram.h"

#include "core/MailFields.h"

#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTimer>

namespace mailprogram {
namespace {

QString &testProgram()
{
    static QString program;
    return program;
}

} // namespace

QString mailtoAddress(const Message &message)
{
    // The rows of RFC 6068: the first recipient is the address proper, the
    // others follow as "to" fields, as xdg-email itself writes them.
    auto encode = [](const QString &text, const QByteArray &keep = {}) {
        return QString::fromLatin1(text.toUtf8().toPercentEncoding(keep));
    };
    QStringList recipients;
    for (const QString &address : message.to)
        if (!address.trimmed().isEmpty())
            recipients << encode(address.trimmed(), "@");
    QStringList fields;
    for (qsizetype i = 1; i < recipients.size(); ++i)
        fields << QStringLiteral("to=") + recipients[i];
    if (!message.subject.isEmpty())
        fields << QStringLiteral("subject=") + encode(message.subject);
    if (!message.body.isEmpty()) {
        // Mail breaks its lines with CR LF.
        QString body = message.body;
        body.replace(QLatin1String("\r\n"), QLatin1String("\n"))
            .replace(QLatin1Char('\r'), QLatin1Char('\n'));
        fields << QStringLiteral("body=") + encode(body.replace(QLatin1Char('\n'), QLatin1String("\r\n")));
    }
    if (mime::hasAttachment(message.attachment))
        fields << QStringLiteral("attach=") + encode(QFileInfo(message.attachment).absoluteFilePath(), "/");
    QString address = QStringLiteral("mailto:") + recipients.value(0);
    if (!fields.isEmpty())
        address += QLatin1Char('?') + fields.join(QLatin1Char('&'));
    return address;
}

QStringList arguments(const Message &message)
{
    // xdg-email passes the texts of its --subject and --body options through
    // the shell's echo, which turns backslashes into control characters and
    // cuts the text at "\c"; an address encoded here reaches the mail program
    // as it is.
    return { mailtoAddress(message) };
}

void open(const Message &message, QObject *context, std::function<void(bool ok, const QString &why)> done)
{
    // The mail program would open with the attachment missing, or not at all.
    if (mime::hasAttachment(message.attachment)) {
        const QFileInfo file(message.attachment);
        if (!file.isFile() || !file.isReadable()) {
            QTimer::singleShot(0, context, [done, path = message.attachment] {
                done(false, QStringLiteral("The attachment cannot be read:\n") + path);
            });
            return;
        }
    }
    const QString program = testProgram().isEmpty() ? QStringLiteral("xdg-email") : testProgram();
    auto *process = new QProcess;
    process->setProcessChannelMode(QProcess::MergedChannels);
    const QPointer<QObject> guard(context);
    QObject::connect(
        process, &QProcess::finished, process, [process, guard, done](int code, QProcess::ExitStatus status) {
            process->deleteLater();
            if (!guard)
                return;
            if (status == QProcess::NormalExit && code == 0) {
                done(true, {});
                return;
            }
            // xdg-email: 3 no way to open a mailto address was found (its own
            // words would only repeat the whole address); otherwise the mail
            // program or xdg-email itself failed, and says why.
            if (status == QProcess::NormalExit && code == 3) {
                done(false, QStringLiteral("No mail program is set up on this computer."));
                return;
            }
            QString said = QString::fromLocal8Bit(process->readAll()).trimmed();
            if (said.size() > 300)
                said = said.left(300) + QChar(0x2026);
            const QString why = QStringLiteral("The mail program could not take the message.");
            done(false, said.isEmpty() ? why : why + QLatin1Char('\n') + said);
        });
    QObject::connect(
        process, &QProcess::errorOccurred, process, [process, guard, done](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            process->deleteLater();
            if (guard)
                done(false,
                    QStringLiteral(
                        "No mail program can be started: xdg-email (from xdg-utils) is not installed."));
        });
    process->start(program, arguments(message));
}

void useProgramForTesting(const QString &program)
{
    testProgram() = program;
}

} // namespace mailprogram
