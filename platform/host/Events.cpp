#include "platform/host/Events.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<CVezadEventWatcher*>& registry()
{
    static std::vector<CVezadEventWatcher*> watchers;
    return watchers;
}

} // namespace

CVezadEventWatcher::~CVezadEventWatcher()
{
    UnRegister();
}

void CVezadEventWatcher::Register()
{
    if (!IsRegistered())
        registry().push_back(this);
}

void CVezadEventWatcher::UnRegister()
{
    auto& watchers = registry();
    watchers.erase(std::remove(watchers.begin(), watchers.end(), this), watchers.end());
}

bool CVezadEventWatcher::IsRegistered() const
{
    const auto& watchers = registry();
    return std::find(watchers.begin(), watchers.end(), this) != watchers.end();
}

bool CVezadUuidCollection::AddUuid(const ON_UUID& id, bool bCheckUnique)
{
    if (id.IsNil())
        return false;
    bool inserted = m_ids.insert(id).second;
    return inserted || !bCheckUnique;
}

namespace VezadHost {

void notifyWatchers(const std::function<void(CVezadEventWatcher&)>& event)
{
    // A watcher may unregister itself or another one while it hears the
    // event, so the walk goes over a copy and checks each one again.
    const std::vector<CVezadEventWatcher*> snapshot = registry();
    for (CVezadEventWatcher* watcher : snapshot)
        if (watcher->IsRegistered() && watcher->IsEnabled())
            event(*watcher);
}

} // namespace VezadHost
