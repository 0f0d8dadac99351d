#include "foundation/Profiler.h"

#include "foundation/Logging.h"

#include <iostream>

namespace {

bool isSection(int i)
{
    return i >= 0 && i < CSimpleProfiler::sectionCount;
}

} // namespace

CSimpleProfiler::CSimpleProfiler(const char* label) : m_timer(true, label, true) {}

CSimpleProfiler::~CSimpleProfiler()
{
    m_timer.stop();
    std::cout << *this;
}

bool CSimpleProfiler::addSectionTicks(int i, double ticks)
{
    if (!isSection(i))
        return false;
    m_sectionTicks[i] += ticks;
    return true;
}

bool CSimpleProfiler::startSection(int i)
{
    if (!isSection(i))
        return false;
    m_sections[i].startTicks = now();
    return true;
}

bool CSimpleProfiler::stopSection(int i)
{
    if (!isSection(i))
        return false;
    m_sections[i].stopTicks = now();
    m_sectionTicks[i] += m_sections[i].stopTicks - m_sections[i].startTicks;
    return true;
}

double CSimpleProfiler::getSectionTicks(int i) const
{
    return isSection(i) ? m_sectionTicks[i] : 0.0;
}

std::ostream& operator<<(std::ostream& os, const CSimpleProfiler& profiler)
{
    if (!isProfilerEnabled())
        return os;
    const StopUhr& timer = profiler.getTimer();
    const double totalMs = timer.elapsedMilliseconds();
    double reportedTicks = 0.0;
    for (int i = 0; i < CSimpleProfiler::sectionCount; ++i) {
        const double ticks = profiler.getSectionTicks(i);
        if (!(ticks > 0.0))
            continue;
        const double ms = timer.ticksToMilliseconds(ticks);
        // A run too short to measure has no meaningful portions.
        const double portion = totalMs > 0.0 ? 100.0 * ms / totalMs : 0.0;
        os << i << "-th sub=" << ms << " ms. portion=" << portion << " %" << std::endl;
        reportedTicks += ticks;
    }
    os << "other = " << timer.ticksToMilliseconds(timer.elapsedTicks() - reportedTicks) << " ms. "
       << std::endl;
    os << timer << std::endl;
    return os;
}

CTP::CTP(CSimpleProfiler& profiler, int section)
    : m_profiler(profiler), m_section(section), m_startTicks(profiler.now())
{
}

CTP::~CTP()
{
    m_profiler.addSectionTicks(m_section, m_profiler.now() - m_startTicks);
}
