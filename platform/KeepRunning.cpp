#include "platform/KeepRunning.h"

#include <atomic>

namespace Platform {
namespace {

std::atomic<KeepRunningQuery*>& installedQuery()
{
    static std::atomic<KeepRunningQuery*> query{nullptr};
    return query;
}

} // namespace

void setKeepRunningQuery(KeepRunningQuery* query)
{
    installedQuery().store(query, std::memory_order_release);
}

bool keepRunning()
{
    KeepRunningQuery* query = installedQuery().load(std::memory_order_acquire);
    return query ? query->keepRunning() : true;
}

} // namespace Platform
