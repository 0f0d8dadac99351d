// Views of the headless host: CVezadView (a window with an offscreen OpenGL
// context and a viewport), CVezadViewport (camera, display mode and the
// plug-in's drawing calls), CVezadDisplayPipeline (what a custom object's
// Draw gets), the pick context, and CVezadDrawCallback, through which a
// plug-in draws at fixed stages of every redraw.
//
// Nobody looks at a headless view, so a redraw is drawn when what the view
// shows is next needed: its pixels, its depths or a capture. Redraw() asks
// for one and at once makes the view's context current with the view's port
// and matrices loaded, as a drawing leaves them (code that projects through
// the current matrices between drawings finds the view's). The view is drawn
// when it is read after a request, or after its camera, size or display
// mode changed since its last drawing; else the pixels of the last drawing
// stand. The requests of a gesture (one or two for every mouse move while a
// net is drawn) so cost one drawing at the most, the one a capture asks for.
//
// A drawing makes the view's context current (wglGetCurrentContext answers
// it), clears to the background, loads the viewport's matrices, enables the
// depth test and runs, in this order: every draw callback's DrawBackground;
// the Draw of every visible object, the host's own first (they draw
// themselves: curves, surface boundaries and Brep edges as poly-lines,
// meshes flat-shaded with one light in shaded views and as edges in
// wireframe views), then the custom ones; DrawMiddleground, DrawForeground
// and DrawPostForeground of every callback; then glFinish.
// Each stage runs with the OpenGL state and matrices saved and restored.
// Draw callbacks are registered with the host through any view and called by
// every view's redraw; a callback leaves the host when it is destroyed.
//
// Ownership: the application owns the views (platform/host/App.h); a view
// owns its context and viewport. Callbacks are not owned: the plug-in keeps
// them alive while registered. Not thread-safe: views draw on the host's
// user-interface thread.
#pragma once

#include "platform/GLContext.h"
#include "platform/mfc/Wnd.h"
#include "platform/on/OpenNurbsSubset.h"

#include <string>
#include <vector>

class CVezadDoc;
class CVezadView;

class CVezadViewport {
public:
    // The camera, frustum and screen port.
    ON_Viewport& VP() { return m_vp; }
    const ON_Viewport& VP() const { return m_vp; }
    CVezadView* ParentView() const { return m_view; }
    bool DisplayModeIsShaded() const { return m_shaded; }

    // Makes the camera look at target; with bUpdateCameraLocation the camera
    // moves with it (same direction and distance), else only the target is
    // kept. False for a non-finite point.
    bool SetTarget(const ON_3dPoint& target, bool bUpdateCameraLocation = true);
    ON_3dPoint Target() const { return m_target; }

    // The colour of lines and points; the shade colour is that of shaded
    // drawing. Both are black until set.
    ON_Color DrawColor() const { return m_drawColor; }
    void SetDrawColor(const ON_Color& color) { m_drawColor = color; }
    ON_Color ShadeColor() const { return m_shadeColor; }
    void SetShadeColor(const ON_Color& color) { m_shadeColor = color; }

    // Immediate-mode drawing in the draw colour, unlit; nothing is drawn
    // unless the view's context is current (while it redraws).
    void DrawNurbsCurve(const ON_NurbsCurve& curve);
    void DrawPoint(const ON_3dPoint& point);
    void DrawLine(const ON_3dPoint& from, const ON_3dPoint& to);

    // ---- Host side ----
    void setShaded(bool shaded) { m_shaded = shaded; }
    // The pixel position (y down) of a world point; false for an invalid
    // viewport or a point the camera cannot see.
    bool worldToScreen(const ON_3dPoint& point, double& x, double& y) const;

private:
    friend class CVezadView;
    bool current() const;

    CVezadView* m_view = nullptr;
    ON_Viewport m_vp;
    ON_3dPoint m_target{0.0, 0.0, 0.0};
    bool m_shaded = true;
    ON_Color m_drawColor{0, 0, 0};
    ON_Color m_shadeColor{0, 0, 0};
};

// What a custom object's Draw gets while a view redraws.
class CVezadDisplayPipeline {
public:
    explicit CVezadDisplayPipeline(CVezadViewport& viewport) : m_viewport(&viewport) {}
    CVezadViewport* GetVezadVP() const { return m_viewport; }

private:
    CVezadViewport* m_viewport;
};

// A pick at a screen point: m_pick_line runs through the point from the near
// plane (from) to the far plane (to), so what lies along it nearer to from is
// in front.
class CVezadPickContext {
public:
    CVezadView* m_view = nullptr;
    ON_Line m_pick_line;
    int m_screen_x = 0;
    int m_screen_y = 0;
    // How far from the point, in pixels, a curve may pass and count as hit.
    double m_pick_radius = 3.0;
};

class CVezadDrawCallback {
public:
    CVezadDrawCallback() = default;
    CVezadDrawCallback(const CVezadDrawCallback&) = delete;
    CVezadDrawCallback& operator=(const CVezadDrawCallback&) = delete;
    // Leaves the host: no view calls it afterwards.
    virtual ~CVezadDrawCallback();

    // Adds to box what the callback draws, for zooming to the extents.
    virtual void BoundingBox(CVezadViewport& vp, ON_BoundingBox& box)
    {
        (void)vp;
        (void)box;
    }
    // The stages of a redraw, in the order they run (above).
    virtual void DrawBackground(CVezadViewport& vp, CVezadDoc& doc);
    virtual void DrawMiddleground(CVezadViewport& vp, CVezadDoc& doc);
    virtual void DrawForeground(CVezadViewport& vp, CVezadDoc& doc);
    virtual void DrawPostForeground(CVezadViewport& vp, CVezadDoc& doc);
};

class CVezadView : public CWnd {
public:
    // A view of width x height pixels looking down -Z (a parallel view of
    // 2 units height around the origin) with its window and context; the
    // context shares display lists with sharePartner's when one is given.
    // Without a working offscreen driver the view exists but draws nothing
    // (hasContext() false).
    CVezadView(CVezadDoc* document, int width, int height, bool shaded,
               const CVezadView* sharePartner);
    ~CVezadView() override;

    CVezadViewport& ActiveViewport() { return m_viewport; }
    const CVezadViewport& ActiveViewport() const { return m_viewport; }
    CVezadDoc* GetDocument() const { return m_document; }

    // Registers a draw callback with the host; false for null or one added
    // already.
    bool AddDrawCallback(CVezadDrawCallback* callback);
    bool RemoveDrawCallback(CVezadDrawCallback* callback);
    // Asks for the view to be drawn (above); a request made while a view
    // draws only marks the view.
    void Redraw();

    // Whether _MaxViewPort maximised the view (a headless view keeps its
    // size).
    bool IsMaximized() const { return m_maximized; }

    // ---- Host side ----
    void setMaximized(bool maximized) { m_maximized = maximized; }
    bool hasContext() const { return m_context.isValid(); }
    const Platform::GLContext& context() const { return m_context; }
    HGLRC contextHandle() const { return m_contextHandle; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    // Draws the view now (above), asked for or not.
    void drawNow();
    // Whether reading the view draws it first (above).
    bool stale() const;
    // How many times the view has been drawn.
    long drawCount() const { return m_drawCount; }
    // The RGBA of pixel (x, y), y counted down from the top, drawn first
    // when stale; false outside the view or without a context.
    bool pixel(int x, int y, unsigned char rgba[4]);
    // The depths of the view, drawn first when stale, row by row from the
    // top: 0 at the near plane, 1 at the far plane and where nothing was
    // drawn. False without a context.
    bool depths(std::vector<float>& values);
    // Writes the view, drawn first when stale, to a PNG file; false (with
    // the reason) without a context or when the file cannot be written.
    bool capture(const std::string& path, std::string& reason);
    // Draws the view at width x height pixels for the picture only and
    // writes it: the picture shows the view's height of the scene about its
    // centre (its width follows the picture's shape). The view keeps its
    // size and camera (its own pixels are drawn again when next read), so
    // what its pixels address stays the same.
    bool captureAt(const std::string& path, int width, int height, std::string& reason);
    // The pick context of screen point (x, y).
    CVezadPickContext pickContext(int x, int y);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // What a drawing depends on besides the scene: the camera's matrices,
    // the size and the display mode.
    struct Look {
        double projection[16] = {};
        double modelView[16] = {};
        int width = 0;
        int height = 0;
        bool shaded = false;
        bool operator==(const Look&) const = default;
    };
    Look look() const;
    // Loads the view's port and matrices into its current context.
    void loadCamera();
    // Draws the view when stale.
    void drawWhenStale();

    CVezadDoc* m_document;
    CVezadViewport m_viewport;
    Platform::GLContext m_context;
    HGLRC m_contextHandle = nullptr;
    int m_width;
    int m_height;
    bool m_maximized = false;
    bool m_requested = true; // a redraw was asked for since the last drawing
    bool m_drawn = false;    // m_drawnLook holds the look of the last drawing
    Look m_drawnLook;
    long m_drawCount = 0;
};

namespace VezadHost {

// The registered draw callbacks in the order they were added.
const std::vector<CVezadDrawCallback*>& drawCallbacks();

// What the view shows, for zooming to the extents: the boxes of its
// document's visible objects and what the draw callbacks add to them.
ON_BoundingBox visibleExtents(CVezadView& view);

} // namespace VezadHost
