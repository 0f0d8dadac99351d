// Immediate-mode OpenGL drawing of a NURBS surface or curve for inspection:
// shaded tessellation, control net, iso-lines, knots, normals, markers and the
// shaded Greville mesh.
#include "geometry/NurbsSurf.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace Fenwo {

namespace {

constexpr int kVLines = 0x1;
constexpr int kULines = 0x2;
constexpr int kKnotLines = 0x4;
constexpr int kControlNet = 0x8;
constexpr int kGrevilleMesh = 0x10;
constexpr int kBasisPeaks = 0x20;
constexpr int kRedLines = 0x40;
constexpr int kNormals = 0x80;
constexpr int kKnotPoints = 0x100;
constexpr int kBoundaryCurves = 0x200;

int clampResolution(double n)
{
    int r = int(std::clamp(std::ceil(n), 2.0, 1000.0));
    return r < 10 ? 2 * r : r;
}

double lerp(const Interval& d, int i, int n)
{
    const double t = n > 0 ? double(i) / n : 0.0;
    return (1.0 - t) * d.min + t * d.max;
}

// x, y and z of a point, z taken as 0 unless the dimension is 3.
void vertex(const Vector& p, int dimension)
{
    glVertex3d(p.n > 0 ? p[0] : 0.0, p.n > 1 ? p[1] : 0.0, dimension == 3 && p.n > 2 ? p[2] : 0.0);
}

} // namespace

void NurbsSurf::evaluatePointAndNormal(double u, double v, Vector& point, Vector& normal,
                                       Vector* su, Vector* sv)
{
    Vector** D = evaluate(1, u, v);
    if (su != nullptr)
        *su = D[1][0];
    if (sv != nullptr)
        *sv = D[0][1];
    point.setSize(3);
    normal.setSize(3);
    for (int k = 0; k < 3; ++k)
        point[k] = k < D[0][0].n ? D[0][0][k] : 0.0;
    normal.fill(0.0);
    if (D[1][0].n < 3 || D[0][1].n < 3)
        return;
    // S_u x S_v and its length in place: a walk over a mesh takes the
    // normal at every vertex, and temporaries for them cost more than the
    // arithmetic.
    double cross[3];
    crossProduct3(D[1][0].data, D[0][1].data, cross);
    const double length = norm3(cross);
    // Where S_u x S_v vanishes the normal stays zero rather than NaN.
    if (length > 0.0 && std::isfinite(length))
        for (int k = 0; k < 3; ++k)
            normal[k] = cross[k] / length;
}

void NurbsSurf::drawShaded(int, int, int limit)
{
    const int nU = getUCount(), nV = getVCount();
    const int p = uKnots->p, q = vKnots->p;
    long K = 4L * std::max(nU - p, 1) * std::max(nV - q, 1);
    K = std::max(1L, std::min(K, long(limit)));
    const double rawV = std::ceil(std::sqrt(double(nV) * K / nU));
    const int Nv = clampResolution(rawV);
    const int Nu = clampResolution(double(nU) * rawV / nV);
    const Interval du = getDomain(0);
    if (vKnots->n == 0) {
        glColor3f(0.6f, 0.6f, 0.6f);
        glBegin(GL_LINE_STRIP);
        for (int i = 0; i <= Nu; ++i)
            vertex(getPoint(lerp(du, i, Nu), 0.0), getDimension());
        glEnd();
        return;
    }
    const Interval dv = getDomain(1);
    Vector point, normal;
    auto emit = [&](double u, double v) {
        evaluatePointAndNormal(u, v, point, normal);
        glNormal3dv(normal.data);
        glVertex3dv(point.data);
    };
    double previous = du.min;
    for (int i = 1; i <= Nu; ++i) {
        const double u = lerp(du, i, Nu);
        glBegin(GL_QUAD_STRIP);
        for (int j = 0; j <= Nv; ++j) {
            const double v = lerp(dv, j, Nv);
            emit(previous, v);
            emit(u, v);
        }
        glEnd();
        previous = u;
    }
}

void NurbsSurf::drawPointMarker(double x, double y, double z, int kind, double s)
{
    switch (kind) {
    case 1:
        glColor3f(0.0f, 0.0f, 0.0f);
        for (int axis = 0; axis < 3; ++axis) {
            double a[3] = {x, y, z}, b[3] = {x, y, z};
            a[axis] -= s;
            b[axis] += s;
            glBegin(GL_LINE_STRIP);
            glVertex3dv(a);
            glVertex3dv(b);
            glEnd();
        }
        break;
    case 2:
        glColor3f(0.1f, 0.1f, 0.9f);
        for (double sy : {-1.0, 1.0})
            for (double sz : {-1.0, 1.0}) {
                glBegin(GL_LINE_STRIP);
                glVertex3d(x - s, y - sy * s, z - sz * s);
                glVertex3d(x + s, y + sy * s, z + sz * s);
                glEnd();
            }
        break;
    case 3:
        glColor3f(0.8f, 0.8f, 0.8f);
        glBegin(GL_LINE_STRIP);
        glVertex3d(x - s, y - s, z);
        glVertex3d(x + s, y - s, z);
        glVertex3d(x + s, y + s, z);
        glVertex3d(x - s, y + s, z);
        glVertex3d(x - s, y - s, z);
        glEnd();
        break;
    case 4:
        glColor3f(0.8f, 0.0f, 0.7f);
        glBegin(GL_LINE_STRIP);
        glVertex3d(x - s, y - s / 2, z);
        glVertex3d(x + s, y - s / 2, z);
        glVertex3d(x, y + s, z);
        glVertex3d(x - s, y - s / 2, z);
        glEnd();
        break;
    case 5:
        glColor3f(0.9f, 0.1f, 0.1f);
        glBegin(GL_LINE_STRIP);
        glVertex3d(x, y - s, z);
        glVertex3d(x + s, y + s / 2, z);
        glVertex3d(x - s, y + s / 2, z);
        glVertex3d(x, y - s, z);
        glEnd();
        break;
    default:
        break;
    }
}

void NurbsSurf::drawRowMarkers(int j, double size, int kind)
{
    Vector p;
    for (int i = 0; i < getUCount(); ++i) {
        getControlPointXYZ(p, i, j);
        p.resize(3);
        drawPointMarker(p[0], p[1], p[2], kind, size);
    }
}

void NurbsSurf::drawColumnMarkers(int i, double size, int kind)
{
    Vector p;
    for (int j = 0; j < getVCount(); ++j) {
        getControlPointXYZ(p, i, j);
        p.resize(3);
        drawPointMarker(p[0], p[1], p[2], kind, size);
    }
}

void NurbsSurf::drawDirectionLine(const Vector& p, const Vector& d, double s)
{
    glColor3f(0.0f, 0.0f, 0.0f);
    glBegin(GL_LINE_STRIP);
    vertex(p, 3);
    vertex(p + s * d, 3);
    glEnd();
}

void NurbsSurf::render(int uIsoCount, int samples, int vIsoCount, int flags, float r, float g,
                       float b, float a)
{
    GLfloat lineWidth = 1.0f, pointSize = 1.0f;
    glGetFloatv(GL_LINE_WIDTH, &lineWidth);
    glGetFloatv(GL_POINT_SIZE, &pointSize);

    const bool curve = isCurve();
    const int nU = getUCount(), nV = getVCount(), dim = getDimension();
    const Interval du = getDomain(0);
    const Interval dv = curve ? Interval() : getDomain(1);
    Vector point;
    auto controlPoint = [&](int i, int j) {
        getControlPoint(i, j, point);
        vertex(point, dim);
    };
    // A line along u at v (along == 0) or along v at u (along == 1).
    auto isoLine = [&](int along, double constant) {
        const Interval& d = along == 0 ? du : dv;
        glBegin(GL_LINE_STRIP);
        for (int s = 0; s <= samples; ++s) {
            const double t = lerp(d, s, samples);
            evaluatePoint(point, along == 0 ? t : constant, along == 0 ? constant : t);
            vertex(point, 3);
        }
        glEnd();
    };

    if ((flags & kControlNet) != 0) {
        glColor3f(0.0f, 0.0f, 0.0f);
        for (int j = 0; j < nV; ++j) {
            glBegin(GL_LINE_STRIP);
            for (int i = 0; i < nU; ++i)
                controlPoint(i, j);
            glEnd();
        }
        if (!curve) {
            glColor3f(0.1f, 0.1f, 0.9f);
            for (int i = 0; i < nU; ++i) {
                glBegin(GL_LINE_STRIP);
                for (int j = 0; j < nV; ++j)
                    controlPoint(i, j);
                glEnd();
            }
        }
        glPointSize(3.0f);
        glBegin(GL_POINTS);
        for (int j = 0; j < nV; ++j)
            for (int i = 0; i < nU; ++i)
                controlPoint(i, j);
        glEnd();
    }
    glColor4f(r, g, b, a);

    const bool red = (flags & kRedLines) != 0;
    if ((flags & kULines) != 0) {
        if (red)
            glColor3f(0.9f, 0.0f, 0.0f);
        else
            glColor3f(0.0f, 0.0f, 0.0f);
        if (uKnots->p < 2) {
            // The control polygon, closed on a cyclic knot vector.
            const int last = uKnots->endCondition == knots::CyclicEnd ? nU : nU - 1;
            for (int j = 0; j < nV; ++j) {
                glBegin(GL_LINE_STRIP);
                for (int i = 0; i <= last; ++i) {
                    toEuclidean(point, getWrappedControlPoint(i, j));
                    vertex(point, dim);
                }
                glEnd();
            }
        } else {
            const int lines = curve ? 0 : uIsoCount;
            for (int k = 0; k <= lines; ++k)
                isoLine(0, lerp(dv, k, lines));
        }
    }
    if ((flags & kVLines) != 0 && !curve) {
        if (red)
            glColor3f(0.9f, 0.0f, 0.0f);
        else
            glColor3f(0.0f, 0.0f, 0.9f);
        for (int k = 0; k <= vIsoCount; ++k)
            isoLine(1, lerp(du, k, vIsoCount));
    }
    if ((flags & kBasisPeaks) != 0) {
        Vector peaks;
        uKnots->getBasisMaxima(peaks);
        glColor3f(0.0f, 0.0f, 0.0f);
        for (int k = 0; k < peaks.n && !curve; ++k)
            isoLine(1, peaks[k]);
        if (!curve) {
            vKnots->getBasisMaxima(peaks);
            glColor3f(0.0f, 0.0f, 0.9f);
            for (int k = 0; k < peaks.n; ++k)
                isoLine(0, peaks[k]);
        }
    }
    if ((flags & kBoundaryCurves) != 0)
        drawBoundaryCurves();
    if ((flags & kKnotLines) != 0) {
        glColor4f(0.5f, 0.5f, 0.5f, 0.7f);
        Vector breaks;
        uKnots->getBreakpoints(breaks, 0);
        for (int k = 0; k < breaks.n && !curve; ++k)
            isoLine(1, breaks[k]);
        if (!curve) {
            vKnots->getBreakpoints(breaks, 0);
            for (int k = 0; k < breaks.n; ++k)
                isoLine(0, breaks[k]);
        }
    }
    if ((flags & kKnotPoints) != 0) {
        glPushAttrib(GL_POINT_BIT);
        glPointSize(4.0f);
        const knots& ku = *uKnots;
        const knots& kv = *vKnots;
        if (curve) {
            for (int i = ku.p; i <= ku.n + 1; ++i) {
                evaluatePoint(point, ku.valueAt(i), 0.0);
                drawPointMarker(point[0], point[1], point[2], 2, 1.0);
            }
        } else {
            glBegin(GL_POINTS);
            for (int i = ku.p; i <= ku.n + 1; ++i)
                for (int j = kv.p; j <= kv.n + 1; ++j) {
                    evaluatePoint(point, ku.valueAt(i), kv.valueAt(j));
                    vertex(point, 3);
                }
            glEnd();
        }
        glPopAttrib();
    }
    if ((flags & kNormals) != 0) {
        std::unique_ptr<Vector[]> box(getControlPointBox());
        const double length = 0.1 * norm(box[1] - box[0]);
        Vector normal;
        for (int i = 0; i <= uIsoCount; ++i)
            for (int j = 0; j <= vIsoCount; ++j) {
                evaluatePointAndNormal(lerp(du, i, uIsoCount), lerp(dv, j, vIsoCount), point,
                                       normal);
                drawDirectionLine(point, normal, length);
            }
    }
    if ((flags & kGrevilleMesh) != 0 && !curve)
        drawGrevilleMesh();

    glLineWidth(lineWidth);
    glPointSize(pointSize);
}

void NurbsSurf::drawGrevilleMesh()
{
    Vector gu, gv;
    uKnots->getGrevilleAbscissae(gu);
    vKnots->getGrevilleAbscissae(gv);
    const knots bilinear(1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    NurbsSurf cell(bilinear, &bilinear);
    Vector point;
    for (int i = 0; i + 1 < gu.n; ++i)
        for (int j = 0; j + 1 < gv.n; ++j) {
            for (int c = 0; c < 4; ++c) {
                const int di = c % 2, dj = c / 2;
                evaluatePoint(point, gu[i + di], gv[j + dj]);
                cell.setControlPoint(di, dj, point);
            }
            cell.drawShaded(4, 4, 15000);
        }
}

namespace {
NurbsSurf::BoundaryCurveDrawer g_boundaryCurveDrawer = nullptr;
}

NurbsSurf::BoundaryCurveDrawer NurbsSurf::setBoundaryCurveDrawer(BoundaryCurveDrawer drawer)
{
    return std::exchange(g_boundaryCurveDrawer, drawer);
}

bool NurbsSurf::drawBoundaryCurves()
{
    if (g_boundaryCurveDrawer == nullptr)
        return false;
    g_boundaryCurveDrawer(*this);
    return true;
}

} // namespace Fenwo
