// Process-wide stop flag of the iterative surface fit.

#include "platform/FitStopFlag.h"

#include <atomic>
#include <iostream>

namespace Platform {

namespace {
std::atomic<int> stopFlag{0};
} // namespace

bool fitStopRequested()
{
    return stopFlag.load(std::memory_order_relaxed) != 0;
}

void setFitStopFlag(int value)
{
    stopFlag.store(value, std::memory_order_relaxed);
}

void resetFitStopFlag()
{
    stopFlag.store(0, std::memory_order_relaxed);
}

void onCtrlC()
{
    std::cout << "CTRL-C received, terminating on next iteration." << std::endl;
    stopFlag.store(1, std::memory_order_relaxed);
}

} // namespace Platform
