#pragma once

#include <QEventLoop>
#include <QObject>

// Waits without blocking the windows: runs the event loop until one of the
// chosen signals arrives or the time is up, whichever comes first. Used once
// per wait:
//     SignalWait().on(socket, &Winsock::DataArrival).on(socket, &QObject::destroyed).run(ms);
class SignalWait {
public:
    // Ends the wait when `sender` emits `signal`.
    template <typename Sender, typename Signal> SignalWait &on(const Sender *sender, Signal signal)
    {
        QObject::connect(sender, signal, &m_loop, &QEventLoop::quit);
        return *this;
    }

    // Processes events for `ms` milliseconds at most. A pause that must end on
    // time asks for a precise timer; the default one may fire a little late.
    void run(int ms, Qt::TimerType timerType = Qt::CoarseTimer);

private:
    QEventLoop m_loop;
};
