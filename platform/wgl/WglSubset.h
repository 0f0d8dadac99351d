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
// platform's one bitmap font (platform/BitmapFont.h) into the display lists
// listBase ... of the current context. FALSE, with the last error set,
// without a current context, for a device handle that is not the current
// context's, or for codes or a list base the font refuses.
BOOL wglUseFontBitmapsW(HDC device, DWORD first, DWORD count, DWORD listBase);

namespace WglSubset {

// Registers a view's context (not owned; it must outlive its registration).
HGLRC registerContext(Platform::GLContext* context);
void unregisterContext(HGLRC handle);
// The handle of a registered context and the device handle of a handle;
// null for unknown ones.
HGLRC handleOf(const Platform::GLContext* context);
HDC deviceOf(HGLRC handle);

} // namespace WglSubset
