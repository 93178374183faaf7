#include "platform/DayClock.h"

#include <QTime>

namespace dayclock {

namespace {
std::function<double()> &replacement()
{
    static std::function<double()> clock;
    return clock;
}
} // namespace

double secondsSinceMidnight()
{
    if (replacement())
        return replacement()();
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

void overrideForTesting(std::function<double()> clock)
{
    replacement() = std::move(clock);
}

} // namespace dayclock
