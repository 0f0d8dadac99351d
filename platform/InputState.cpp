#include "platform/InputState.h"

#include <cstring>
#include <utility>

namespace Platform {

namespace {

KeyStateQuery& installedQuery()
{
    static KeyStateQuery query;
    return query;
}

WaitCursorHooks& installedHooks()
{
    static WaitCursorHooks hooks;
    return hooks;
}

int& waitCursorDepth()
{
    static int depth = 0;
    return depth;
}

} // namespace

KeyStateQuery setKeyStateQuery(KeyStateQuery query)
{
    return std::exchange(installedQuery(), std::move(query));
}

bool isKeyDown(const char* keyName)
{
    if (keyName == nullptr || std::strcmp(keyName, "Y") != 0)
        return false;
    const KeyStateQuery& query = installedQuery();
    return query && query('Y');
}

WaitCursorHooks setWaitCursorHooks(WaitCursorHooks hooks)
{
    return std::exchange(installedHooks(), std::move(hooks));
}

WaitCursor::WaitCursor()
{
    if (waitCursorDepth()++ == 0 && installedHooks().show)
        installedHooks().show();
}

WaitCursor::~WaitCursor()
{
    if (--waitCursorDepth() == 0 && installedHooks().hide)
        installedHooks().hide();
}

} // namespace Platform
