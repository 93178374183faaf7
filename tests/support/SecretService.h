#pragma once

// A desktop keyring of the test's own: a private D-Bus session bus and
// gnome-keyring's Secret Service on it, its login keyring created and unlocked
// with a test password in a temporary folder. The bus knows no services to
// start on demand, so once the keyring is stopped nothing answers for it, as
// on a desktop without a keyring.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

class SecretService {
public:
    ~SecretService()
    {
        stopKeyring();
        stopProcess(m_bus);
    }

    // Starts both; the address to put in DBUS_SESSION_BUS_ADDRESS is address().
    bool start(QString *error)
    {
        if (!m_dir.isValid()) {
            *error = QStringLiteral("no temporary folder");
            return false;
        }
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        if (!config.open(QIODevice::WriteOnly)) {
            *error = QStringLiteral("cannot write the bus configuration");
            return false;
        }
        config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                     "<auth>EXTERNAL</auth><policy context=\"default\">"
                     "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                     "<allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        m_bus.start(QStringLiteral("dbus-daemon"),
            { QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                QStringLiteral("--config-file=") + config.fileName() });
        if (!m_bus.waitForStarted(10000) || !m_bus.waitForReadyRead(10000)) {
            *error = QStringLiteral("dbus-daemon did not start: ") + m_bus.errorString();
            return false;
        }
        m_address = QString::fromLocal8Bit(m_bus.readLine()).trimmed();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *folder : { "run", "data", "home" })
            QDir(m_dir.path()).mkdir(QString::fromLatin1(folder));
        QFile::setPermissions(
            m_dir.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        m_keyring.setProcessEnvironment(env);
        m_keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The password on standard input creates the login keyring unlocked.
        m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
            { QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                QStringLiteral("--components=secrets") });
        if (!m_keyring.waitForStarted(10000)) {
            *error = QStringLiteral("gnome-keyring-daemon did not start: ") + m_keyring.errorString();
            return false;
        }
        m_keyring.write("test keyring password");
        m_keyring.waitForBytesWritten(5000);
        m_keyring.closeWriteChannel();
        // It answers once it owns the Secret Service's name on the bus.
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            QProcess ask;
            ask.setProcessEnvironment(env);
            ask.start(QStringLiteral("dbus-send"),
                { QStringLiteral("--session"), QStringLiteral("--print-reply"),
                    QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                    QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                    QStringLiteral("string:org.freedesktop.secrets") });
            ask.waitForFinished(5000);
            if (ask.readAllStandardOutput().contains("boolean true"))
                return true;
            if (m_keyring.state() == QProcess::NotRunning)
                break;
            QThread::msleep(50);
        }
        *error = QStringLiteral("the keyring did not come up on the bus");
        return false;
    }

    QString address() const { return m_address; }

    // The keyring goes; the bus stays, with nobody to answer for it.
    void stopKeyring() { stopProcess(m_keyring); }

private:
    static void stopProcess(QProcess &process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    QTemporaryDir m_dir;
    QProcess m_bus;
    QProcess m_keyring;
    QString m_address;
};
