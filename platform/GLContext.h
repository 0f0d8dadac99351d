// Platform::GLContext: the offscreen OpenGL context a headless view draws into.
//
// A context owns an RGBA colour buffer with a depth buffer of a fixed size,
// rendered by Mesa's offscreen driver. The system's drawing code (OpenGL 1.1
// with GLU, display lists and immediate mode) runs unchanged against it; the
// frame is read back with readPixels and written out with writePng.
//
// Display-list sharing between views: every view keeps a context of its own,
// and the views of one host share their display lists, so a list compiled
// while one view draws can be called while another draws. The offscreen
// driver shares lists only when a context is created, so create takes the
// partner whose lists the new context shares; contexts created that way
// (directly or through a chain of partners) form one share group, which
// shareGroup() names. A context created without a partner starts a group of
// its own.
//
// Ownership: the object owns the context and its pixel buffer; both are freed
// by destroy() or the destructor. Not copyable.
// Thread-safety: a context is current on the thread that made it current;
// use one context from one thread at a time.
#pragma once

#include <string>
#include <vector>

namespace Platform {

class GLContext {
public:
    GLContext() = default;
    ~GLContext();
    GLContext(const GLContext&) = delete;
    GLContext& operator=(const GLContext&) = delete;

    // Creates an RGBA context with a 24-bit depth buffer of width x height
    // pixels and makes it current. With a share partner the new context
    // shares the partner's display lists and joins its share group; the
    // partner must hold a context and stay alive while lists are shared.
    // An existing context of this object is destroyed first. False (with the
    // reason in lastError()) for a non-positive or oversized size, a partner
    // without a context (or this object itself) or when the driver refuses;
    // the object then holds no context.
    bool create(int width, int height, const GLContext* sharePartner = nullptr);

    // Binds this context and its buffer to the calling thread. False when the
    // object holds no context or the driver refuses.
    bool makeCurrent();

    // Gives the context a new, cleared buffer of width x height pixels and
    // makes it current; the context and its display lists stay. False (the
    // old size kept) without a context or for a size create refuses.
    bool resize(int width, int height);

    // Reads back the finished frame: width*height RGBA bytes, rows from the
    // bottom of the image upwards as OpenGL numbers them. Makes the context
    // current when it is not. False (pixels emptied) without a context.
    bool readPixels(std::vector<unsigned char>& pixels);

    // Reads back the finished frame's depth buffer: width*height values from
    // 0 (near plane) to 1 (far plane, and where nothing was drawn), rows from
    // the bottom upwards. Makes the context current when it is not. False
    // (depths emptied) without a context.
    bool readDepths(std::vector<float>& depths);

    // Unbinds the context when it is current and frees it with its buffer.
    // Safe to call on an empty object.
    void destroy();

    bool isValid() const { return m_context != nullptr; }
    bool isCurrent() const;
    int width() const { return m_width; }
    int height() const { return m_height; }
    // The share group of the context (from 1); 0 without a context.
    unsigned int shareGroup() const { return m_shareGroup; }
    const std::string& lastError() const { return m_lastError; }

    // Whether any offscreen context is current on the calling thread; OpenGL
    // calls are only issued when one is.
    static bool isAnyCurrent();

private:
    void* m_context = nullptr; // the driver's context handle
    std::vector<unsigned char> m_buffer;
    int m_width = 0;
    int m_height = 0;
    unsigned int m_shareGroup = 0;
    std::string m_lastError;
};

} // namespace Platform
