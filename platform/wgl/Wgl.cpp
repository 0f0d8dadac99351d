#include "platform/wgl/WglSubset.h"

#include "platform/BitmapFont.h"
#include "platform/GLContext.h"

#include <map>

namespace {

struct Registered {
    Platform::GLContext* context = nullptr;
    HDC device = nullptr;
};

struct Registry {
    std::uintptr_t lastHandle = 0;
    std::map<HGLRC, Registered> contexts;
};

Registry& registry()
{
    static auto* r = new Registry;
    return *r;
}

const Registered* find(HGLRC handle)
{
    auto it = registry().contexts.find(handle);
    return it == registry().contexts.end() ? nullptr : &it->second;
}

} // namespace

namespace WglSubset {

HGLRC registerContext(Platform::GLContext* context)
{
    if (HGLRC existing = handleOf(context))
        return existing;
    Registry& r = registry();
    ++r.lastHandle;
    auto handle = reinterpret_cast<HGLRC>(r.lastHandle * 16);
    r.contexts[handle] = {context, reinterpret_cast<HDC>(r.lastHandle * 16 + 8)};
    return handle;
}

void unregisterContext(HGLRC handle)
{
    registry().contexts.erase(handle);
}

HGLRC handleOf(const Platform::GLContext* context)
{
    for (const auto& [handle, registered] : registry().contexts)
        if (context && registered.context == context)
            return handle;
    return nullptr;
}

HDC deviceOf(HGLRC handle)
{
    const Registered* r = find(handle);
    return r ? r->device : nullptr;
}

} // namespace WglSubset

HGLRC wglGetCurrentContext()
{
    for (const auto& [handle, registered] : registry().contexts)
        if (registered.context->isCurrent())
            return handle;
    return nullptr;
}

HDC wglGetCurrentDC()
{
    return WglSubset::deviceOf(wglGetCurrentContext());
}

BOOL wglShareLists(HGLRC source, HGLRC destination)
{
    const Registered* a = find(source);
    const Registered* b = find(destination);
    if (!a || !b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (a->context->shareGroup() == 0 || a->context->shareGroup() != b->context->shareGroup()) {
        SetLastError(ERROR_INVALID_OPERATION);
        return FALSE;
    }
    return TRUE;
}

BOOL wglUseFontBitmapsW(HDC device, DWORD first, DWORD count, DWORD listBase)
{
    HDC current = wglGetCurrentDC();
    if (!current || device != current) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!Platform::buildBitmapFontLists(first, count, listBase)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
