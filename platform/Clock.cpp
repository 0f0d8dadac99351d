#include "platform/Clock.h"

#include <chrono>
#include <ctime>

namespace Platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

SteadyClock::time_point origin()
{
    static const SteadyClock::time_point start = SteadyClock::now();
    return start;
}

} // namespace

double monotonicTicks()
{
    const SteadyClock::time_point start = origin();
    return static_cast<double>((SteadyClock::now() - start).count());
}

double monotonicTicksPerSecond()
{
    return static_cast<double>(SteadyClock::period::den) /
           static_cast<double>(SteadyClock::period::num);
}

std::string localTimeText()
{
    const std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1))
        return {};
    char buffer[64] = {};
    if (!ctime_r(&now, buffer))
        return {};
    std::string text(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace Platform
