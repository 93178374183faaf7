#include "platform/Keyring.h"

#include <qt6keychain/keychain.h>

#include <QHash>
#include <QPointer>
#include <QTimer>

namespace keyring {
namespace {

const QString service = QStringLiteral("ferox-ini-editor-smtp");

struct Memory {
    bool active = false;
    bool available = false;
    QHash<QString, QString> passwords;
};

Memory &memory()
{
    static Memory store;
    return store;
}

// The memory keyring answers later too, as the desktop's does.
void answerLater(QObject *context, Done done, Answer answer)
{
    QTimer::singleShot(0, context, [done = std::move(done), answer] { done(answer); });
}

bool keyringAnswered(QKeychain::Error error)
{
    return error != QKeychain::NoBackendAvailable && error != QKeychain::NotImplemented
        && error != QKeychain::OtherError && error != QKeychain::AccessDeniedByUser
        && error != QKeychain::AccessDenied;
}

void run(QKeychain::Job *job, QObject *context, Done done, std::function<QString(QKeychain::Job *)> password)
{
    const QPointer<QObject> guard(context);
    QObject::connect(
        job, &QKeychain::Job::finished, context, [guard, done, password](QKeychain::Job *finished) {
            if (!guard)
                return;
            Answer answer;
            answer.available = keyringAnswered(finished->error());
            answer.ok = finished->error() == QKeychain::NoError;
            if (answer.ok && password)
                answer.password = password(finished);
            done(answer);
        });
    job->setAutoDelete(true);
    job->start();
}

} // namespace

void read(const QString &account, QObject *context, Done done)
{
    Memory &m = memory();
    if (m.active) {
        answerLater(context, std::move(done),
            { m.available, m.available && m.passwords.contains(account), m.passwords.value(account) });
        return;
    }
    auto *job = new QKeychain::ReadPasswordJob(service);
    job->setKey(account);
    run(job, context, std::move(done),
        [](QKeychain::Job *j) { return static_cast<QKeychain::ReadPasswordJob *>(j)->textData(); });
}

void write(const QString &account, const QString &password, QObject *context, Done done)
{
    Memory &m = memory();
    if (m.active) {
        if (m.available)
            m.passwords.insert(account, password);
        answerLater(context, std::move(done), { m.available, m.available, {} });
        return;
    }
    auto *job = new QKeychain::WritePasswordJob(service);
    job->setKey(account);
    job->setTextData(password);
    run(job, context, std::move(done), {});
}

void remove(const QString &account, QObject *context, Done done)
{
    Memory &m = memory();
    if (m.active) {
        const bool had = m.passwords.remove(account) > 0;
        answerLater(context, std::move(done), { m.available, had, {} });
        return;
    }
    auto *job = new QKeychain::DeletePasswordJob(service);
    job->setKey(account);
    run(job, context, std::move(done), {});
}

void useMemoryForTesting(bool available)
{
    memory() = { true, available, {} };
}

void useDesktop()
{
    memory() = {};
}

QString memoryPasswordForTesting(const QString &account)
{
    return memory().passwords.value(account);
}

} // namespace keyring
