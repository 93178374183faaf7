#include "platform/SignalWait.h"

#include <QTimer>

void SignalWait::run(int ms, Qt::TimerType timerType)
{
    QTimer timer;
    timer.setTimerType(timerType);
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &m_loop, &QEventLoop::quit);
    timer.start(ms);
    m_loop.exec();
}
