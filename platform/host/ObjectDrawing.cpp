// Drawing and picking of the host's own objects.
#include "platform/host/ObjectDrawing.h"

#include "platform/host/Object.h"
#include "platform/host/RenderMesh.h"
#include "platform/host/View.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const ON_Color kMeshColor(205, 205, 200);
const ON_Color kCurveColor(0, 0, 0);
const ON_Color kSelectedColor(255, 255, 0);
const ON_Color kSurfaceColor(110, 160, 225);
// Shaded Breps are drawn this share of the view's depth towards the viewer,
// and their edges a little more, so that they show over a mesh they were
// fitted to (which lies within a fraction of that on either side of them).
constexpr double kSurfaceLift = 0.005;
constexpr double kEdgeLift = 0.006;

ON_Color objectColor(const CVezadObject& object, const ON_Color& fallback)
{
    if (object.IsSelected())
        return kSelectedColor;
    const ON_3dmObjectAttributes& attributes = object.Attributes();
    return attributes.ColorSource() == ON::color_from_object ? attributes.m_color : fallback;
}

ON_3dVector cross(const ON_3dVector& a, const ON_3dVector& b)
{
    return ON_3dVector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

// The ray parameter (0 at from, 1 at to) where the line meets triangle abc;
// false when it misses (Moeller-Trumbore, both faces of the triangle).
bool rayHitsTriangle(const ON_Line& line, const ON_3dPoint& a, const ON_3dPoint& b,
                     const ON_3dPoint& c, double& t)
{
    const ON_3dVector direction = line.Direction();
    const ON_3dVector e1 = b - a, e2 = c - a;
    const ON_3dVector p = cross(direction, e2);
    const double det = e1 * p;
    if (std::fabs(det) < 1e-300)
        return false;
    const ON_3dVector s = line.from - a;
    const double u = (s * p) / det;
    if (u < 0.0 || u > 1.0)
        return false;
    const ON_3dVector q = cross(s, e1);
    const double v = (direction * q) / det;
    if (v < 0.0 || u + v > 1.0)
        return false;
    t = (e2 * q) / det;
    return t >= 0.0 && t <= 1.0;
}

int pickSamples(const CVezadObject& object, const CVezadPickContext& context,
                const std::vector<std::vector<ON_3dPoint>>& polylines,
                ON_ClassArray<CVezadObjRef>& picks)
{
    ON_3dPoint best;
    double bestDepth = std::numeric_limits<double>::infinity();
    const ON_3dVector direction = context.m_pick_line.Direction();
    for (const auto& polyline : polylines) {
        ON_3dPoint hit;
        if (!VezadHost::pickPolyline(context, polyline, hit))
            continue;
        const double depth = (hit - context.m_pick_line.from) * direction;
        if (depth < bestDepth) {
            bestDepth = depth;
            best = hit;
        }
    }
    if (!std::isfinite(bestDepth))
        return 0;
    CVezadObjRef& ref = picks.AppendNew();
    ref = CVezadObjRef(&object);
    ref.SetSelectionPoint(best);
    return 1;
}

// One light from the camera, faces lit on both sides, the current colour
// as the material's.
void lightFromCamera(GLenum shadeModel)
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const GLfloat position[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glPopMatrix();
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glShadeModel(shadeModel);
}

// Moves what is drawn next towards the camera by the share of the view's
// depth range.
void liftTowardsViewer(const CVezadViewport& viewport, double share)
{
    double l = 0, r = 0, b = 0, t = 0, n = 0, f = 0;
    if (!viewport.VP().GetFrustum(&l, &r, &b, &t, &n, &f))
        return;
    double modelView[16];
    glMatrixMode(GL_MODELVIEW);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glLoadIdentity();
    glTranslated(0.0, 0.0, share * (f - n));
    glMultMatrixd(modelView);
}

void drawPolylines(const CVezadObject& object,
                   const std::vector<std::vector<ON_3dPoint>>& polylines)
{
    glDisable(GL_LIGHTING);
    VezadHost::setColor(objectColor(object, kCurveColor));
    for (const auto& polyline : polylines)
        VezadHost::drawPolyline(polyline);
}

std::vector<std::vector<ON_3dPoint>> brepEdges(const ON_Brep& brep)
{
    std::vector<std::vector<ON_3dPoint>> edges;
    for (int i = 0; i < brep.m_E.Count(); ++i)
        edges.push_back(VezadHost::curveSamples(brep.m_E[i]));
    return edges;
}

} // namespace

namespace VezadHost {

bool isBuiltIn(const CVezadObject& object)
{
    return dynamic_cast<const CVezadMeshObject*>(&object) ||
           dynamic_cast<const CVezadCurveObject*>(&object) ||
           dynamic_cast<const CVezadSurfaceObject*>(&object) ||
           dynamic_cast<const CVezadBrepObject*>(&object);
}

std::vector<ON_3dPoint> curveSamples(const ON_Curve& curve)
{
    std::vector<ON_3dPoint> points;
    const ON_Interval domain = curve.Domain();
    if (!domain.IsValid())
        return points;
    const ON_NurbsCurve* nurbs = ON_NurbsCurve::Cast(&curve);
    const int samples = nurbs ? 16 * std::max(1, nurbs->CVCount() - nurbs->Order() + 1) : 64;
    for (int i = 0; i <= samples; ++i)
        points.push_back(curve.PointAt(domain.ParameterAt(double(i) / samples)));
    return points;
}

std::vector<std::vector<ON_3dPoint>> surfaceBoundary(const ON_Surface& surface)
{
    constexpr int kSamples = 32;
    const ON_Interval u = surface.Domain(0), v = surface.Domain(1);
    std::vector<std::vector<ON_3dPoint>> sides(4);
    for (int i = 0; i <= kSamples; ++i) {
        const double s = double(i) / kSamples;
        sides[0].push_back(surface.PointAt(u.ParameterAt(s), v[0]));
        sides[1].push_back(surface.PointAt(u[1], v.ParameterAt(s)));
        sides[2].push_back(surface.PointAt(u.ParameterAt(1.0 - s), v[1]));
        sides[3].push_back(surface.PointAt(u[0], v.ParameterAt(1.0 - s)));
    }
    return sides;
}

void setColor(const ON_Color& c)
{
    glColor3ub(static_cast<GLubyte>(c.Red()), static_cast<GLubyte>(c.Green()),
               static_cast<GLubyte>(c.Blue()));
}

void drawPolyline(const std::vector<ON_3dPoint>& points)
{
    glBegin(GL_LINE_STRIP);
    for (const ON_3dPoint& p : points)
        glVertex3d(p.x, p.y, p.z);
    glEnd();
}

bool pickPolyline(const CVezadPickContext& context, const std::vector<ON_3dPoint>& points,
                  ON_3dPoint& hit)
{
    if (!context.m_view)
        return false;
    const CVezadViewport& vp = context.m_view->ActiveViewport();
    const double px = context.m_screen_x, py = context.m_screen_y;
    double best = context.m_pick_radius;
    bool found = false;
    double ax = 0.0, ay = 0.0;
    bool previous = false;
    for (std::size_t i = 0; i < points.size(); ++i) {
        double bx = 0.0, by = 0.0;
        const bool visible = vp.worldToScreen(points[i], bx, by);
        if (visible && previous) {
            // The nearest point of the screen segment a-b to the pick.
            const double dx = bx - ax, dy = by - ay;
            const double length2 = dx * dx + dy * dy;
            double s = length2 > 0.0 ? ((px - ax) * dx + (py - ay) * dy) / length2 : 0.0;
            s = std::clamp(s, 0.0, 1.0);
            const double distance = std::hypot(ax + s * dx - px, ay + s * dy - py);
            if (distance <= best) {
                best = distance;
                hit = points[i - 1] + s * (points[i] - points[i - 1]);
                found = true;
            }
        }
        ax = bx;
        ay = by;
        previous = visible;
    }
    return found;
}

} // namespace VezadHost

void CVezadObject::Draw(CVezadDisplayPipeline&) const {}

int CVezadObject::Pick(const CVezadPickContext&, ON_ClassArray<CVezadObjRef>&) const
{
    return 0;
}

ON_BoundingBox CVezadObject::BoundingBox() const
{
    return Geometry() ? Geometry()->BoundingBox() : ON_BoundingBox();
}

void CVezadMeshObject::Draw(CVezadDisplayPipeline& pipeline) const
{
    const ON_Mesh* mesh = Mesh();
    const bool shaded = pipeline.GetVezadVP()->DisplayModeIsShaded();
    VezadHost::setColor(objectColor(*this, shaded ? kMeshColor : kCurveColor));
    if (shaded) {
        lightFromCamera(GL_FLAT);
    } else {
        glDisable(GL_LIGHTING);
    }
    for (int f = 0; f < mesh->FaceCount(); ++f) {
        const ON_MeshFace& face = mesh->m_F[f];
        const int corners = face.IsTriangle() ? 3 : 4;
        ON_3dPoint p[4];
        for (int k = 0; k < corners; ++k)
            p[k] = mesh->m_V[face.vi[k]];
        ON_3dVector normal = cross(p[1] - p[0], p[corners - 1] - p[0]);
        if (corners == 4)
            normal = cross(p[2] - p[0], p[3] - p[1]);
        normal.Unitize();
        glBegin(shaded ? GL_POLYGON : GL_LINE_LOOP);
        glNormal3d(normal.x, normal.y, normal.z);
        for (int k = 0; k < corners; ++k)
            glVertex3d(p[k].x, p[k].y, p[k].z);
        glEnd();
    }
}

int CVezadMeshObject::Pick(const CVezadPickContext& context,
                           ON_ClassArray<CVezadObjRef>& picks) const
{
    const ON_Mesh* mesh = Mesh();
    const ON_Line& line = context.m_pick_line;
    double nearest = std::numeric_limits<double>::infinity();
    ON_3dVector normal;
    for (int f = 0; f < mesh->FaceCount(); ++f) {
        const ON_MeshFace& face = mesh->m_F[f];
        const ON_3dPoint a = mesh->m_V[face.vi[0]], b = mesh->m_V[face.vi[1]],
                         c = mesh->m_V[face.vi[2]], d = mesh->m_V[face.vi[3]];
        double t = 0.0;
        const bool hit = (rayHitsTriangle(line, a, b, c, t) && t < nearest) ||
                         (!face.IsTriangle() && rayHitsTriangle(line, a, c, d, t) && t < nearest);
        if (hit) {
            nearest = t;
            normal = face.IsTriangle() ? cross(b - a, c - a) : cross(c - a, d - b);
        }
    }
    if (!std::isfinite(nearest))
        return 0;
    CVezadObjRef& ref = picks.AppendNew();
    ref = CVezadObjRef(this);
    ref.SetSelectionPoint(line.PointAt(nearest));
    if (normal.Unitize())
        ref.setSelectionNormal(normal);
    return 1;
}

void CVezadCurveObject::Draw(CVezadDisplayPipeline&) const
{
    drawPolylines(*this, {VezadHost::curveSamples(*Curve())});
}

int CVezadCurveObject::Pick(const CVezadPickContext& context,
                            ON_ClassArray<CVezadObjRef>& picks) const
{
    return pickSamples(*this, context, {VezadHost::curveSamples(*Curve())}, picks);
}

void CVezadSurfaceObject::Draw(CVezadDisplayPipeline&) const
{
    drawPolylines(*this, VezadHost::surfaceBoundary(*Surface()));
}

int CVezadSurfaceObject::Pick(const CVezadPickContext& context,
                              ON_ClassArray<CVezadObjRef>& picks) const
{
    return pickSamples(*this, context, VezadHost::surfaceBoundary(*Surface()), picks);
}

void CVezadBrepObject::Draw(CVezadDisplayPipeline& pipeline) const
{
    const CVezadViewport& viewport = *pipeline.GetVezadVP();
    if (viewport.DisplayModeIsShaded()) {
        if (!m_renderMesh)
            m_renderMesh =
                std::make_unique<VezadHost::RenderMesh>(VezadHost::brepRenderMesh(*Brep()));
        const VezadHost::RenderMesh& mesh = *m_renderMesh;
        glPushMatrix();
        liftTowardsViewer(viewport, kSurfaceLift);
        VezadHost::setColor(objectColor(*this, kSurfaceColor));
        lightFromCamera(GL_SMOOTH);
        glBegin(GL_TRIANGLES);
        for (int index : mesh.triangles) {
            const ON_3dVector& n = mesh.normals[static_cast<std::size_t>(index)];
            const ON_3dPoint& p = mesh.points[static_cast<std::size_t>(index)];
            glNormal3d(n.x, n.y, n.z);
            glVertex3d(p.x, p.y, p.z);
        }
        glEnd();
        glPopMatrix();
        liftTowardsViewer(viewport, kEdgeLift);
    }
    drawPolylines(*this, brepEdges(*Brep()));
}

int CVezadBrepObject::Pick(const CVezadPickContext& context,
                           ON_ClassArray<CVezadObjRef>& picks) const
{
    return pickSamples(*this, context, brepEdges(*Brep()), picks);
}
