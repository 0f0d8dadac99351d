#include "foundation/StopUhr.h"

#include "foundation/Logging.h"
#include "platform/Clock.h"

#include <iostream>

bool TimerInterface::start()
{
    if (m_running)
        return false;
    m_startTicks = now();
    m_running = true;
    return true;
}

bool TimerInterface::stop()
{
    if (!m_running)
        return false;
    m_accumulatedTicks += ticksSinceStart();
    m_running = false;
    return true;
}

bool TimerInterface::resume()
{
    return start();
}

bool TimerInterface::pause()
{
    return stop();
}

StopUhr::StopUhr(bool startNow, const char* label, bool quiet) : TimerInterface(label, quiet)
{
    const double ticksPerSecond = Platform::monotonicTicksPerSecond();
    if (ticksPerSecond > 0.0) {
        m_highResolution = true;
        m_ticksPerSecond = ticksPerSecond;
        const double first = Platform::monotonicTicks();
        const double second = Platform::monotonicTicks();
        m_readOverheadTicks = second - first;
    }
    m_startTicks = StopUhr::now();
    m_accumulatedTicks = 0.0;
    m_running = startNow;
}

StopUhr::~StopUhr()
{
    // A disabled report writes nothing at all, not even the line end.
    if (!m_quiet && isTimerEnabled())
        std::cout << *this << std::endl;
}

double StopUhr::now() const
{
    return Platform::monotonicTicks();
}

double StopUhr::ticksSinceStart() const
{
    if (!m_running)
        return 0.0;
    return now() - m_startTicks - m_readOverheadTicks;
}

double StopUhr::elapsedTicks() const
{
    const double ticks = m_accumulatedTicks + ticksSinceStart();
    return ticks < 0.0 ? 0.0 : ticks;
}

double StopUhr::ticksToMilliseconds(const double& ticks) const
{
    return ticks / m_ticksPerSecond * 1000.0;
}

double StopUhr::elapsedMilliseconds() const
{
    return elapsedTicks() / m_ticksPerSecond * 1000.0;
}

void StopUhr::restart()
{
    m_startTicks = now();
    m_accumulatedTicks = 0.0;
    m_running = true;
}

std::ostream& operator<<(std::ostream& os, const StopUhr& watch)
{
    if (!isTimerEnabled())
        return os;
    const char* label = watch.getLabel();
    if (label && *label)
        os << label << ": ";
    const double ms = watch.elapsedMilliseconds();
    if (ms / 1000.0 > 5.0)
        os << "elapsed seconds = " << ms / 1000.0;
    else if (ms > 0.01)
        os << "elapsed milliseconds = " << ms;
    else
        os << "elapsed ticks=" << watch.elapsedTicks();
    return os;
}

StopUhr& globalStopUhr()
{
    static StopUhr* watch = new StopUhr(true, nullptr, true);
    return *watch;
}
