#include "platform/GLContext.h"

#include <GL/gl.h>
#include <GL/osmesa.h>

#include <atomic>

namespace Platform {

namespace {
// Larger buffers than this are refused rather than allocated: views are
// captured at screen sizes.
constexpr int kMaxSide = 16384;

OSMesaContext handle(void* p)
{
    return static_cast<OSMesaContext>(p);
}

unsigned int newShareGroup()
{
    static std::atomic<unsigned int> last{0};
    return ++last;
}
} // namespace

GLContext::~GLContext()
{
    destroy();
}

bool GLContext::create(int width, int height, const GLContext* sharePartner)
{
    if (sharePartner == this || (sharePartner && !sharePartner->isValid())) {
        m_lastError = "the share partner holds no context";
        destroy();
        return false;
    }
    destroy();
    m_lastError.clear();
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        m_lastError = "invalid context size";
        return false;
    }
    OSMesaContext context = OSMesaCreateContextExt(
        OSMESA_RGBA, 24, 0, 0, sharePartner ? handle(sharePartner->m_context) : nullptr);
    if (context == nullptr) {
        m_lastError = "the offscreen driver could not create a context";
        return false;
    }
    m_context = context;
    m_shareGroup = sharePartner ? sharePartner->m_shareGroup : newShareGroup();
    m_width = width;
    m_height = height;
    m_buffer.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u, 0);
    if (!makeCurrent()) {
        destroy();
        m_lastError = "the offscreen driver could not bind the context";
        return false;
    }
    return true;
}

bool GLContext::makeCurrent()
{
    if (m_context == nullptr)
        return false;
    return OSMesaMakeCurrent(handle(m_context), m_buffer.data(), GL_UNSIGNED_BYTE, m_width,
                             m_height) == GL_TRUE;
}

bool GLContext::resize(int width, int height)
{
    if (m_context == nullptr || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return false;
    std::vector<unsigned char> buffer(
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u, 0);
    if (OSMesaMakeCurrent(handle(m_context), buffer.data(), GL_UNSIGNED_BYTE, width, height) !=
        GL_TRUE) {
        makeCurrent();
        return false;
    }
    m_buffer = std::move(buffer);
    m_width = width;
    m_height = height;
    return true;
}

bool GLContext::isCurrent() const
{
    return m_context != nullptr && OSMesaGetCurrentContext() == handle(m_context);
}

bool GLContext::isAnyCurrent()
{
    return OSMesaGetCurrentContext() != nullptr;
}

bool GLContext::readPixels(std::vector<unsigned char>& pixels)
{
    pixels.clear();
    if (m_context == nullptr)
        return false;
    if (!isCurrent() && !makeCurrent())
        return false;
    glFinish();
    // The driver renders straight into our buffer with row 0 at the bottom.
    pixels = m_buffer;
    return true;
}

bool GLContext::readDepths(std::vector<float>& depths)
{
    depths.clear();
    if (m_context == nullptr || (!isCurrent() && !makeCurrent()))
        return false;
    glFinish();
    depths.resize(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, m_width, m_height, GL_DEPTH_COMPONENT, GL_FLOAT, depths.data());
    return true;
}

void GLContext::destroy()
{
    if (m_context != nullptr) {
        if (isCurrent())
            OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
        OSMesaDestroyContext(handle(m_context));
    }
    m_context = nullptr;
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    m_width = 0;
    m_height = 0;
    m_shareGroup = 0;
}

} // namespace Platform
