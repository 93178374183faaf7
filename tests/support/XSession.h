#pragma once

// A real X session for end-to-end tests: Xvfb on a free display with openbox
// as window manager (focus, frames and Alt+F4 as a user has them), driven by
// xdotool. Everything comes from Debian packages and is stopped with this
// object. Windows are named by a POSIX extended regular expression over their
// title, as xdotool matches them.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSize>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>

class XSession {
public:
    XSession() = default;
    ~XSession() { stop(); }
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;

    // The programs a session needs that this machine lacks, or an empty list.
    static QStringList missingPrograms()
    {
        QStringList missing;
        for (const char *program : { "Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "import" })
            if (QStandardPaths::findExecutable(QLatin1String(program)).isEmpty())
                missing << QLatin1String(program);
        return missing;
    }

    // Starts the X server and the window manager; false with a reason when not.
    bool start(QString *why)
    {
        // The server picks a free display itself and tells its number on stdout,
        // so tests running side by side never race for one.
        m_server = std::make_unique<QProcess>();
        m_server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server->start(QStringLiteral("Xvfb"),
            { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp"), QStringLiteral("-noreset") });
        QByteArray line;
        while (!line.endsWith('\n') && m_server->waitForReadyRead(20000))
            line += m_server->readAllStandardOutput();
        bool numbered = false;
        const int display = line.trimmed().toInt(&numbered);
        if (!numbered) {
            *why = QStringLiteral("Xvfb did not start: %1").arg(m_server->errorString());
            return false;
        }
        m_display = QStringLiteral(":%1").arg(display);
        m_windowManager = std::make_unique<QProcess>();
        m_windowManager->setProcessEnvironment(environment());
        m_windowManager->setStandardOutputFile(QProcess::nullDevice());
        m_windowManager->setStandardErrorFile(QProcess::nullDevice());
        // Debian's own configuration, not the user's: the tests rely on its
        // defaults, such as Alt+F4 closing the active window.
        QStringList wmArgs { QStringLiteral("--sm-disable") };
        const QString systemConfig = QStringLiteral("/etc/xdg/openbox/rc.xml");
        if (QFile::exists(systemConfig))
            wmArgs << QStringLiteral("--config-file") << systemConfig;
        m_windowManager->start(QStringLiteral("openbox"), wmArgs);
        // A window mapped while the window manager starts may never get its focus.
        if (!waitUntil(
                [&] {
                    return output("xprop", { "-root", "_NET_SUPPORTING_WM_CHECK" }).contains("window id");
                },
                15000)) {
            *why = QStringLiteral("openbox did not start on %1").arg(m_display);
            return false;
        }
        return true;
    }

    void stop()
    {
        for (std::unique_ptr<QProcess> *process : { &m_windowManager, &m_server }) {
            if (*process && (*process)->state() != QProcess::NotRunning) {
                (*process)->terminate();
                if (!(*process)->waitForFinished(5000)) {
                    (*process)->kill();
                    (*process)->waitForFinished(5000);
                }
            }
            process->reset();
        }
    }

    // The environment for a program shown in this session.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }

    // The visible window whose title matches, waiting for it; empty when none came.
    QString waitForWindow(const QString &titlePattern, int timeoutMs = 20000) const
    {
        QString id;
        waitUntil(
            [&] {
                const QStringList ids = visibleWindows(titlePattern);
                id = ids.isEmpty() ? QString() : ids.constFirst();
                return !id.isEmpty();
            },
            timeoutMs);
        return id;
    }

    // Waits until no visible window's title matches; false when one stays.
    bool waitForNoWindow(const QString &titlePattern, int timeoutMs = 20000) const
    {
        return waitUntil([&] { return visibleWindows(titlePattern).isEmpty(); }, timeoutMs);
    }

    QStringList visibleWindows(const QString &titlePattern) const
    {
        const QString text = QString::fromLocal8Bit(
            output("xdotool", { "search", "--onlyvisible", "--name", titlePattern.toLocal8Bit() }));
        return text.split(u'\n', Qt::SkipEmptyParts);
    }

    // Gives the window the focus as a click on its frame would, and waits for it.
    bool activate(const QString &window) const
    {
        return succeeds("xdotool", { "windowactivate", "--sync", window.toLatin1() })
            && waitUntil(
                [&] { return output("xdotool", { "getactivewindow" }).trimmed() == window.toLatin1(); },
                10000);
    }

    // Keys as xdotool names them ("alt+d", "Tab", "Return"), to the focused window.
    bool key(const QString &keys) const
    {
        QList<QByteArray> args { "key", "--clearmodifiers", "--delay", "40" };
        for (const QString &one : keys.split(u' ', Qt::SkipEmptyParts))
            args << one.toLatin1();
        const bool ok = succeeds("xdotool", args);
        settle();
        return ok;
    }

    bool type(const QString &text) const
    {
        const bool ok = succeeds("xdotool", { "type", "--clearmodifiers", "--delay", "15", text.toUtf8() });
        settle();
        return ok;
    }

    // Resizes the window as dragging its frame would, and waits for it.
    bool resize(const QString &window, int width, int height) const
    {
        const bool ok = succeeds("xdotool",
            { "windowsize", "--sync", window.toLatin1(), QByteArray::number(width),
                QByteArray::number(height) });
        settle();
        return ok;
    }

    // The size of the window's own area, without the frame.
    QSize windowSize(const QString &window) const
    {
        const QString info = QString::fromLocal8Bit(output("xwininfo", { "-id", window.toLatin1() }));
        auto field = [&](const char *name) {
            const QRegularExpression re(QLatin1String(name) + QStringLiteral(":\\s*(-?\\d+)"));
            return re.match(info).captured(1).toInt();
        };
        return QSize(field("Width"), field("Height"));
    }

    // Saves the window with the frame the window manager drew around it.
    bool screenshot(const QString &window, const QString &path) const
    {
        const QString info = QString::fromLocal8Bit(output("xwininfo", { "-id", window.toLatin1() }));
        auto field = [&](const char *name) {
            const QRegularExpression re(QLatin1String(name) + QStringLiteral(":\\s*(-?\\d+)"));
            return re.match(info).captured(1).toInt();
        };
        const int x = field("Absolute upper-left X"), y = field("Absolute upper-left Y");
        const int width = field("Width"), height = field("Height");
        int left = 0, right = 0, top = 0, bottom = 0;
        const QString extents
            = QString::fromLatin1(output("xprop", { "-id", window.toLatin1(), "_NET_FRAME_EXTENTS" }));
        const QRegularExpressionMatch m
            = QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)")).match(extents);
        if (m.hasMatch()) {
            left = m.captured(1).toInt();
            right = m.captured(2).toInt();
            top = m.captured(3).toInt();
            bottom = m.captured(4).toInt();
        }
        QDir().mkpath(QFileInfo(path).absolutePath());
        const QByteArray crop = QStringLiteral("%1x%2+%3+%4")
                                    .arg(width + left + right)
                                    .arg(height + top + bottom)
                                    .arg(x - left)
                                    .arg(y - top)
                                    .toLatin1();
        return width > 0
            && succeeds("import", { "-window", "root", "-crop", crop, "+repage", path.toLocal8Bit() });
    }

    // Polls until the condition holds; false when the time ran out first.
    template <typename Condition> static bool waitUntil(Condition condition, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(50);
        }
        return true;
    }

private:
    // Lets the program under test handle what it was sent before the next step.
    static void settle() { QThread::msleep(150); }

    QByteArray output(const char *program, const QList<QByteArray> &args, int *exitCode = nullptr) const
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        QStringList list;
        for (const QByteArray &arg : args)
            list << QString::fromLocal8Bit(arg);
        process.start(QLatin1String(program), list);
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished(5000);
            if (exitCode)
                *exitCode = -1;
            return {};
        }
        if (exitCode)
            *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return process.readAllStandardOutput();
    }

    bool succeeds(const char *program, const QList<QByteArray> &args) const
    {
        int exitCode = -1;
        output(program, args, &exitCode);
        return exitCode == 0;
    }

    QString m_display;
    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_windowManager;
};
