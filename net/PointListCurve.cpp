// The curve of a poly-line: its interpolation through the entries on the
// mesh, the placing of a new point between the entries, the ribbon curve a
// poly-line can be made to follow, and the parameters and pieces the net
// takes from the curve.

#include "curves/ArcLength.h"
#include "curves/BoundaryCurves.h"
#include "curves/CurveInterpolation.h"
#include "curves/LeastSquaresFits.h"
#include "curves/SubCurves.h"
#include "fitting/BoundaryPlacement.h"
#include "fitting/CurveFitting.h"
#include "fitting/HitApproximation.h"
#include "geometry/Interval.h"
#include "geometry/NurbsSurf.h"
#include "geometry/PointParameters.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshGeometry.h"
#include "net/OffsetGrid.h"
#include "net/PointList.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iostream>
#include <memory>
#include <vector>

namespace {

// Largest turn at an end of an open poly-line that may still grow there
// (72 degrees, 2 pi / 5).
constexpr double kMaxEndTurn = 1.2566370614359172;
// A point may extend an end when it lies closer than this multiple of the
// length of the last two segments there.
constexpr double kEndReach = 1.75;
// A held entry (an end or a junction) may lie this share of the net's
// tolerance from the poly-line's curve: faces meet there, and a miss the
// tolerance notices parts them. Without a net the poly-line's extent
// stands in for the model's size, at the share of it a net's tolerance
// usually is.
constexpr double kHeldEntryShare = 0.01;
constexpr double kToleranceOfExtent = 0.002;
// The number of steps each stretch of a poly-line's curve between two
// entries is probed in for the mesh near it.
constexpr int kMeshProbes = 8;
// The longest a stretch that leaves the mesh may be, in chords between its
// entries. A curve along the mesh may cross a hole of it, and a curve along
// a curved sheet is longer than its chords (a quarter circle 1.11 of them);
// a fit that runs out past an entry and comes back, or loops, off the mesh,
// is far longer.
constexpr double kMaxDetour = 1.5;
// The longest a stretch may be, in chords between its entries, on the mesh
// or off it: a curve along a sheet between two points of a stroke is not
// three times longer than their chord (a half circle is 1.57 of it), a fit
// that loops between them may be, and on a large sheet its loop finds the
// mesh all the way.
constexpr double kMaxStretch = 3.0;
// A poly-line that turns back at an entry by more than 150 degrees (seen
// along the mesh normal there) runs back along itself: a pen that ran past
// a junction or an end and came back, or went on and back again. A curve
// through such a tip loops far beyond it (a cubic through a turn of 180
// degrees overshoots by many times the spur's length), and the faces beside
// it would take the loop for their side.
constexpr double kSpurTurn = 2.6179938779914944; // 150 degrees
// The farthest the curve may pass from a held entry (an end or a junction),
// as a share of the shorter of the poly-line's stretches to the held
// entries beside it: a curve that misses an entry by more than the way to
// its neighbour has lost it.
constexpr double kMaxEntryMiss = 1.0;

Gridbench::CGridPoint* asGridPoint(CVertex<float, 3>* v)
{
    return dynamic_cast<Gridbench::CGridPoint*>(v);
}

// The number that names an entry in messages: the grid point's serial
// number (the same in every run, unlike its address); -1 for a plain point
// or none.
int entryNumber(const CVertex<float, 3>* v)
{
    const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(v);
    return g != nullptr ? g->serial : -1;
}

Vector toVector(const CVertex<float, 3>& v)
{
    return Vector(v.data, 3);
}

// Sum of the lengths of `count` segments starting with segment `first`
// (segment i runs from entry i to entry i + 1), in single precision.
float segmentLengths(const Kor::List<CVertex<float, 3>*>& v, int first, int count)
{
    float sum = 0.f;
    for (int i = first; i < first + count; ++i)
        sum += pointDistance(*v[i], *v[i + 1]);
    return sum;
}

// Whether v lies, seen along the unit direction w, inside the ellipse about
// the midpoint of the segment a-b with semi-axes 0.8 of the half segment
// along it and 0.7 of that across it.
bool insideSegmentEllipse(const CVertex<float, 3>& a, const CVertex<float, 3>& b,
                          const CVertex<float, 3>& v, const CVector<float, 3>& w)
{
    const CVertex<float, 3> m = lerp(0.5, a, b);
    CVector<float, 3> axis = 0.8f * (b - m);
    axis = axis - dot(axis, w) * CVertex<float, 3>(w);
    const float axisLength = std::sqrt(dot(axis, axis));
    if (axisLength < 1e-8f)
        return false;
    CVector<float, 3> across = crossProduct(CVertex<float, 3>(w), CVertex<float, 3>(axis));
    across.normalize();
    across = (0.7f * axisLength) * across;
    CVector<float, 3> c = v - m;
    c = c - dot(c, w) * CVertex<float, 3>(w);
    const float cc = dot(c, c);
    if (std::sqrt(cc) < 1e-8f)
        return true;
    const double g =
        std::acos(std::clamp(double(dot(c, axis)) / (std::sqrt(cc) * axisLength), -1.0, 1.0));
    const CVertex<float, 3> e = float(std::cos(g)) * axis + float(std::sin(g)) * across;
    return cc <= dot(e, e);
}

// The angle between two directions of single-precision points.
double turnAngle(const CVertex<float, 3>& d0, const CVertex<float, 3>& d1)
{
    return std::acos(std::clamp(cosineBetween(toVector(d0), toVector(d1)), -1.0, 1.0));
}

// A NURBS curve the pieces can be cut from: knots present and healthy,
// control points present.
Fenwo::NurbsSurf* soundNurbsCurve(CParametricGeometry* g)
{
    auto* s = dynamic_cast<Fenwo::NurbsSurf*>(g);
    if (s == nullptr || s->uKnots == nullptr || s->vKnots == nullptr || !s->uKnots->isHealthy ||
        !s->vKnots->isHealthy || s->controlNet == nullptr)
        return nullptr;
    return s;
}

// Whether the curve of a poly-line on the mesh runs along its points: their
// parameters ascend, no stretch of it between two points both leaves the
// mesh (at one of a few points of the stretch no mesh is found near) and
// runs far longer than their chord, nor runs longer still, and each held point (an end or a
// junction) lies on the curve at its parameter, no farther from it than the
// poly-line's stretches to the held points beside it.
bool runsAlongPoints(CParametricGeometry& curve, IndexSubset<CFitPoint>& points,
                     Mesh::CBaseMesh* mesh, const std::vector<bool>& held)
{
    const int n = points.getCount();
    std::vector<double> parameters;
    for (int i = 0; i < n; ++i) {
        const double t = points[i].uv[0];
        if (!std::isfinite(t) || (i > 0 && !(t > parameters.back())))
            return false;
        parameters.push_back(t);
    }
    const std::vector<double> lengths = curveLengthsBetween(curve, parameters);
    std::vector<double> chords;
    for (int i = 0; i + 1 < n; ++i) {
        const double t = parameters[std::size_t(i)], next = parameters[std::size_t(i + 1)];
        chords.push_back(std::sqrt(squaredDistance(points[i].Point, points[i + 1].Point)));
        // Only a stretch far longer than its chord is probed for the mesh.
        if (!(lengths[std::size_t(i)] > kMaxDetour * chords.back()))
            continue;
        if (lengths[std::size_t(i)] > kMaxStretch * chords.back())
            return false;
        bool leavesMesh = false;
        for (int k = 1; k < kMeshProbes && !leavesMesh; ++k) {
            const Vector q = curve.getPoint(t + (next - t) * k / kMeshProbes, 0.0);
            Gridbench::CGridPoint probe;
            for (int d = 0; d < 3; ++d)
                probe.data[d] = float(q[d]);
            CVector<float, 3> normal;
            leavesMesh = !nearestMeshPoint(mesh, probe, normal);
        }
        if (leavesMesh)
            return false;
    }
    // The stretch of the poly-line before each point back to the last held
    // one; the stretch after a held point is the one before the next.
    std::vector<double> before(std::size_t(n), 0.0);
    double run = 0.0;
    for (int i = 1; i < n; ++i) {
        run += chords[std::size_t(i - 1)];
        before[std::size_t(i)] = run;
        if (held[std::size_t(i)])
            run = 0.0;
    }
    bool first = true;
    for (int i = 0; i < n; ++i) {
        if (!held[std::size_t(i)])
            continue;
        double beside = first ? HUGE_VAL : before[std::size_t(i)];
        for (int k = i + 1; k < n; ++k)
            if (held[std::size_t(k)]) {
                beside = std::min(beside, before[std::size_t(k)]);
                break;
            }
        const double miss =
            std::sqrt(squaredDistance(curve.getPoint(points[i].uv[0], 0.0), points[i].Point));
        if (!(miss <= kMaxEntryMiss * beside))
            return false;
        first = false;
    }
    return true;
}

} // namespace

double turnAngleSeenAlong(const CVertex<float, 3>& d0, const CVertex<float, 3>& d1,
                          const CVector<float, 3>* w)
{
    if (w == nullptr)
        return turnAngle(d0, d1);
    // A direction that runs (almost) along the view shows no turn of its
    // own on the screen; the turn in space stands for it.
    constexpr float kAlongView = 1e-3f;
    const CVertex<float, 3> a = d0 - dot(d0, *w) * CVertex<float, 3>(*w);
    const CVertex<float, 3> b = d1 - dot(d1, *w) * CVertex<float, 3>(*w);
    if (!(dot(a, a) > kAlongView * kAlongView * dot(d0, d0)) ||
        !(dot(b, b) > kAlongView * kAlongView * dot(d1, d1)))
        return turnAngle(d0, d1);
    return turnAngle(a, b);
}

// ---- Interpolation --------------------------------------------------------------

CParametricGeometry* COffset_PointList::interpolate()
{
    if (curveLocked)
        return curve;
    dropCurve();
    const int entries = vertices.count;
    if (entries < 2)
        return nullptr;

    // The entries the curve runs through: all but the tips of spurs, unless
    // the entries on either side of a tip are one point (a loop out and
    // back to where it left), which leaves the fit no way between them.
    std::vector<int> through;
    for (int i = 0; i < entries; ++i)
        if (holdsEntry(i) || !isSpurTip(i))
            through.push_back(i);
    for (std::size_t k = 1; k < through.size(); ++k)
        if (through[k] != through[k - 1] + 1 &&
            pointDistance(*vertices[through[k]], *vertices[through[k - 1]]) == 0.f) {
            through.resize(std::size_t(entries));
            for (int i = 0; i < entries; ++i)
                through[std::size_t(i)] = i;
            break;
        }
    const int n = int(through.size());

    // Ends and junctions are held: they carry their mesh normal, which the
    // curve fit reads as the mark of a point to pass through.
    CFitPointArray points;
    points.setCapacity(n);
    std::vector<bool> held(n, false);
    for (int i = 0; i < n; ++i) {
        CFitPoint fp(toVector(*vertices[through[std::size_t(i)]]), Vector(0.0, 0.0));
        held[i] = holdsEntry(through[std::size_t(i)]);
        if (held[i]) {
            const auto* hit = dynamic_cast<const Mesh::CBaseMesh::CBaseHitInfo*>(
                vertices[through[std::size_t(i)]]);
            Vector normal = hit != nullptr ? toVector(hit->normal) : Vector(0.0, 0.0, 1.0);
            if (!(norm(normal) > 0.5))
                normal = Vector(0.0, 0.0, 1.0);
            fp.Normal = normal;
        }
        points.append(fp);
    }
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    parameterizePoints(all, 1.0, 1, 3);

    Fenwo::NurbsSurf* fitted = nullptr;
    if (!closed) {
        fitted = fitCurveThroughPoints(all, 3);
    } else {
        fitted = interpolateCurve(all, 2, 3, true, true);
        if (fitted != nullptr) {
            fitted->updateCyclicKnotList(points[0].uv[0], true);
            fitted->PointInversion(all, 10);
        }
    }
    if (fitted == nullptr) {
        std::cout << "resorting to old-fashioned interpolation on points=" << std::endl;
        for (int i : through)
            std::cout << "points to=" << entryNumber(vertices[i]) << std::endl;
        parameterizePoints(all, 1.0, 1, 3);
        fitted = interpolateCurve(all, 2, 3, false, false);
    }
    if (fitted == nullptr)
        return nullptr;

    // The entries lie on the mesh but the cubic between them need not: an
    // open curve is replaced by its pull onto the mesh and the entries are
    // located on the pulled curve. The pull gives open curves only, so a
    // periodic curve keeps its own shape.
    Mesh::CBaseMesh* mesh = owner != nullptr && !closed ? owner->mesh : nullptr;
    // The pull of c with the entries' parameters moved onto it; null when
    // there is none, or when it is no curve along the entries (`astray` set;
    // the pull is deleted and the parameters are left as they were). The
    // held entries are samples of the pull in their own right: where other
    // poly-lines meet this one, the faces on both sides close at the grid
    // point itself, not at the mesh point near the curve between two
    // samples, and a drawing order or stroke count may not decide that.
    const auto pullOnto = [&](Fenwo::NurbsSurf* c, bool& astray) -> Fenwo::NurbsSurf* {
        astray = false;
        std::vector<HeldCurvePoint> pins;
        for (int i = 0; i < n; ++i)
            if (held[std::size_t(i)])
                pins.push_back({points[i].uv[0], points[i].Point});
        Fenwo::NurbsSurf* pulled = collectCurveFitPoints(c, mesh, &pins);
        if (pulled == nullptr)
            return nullptr;
        // The held entries take their parameters on the pulled curve; the
        // others start where they stood between the held ones beside them
        // and are inverted onto it.
        std::vector<double> before(std::size_t(n), 0.0);
        std::vector<double> after(std::size_t(n), 0.0);
        for (int i = 0, h = 0; i < n; ++i) {
            before[std::size_t(i)] = points[i].uv[0];
            if (held[std::size_t(i)])
                after[std::size_t(i)] = pins[std::size_t(h++)].t;
        }
        for (int i = 0, last = 0, next = 0; i < n; ++i) {
            if (held[std::size_t(i)]) {
                last = i;
                points[i].uv[0] = after[std::size_t(i)];
                points[i].state = 2;
                continue;
            }
            // The next held entry, sought once per run between two of them.
            if (next <= i)
                for (next = i + 1; !held[std::size_t(next)];)
                    ++next;
            const double span = before[std::size_t(next)] - before[std::size_t(last)];
            const double share =
                span != 0.0 ? (before[std::size_t(i)] - before[std::size_t(last)]) / span : 0.5;
            points[i].uv[0] = after[std::size_t(last)] +
                              share * (after[std::size_t(next)] - after[std::size_t(last)]);
            points[i].state = 1;
        }
        pulled->PointInversion(all, 10);
        if (runsAlongPoints(*pulled, all, mesh, held))
            return pulled;
        astray = true;
        delete pulled;
        for (int i = 0; i < n; ++i)
            points[i].uv[0] = before[std::size_t(i)];
        return nullptr;
    };
    bool offTheEntries = false;
    if (mesh != nullptr) {
        if (Fenwo::NurbsSurf* pulled = pullOnto(fitted, offTheEntries)) {
            delete fitted;
            fitted = pulled;
        }
    }
    if (offTheEntries) {
        // The ends' normals bend the fit to lie across them. Where an end
        // sits on a sharp edge of the mesh its normal is the other sheet's
        // and stands along the poly-line: the fit runs out past the end and
        // comes back, or loops, off the mesh, where its pull finds nothing
        // to bring it back to; near such an edge the pull may also take
        // samples to another place of the mesh and lose an end or a
        // junction. Such a curve would give a face a spur of extra sides:
        // the plain curve through the entries at their chord-length
        // parameters takes its place, pulled onto the mesh where its pull
        // runs along the entries.
        parameterizePoints(all, 1.0, 1, 3);
        if (Fenwo::NurbsSurf* plain = interpolateCurve(all, 5, 3, false, false)) {
            delete fitted;
            fitted = plain;
            if (Fenwo::NurbsSurf* pulled = pullOnto(fitted, offTheEntries)) {
                delete fitted;
                fitted = pulled;
            }
        }
    }
    // The curve serves drawing and the net's pieces: the fit's bookkeeping
    // (null space, variable arrays, workspace: numbers per control point,
    // kilobytes for a curve of two points) goes with the fit.
    fitted->invalidateFitState();
    fitted->releaseFitScratch();
    curve = fitted;
    fittedEntries.clear();
    for (int i = 0; i < entries; ++i)
        fittedEntries.emplace_back(vertices[i], holdsEntry(i));
    fittedClosed = closed;

    parameters.removeAll();
    const double limit = heldEntryMiss();
    for (int i = 0; i < n; ++i) {
        const double t = points[i].uv[0];
        if (held[i]) {
            const double d = std::sqrt(squaredDistance(curve->getPoint(t, 0.0), points[i].Point));
            if (d > limit)
                std::cout << "** severe: interpolation parameter at Start/End/Join is not "
                             "correct (3d) d="
                          << d << std::endl;
        }
        // A spur's tip before this entry takes its place between the
        // parameters beside it as it lies along the poly-line between them.
        if (i > 0) {
            const int from = through[std::size_t(i - 1)], to = through[std::size_t(i)];
            const float way = segmentLengths(vertices, from, to - from);
            const double before = points[i - 1].uv[0];
            for (int tip = from + 1; tip < to; ++tip) {
                const float share = way > 0.f ? segmentLengths(vertices, from, tip - from) / way
                                              : float(tip - from) / float(to - from);
                parameters.append(before + double(share) * (t - before));
            }
        }
        parameters.append(t);
    }
    return curve;
}

bool COffset_PointList::isSpurTip(int i) const
{
    if (i <= 0 || i + 1 >= vertices.count)
        return false;
    const CVertex<float, 3> in = *vertices[i] - *vertices[i - 1];
    const CVertex<float, 3> out = *vertices[i + 1] - *vertices[i];
    if (!(dot(in, in) > 0.f && dot(out, out) > 0.f))
        return false;
    // The turn as it shows on the mesh at the tip, seen along its normal:
    // across a crease the pen turns back in the view while the way in 3-D
    // bends over the edge.
    const auto* hit = dynamic_cast<const Mesh::CBaseMesh::CBaseHitInfo*>(vertices[i]);
    CVector<float, 3> normal;
    const bool seen = hit != nullptr && dot(hit->normal, hit->normal) > 0.25f;
    if (seen) {
        normal = hit->normal;
        normal.normalize();
    }
    return turnAngleSeenAlong(in, out, seen ? &normal : nullptr) > kSpurTurn;
}

bool COffset_PointList::holdsEntry(int i) const
{
    return i == 0 || i == vertices.count - 1 || useCountOf(vertices[i]) >= 2;
}

CParametricGeometry* COffset_PointList::currentCurve()
{
    if (curveLocked)
        return curve;
    if (curve == nullptr)
        return interpolate();
    const int n = vertices.count;
    bool asFitted = fittedClosed == closed && int(fittedEntries.size()) == n;
    for (int i = 0; i < n && asFitted; ++i) {
        const auto& [entry, wasHeld] = fittedEntries[std::size_t(i)];
        asFitted = entry == vertices[i] && wasHeld == holdsEntry(i);
    }
    return asFitted ? curve : interpolate();
}

double COffset_PointList::heldEntryMiss() const
{
    if (owner != nullptr && owner->surfaceTolerance > 0.0)
        return kHeldEntryShare * owner->surfaceTolerance;
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const CVertex<float, 3>* v : vertices)
        for (int d = 0; d < 3; ++d) {
            lo[d] = std::min(lo[d], double(v->data[d]));
            hi[d] = std::max(hi[d], double(v->data[d]));
        }
    double extent = 0.0;
    for (int d = 0; d < 3 && vertices.count > 0; ++d)
        extent += (hi[d] - lo[d]) * (hi[d] - lo[d]);
    return kHeldEntryShare * kToleranceOfExtent * std::sqrt(extent);
}

// ---- Insertion ---------------------------------------------------------------------

bool COffset_PointList::insertPoints(CVertex<float, 3>* v, double maxDistance,
                                     const CVector<float, 3>* viewDirection, bool committed,
                                     double* startLength, double* endLength,
                                     const CVector<float, 3>* seenAlong)
{
    if (owner != nullptr && !owner->editAllowed) {
        insertionCase = 3;
        return false;
    }
    int formerPending = -1;
    const bool wasClosed = closed;
    if (pendingVertex != nullptr) {
        formerPending = indexOf(pendingVertex);
        RollBack();
    }
    if (v == nullptr || contains(v)) {
        std::cout << "PointList::skipping the point-matching vertex " << entryNumber(v)
                  << std::endl;
        insertionCase = 3;
        return false;
    }
    const int n = vertices.count;
    if (n < 2) {
        if (n == 1 && samePosition(vertices[0], v)) {
            insertionCase = 3;
            return false;
        }
        appendVertex(v);
        insertionCase = 0;
        if (!committed && vertices.count == 2)
            pendingVertex = v;
        return true;
    }

    insertionCase = 3;
    int best = -1; // winning segment i runs from entry i - 1 to entry i
    float bestDistance = FLT_MAX;
    float startLen, endLen;
    if (n == 2) {
        startLen = endLen = float(kEndReach) * pointDistance(*vertices[0], *vertices[1]);
    } else {
        const int k = std::min(2, n - 1);
        startLen = segmentLengths(vertices, 0, k);
        endLen = segmentLengths(vertices, n - 1 - k, k);
    }
    if (startLength != nullptr)
        *startLength = startLen;
    if (endLength != nullptr)
        *endLength = endLen;

    for (int i = 1; i < n; ++i) {
        const CVertex<float, 3>& a = *vertices[i - 1];
        const CVertex<float, 3>& b = *vertices[i];
        if (viewDirection != nullptr) {
            if (insideSegmentEllipse(a, b, *v, *viewDirection)) {
                best = i;
                break;
            }
            continue;
        }
        float t = 0.f;
        const float d = pointSegmentDistance2(a.data, b.data, v->data, 3, &t);
        if (t >= 0.f && t <= 1.f && d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    if (best >= 1)
        insertionCase = 1;

    if (!closed && (best < 1 || viewDirection == nullptr)) {
        const CVector<float, 3>* turnView = seenAlong != nullptr ? seenAlong : viewDirection;
        const float d0 = squaredPointDistance(*v, *vertices[0]);
        if (d0 < bestDistance && startLen > 0.f && std::sqrt(d0) < float(kEndReach) * startLen) {
            insertionCase = 0;
            bestDistance = d0;
        }
        const float dn = squaredPointDistance(*v, *vertices[n - 1]);
        if (dn < bestDistance && endLen > 0.f && std::sqrt(dn) < float(kEndReach) * endLen) {
            insertionCase = 2;
            bestDistance = dn;
        }
        const bool sharpTurn =
            (insertionCase == 0 && turnAngleSeenAlong(*vertices[1] - *vertices[0],
                                                      *vertices[0] - *v, turnView) > kMaxEndTurn) ||
            (insertionCase == 2 &&
             turnAngleSeenAlong(*vertices[n - 1] - *vertices[n - 2], *v - *vertices[n - 1],
                                turnView) > kMaxEndTurn);
        if (sharpTurn) {
            dropCurve();
            return false;
        }
    }
    if (insertionCase == 1 && viewDirection == nullptr && std::sqrt(bestDistance) > maxDistance)
        insertionCase = 3;
    // Only grid points enter a poly-line between its entries: they carry the
    // use counts and the changed marks the net follows.
    if (insertionCase == 3 || asGridPoint(v) == nullptr) {
        insertionCase = 3;
        return false;
    }

    const int index = insertionCase == 0 ? 0 : insertionCase == 1 ? best : n;
    // Beside an entry at its very position the point would make a piece of
    // no length.
    const CVertex<float, 3>* before = index > 0 ? vertices[index - 1]
                                      : closed  ? vertices[n - 1]
                                                : nullptr;
    const CVertex<float, 3>* after = index < n ? vertices[index] : closed ? vertices[0] : nullptr;
    if (samePosition(before, v) || samePosition(after, v)) {
        insertionCase = 3;
        return false;
    }
    if (owner != nullptr)
        owner->adoptGridPoint(v);
    if (usesCounted)
        changeUse(v, +1);
    dropCurve();
    vertices.insertAfter(v, index - 1);
    markChanged(index - 1);
    markChanged(index);
    markChanged(index + 1);

    if (!committed) {
        pendingVertex = v;
        const int count = vertices.count;
        if (count >= 4 && formerPending != -1 &&
            (std::abs(index - formerPending) == count - 1 ||
             ((insertionCase == 0 || insertionCase == 2) && wasClosed))) {
            closed = true;
            closedByPending = true;
        }
    } else {
        if (owner != nullptr)
            owner->addUndo(new CUndoInsert(this, index));
        modified = true;
    }
    return true;
}

// ---- Ribbon curve ------------------------------------------------------------------

void COffset_PointList::setRibbonCurve(CParametricGeometry* c, double tolerance, int n)
{
    if (c != curve) {
        if (curve != nullptr) {
            std::cout << "deleting a know Ribbon." << std::endl;
            delete curve;
        }
        curve = c != nullptr ? c->clone() : nullptr;
    }
    if (curve == nullptr)
        return;

    Kor::List<double> t;
    if (n < 2) {
        if (curve->isCurve()) {
            curve->facetCurve(t, tolerance, true, 2000, false, false, -1.0);
        } else if (auto* surface = dynamic_cast<Fenwo::NurbsSurf*>(curve)) {
            std::unique_ptr<Fenwo::NurbsSurf> side(surfaceBoundaryCurves(surface, 1));
            if (side != nullptr)
                side->facetCurve(t, tolerance, true, 2000, false, false, -1.0);
        }
        if (t.count < 2) {
            t.removeAll();
            sampleDomainUniform(curve, t, std::max(n, 1));
        }
    } else {
        sampleDomainUniform(curve, t, n);
    }
    curveLocked = true;

    bool alongCurve = true;
    if (vertices.count > 0) {
        const Vector first = toVector(*vertices[0]);
        alongCurve = squaredDistance(first, curve->getEndPoint()) >=
                     squaredDistance(first, curve->getStartPoint());
    }
    const bool onSurface = curve->isCurve() && curve->hasNormal();
    for (int k = 1; k + 1 < t.count; ++k) {
        auto* g = new Gridbench::CGridPoint();
        const Vector p = curve->getPoint(t[k], 0.0);
        for (int d = 0; d < 3; ++d)
            g->data[d] = float(p[d]);
        if (onSurface) {
            const Vector normal = curve->getNormal(t[k], 0.0);
            for (int d = 0; d < 3 && d < normal.n; ++d)
                g->normal.data[d] = float(normal[d]);
        } else if (owner != nullptr && owner->mesh != nullptr) {
            // The point keeps its place on the curve; the mesh gives its
            // normal and facet.
            Gridbench::CGridPoint probe(*g);
            CVector<float, 3> normal;
            if (nearestMeshPoint(owner->mesh, probe, normal)) {
                g->normal = normal;
                g->facet = probe.facet;
            }
        }
        const int count = vertices.count;
        const int at = alongCurve ? std::max(count - 1, 0) : std::min(count, 1);
        if (owner != nullptr)
            owner->adoptGridPoint(g);
        if (usesCounted)
            changeUse(g, +1);
        vertices.insertAfter(g, at - 1);
    }
    // The parameters follow the entries' order.
    parameters.removeAll();
    for (int k = 0; k < t.count; ++k)
        parameters.append(alongCurve ? t[k] : t[t.count - 1 - k]);
    modified = true;
}

// ---- Parameters and pieces -------------------------------------------------------

bool COffset_PointList::getParameterInterval(int a, int b, Interval& out)
{
    if (currentCurve() == nullptr)
        return false;
    if (a < 0)
        return false;
    if (std::max(a, b) < parameters.count) {
        out = Interval(parameters[a], parameters[b]);
        return true;
    }
    if (closed && b == parameters.count && a < parameters.count) {
        out = Interval(parameters[a], curve->getUMax());
        return true;
    }
    return false;
}

bool COffset_PointList::entryParameter(int i, double& t) const
{
    const int n = vertices.count;
    if (i < 0)
        return false;
    if (!closed || i < n) {
        if (i >= parameters.count)
            return false;
        t = parameters[i];
        return true;
    }
    // Round the closing segment: one period on, on the periodic curve only
    // (a curve that is not periodic does not run through the closing
    // segment).
    const auto* periodic = dynamic_cast<const Fenwo::NurbsSurf*>(curve);
    if (i - n >= parameters.count || i >= 2 * n || periodic == nullptr ||
        periodic->uKnots == nullptr || periodic->uKnots->endCondition != knots::CyclicEnd)
        return false;
    t = parameters[i - n] + (periodic->getUMax() - periodic->getUMin());
    return true;
}

CParametricGeometry* COffset_PointList::getSubCurve(int a, int b, bool refit, int n)
{
    if (currentCurve() == nullptr)
        return nullptr;
    Fenwo::NurbsSurf* whole = soundNurbsCurve(curve);
    if (whole == nullptr)
        return nullptr;
    Fenwo::NurbsSurf* piece = nullptr;
    if ((a < 1 && b >= vertices.count - 1) || std::max(a, b) >= parameters.count || a < 0 || b < 0)
        piece = new Fenwo::NurbsSurf(*whole);
    else
        piece = ::getSubCurve(whole, parameters[a], parameters[b]);
    if (curveLocked && curve->isCurve())
        return piece;
    if (refit && piece != nullptr) {
        if (Fenwo::NurbsSurf* fitted = fitCurveToPolyline(piece, std::clamp(n, 1, 20), false)) {
            delete piece;
            return fitted;
        }
    }
    return piece;
}

void COffset_PointList::updateParameters()
{
    if (!curveLocked || curve == nullptr)
        return;
    auto* nurbs = dynamic_cast<Fenwo::NurbsSurf*>(curve);
    if (nurbs != nullptr && nurbs->isCurve() && nurbs->uKnots != nullptr && nurbs->uKnots->p == 1 &&
        nurbs->getUCount() == vertices.count) {
        Vector g;
        nurbs->uKnots->getGrevilleAbscissae(g);
        std::sort(g.data, g.data + g.n);
        const int unique = int(std::unique(g.data, g.data + g.n) - g.data);
        parameters.removeAll();
        for (int k = 0; k < unique; ++k)
            parameters.append(g[k]);
        return;
    }
    // An entry at an end of the curve (twice the held-entry miss: 0.01 at
    // the tolerance 0.5) takes the end's parameter; the others are projected.
    parameters.removeAll();
    const double atEnd = 2.0 * heldEntryMiss();
    for (CVertex<float, 3>* v : vertices) {
        double t = -1.0;
        boundaryParameter(toVector(*v), curve, &t, uvSouth, atEnd);
        parameters.append(t);
    }
}
