#include "platform/host/View.h"

#include "platform/PngWriter.h"
#include "platform/host/Document.h"
#include "platform/host/ObjectDrawing.h"
#include "platform/wgl/WglSubset.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// Never destroyed: plug-in globals delete their callbacks at exit.
std::vector<CVezadDrawCallback*>& callbacks()
{
    static auto* registered = new std::vector<CVezadDrawCallback*>;
    return *registered;
}

const float kBackground[3] = {0.47f, 0.51f, 0.55f};

// Set while a view draws: a redraw asked for meanwhile (by a callback) only
// marks its view, and a drawing never starts inside another.
bool drawing = false;

// Runs one stage with the OpenGL state and both matrices saved, so that what
// a stage changes cannot leak into the next.
template <class Stage> void isolated(Stage stage)
{
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    stage();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

void glColor(const ON_Color& c)
{
    VezadHost::setColor(c);
}

} // namespace

namespace VezadHost {

const std::vector<CVezadDrawCallback*>& drawCallbacks()
{
    return callbacks();
}

ON_BoundingBox visibleExtents(CVezadView& view)
{
    ON_BoundingBox box;
    if (const CVezadDoc* doc = view.GetDocument())
        for (int i = 0; i < doc->ObjectCount(); ++i) {
            const CVezadObject* object = doc->ObjectAt(i);
            if (!object->IsDeleted() && !object->IsHidden())
                box.Union(object->BoundingBox());
        }
    for (CVezadDrawCallback* callback : callbacks())
        callback->BoundingBox(view.ActiveViewport(), box);
    return box;
}

} // namespace VezadHost

// ---- CVezadViewport ----

bool CVezadViewport::current() const
{
    return m_view && m_view->context().isCurrent();
}

bool CVezadViewport::SetTarget(const ON_3dPoint& target, bool bUpdateCameraLocation)
{
    if (!std::isfinite(target.x) || !std::isfinite(target.y) || !std::isfinite(target.z))
        return false;
    const ON_3dPoint camera = m_vp.CameraLocation();
    if (bUpdateCameraLocation) {
        ON_3dVector direction = m_vp.CameraDirection();
        direction.Unitize();
        double distance = (m_target - camera) * direction;
        if (!(distance > 0.0))
            distance = m_target.DistanceTo(camera);
        m_vp.SetCameraLocation(target - distance * direction);
    } else if (!(target - camera).IsZero()) {
        m_vp.SetCameraDirection(target - camera);
    }
    m_target = target;
    return true;
}

void CVezadViewport::DrawNurbsCurve(const ON_NurbsCurve& curve)
{
    if (!current())
        return;
    glDisable(GL_LIGHTING);
    glColor(m_drawColor);
    VezadHost::drawPolyline(VezadHost::curveSamples(curve));
}

void CVezadViewport::DrawPoint(const ON_3dPoint& point)
{
    if (!current())
        return;
    glDisable(GL_LIGHTING);
    glColor(m_drawColor);
    glPointSize(4.0f);
    glBegin(GL_POINTS);
    glVertex3d(point.x, point.y, point.z);
    glEnd();
    glPointSize(1.0f);
}

void CVezadViewport::DrawLine(const ON_3dPoint& from, const ON_3dPoint& to)
{
    if (!current())
        return;
    glDisable(GL_LIGHTING);
    glColor(m_drawColor);
    glBegin(GL_LINES);
    glVertex3d(from.x, from.y, from.z);
    glVertex3d(to.x, to.y, to.z);
    glEnd();
}

bool CVezadViewport::worldToScreen(const ON_3dPoint& point, double& x, double& y) const
{
    double projection[16], modelView[16];
    int left = 0, right = 0, bottom = 0, top = 0;
    if (!m_vp.GetOpenGLProjectionMatrix(projection) || !m_vp.GetOpenGLModelViewMatrix(modelView) ||
        !m_vp.GetScreenPort(&left, &right, &bottom, &top))
        return false;
    // Column-major: element (row, column) is m[column * 4 + row].
    const double p[4] = {point.x, point.y, point.z, 1.0};
    double eye[4], clip[4];
    for (int r = 0; r < 4; ++r)
        eye[r] = modelView[r] * p[0] + modelView[4 + r] * p[1] + modelView[8 + r] * p[2] +
                 modelView[12 + r] * p[3];
    for (int r = 0; r < 4; ++r)
        clip[r] = projection[r] * eye[0] + projection[4 + r] * eye[1] + projection[8 + r] * eye[2] +
                  projection[12 + r] * eye[3];
    if (!(clip[3] > 0.0))
        return false;
    x = left + (clip[0] / clip[3] + 1.0) * 0.5 * (right - left);
    y = top + (1.0 - clip[1] / clip[3]) * 0.5 * (bottom - top);
    return true;
}

// ---- CVezadDrawCallback ----

CVezadDrawCallback::~CVezadDrawCallback()
{
    auto& all = callbacks();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void CVezadDrawCallback::DrawBackground(CVezadViewport&, CVezadDoc&) {}
void CVezadDrawCallback::DrawMiddleground(CVezadViewport&, CVezadDoc&) {}
void CVezadDrawCallback::DrawForeground(CVezadViewport&, CVezadDoc&) {}
void CVezadDrawCallback::DrawPostForeground(CVezadViewport&, CVezadDoc&) {}

// ---- CVezadView ----

CVezadView::CVezadView(CVezadDoc* document, int width, int height, bool shaded,
                       const CVezadView* sharePartner)
    : m_document(document), m_width(width), m_height(height)
{
    m_viewport.m_view = this;
    m_viewport.m_shaded = shaded;
    const double aspect = height > 0 ? double(width) / height : 1.0;
    m_viewport.m_vp.SetFrustum(-aspect, aspect, -1.0, 1.0, 0.1, 1000.0);
    m_viewport.m_vp.SetScreenPort(0, width, height, 0);
    Win32Subset::WindowSettings settings;
    settings.className = L"VezadView";
    settings.visible = true;
    createWindow(settings);
    const Platform::GLContext* partner =
        sharePartner && sharePartner->hasContext() ? &sharePartner->m_context : nullptr;
    if (m_context.create(width, height, partner))
        m_contextHandle = WglSubset::registerContext(&m_context);
}

CVezadView::~CVezadView()
{
    WglSubset::unregisterContext(m_contextHandle);
    CWnd::DestroyWindow();
}

bool CVezadView::AddDrawCallback(CVezadDrawCallback* callback)
{
    auto& all = callbacks();
    if (!callback || std::find(all.begin(), all.end(), callback) != all.end())
        return false;
    all.push_back(callback);
    return true;
}

bool CVezadView::RemoveDrawCallback(CVezadDrawCallback* callback)
{
    auto& all = callbacks();
    auto it = std::find(all.begin(), all.end(), callback);
    if (it == all.end())
        return false;
    all.erase(it);
    return true;
}

CVezadView::Look CVezadView::look() const
{
    Look now;
    if (!m_viewport.m_vp.GetOpenGLProjectionMatrix(now.projection))
        std::fill(std::begin(now.projection), std::end(now.projection), 0.0);
    if (!m_viewport.m_vp.GetOpenGLModelViewMatrix(now.modelView))
        std::fill(std::begin(now.modelView), std::end(now.modelView), 0.0);
    now.width = m_width;
    now.height = m_height;
    now.shaded = m_viewport.m_shaded;
    return now;
}

void CVezadView::loadCamera()
{
    glViewport(0, 0, m_width, m_height);
    double projection[16], modelView[16];
    glMatrixMode(GL_PROJECTION);
    if (m_viewport.m_vp.GetOpenGLProjectionMatrix(projection))
        glLoadMatrixd(projection);
    else
        glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    if (m_viewport.m_vp.GetOpenGLModelViewMatrix(modelView))
        glLoadMatrixd(modelView);
    else
        glLoadIdentity();
}

void CVezadView::Redraw()
{
    m_requested = true;
    if (!drawing && m_context.makeCurrent())
        loadCamera();
}

bool CVezadView::stale() const
{
    return m_requested || !m_drawn || !(look() == m_drawnLook);
}

void CVezadView::drawWhenStale()
{
    if (stale())
        drawNow();
}

void CVezadView::drawNow()
{
    if (drawing || !m_context.makeCurrent())
        return;
    drawing = true;
    // A request made while the view draws asks for the next drawing.
    m_requested = false;
    m_drawnLook = look();
    m_drawn = true;
    ++m_drawCount;
    loadCamera();
    glClearColor(kBackground[0], kBackground[1], kBackground[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);

    CVezadViewport& vp = m_viewport;
    // The callbacks of a stage are copied: a callback may remove itself.
    auto stage = [&](void (CVezadDrawCallback::*slot)(CVezadViewport&, CVezadDoc&)) {
        if (!m_document)
            return;
        for (CVezadDrawCallback* callback : std::vector<CVezadDrawCallback*>(callbacks())) {
            auto& all = callbacks();
            if (std::find(all.begin(), all.end(), callback) != all.end())
                isolated([&] { (callback->*slot)(vp, *m_document); });
        }
    };
    stage(&CVezadDrawCallback::DrawBackground);
    if (m_document) {
        // The host's own objects first, then the custom ones.
        CVezadDisplayPipeline pipeline(vp);
        for (bool builtInPass : {true, false}) {
            for (int i = 0; i < m_document->ObjectCount(); ++i) {
                const CVezadObject* object = m_document->ObjectAt(i);
                if (!object->IsDeleted() && !object->IsHidden() &&
                    VezadHost::isBuiltIn(*object) == builtInPass)
                    isolated([&] { object->Draw(pipeline); });
            }
        }
    }
    stage(&CVezadDrawCallback::DrawMiddleground);
    stage(&CVezadDrawCallback::DrawForeground);
    stage(&CVezadDrawCallback::DrawPostForeground);
    glFinish();
    drawing = false;
}

bool CVezadView::pixel(int x, int y, unsigned char rgba[4])
{
    std::vector<unsigned char> pixels;
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return false;
    drawWhenStale();
    if (!m_context.readPixels(pixels))
        return false;
    const std::size_t row = static_cast<std::size_t>(m_height - 1 - y);
    std::copy_n(pixels.data() + (row * static_cast<std::size_t>(m_width) + x) * 4, 4, rgba);
    return true;
}

bool CVezadView::depths(std::vector<float>& values)
{
    std::vector<float> bottomUp;
    values.clear();
    drawWhenStale();
    if (!m_context.readDepths(bottomUp))
        return false;
    values.reserve(bottomUp.size());
    for (int row = m_height - 1; row >= 0; --row) {
        const auto first = bottomUp.begin() + static_cast<std::ptrdiff_t>(row) * m_width;
        values.insert(values.end(), first, first + m_width);
    }
    return true;
}

bool CVezadView::capture(const std::string& path, std::string& reason)
{
    std::vector<unsigned char> pixels;
    drawWhenStale();
    if (!m_context.readPixels(pixels)) {
        reason = "the view has no OpenGL context";
        return false;
    }
    if (!Platform::writePng(path, pixels.data(), m_width, m_height, true)) {
        reason = "cannot write " + path;
        return false;
    }
    return true;
}

bool CVezadView::captureAt(const std::string& path, int width, int height, std::string& reason)
{
    if (width == m_width && height == m_height)
        return capture(path, reason);
    if (!m_context.resize(width, height)) {
        reason = "the view cannot be drawn at " + std::to_string(width) + " x " +
                 std::to_string(height) + " pixels";
        return false;
    }
    const int ownWidth = m_width, ownHeight = m_height;
    const ON_Viewport own = m_viewport.m_vp;
    double l = 0, r = 0, b = 0, t = 0, n = 0, f = 0;
    if (own.GetFrustum(&l, &r, &b, &t, &n, &f)) {
        const double halfWidth = 0.5 * (t - b) * width / height, middle = 0.5 * (l + r);
        m_viewport.m_vp.SetFrustum(middle - halfWidth, middle + halfWidth, b, t, n, f);
    }
    m_viewport.m_vp.SetScreenPort(0, width, height, 0);
    m_width = width;
    m_height = height;
    drawNow();
    const bool written = capture(path, reason);
    m_context.resize(ownWidth, ownHeight);
    m_width = ownWidth;
    m_height = ownHeight;
    m_viewport.m_vp = own;
    // The view's own pixels gave way to the picture's.
    Redraw();
    return written;
}

CVezadPickContext CVezadView::pickContext(int x, int y)
{
    CVezadPickContext context;
    context.m_view = this;
    context.m_screen_x = x;
    context.m_screen_y = y;
    ON_Line frustumLine;
    if (m_viewport.m_vp.GetFrustumLine(x, y, frustumLine))
        context.m_pick_line = ON_Line(frustumLine.to, frustumLine.from);
    return context;
}

LRESULT CVezadView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        Redraw();
        return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
