// The WGL subset: the OpenGL context functions of Windows over the views'
// offscreen contexts (Platform::GLContext).
//
// The host registers each view's context; its handle (HGLRC) and device
// handle (HDC) stay valid until it is unregistered, and are never used for
// another context. A context is current while its view draws (the host
// makes it current) and stays current until another one is made current,
// as on Windows.
//
// Not thread-safe: the registry belongs to the host's user-interface thread.
#pragma once

#include "platform/win32/WindowsSubset.h"

namespace Platform {
class GLContext;
}

// The registered context that is current on the calling thread (the view
// being drawn, or the one drawn last); null when none is.
HGLRC wglGetCurrentContext();
// The device handle of the current context; null when none is current.
HDC wglGetCurrentDC();
// TRUE when both contexts were created in one share group, so that their
// display lists are shared already (the offscreen driver shares lists only
// when a context is created). FALSE, with the last error set, for an
// unknown context or contexts of different groups.
BOOL wglShareLists(HGLRC source, HGLRC destination);
// Compiles the glyphs of the codes first .. first + count - 1 of the
// platform's bitmap font into the display lists listBase ... of the current
// context. FALSE, with the last error set, without a current context, for a
// device handle that is not the current context's, or when the font cannot
// be built.
BOOL wglUseFontBitmapsW(HDC device, DWORD first, DWORD count, DWORD listBase);

namespace WglSubset {

// Registers a view's context (not owned; it must outlive its registration).
HGLRC registerContext(Platform::GLContext* context);
void unregisterContext(HGLRC handle);
// The context behind a handle, the handle and device handle of a context;
// null for unknown ones.
Platform::GLContext* context(HGLRC handle);
HGLRC handleOf(const Platform::GLContext* context);
HDC deviceOf(HGLRC handle);

} // namespace WglSubset
