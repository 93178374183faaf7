#include "platform/MailProgram.h"

#include <QPointer>
#include <QProcess>

namespace mailprogram {
namespace {

QString &testProgram()
{
    static QString program;
    return program;
}

} // namespace

QStringList arguments(const Message &message)
{
    QStringList args { QStringLiteral("--utf8") };
    if (!message.subject.isEmpty())
        args << QStringLiteral("--subject") << message.subject;
    if (!message.body.isEmpty())
        args << QStringLiteral("--body") << message.body;
    if (!message.attachment.trimmed().isEmpty())
        args << QStringLiteral("--attach") << message.attachment;
    for (const QString &address : message.to)
        if (!address.trimmed().isEmpty())
            args << address.trimmed();
    return args;
}

void open(const Message &message, QObject *context, std::function<void(bool ok, const QString &why)> done)
{
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
            const QString said = QString::fromLocal8Bit(process->readAll()).trimmed();
            // xdg-email: 3 a needed tool is missing, 4 the mail program failed.
            const QString why = code == 3 || code == 4
                ? QStringLiteral("No mail program is set up on this computer.")
                : QStringLiteral("The mail program could not take the message.");
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
