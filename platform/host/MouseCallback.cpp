#include "platform/host/MouseCallback.h"

#include <algorithm>

namespace {

// Never destroyed: plug-in globals are destroyed after the host.
std::vector<CVezadMouseCallback*>& enabled()
{
    static auto* callbacks = new std::vector<CVezadMouseCallback*>;
    return *callbacks;
}

} // namespace

namespace VezadHost {

const std::vector<CVezadMouseCallback*>& enabledMouseCallbacks()
{
    return enabled();
}

} // namespace VezadHost

CVezadMouseCallback::~CVezadMouseCallback()
{
    Enable(false);
}

bool CVezadMouseCallback::Enable(bool bEnable)
{
    auto& list = enabled();
    auto it = std::find(list.begin(), list.end(), this);
    if (bEnable && it == list.end())
        list.push_back(this);
    else if (!bEnable && it != list.end())
        list.erase(it);
    return true;
}

bool CVezadMouseCallback::IsEnabled() const
{
    const auto& list = enabled();
    return std::find(list.begin(), list.end(), this) != list.end();
}

int CVezadMouseCallback::OnMouseDown(CVezadView&, int, UINT, int, int)
{
    return 0;
}

int CVezadMouseCallback::OnMouseMove(CVezadView&, UINT, int, int)
{
    return 0;
}

int CVezadMouseCallback::OnMouseUp(CVezadView&, int, UINT, int, int)
{
    return 0;
}

int CVezadMouseCallback::PassThrough()
{
    return 0;
}
