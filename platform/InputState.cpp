#include "platform/InputState.h"

#include <cctype>
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
    if (keyName == nullptr)
        return false;
    // Virtual-key codes as the host's key table numbers them.
    int key = 0;
    if (std::isalpha(static_cast<unsigned char>(keyName[0])) && keyName[1] == '\0')
        key = std::toupper(static_cast<unsigned char>(keyName[0]));
    else if (std::strcmp(keyName, "Shift") == 0)
        key = 0x10;
    else if (std::strcmp(keyName, "Ctrl") == 0)
        key = 0x11;
    else if (std::strcmp(keyName, "Alt") == 0)
        key = 0x12;
    const KeyStateQuery& query = installedQuery();
    return key != 0 && query && query(key);
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
