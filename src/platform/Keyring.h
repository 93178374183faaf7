#pragma once

#include <QObject>
#include <QString>

#include <functional>

// The desktop keyring (Secret Service or KWallet, through QtKeychain), the one
// place a password is kept. Every call answers later, through `done`, unless
// `context` is destroyed first.
namespace keyring {

struct Answer {
    bool available = false; // a keyring answered at all
    bool ok = false; // read: a password was found; write and remove: done
    QString password;
};

using Done = std::function<void(const Answer &)>;

void read(const QString &account, QObject *context, Done done);
void write(const QString &account, const QString &password, QObject *context, Done done);
void remove(const QString &account, QObject *context, Done done);

// Test seam: a keyring kept in memory, present or absent, instead of the
// desktop's; `useDesktop` goes back to the real one.
void useMemoryForTesting(bool available);
void useDesktop();
QString memoryPasswordForTesting(const QString &account);

} // namespace keyring
