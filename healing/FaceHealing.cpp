// The face healing of a skin: the heal order, and for each face in turn the
// targets taken from its healed neighbours, the shape correction through
// them and the trim loop rebuilt on the corrected surface.

#include "curves/ArcLength.h"
#include "curves/CurveInterpolation.h"
#include "curves/CurveOnSurface.h"
#include "curves/ParCurve.h"
#include "curves/Projections.h"
#include "fitting/RbfCorrection.h"
#include "fitting/RbfFitLoop.h"
#include "foundation/Logging.h"
#include "foundation/MatrixThreads.h"
#include "foundation/PlanarGeometry.h"
#include "foundation/Progress.h"
#include "foundation/Sort.h"
#include "foundation/VertexList.h"
#include "geometry/FitHelpers.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "healing/SkinTopology.h"
#include "net/Face.h"
#include "net/FailureMessages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace FENWO_SKIN {

namespace {

// The order value of a fixed face: the largest single-precision value.
constexpr double kFixedValue = 3.4028234663852886e38;
// Order values are compared in steps of this share of one (a value lies
// between 0 and 1 / (4 pi)): the areas of faces of one shape differ in their
// last digits when tessellated in other units, and the rounding took such
// faces in another order at another size.
constexpr double kOrderValueStep = 1e-6;
// Arguments of the shape correction.
constexpr int kTargetCount = 723;
constexpr double kOvershootRatio = 500.0;
// Chords of a side's length, and the targets a side keeps at least.
constexpr int kSideSteps = 15;
constexpr double kTargetsPerSide = 6.0;
// Corrections on targets thinned ever closer, while the matched edges miss.
constexpr int kDenserRounds = 4;
// The tessellation of a face's area for the heal order: iso lines by
// distance, as many as this along its outer loop's length.
constexpr int kAreaMeshType = 1;
constexpr double kAreaIsoLinesPerLoop = 40.0;
// Digits of the Vector text while a healing runs (and after it).
constexpr int kVectorDigits = 10;
// Points along a healed side, and along the edge it matched, where the
// two are measured against each other.
constexpr int kSideSamples = 50;
constexpr int kEdgePolylinePoints = 400;
// How far, in tolerances, a healed side may run from the neighbour it
// matched before the heal counts as failed: the tolerance itself, which
// the shared edges of the healed faces are held to. A side further off has
// not followed its neighbour; a face healed so is none. A caller that judges
// the healed faces together on its own measure (the commit, on the Breps it
// makes of them, which takes back a face whose edge ends beyond the
// tolerance) keeps the judging: a side is measured here against all of the
// neighbour's sides, at their corners too, and one that comes within half a
// tolerance more may still meet its neighbour's edge there.
constexpr double kSideSlack = 1.0;
constexpr double kJudgedSideSlack = 1.5;
// Group of the targets that hold the face's inside where its fit put it.
constexpr int kHoldGroup = -5;
// The band within which a correction fades out, as a share of the face's
// smaller extent: the sides' moves fade out within it, and the face's
// middle beyond stays where its fit put it, on a face narrower than the
// continuity distance too (a band of that distance covered such a face
// from side to side, nothing held its middle, and the correction swung it
// several tolerances off between its sides). The correction of a large face
// asks no finer net than its fit has.
constexpr double kBandShare = 0.25;
// Inside points per direction of the face at the most, as far apart as the
// targets are thinned: they pin the inside, the sides' targets lie as close
// as they do, and the correction's solve costs the cube of their count.
constexpr int kMostHoldsAcross = 8;
// How close, in the tolerances the heal places sides to (dTol, or the edge
// allowance where that is less), a correction brings the face to its targets
// (its sides to their places on the seams, its inside to where the fit put
// it).
// Both faces of a seam stop this close to the place they meet, and the Breps
// the commit makes of them follow their trim curves within three quarters
// of the tolerance: stopping at 0.8 tolerances, as a correction used to,
// left seams of one and a half tolerances just beyond it.
constexpr double kTargetShare = 0.25;
// How far beyond a side's nearest point, in its distance, a moved side's
// point is matched across the surface's normal (1 / cos 60 degrees), as the
// commit's region check matches a Brep's edges to its region's sides.
constexpr double kTiltReach = 2.0;
// Points per direction at the most where a correction's move is measured.
constexpr int kMostProbesAcross = 24;

struct HealRecord {
    CFace* face = nullptr;
    double value = 0.0;
    int place = 0; // position in the heal set: equal values keep it
};

// The continuity distance: the distance at which a kink of half a degree
// opens a gap of 2 dTol, a sixth of it. About 38.2 dTol.
double continuityDistance(double dTol)
{
    return (2.0 * dTol / std::atan(M_PI / 360.0)) / 6.0;
}

// The face's area, tessellated by iso lines a share of its outer loop's
// length apart (and its trim polygon within a tenth of that): the heal
// order's value, area over squared loop length, is then the same for a face
// in metres as for the face in millimetres. The face's own tessellation
// settings, in model units, would take a face in metres far more coarsely
// than the same face in millimetres, and order the heal otherwise. The
// face keeps its settings, and its tessellation is built anew when next
// asked for.
double areaAtOwnScale(CFace& face, double loopLength)
{
    const int type = face.MeshType;
    const double distance = face.MeshDistance;
    if (loopLength > 0.0 && std::isfinite(loopLength)) {
        face.MeshType = kAreaMeshType;
        face.MeshDistance = loopLength / kAreaIsoLinesPerLoop;
    }
    face.clearDisplayCache();
    const double area = face.computeArea();
    face.MeshType = type;
    face.MeshDistance = distance;
    face.clearDisplayCache();
    return area;
}

int appendTarget(CFitPointArray& targets, const Vector& p, int group, const Vector* normal)
{
    CFitPoint fp = normal != nullptr ? CFitPoint(p, Vector(0.0, 0.0), *normal)
                                     : CFitPoint(p, Vector(0.0, 0.0));
    fp.group = group;
    return targets.append(fp);
}

// The heal order grows from the faces kept (the first `placed` records):
// after them comes, in value order, the first face that shares an edge
// with a face placed before it, so that it has an edge to match; a face
// that meets the placed ones at a vertex at most (it could only take
// corner targets, which lie beyond its own sides, and would stay as it is)
// comes when no face has such an edge. An island comes after the faces
// whose hole it fills: a face heals the sides of its outer loop only, so
// the island's edge goes all the way to the hole's, which stays.
void growFromHealed(CSkinTopology& skin, std::vector<HealRecord>& records, int placedFirst)
{
    std::unordered_set<const CFace*> healed;
    for (const HealRecord& r : records)
        healed.insert(r.face);
    std::unordered_map<const CFace*, std::unordered_set<const CParametricGeometry*>> outer;
    const auto onOuterLoop = [&](CFace* f, const CParametricGeometry* c) {
        auto [at, added] = outer.try_emplace(f);
        if (added)
            for (CCONS* g : skin.getFaceCurves(f))
                at->second.insert(g);
        return at->second.count(c) != 0;
    };
    std::unordered_map<const CFace*, std::vector<const CFace*>> neighbours, holesOf;
    for (const CSkinTopology::CHalfEdge* h : skin.halfEdgesInOrder)
        if (h->partner != nullptr && h->partner->curve != nullptr) {
            const CFace* a = skin.faceOfCurve(h->curve);
            CFace* b = skin.faceOfCurve(h->partner->curve);
            if (a == nullptr || b == nullptr || a == b)
                continue;
            neighbours[a].push_back(b);
            if (healed.count(b) != 0 && !onOuterLoop(b, h->partner->curve))
                holesOf[a].push_back(b);
        }
    std::unordered_set<const CFace*> placed;
    for (int k = 0; k < placedFirst; ++k)
        placed.insert(records[std::size_t(k)].face);
    const auto isPlaced = [&](const CFace* f) { return placed.count(f) != 0; };
    for (std::size_t p = std::size_t(std::max(placedFirst, 0)); p < records.size(); ++p) {
        const auto waits = [&](std::size_t q) {
            const std::vector<const CFace*>& around = holesOf[records[q].face];
            return !std::all_of(around.begin(), around.end(), isPlaced);
        };
        std::size_t next = records.size();
        for (std::size_t q = p; q < records.size() && next == records.size(); ++q) {
            const std::vector<const CFace*>& around = neighbours[records[q].face];
            if (!waits(q) && std::any_of(around.begin(), around.end(), isPlaced))
                next = q;
        }
        for (std::size_t q = p; q < records.size() && next == records.size(); ++q)
            if (!waits(q))
                next = q;
        if (next == records.size())
            next = p;
        std::rotate(records.begin() + std::ptrdiff_t(p), records.begin() + std::ptrdiff_t(next),
                    records.begin() + std::ptrdiff_t(next) + 1);
        placed.insert(records[p].face);
    }
}

// Whether the targets of the face's edges (group > 0) all lie within tol
// of the surface, as their last inversion found them; false without any.
bool edgesWithin(const CFitPointArray& targets, double tol)
{
    int edgeTargets = 0;
    for (int k = 0; k < targets.count; ++k) {
        if (targets[k].group <= 0)
            continue;
        ++edgeTargets;
        if (!(targets[k].dist2 <= tol * tol))
            return false;
    }
    return edgeTargets > 0;
}

// The largest distance from the surface, as their last inversion found
// it, of the targets of the face's edges (group e > 0 is edge e - 1): of
// those whose edge `only` flags, or of all of them when `only` is empty.
double sideGap(const CFitPointArray& targets, const std::vector<bool>& only)
{
    double gap = 0.0;
    for (int k = 0; k < targets.count; ++k) {
        const int g = targets[k].group;
        if (g >= 1 && (only.empty() || (std::size_t(g) <= only.size() && only[std::size_t(g - 1)])))
            gap = std::max(gap, std::sqrt(targets[k].dist2));
    }
    return gap;
}

// Points of a curve at count parameters evenly spread over its domain: at
// the middles of count equal steps when midpoints, else from end to end.
std::vector<Vector> curveSamples(CParametricGeometry* curve, int count, bool midpoints)
{
    std::vector<Vector> points;
    const Interval d = curve->getDomain(0);
    for (int k = 0; k < count; ++k) {
        const double share = midpoints ? (k + 0.5) / count : double(k) / (count - 1);
        points.push_back(curve->getPoint((1.0 - share) * d.min + share * d.max, 0.0));
    }
    return points;
}

double distanceToPolyline(const Vector& p, const std::vector<Vector>& line)
{
    double best = HUGE_VAL;
    for (std::size_t k = 1; k < line.size(); ++k)
        best = std::min(best,
                        pointSegmentDistance(line[k - 1].data, line[k].data, p.data, 3, nullptr));
    return std::sqrt(best);
}

// The point of the poly-line nearest to p.
Vector nearestOnPolyline(const Vector& p, const std::vector<Vector>& line)
{
    double best = HUGE_VAL;
    Vector nearest = line.empty() ? p : line.front();
    for (std::size_t k = 1; k < line.size(); ++k) {
        double t = 0.0;
        const double d2 = pointSegmentDistance(line[k - 1].data, line[k].data, p.data, 3, &t);
        if (d2 < best) {
            best = d2;
            nearest = lerp(line[k - 1], line[k], std::clamp(t, 0.0, 1.0));
        }
    }
    return nearest;
}

// How far the side runs from the neighbour it was matched to: the largest
// distance of points spread along the side from the neighbour's sides
// (each followed by a poly-line far finer than any gap of interest), from
// the side it matched and, near the corners, from those that meet it
// there. The targets only say where the side's curve passes; between them
// a curve through their (u, v) on a surface folded in its parameters can
// stray far.
double sideDeviation(CParametricGeometry* side, const Kor::List<CCONS*>& neighbourSides)
{
    std::vector<std::vector<Vector>> lines;
    for (CCONS* c : neighbourSides)
        lines.push_back(curveSamples(c, kEdgePolylinePoints, false));
    double gap = 0.0;
    for (const Vector& p : curveSamples(side, kSideSamples, true)) {
        double nearest = HUGE_VAL;
        for (const std::vector<Vector>& line : lines)
            nearest = std::min(nearest, distanceToPolyline(p, line));
        gap = std::max(gap, nearest);
    }
    return gap;
}

// A face's trim polygon in its surface's parameters, the polygon's box and
// the face's extent in space along the box's middle iso lines.
struct FaceFrame {
    CVertexList polygon;
    double low[2] = {HUGE_VAL, HUGE_VAL}, high[2] = {-HUGE_VAL, -HUGE_VAL};
    double extent[2] = {0.0, 0.0};
};

// False for a face without a trim polygon of area.
bool faceFrame(CFace& F, Fenwo::NurbsSurf& S, FaceFrame& frame)
{
    if (F.buildUVPolygon(frame.polygon, 1, 0.1) == 0 || frame.polygon.getCount() < 3)
        return false;
    for (const CVertex<double, 3>* q : frame.polygon.vertices)
        for (int d = 0; d < 2; ++d) {
            frame.low[d] = std::min(frame.low[d], q->data[d]);
            frame.high[d] = std::max(frame.high[d], q->data[d]);
        }
    for (int d = 0; d < 2; ++d) {
        Vector previous;
        for (int k = 0; k <= kSideSteps; ++k) {
            const double a = frame.low[d] + (frame.high[d] - frame.low[d]) * k / kSideSteps;
            const double b = 0.5 * (frame.low[1 - d] + frame.high[1 - d]);
            const Vector q = d == 0 ? S.getPoint(a, b) : S.getPoint(b, a);
            if (k > 0)
                frame.extent[d] += norm(q - previous);
            previous = q;
        }
    }
    return frame.high[0] > frame.low[0] && frame.high[1] > frame.low[1];
}

// The points of the face's inside grid each way: `spacing` apart in space,
// at least 2 and at most `most`.
int gridAcross(const FaceFrame& frame, int d, double spacing, int most)
{
    return std::clamp(int(std::ceil(frame.extent[d] / spacing)), 2, most);
}

// How far apart in space the points of the inside grid lie in the direction
// where they lie closer.
double gridStep(const FaceFrame& frame, double spacing, int most)
{
    double step = HUGE_VAL;
    for (int d = 0; d < 2; ++d)
        step = std::min(step, frame.extent[d] / gridAcross(frame, d, spacing, most));
    return std::max(step, spacing);
}

// (u, v) points inside the face's trim on a grid about `spacing` apart in
// space, at most `most` each way.
std::vector<Vector> insideGrid(const FaceFrame& frame, double spacing, int most)
{
    std::vector<Vector> inside;
    if (!(spacing > 0.0) || frame.polygon.getCount() < 3)
        return inside;
    int across[2];
    for (int d = 0; d < 2; ++d)
        across[d] = gridAcross(frame, d, spacing, most);
    for (int a = 0; a < across[0]; ++a)
        for (int b = 0; b < across[1]; ++b) {
            const double u = frame.low[0] + (frame.high[0] - frame.low[0]) * (a + 0.5) / across[0];
            const double v = frame.low[1] + (frame.high[1] - frame.low[1]) * (b + 0.5) / across[1];
            if (pointInPolygon(frame.polygon.vertices, CVertex<double, 3>(u, v, 0.0), true))
                inside.push_back(Vector(u, v));
        }
    return inside;
}

} // namespace

bool continuationPoint(CParametricGeometry* surface, const Vector& P, const Vector& direction,
                       double d, double u, double v, Vector& point)
{
    const Vector aim = P + d * direction;
    projectPointOnSurface(surface, aim, u, v);
    point = surface->getPoint(u, v);
    return norm(point - aim) <= 0.5 * d;
}

namespace {

// One face's healing. The skin, the face and the working lists of the
// record being healed.
class FaceHealer {
public:
    // The first `seeds` records are the faces that stay (see healFaces).
    FaceHealer(CSkinTopology& skin, double dTol, int mode, int seeds)
        : skin(skin), dTol(dTol), place(std::min(dTol, skin.edgeAllowance)), mode(mode),
          seeds(seeds), s(continuityDistance(dTol))
    {
    }

    // Heals the face of record p; false on a cancel or a loop that cannot
    // be walked.
    bool heal(const std::vector<HealRecord>& records, int p, std::ofstream& facesLog);

private:
    CSkinTopology& skin;
    double dTol;
    // The tolerance the heal places sides to (the chords of the sides it
    // samples, how close a correction must come to its targets, how far
    // beyond what they ask it may move the face): dTol, but no more than the
    // skin's edge allowance. Where the fit's tolerance lies far below the
    // document's, sides placed to dTol strayed several fit tolerances from
    // the sides the faces were fitted to, and the commit's region check
    // refused the faces.
    double place;
    int mode;
    int seeds;
    double s;
    // The places of the continuity rows of the face being healed that went
    // to its targets.
    std::vector<int> rows;
    // How far apart the targets of the face being healed are thinned, and
    // how far apart its inside points and its sides' targets lie at the
    // most.
    double spacing = 0.0;
    double sideSpacing = 0.0;

    bool cancelled() const { return skin.progress != nullptr && skin.progress->isCancelled(); }
    // The longest step between the targets along a side: as far as the
    // face's inside points lie apart, so that the sides are held as closely
    // as the inside (with targets far sparser than the held inside points, a
    // side swung between them by several tolerances), and never more than
    // 250 dTol.
    double sideStep() const { return std::min(250.0 * dTol, sideSpacing); }
    // Targets along edge i from the partner's curve of the healed
    // neighbour: its points, and the continuity rows at s and 2 s inside
    // the neighbour's surface.
    void addMatchedTargets(int i, CParametricGeometry* partnerCurve, CFitPointArray& targets,
                           IndexSubset<CFitPoint>& all, IndexSubset<CFitPoint>& edge);
    // Targets along edge i (half-edge h of face F) whose neighbour heals
    // after this face: half-way between the side and the neighbour's edge, so
    // that each face of a seam goes half its gap. At an end where a matched
    // side meets it (the first of a pair of matchedEnds lies within a tenth
    // of the side's length) the move is the one to the healed neighbour's
    // corner (the second) there, at another end the one to where the faces
    // at that corner meet (cornerMeeting: of a corner four faces share, half
    // of each seam's gap there would part the two sides of the face), each
    // turning into the half-way move within a third of the side.
    void addPendingTargets(int i, const CSkinTopology::CHalfEdge& h, const CFace& F,
                           CParametricGeometry* side, CParametricGeometry* partnerCurve,
                           const std::vector<std::pair<Vector, Vector>>& matchedEnds,
                           CFitPointArray& targets, IndexSubset<CFitPoint>& all,
                           IndexSubset<CFitPoint>& edge);
    // Targets at the inside points of the face: those farther than the band
    // from every side that moves (moving[i]) on the face's own surface, the
    // others moved by the sides' moves faded out over the band (fadeWeight
    // of the distance to the nearest moving side), each the blend of the
    // moves the sides' targets ask (groups > 0, landed inside the domain)
    // weighted by their inverse squared distance. The correction then follows
    // the sides within the band and leaves the rest of the face where its fit
    // put it, however close the band comes to the middle: a correction free
    // between the sides and the held points bulged there beyond what the
    // sides asked. Beside a side that bends (bent[i]: the correction takes
    // its continuity rows, which follow the neighbour's surface beyond the
    // side) the moves turn the face about its side into the neighbour's
    // tangent plane instead, fading out over the band as well. Appended to
    // all and to edge: the correction must keep them within its tolerance
    // as it must reach the sides' targets.
    void addHoldTargets(Fenwo::NurbsSurf& S, const Kor::List<CCONS*>& curves,
                        const std::vector<bool>& moving, const std::vector<bool>& bent,
                        const std::vector<Vector>& inside, double band, CFitPointArray& targets,
                        IndexSubset<CFitPoint>& all, IndexSubset<CFitPoint>& edge);
    // The outer loop that the (u, v) of the targets of groups 1..n give
    // on S, curve i for edge i; linear flags the curves of degree 1. Null
    // when they give no curve for some edge, or give no place for a loop
    // (below). The targets are left as they are.
    std::unique_ptr<CLoop> candidateLoop(Fenwo::NurbsSurf& S, const Kor::List<CCONS*>& curves,
                                         const CFitPointArray& targets, std::vector<bool>& linear);
    // Gives F the loop in place of its curves (in the skin too); false,
    // the loop dropped and F's loop kept, when there is none or the skin
    // does not take it.
    bool installLoop(CFace& F, const Kor::List<CCONS*>& curves, std::unique_ptr<CLoop> loop,
                     const std::vector<bool>& linear);
    // The largest deviation of sides[i] from the sides of
    // matchedNeighbours[i], over the edges matched (a neighbour given): the
    // sides of its outer loop and the edge partners[i] it matched, which
    // may lie on a hole.
    double matchedSideDeviation(const std::vector<CParametricGeometry*>& sides,
                                const std::vector<CFace*>& matchedNeighbours,
                                const std::vector<CCONS*>& partners);
};

// A target of a side that bends, where it lies on the face's surface: the
// surface's normal there and the neighbour's, turned to agree with it.
struct Turn {
    Vector foot, normal, turned;
};

// The turn a target of a side asks of S, when its side bends (`bent`
// flags it) and it carries the neighbour's normal; none otherwise.
std::optional<Turn> turnOf(Fenwo::NurbsSurf& S, const std::vector<bool>& bent, const CFitPoint& t)
{
    if (t.group < 1 || std::size_t(t.group) > bent.size() || !bent[std::size_t(t.group - 1)] ||
        t.Normal.n != 3)
        return std::nullopt;
    Turn turn{S.getPoint(t.uv[0], t.uv[1]), normalized(S.getNormal(t.uv[0], t.uv[1])),
              normalized(t.Normal)};
    if (dot(turn.turned, turn.normal) < 0.0)
        turn.turned = -1.0 * turn.turned;
    return turn;
}

// How far a point q of the face moves when the face turns about the side of
// `turn` into the neighbour's tangent plane: its own run away from the side
// (the part of q - foot along the surface) rises over that plane by its
// component along the neighbour's normal, and comes down by as much.
Vector turnMove(const Turn& turn, const Vector& q)
{
    const Vector r = q - turn.foot;
    const Vector along = r - dot(r, turn.normal) * turn.normal;
    return -dot(along, turn.turned) * turn.normal;
}

// One correction of a face: the surface it made, the loop its targets
// give there (null when none), and how far its matched sides lie from the
// neighbours' edges at the targets and between them.
struct Correction {
    std::unique_ptr<Fenwo::NurbsSurf> surface;
    std::unique_ptr<CLoop> loop;
    std::vector<bool> linear;
    double targetGap = HUGE_VAL;
    double deviation = HUGE_VAL;
    double moved = HUGE_VAL; // the farthest a side lies across from where it lay
};

// A side as it lay before a correction: points along it and the unit
// normals of the face's surface there.
struct SideTrace {
    std::vector<Vector> points, normals;
};

SideTrace traceSide(CCONS* side, Fenwo::NurbsSurf& S, int count)
{
    SideTrace trace;
    const Interval d = side->getDomain(0);
    for (int k = 0; k < count; ++k) {
        const double share = double(k) / (count - 1);
        const Vector uv = side->getUVPoint((1.0 - share) * d.min + share * d.max);
        Vector point, normal;
        S.evaluatePointAndNormal(uv[0], uv[1], point, normal);
        const double length = norm(normal);
        trace.points.push_back(side->getPoint((1.0 - share) * d.min + share * d.max, 0.0));
        trace.normals.push_back(length > 0.0 ? (1.0 / length) * normal : Vector(0.0, 0.0, 0.0));
    }
    return trace;
}

// How far p lies from the traced side across the face, as the commit's
// region check measures a Brep's edges against its region's sides across
// the mesh: the part of the offset along the surface's normal at the
// side's point nearest p does not count (the seams the heal closes lie
// mostly along it), and the side is sought within kTiltReach times the
// plain distance.
double acrossFrom(const Vector& p, const SideTrace& side)
{
    double plain = HUGE_VAL;
    std::size_t nearest = 0;
    for (std::size_t k = 0; k < side.points.size(); ++k)
        if (const double d = norm(p - side.points[k]); d < plain) {
            plain = d;
            nearest = k;
        }
    const double direct = distanceToPolyline(p, side.points);
    double best = direct;
    for (std::size_t k = 1; k < side.points.size(); ++k)
        best = std::min(best, segmentDistanceAcross(side.points[k - 1].data, side.points[k].data,
                                                    p.data, side.normals[nearest].data,
                                                    kTiltReach * direct));
    return best;
}

// The farthest points spread along each of the sides lie across the face
// from the same side as it lay (lay[i] for sides[i]).
double sidesMoved(const std::vector<CParametricGeometry*>& sides, const std::vector<SideTrace>& lay)
{
    double moved = 0.0;
    for (std::size_t i = 0; i < sides.size() && i < lay.size(); ++i)
        for (const Vector& p : curveSamples(sides[i], kSideSamples, true))
            moved = std::max(moved, acrossFrom(p, lay[i]));
    return moved;
}

void FaceHealer::addMatchedTargets(int i, CParametricGeometry* partnerCurve,
                                   CFitPointArray& targets, IndexSubset<CFitPoint>& all,
                                   IndexSubset<CFitPoint>& edge)
{
    Kor::List<double> tList;
    partnerCurve->facetCurve(tList, place / 3.0, true, 2000, false, false, sideStep());
    // A nearly straight edge is faceted into its two ends: the correction
    // would get nothing to pull the middle of the side with, which then
    // stays as far from the edge as it was. Such an edge takes targets a
    // sixth of its length apart.
    if (tList.count < 3) {
        const double partnerLength = sampledCurveLength(partnerCurve, kSideSteps, false);
        partnerCurve->facetCurve(tList, place / 3.0, true, 2000, false, false,
                                 std::min(250.0 * dTol, partnerLength / kTargetsPerSide));
    }
    const int m = tList.count - 1;
    auto* cons = dynamic_cast<CCONS*>(partnerCurve);
    for (int j = 0; j <= m; ++j) {
        const double t = tList[j];
        const Vector P = partnerCurve->getPoint(t, 0.0);
        const Vector normal = partnerCurve->getNormal(t, 0.0);
        const int at = appendTarget(targets, P, i + 1, &normal);
        edge.append(at);
        all.append(at);
        if (mode < 1 || cons == nullptr || cons->surface == nullptr)
            continue;
        const Vector N = cons->getSideVector(t, true);
        const Vector uv = cons->getUVPoint(t);
        // A row the neighbour's surface does not reach (a neighbour
        // narrower than s or 2 s) is no target.
        Vector row1;
        const bool reached1 = continuationPoint(cons->surface, P, -N, s, uv[0], uv[1], row1);
        const int at1 = appendTarget(targets, row1, -(i + 1), nullptr);
        if (reached1) {
            edge.append(at1);
            all.append(at1);
            rows.push_back(at1);
        }
        if (mode < 2)
            continue;
        Vector row2;
        const bool reached2 = continuationPoint(cons->surface, P, -N, 2.0 * s, uv[0], uv[1], row2);
        const int at2 = appendTarget(targets, row2, -(i + 1), nullptr);
        // The second row leaves out the two points at each end, where the
        // neighbouring edges bend it.
        if (reached2 && j >= 2 && j < m - 1) {
            edge.append(at2);
            all.append(at2);
            rows.push_back(at2);
        }
    }
}

void FaceHealer::addPendingTargets(int i, const CSkinTopology::CHalfEdge& h, const CFace& F,
                                   CParametricGeometry* side, CParametricGeometry* partnerCurve,
                                   const std::vector<std::pair<Vector, Vector>>& matchedEnds,
                                   CFitPointArray& targets, IndexSubset<CFitPoint>& all,
                                   IndexSubset<CFitPoint>& edge)
{
    const double length = sampledCurveLength(side, kSideSteps, false);
    Kor::List<double> tList;
    side->facetCurve(tList, place / 3.0, true, 2000, false, false, sideStep());
    if (tList.count < 3)
        side->facetCurve(tList, place / 3.0, true, 2000, false, false,
                         std::min(250.0 * dTol, length / kTargetsPerSide));
    const std::vector<Vector> partner = curveSamples(partnerCurve, kEdgePolylinePoints, false);
    // An end of the side where a matched side meets it is the corner the
    // neighbour healed before this face has put in place: the side's move
    // there is the corner's, turning into the half-way move within a third
    // of the side, so that the targets near the corner do not pull against
    // the matched side's. At another end the faces there meet in the middle
    // of their corners, where this face's other side goes too.
    const Vector ends[2] = {side->getStartPoint(), side->getEndPoint()};
    const Vector* cornerMove[2] = {nullptr, nullptr};
    Vector moves[2];
    for (int e = 0; e < 2; ++e) {
        for (const auto& [own, corner] : matchedEnds)
            if (norm(own - ends[e]) < 0.1 * length) {
                moves[e] = corner - ends[e];
                cornerMove[e] = &moves[e];
                break;
            }
        Vector meeting;
        if (cornerMove[e] == nullptr && cornerMeeting(skin, h, F, ends[e], meeting)) {
            moves[e] = meeting - ends[e];
            cornerMove[e] = &moves[e];
        }
    }
    double along = 0.0;
    Vector previous;
    for (int j = 0; j < tList.count; ++j) {
        const double t = tList[j];
        const Vector P = side->getPoint(t, 0.0);
        if (j > 0)
            along += norm(P - previous);
        previous = P;
        const Vector normal = side->getNormal(t, 0.0);
        Vector move = 0.5 * (nearestOnPolyline(P, partner) - P);
        for (int e = 0; e < 2; ++e)
            if (cornerMove[e] != nullptr) {
                const double w = fadeWeight(e == 0 ? along : length - along, length / 3.0);
                move = (1.0 - w) * move + w * *cornerMove[e];
            }
        const int at = appendTarget(targets, P + move, i + 1, &normal);
        edge.append(at);
        all.append(at);
    }
}

void FaceHealer::addHoldTargets(Fenwo::NurbsSurf& S, const Kor::List<CCONS*>& curves,
                                const std::vector<bool>& moving, const std::vector<bool>& bent,
                                const std::vector<Vector>& inside, double band,
                                CFitPointArray& targets, IndexSubset<CFitPoint>& all,
                                IndexSubset<CFitPoint>& edge)
{
    std::vector<std::vector<Vector>> sides;
    for (int i = 0; i < curves.count; ++i)
        if (std::size_t(i) < moving.size() && moving[std::size_t(i)])
            sides.push_back(curveSamples(curves[i], kEdgePolylinePoints, false));
    if (sides.empty())
        return;
    // Where the sides' targets lie on S and the moves they ask there; the
    // turn of those of a side that bends.
    struct Asked {
        Vector foot, move;
        std::optional<Turn> turn;
    };
    std::vector<Asked> asked;
    for (int k = 0; k < targets.count; ++k) {
        const CFitPoint& t = targets[k];
        if (t.group < 1 || t.boundary != 0 || t.uv.n < 2)
            continue;
        const Vector foot = S.getPoint(t.uv[0], t.uv[1]);
        asked.push_back({foot, t.Point - foot, turnOf(S, bent, t)});
    }
    for (const Vector& uv : inside) {
        const Vector q = S.getPoint(uv[0], uv[1]);
        double nearest = HUGE_VAL;
        for (const std::vector<Vector>& side : sides)
            nearest = std::min(nearest, distanceToPolyline(q, side));
        Vector moved = q;
        if (nearest <= band) {
            Vector sum(0.0, 0.0, 0.0);
            double weights = 0.0;
            for (const Asked& a : asked) {
                const double w = 1.0 / std::max(squaredDistance(q, a.foot), 1e-12 * band * band);
                // Beside a side that bends, the face goes its side's move
                // along its normal and turns about the side.
                sum += w *
                       (a.turn ? dot(a.move, a.turn->turned) * a.turn->normal + turnMove(*a.turn, q)
                               : a.move);
                weights += w;
            }
            if (weights > 0.0)
                moved = q + (fadeWeight(nearest, band) / weights) * sum;
        }
        CFitPoint hold(moved, uv);
        hold.group = kHoldGroup;
        const int at = targets.append(hold);
        all.append(at);
        edge.append(at);
    }
}

std::unique_ptr<CLoop> FaceHealer::candidateLoop(Fenwo::NurbsSurf& S,
                                                 const Kor::List<CCONS*>& curves,
                                                 const CFitPointArray& targets,
                                                 std::vector<bool>& linear)
{
    linear.clear();
    // Sides whose targets lie farther from the surface than the skin's
    // match tolerance (a neighbour paired across a region drawn astray) are
    // no place for the loop: their feet on the surface trace no side of the
    // face, and the face keeps the loop it had.
    if (S.degenerateSides.count != 0 || curves.count < 2 || sideGap(targets, {}) > skin.dMatchTol)
        return nullptr;
    // The (u, v) of each side's targets, in their order, on a copy: the
    // targets keep their points for the next correction.
    CFitPointArray uvPoints(targets);
    std::vector<IndexSubset<CFitPoint>> sideTargets;
    for (int e = 1; e <= curves.count; ++e) {
        IndexSubset<CFitPoint> points(uvPoints);
        for (int k = 0; k < uvPoints.count; ++k) {
            CFitPoint& fp = uvPoints[k];
            if (fp.group != e || fp.uv.n < 2)
                continue;
            fp.Point = Vector(fp.uv[0], fp.uv[1], 0.0);
            points.append(k);
        }
        sideTargets.push_back(std::move(points));
    }
    // Two sides matched to two different neighbours end where those
    // neighbours' edges end, a little apart: the nearest ends of
    // neighbouring sides meet half-way, so that the loop closes with its
    // sides alone and is not bridged by a curve of its own (a side the face
    // does not have).
    for (std::size_t e = 0; e < sideTargets.size(); ++e) {
        IndexSubset<CFitPoint>& a = sideTargets[e];
        IndexSubset<CFitPoint>& b = sideTargets[(e + 1) % sideTargets.size()];
        if (a.count < 2 || b.count < 2)
            continue;
        CFitPoint* best[2] = {nullptr, nullptr};
        double nearest = HUGE_VAL;
        for (CFitPoint* x : {&a[0], &a[a.count - 1]})
            for (CFitPoint* y : {&b[0], &b[b.count - 1]})
                if (const double d = squaredDistance(x->Point, y->Point); d < nearest) {
                    nearest = d;
                    best[0] = x;
                    best[1] = y;
                }
        const Vector middle = lerp(best[0]->Point, best[1]->Point, 0.5);
        best[0]->Point = middle;
        best[1]->Point = middle;
    }
    // Side i of the loop is edge i's: a side without a curve leaves the
    // face no loop that replaces its curves one for one.
    auto loop = std::make_unique<CLoop>();
    for (IndexSubset<CFitPoint>& points : sideTargets) {
        Fenwo::NurbsSurf* uvCurve = points.count >= 2 ? interpolateCurve(points, 2, 2, true, false)
                                                      : nullptr;
        if (uvCurve == nullptr)
            return nullptr;
        linear.push_back(uvCurve->uKnots != nullptr && uvCurve->uKnots->p == 1);
        loop->curves.append(new CParCurve(uvCurve, &S, false));
    }
    return loop;
}

bool FaceHealer::installLoop(CFace& F, const Kor::List<CCONS*>& curves,
                             std::unique_ptr<CLoop> loop, const std::vector<bool>& linear)
{
    if (loop == nullptr || curves.count == 0 ||
        !skin.replaceFaceCurves(skin.findHalfEdge(curves[0]), *loop))
        return false;
    for (int i = 0; i < loop->getCard(); ++i)
        if (std::size_t(i) < linear.size() && linear[std::size_t(i)]) {
            std::cout << "logging a linear probaly bad uv curve" << std::endl;
            // Appended on every healing: bounded, so that it cannot grow for ever.
            CBoundedDump bad("c:/tmp/baduv.out", true);
            if (std::ostream* out = bad.entry()) {
                if (auto* uvCurve = dynamic_cast<Fenwo::NurbsSurf*>(loop->getCurve(i)->uvCurve))
                    uvCurve->write(*out);
                *out << '\n';
            }
        }
    F.setOuterLoop(loop.release());
    // The loop was ordered and oriented: its chain links follow it again.
    F.getAllCONS(false, true);
    return true;
}

double FaceHealer::matchedSideDeviation(const std::vector<CParametricGeometry*>& sides,
                                        const std::vector<CFace*>& matchedNeighbours,
                                        const std::vector<CCONS*>& partners)
{
    double deviation = 0.0;
    for (std::size_t i = 0; i < matchedNeighbours.size() && i < sides.size(); ++i)
        if (matchedNeighbours[i] != nullptr) {
            Kor::List<CCONS*> neighbourSides = skin.getFaceCurves(matchedNeighbours[i]);
            if (i < partners.size() && partners[i] != nullptr &&
                !neighbourSides.contains(partners[i]))
                neighbourSides.append(partners[i]);
            deviation = std::max(deviation, sideDeviation(sides[i], neighbourSides));
        }
    return deviation;
}

bool FaceHealer::heal(const std::vector<HealRecord>& records, int p, std::ofstream& facesLog)
{
    if (cancelled())
        return false;
    const int count = int(records.size());
    CFace& F = *records[std::size_t(p)].face;
    std::cout << FailureMessages::kHealStartFace << p + 1 << "/" << count
              << "  val = " << records[std::size_t(p)].value << std::endl;
    if (skin.progress != nullptr) {
        char label[64];
        std::snprintf(label, sizeof label, "healing face %1i / %1i", p + 1, count);
        skin.progress->setLabel(label);
    }
    const Kor::List<CCONS*> curves = skin.getFaceCurves(&F);
    const int n = curves.count;
    std::ofstream thisFace;
    if (openLogStream(thisFace, "c:/tmp/thisface.out"))
        thisFace << F;

    // The loop walk: each half-edge learns the next one of the face.
    bool broken = false;
    for (int i = 0; i < n; ++i) {
        CSkinTopology::CHalfEdge* h = skin.findHalfEdge(curves[i]);
        CSkinTopology::CHalfEdge* next = skin.findHalfEdge(curves[(i + 1) % n]);
        if (h == nullptr) {
            std::cout << "No pHalf here." << std::endl;
            broken = true;
        } else if (next == nullptr) {
            std::cout << "No pNext here." << std::endl;
            broken = true;
        } else {
            h->pNext = next;
            h->visited = 0;
        }
    }
    if (broken) {
        std::cout << "Abort, damaged Pointers." << std::endl;
        return false;
    }

    Fenwo::NurbsSurf* S = F.getNurbsSurf();
    // The targets are thinned to a third of the continuity distance, but
    // on a face narrower than that to a sixth of its shortest side: thinned
    // at s / 3 such a face keeps one or two targets a side, fewer than the
    // correction's quadratic part has terms, and the correction then bends
    // the whole face by a couple of displacements, sides it met included.
    double shortestSide = HUGE_VAL;
    for (CCONS* c : curves)
        shortestSide = std::min(shortestSide, sampledCurveLength(c, kSideSteps, false));
    spacing = std::min(s / 3.0, shortestSide / kTargetsPerSide);
    // The band within which the moves of the sides fade out inside the face.
    FaceFrame frame;
    double band = s;
    sideSpacing = spacing;
    if (S != nullptr && faceFrame(F, *S, frame)) {
        band = kBandShare * std::min(frame.extent[0], frame.extent[1]);
        sideSpacing = gridStep(frame, spacing, kMostHoldsAcross);
    }
    CFitPointArray targets;
    IndexSubset<CFitPoint> all(targets), edge(targets);
    rows.clear();
    int matched = 0, pending = 0;
    std::vector<bool> matchedEdges(std::size_t(n), false);
    std::vector<bool> movingEdges(std::size_t(n), false);
    std::vector<CFace*> matchedNeighbours(std::size_t(n), nullptr);
    std::vector<CCONS*> matchedPartners(std::size_t(n), nullptr);
    // Each side's neighbour: healed before this face (the side is matched
    // to its edge) or after it (the side goes half the gap to it, and the
    // neighbour the other half; the runs end at those half-way points too,
    // CSkinTopology::addUnmatchedEdgeTargets).
    std::vector<CSkinTopology::CHalfEdge*> shared(std::size_t(n), nullptr);
    for (int i = 0; i < n && S != nullptr; ++i) {
        if (cancelled())
            return false;
        CSkinTopology::CHalfEdge* h = skin.findHalfEdge(curves[i]);
        CSkinTopology::CHalfEdge* partner = h->partner;
        if (partner == nullptr || partner->curve == nullptr)
            continue;
        CFace* neighbour = skin.faceOfCurve(partner->curve);
        if (neighbour == nullptr || neighbour == &F || neighbour->spareFlag < 1)
            continue;
        shared[std::size_t(i)] = h;
        movingEdges[std::size_t(i)] = true;
        h->visited = neighbour->spareFlag > p ? 2 : 1;
        if (h->visited == 1) {
            matchedEdges[std::size_t(i)] = true;
            matchedNeighbours[std::size_t(i)] = neighbour;
            matchedPartners[std::size_t(i)] = dynamic_cast<CCONS*>(partner->curve);
            ++matched;
        } else {
            ++pending;
        }
    }
    // The corners the neighbours healed before this face put: each end of
    // a matched side, and the end of the neighbour's edge there.
    std::vector<std::pair<Vector, Vector>> matchedEnds;
    for (int i = 0; i < n; ++i)
        if (matchedEdges[std::size_t(i)]) {
            CParametricGeometry* edgeCurve = shared[std::size_t(i)]->partner->curve;
            for (const Vector& end : {curves[i]->getStartPoint(), curves[i]->getEndPoint()})
                matchedEnds.emplace_back(
                    end, edgeCurve->getPoint(nearerEndParameter(edgeCurve, end, nullptr), 0.0));
        }
    for (int i = 0; i < n; ++i) {
        CSkinTopology::CHalfEdge* h = shared[std::size_t(i)];
        if (h != nullptr && h->visited == 1)
            addMatchedTargets(i, h->partner->curve, targets, all, edge);
        else if (h != nullptr)
            addPendingTargets(i, *h, F, curves[i], h->partner->curve, matchedEnds, targets, all,
                              edge);
    }
    // A first face none of whose sides is shared stays as it is.
    if (matched == 0 && pending == 0 && p < seeds)
        return !cancelled();
    if (S != nullptr && matched + pending < n)
        skin.addUnmatchedEdgeTargets(curves, *S, all, edge, s, place, band);
    // Every target, those of the unmatched edges too, gets its parameters
    // on S before the correction.
    IndexSubset<CFitPoint> every(targets);
    every.selectAll();
    // Nor does a face that nothing asks to move: it shares sides with no
    // face (its hole's with the island inside it, which heals after it and
    // meets it there) and meets none at a corner.
    if (every.count == 0)
        return !cancelled();
    if (S != nullptr && every.count > 0) {
        S->invertPoints(every, 1, 1, false);
        S->PointInversion(every, 10);
    }

    std::ofstream shape;
    if (openLogStream(shape, ("c:/tmp/shape-" + std::to_string(p) + ".mp").c_str())) {
        shape.precision(16);
        for (int k = 0; k < all.count; ++k)
            shape << all[k] << '\n';
    }
    const int degree = mode == 0 ? 0 : 2;
    // The face's sides and inside, where a correction is checked for how
    // far it moved the surface.
    std::vector<Vector> probes;
    if (S != nullptr) {
        // The continuity rows the correction takes (where the surface
        // reaches into its neighbours) bend the face within the band beside
        // their side; beyond the band it is held all the same. Unheld, a face
        // that took rows from its neighbours swung its middle farther than
        // its sides moved.
        std::vector<bool> bent(std::size_t(n), false);
        for (int at : rows)
            if (const int g = -targets[at].group; targets[at].boundary == 0 && g >= 1 && g <= n)
                bent[std::size_t(g - 1)] = true;
        if (edge.count > 0)
            addHoldTargets(*S, curves, movingEdges, bent,
                           insideGrid(frame, spacing, kMostHoldsAcross), band, targets, all, edge);
        probes = insideGrid(frame, spacing, kMostProbesAcross);
        for (CCONS* c : curves) {
            const Interval d = c->getDomain(0);
            for (int k = 0; k < kSideSamples; ++k)
                probes.push_back(c->getUVPoint(d.min + (d.max - d.min) * (k + 0.5) / kSideSamples));
        }
    }
    // The face as it stood: a heal that fails leaves it so, surface and
    // loop, for a face the heal moved away from its neighbours would be
    // committed farther from them than it was found.
    std::optional<Fenwo::NurbsSurf> original;
    if (S != nullptr)
        original.emplace(*S);
    // How far the face's sides lie from their targets before the correction.
    const double sidesBefore = sideGap(targets, {});
    // The sides as they lie: a correction that leaves one farther across
    // the face than the skin's edge allowance from where it lay is none.
    // Each face of a seam goes half its gap, which asks no more than that of
    // faces fitted within their slack; one that goes farther has swung, and
    // its Brep would leave its region's sides. Moves along the surface's
    // normal, which close the seams between faces fitted a little above and
    // below the mesh, are not counted, as the region check counts none.
    std::vector<SideTrace> lay;
    for (CCONS* c : curves)
        if (S != nullptr)
            lay.push_back(traceSide(c, *S, kEdgePolylinePoints));
    // The largest move a target asks of the surface (one that lands inside
    // its domain, as the correction takes them): a correction that moves
    // the face farther than twice that and the placing tolerance anywhere on
    // its sides or inside has swung it between its targets, as a field over targets
    // close together with unlike moves does (two neighbours' corners
    // parted across a step), and would hand its swing on to the faces
    // healed after it.
    double largestAsked = 0.0;
    for (int k = 0; k < every.count; ++k)
        if (every[k].boundary == 0)
            largestAsked = std::max(largestAsked, std::sqrt(every[k].dist2));
    const auto movedTooFar = [&]() {
        double moved = 0.0;
        for (const Vector& uv : probes)
            moved =
                std::max(moved, norm(S->getPoint(uv[0], uv[1]) - original->getPoint(uv[0], uv[1])));
        return moved > 2.0 * largestAsked + place;
    };
    // The field moves the face however small the moves it asks: a face
    // whose sides lie within the correction's tolerance of their targets
    // already stayed as it was, and left its seams up to that far open.
    bool corrected = false;
    const IndexSubset<CFitPoint> allTargets(all);
    if (S != nullptr && edge.count > 0)
        corrected =
            fitShapeToTestSet(*S, kTargetShare * place, all, edge, kTargetCount, skin.progress,
                              degree, false, true, spacing, kOvershootRatio, true, true);
    else if (S != nullptr && all.count > 4)
        corrected = rbf3(*S, kTargetShare * place, all, kTargetCount, skin.progress, degree, false,
                         true, spacing, kOvershootRatio, true);
    // Thinned to `spacing` the correction sees the neighbours' edges at a
    // few points; where they wave between them (fits of a noisy scan) the
    // matched edges stay farther than its tolerance from them. It then
    // runs again on the surface it made, the targets thinned half as far
    // apart each time, a few times at most. Each correction is judged by
    // the sides its targets give, between the targets too: close to them
    // at the targets, a correction may still swing the surface far off
    // between them, and denser targets make that likelier. The best one
    // stands; one that leaves the face's targets farther off than they
    // were, beyond dTol (bent by a few displacements, a small face swings
    // its free corner off the mesh), is none.
    // The correction S stands at: its targets inverted onto it.
    auto judge = [&]() {
        S->PointInversion(every, 10);
        Correction judged;
        judged.loop = candidateLoop(*S, curves, targets, judged.linear);
        std::vector<CParametricGeometry*> sides(curves.begin(), curves.end());
        if (judged.loop != nullptr)
            sides.assign(judged.loop->curves.begin(), judged.loop->curves.end());
        judged.deviation = matchedSideDeviation(sides, matchedNeighbours, matchedPartners);
        judged.targetGap = sideGap(targets, matchedEdges);
        judged.moved = sidesMoved(sides, lay);
        return judged;
    };
    const double slack = skin.failedFaces != nullptr ? kJudgedSideSlack : kSideSlack;
    auto meets = [&](const Correction& c, double atTargets) {
        return c.targetGap <= atTargets && c.deviation <= slack * dTol;
    };
    std::optional<Correction> best;
    double thin = spacing;
    for (int round = 0; S != nullptr && matched > 0 && edge.count > 0 && !cancelled(); ++round) {
        Correction judged = judge();
        const double sides = sideGap(targets, {});
        const bool far = movedTooFar();
        const bool swung =
            (sides > dTol && sides > sidesBefore) || far || judged.moved > skin.edgeAllowance;
        const bool met = meets(judged, kTargetShare * place);
        // A round that meets the neighbours within dTol goes before one
        // that does not, however close the latter's sides come between
        // its targets; among equals the smaller deviation stands.
        const bool heals = meets(judged, dTol);
        if (!swung && (!best || (heals && !meets(*best, dTol)) ||
                       (heals == meets(*best, dTol) && judged.deviation < best->deviation))) {
            judged.surface = std::make_unique<Fenwo::NurbsSurf>(*S);
            best = std::move(judged);
        }
        // A swung surface is no start for a denser round: denser targets
        // only swing it further.
        if (met || far || round == kDenserRounds)
            break;
        thin /= 2.0;
        IndexSubset<CFitPoint> denser(allTargets);
        corrected =
            fitShapeToTestSet(*S, kTargetShare * place, denser, edge, kTargetCount, skin.progress,
                              degree, false, true, thin, kOvershootRatio, true, true);
    }
    // A face without matched edges whose correction could not run (all its
    // targets lie on or beyond its sides) or failed has still healed when
    // its sides meet the places its targets give (group > 0) within dTol,
    // unless what the correction left of its surface swung between them
    // (movedTooFar): a correction that missed its tolerance may still have
    // moved the face, and a seed face swung so three tolerances off the mesh
    // was kept.
    // A face with matched edges has healed when its best correction brings
    // them within dTol of its healed neighbours' edges at the targets and
    // the sides it then has follow those edges between the targets too,
    // whatever the correction answered: it judges itself on a thinned part
    // of the targets. When no correction does, the face as it stood may
    // meet them already, its sides then laid along them.
    bool failed = !corrected;
    if (S != nullptr && every.count > 0 && cancelled()) {
        // Cancelled part of the way, the surface keeps the shape it came
        // to, with the trim loop on it.
        S->PointInversion(every, 10);
        std::vector<bool> linear;
        installLoop(F, curves, candidateLoop(*S, curves, targets, linear), linear);
        failed = false;
    } else if (S != nullptr && every.count > 0 && matched > 0) {
        if ((!best || !meets(*best, dTol)) && original) {
            adoptKnotsAndNet(*S, *original);
            S->updateBoundaryPositions();
            Correction asFound = judge();
            if (meets(asFound, dTol) && asFound.moved <= skin.edgeAllowance) {
                asFound.surface = std::make_unique<Fenwo::NurbsSurf>(*S);
                best = std::move(asFound);
            }
        }
        failed = !best || !meets(*best, dTol);
        if (!failed) {
            adoptKnotsAndNet(*S, *best->surface);
            S->updateBoundaryPositions();
            const bool withLoop = best->loop != nullptr;
            // A loop the skin does not take leaves the face its old one on
            // the corrected surface, which must follow the neighbours too.
            if (!installLoop(F, curves, std::move(best->loop), best->linear) && withLoop)
                failed = matchedSideDeviation({curves.begin(), curves.end()}, matchedNeighbours,
                                              matchedPartners) > slack * dTol;
        }
    } else if (S != nullptr && every.count > 0) {
        S->PointInversion(every, 10);
        failed = (failed && !edgesWithin(targets, dTol)) || movedTooFar();
        std::vector<bool> linear;
        std::unique_ptr<CLoop> loop = candidateLoop(*S, curves, targets, linear);
        std::vector<CParametricGeometry*> sides(curves.begin(), curves.end());
        if (loop != nullptr)
            sides.assign(loop->curves.begin(), loop->curves.end());
        failed = failed || sidesMoved(sides, lay) > skin.edgeAllowance;
        if (!failed)
            installLoop(F, curves, std::move(loop), linear);
    }
    // A face that has not healed keeps its surface and its loop as they
    // were: moved towards some neighbours it would part from others.
    if (failed) {
        if (original) {
            adoptKnotsAndNet(*S, *original);
            S->updateBoundaryPositions();
        }
        if (skin.failedFaces != nullptr)
            skin.failedFaces->append(&F);
        else
            std::cout << FailureMessages::kHealFailed << " for dTol=" << dTol << std::endl;
    }
    if (facesLog.is_open())
        facesLog << F;
    return !cancelled();
}

} // namespace

bool CSkinTopology::healFaces(double dTol, Kor::List<CFace*>* fixed, int mode)
{
    multithreadingAllowed = false;
    setVectorOutputPrecision(kVectorDigits);

    // The faces with a shared edge or a junction vertex, each once.
    Kor::List<CFace*> healSet;
    std::unordered_set<const CFace*> inSet;
    auto addFacesOf = [&](const Kor::List<CParametricGeometry*>& curves) {
        for (CParametricGeometry* c : curves)
            if (CFace* f = faceOfCurve(c); f != nullptr && inSet.insert(f).second)
                healSet.append(f);
    };
    addFacesOf(getInnerCurves());
    // A face at a junction joins where it shares a point with another face
    // there and their corners lie apart: where the faces' own neighbourhood
    // is known, corners that only lie close (across a slot) join nothing,
    // and faces that meet at a point already have nothing to heal there
    // (healed, a face without a shared side has its loop rebuilt through
    // the samples of its sides).
    Kor::List<CParametricGeometry*> junctions;
    for (const CHalfEdge* h : halfEdgesInOrder) {
        if (neighbours == nullptr || h->partnerCount == 1 || h->origin == nullptr ||
            h->origin->curves.count <= 2)
            continue;
        const Vector at(h->origin->data[0], h->origin->data[1], h->origin->data[2]);
        const auto cornerOf = [&](CParametricGeometry* c) {
            return c->getPoint(nearerEndParameter(c, at, nullptr), 0.0);
        };
        for (const auto& entry : h->origin->curves) {
            const CFace* f = faceOfCurve(entry.second);
            for (const auto& other : h->origin->curves)
                if (sharesPointAt(f, faceOfCurve(other.second), h->origin) &&
                    squaredDistance(cornerOf(entry.second), cornerOf(other.second)) > dTol * dTol) {
                    junctions.append(entry.second);
                    break;
                }
        }
    }
    addFacesOf(neighbours != nullptr ? junctions : getJunctionCurves());

    std::ofstream preheal;
    if (openLogStream(preheal, "c:/tmp/faces_preheal.out"))
        for (CFace* f : healSet)
            preheal << *f;
    if (progress != nullptr)
        progress->begin(0, healSet.count);

    // Ranks of an earlier run must not stand for this one.
    for (CFace* f : faces)
        if (f != nullptr)
            f->spareFlag = 0;
    std::vector<HealRecord> records;
    int seeds = fixed != nullptr ? 0 : 1;
    for (int k = 0; k < healSet.count; ++k) {
        if (progress != nullptr) {
            progress->step(1);
            if (progress->isCancelled())
                return false;
        }
        CFace* f = healSet[k];
        HealRecord record{f, kFixedValue, k};
        if (fixed != nullptr && fixed->contains(f)) {
            ++seeds;
        } else {
            const double l = f->trimLoops.count > 0 ? f->trimLoops[0]->getLength() : 0.0;
            const double area = areaAtOwnScale(*f, l);
            record.value = area / std::pow(std::max(l, 1e-10), 2);
            std::cout << "area = " << area << " area/l^2 = " << record.value << std::endl;
        }
        records.push_back(record);
    }
    // Largest value first; equal values (to the step) keep the order of the
    // heal set.
    const auto step = [](double value) { return std::round(value / kOrderValueStep); };
    if (records.size() > 1)
        quickSort(records.data(), 0, int(records.size()) - 1,
                  [&](const HealRecord* a, const HealRecord* b) {
                      return step(a->value) != step(b->value) ? step(a->value) > step(b->value)
                                                              : a->place < b->place;
                  });
    growFromHealed(*this, records, fixed != nullptr ? std::min(seeds, int(records.size())) : 0);
    for (std::size_t k = 0; k < records.size(); ++k)
        records[k].face->spareFlag = int(k) + 1;

    const double s = continuityDistance(dTol);
    std::cout << "len used=" << s << " dTol=" << dTol << std::endl;
    std::ofstream facesLog;
    openLogStream(facesLog, "c:/tmp/faces.out");
    if (records.empty())
        return true;
    seeds = std::min(seeds, int(records.size()));
    if (seeds == 1 && facesLog.is_open())
        facesLog << *records[0].face;
    // Without a fixed list the first face stays but for its shared sides,
    // which go half their gaps towards the faces healed after it.
    FaceHealer healer(*this, dTol, mode, seeds);
    for (int p = fixed != nullptr ? seeds : 0; p < int(records.size()); ++p)
        if (!healer.heal(records, p, facesLog))
            return false;
    return true;
}

} // namespace FENWO_SKIN
