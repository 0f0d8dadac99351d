// The stages of approximateFace: the boundary chain and its samples on the
// mesh, the shape tests and the start surface; the boundary on the start
// surface, the Draft surface, the check of a second selection, the fast or
// Newton refinement and the result with its error points.
#include "net/FaceApproximation.h"

#include "curves/ArcLength.h"
#include "curves/CompositeCurve.h"
#include "curves/CurveOperations.h"
#include "curves/CurveUtilities.h"
#include "curves/PlaneFit.h"
#include "curves/SubCurves.h"
#include "display/ColorCoding.h"
#include "fitting/BicubicFit.h"
#include "fitting/BoundaryLoopSurface.h"
#include "fitting/FitMeshHits.h"
#include "fitting/HitSelection.h"
#include "fitting/PointThinning.h"
#include "fitting/RbfCorrection.h"
#include "fitting/RbfFitLoop.h"
#include "fitting/ScatteredDataRBF.h"
#include "fitting/StartOutlines.h"
#include "foundation/Logging.h"
#include "foundation/PointSequence.h"
#include "foundation/Progress.h"
#include "foundation/Statistic.h"
#include "foundation/VertexList.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"
#include "healing/CurveListOperations.h"
#include "healing/PlanarStartSurface.h"
#include "mesh/MeshProjection.h"
#include "net/FaceList.h"
#include "net/FaceMeshDistance.h"
#include "net/FailureMessages.h"
#include "platform/Diagnostics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <numbers>
#include <vector>

namespace {

using Fenwo::NurbsSurf;

// cos 67.5 degrees: boundary normals all closer than this to their mean make
// a planar face; cos 55 degrees: a non-planar face whose normals all stray
// further from the boundary plane's normal is a tube.
const double kPlanarCosine = std::cos(67.5 * std::numbers::pi / 180.0);
const double kTubeCosine = std::cos(55.0 * std::numbers::pi / 180.0);
constexpr int kMaxControlPoints = 625;
constexpr int kNewtonRuns = 5;
// A fast correction that more than doubles the area of S inside the
// boundary folded S; the correction is tried again this many times with the
// farthest points left out. The area is summed over this many cells each way.
constexpr double kFoldAreaRatio = 2.0;
constexpr int kFoldRetries = 2;
constexpr int kAreaCells = 80;
constexpr int kRbfKernel = 2;
// The chord tolerance of the boundary's sampling, as a share of the size
// of its curves (0.1 on curves 10 long), and the one of a boundary without
// length.
constexpr double kBoundaryChordShare = 0.01;
// Points a boundary curve gives the polygon whose enclosed area shows the
// side the region is seen from, and the cosine below which a direction
// shows the boundary's plane edge-on (more than 60 degrees off its normal).
constexpr int kAreaSamplesPerCurve = 24;
constexpr double kEdgeOnCosine = 0.5;
constexpr double kDegenerateChord = 0.01;
// The closest two points of the field of a Newton run may lie, as a share
// of the diagonal of the selection's box (0.1 on a face 8 across): the
// field's points are spread alike in metres and in millimetres.
constexpr double kShapeSpacingShare = 0.012;
// The refinement runs again at most this many times with the mesh points
// that its surface strays from (meshCheck), which are sought this many
// tolerances around it. At most kMeshCheckPoints of those join the fit in
// a round.
constexpr int kMeshCheckRounds = 3;
constexpr double kMeshCheckReach = 10.0;
constexpr int kMeshCheckPoints = 100;
// The fit's spacing: the area of the face shared by this many points, about
// what the corrections thin a selection to. Facets longer than it and than
// kCoarseFacet tolerances give points within them, a kFacetGridShare of it
// apart, to a fit made again where the one on the vertices strays
// (fitWithFacetPoints): a coarse mesh gives its fit points as densely as a
// finer mesh of the same shape gives it vertices. (A fit through corners
// fewer tolerances apart cannot leave the facets between them by much.)
// Facets steeper to the surface than kSteepFacetCosine give points only
// where all of them lie within kSteepFacetReach tolerances of it.
constexpr double kFitPointsPerFace = 450.0;
constexpr double kFacetGridShare = 0.5;
constexpr double kCoarseFacet = 2.0;
constexpr double kSteepFacetCosine = 0.5;
constexpr double kSteepFacetReach = 5.0;

int controlPointCount(const NurbsSurf& s)
{
    return s.getUCount() * s.getVCount();
}

// Writes the surface (its text form) to a debug file; with logged only while
// FENWO_LOGGING is set, otherwise always. A file that cannot be opened is
// skipped.
void dumpSurface(const NurbsSurf& s, const char* name, bool logged)
{
    std::ofstream f;
    if (logged ? openLogStream(f, name) : Platform::openDiagnosticsStream(f, name))
        s.write(f);
}

// Writes the points of the subset, one line each, as far as a bounded dump
// takes them (a face over a large mesh selects millions).
void dumpPoints(IndexSubset<CFitPoint>& points, const char* name, bool logged)
{
    if (logged && !isLoggingEnabled())
        return;
    CBoundedDump dump(name);
    for (int k = 0; k < points.count; ++k)
        if (std::ostream* out = dump.entry()) {
            printFitPoint(*out, points[k]);
            *out << '\n';
        }
}

// Whether S has T's net: as many control points each way, all alike.
bool sameNet(const NurbsSurf& S, const NurbsSurf& T)
{
    if (S.getUCount() != T.getUCount() || S.getVCount() != T.getVCount() ||
        S.controlNetSize != T.controlNetSize)
        return false;
    for (int k = 0; k < S.controlNetSize; ++k) {
        const Vector& a = S.controlNet[k];
        const Vector& b = T.controlNet[k];
        if (a.n != b.n)
            return false;
        for (int d = 0; d < a.n; ++d)
            if (a[d] != b[d])
                return false;
    }
    return true;
}

void markActive(IndexSubset<CFitPoint>& points)
{
    for (int k = 0; k < points.count; ++k)
        points[k].state = 1;
}

// Keeps the points whose last inversion found a foot inside the domain.
void dropFailed(IndexSubset<CFitPoint>& points)
{
    int kept = 0;
    for (int k = 0; k < points.count; ++k)
        if (points[k].boundary == 0)
            points.indices[kept++] = points.indices[k];
    points.count = kept;
}

void appendErrorPoints(IndexSubset<CFitPoint>& points, Kor::List<float>& out)
{
    for (int k = 0; k < points.count; ++k) {
        const CFitPoint& p = points[k];
        const float values[6] = {
            float(p.uv[0]),    float(p.uv[1]),    float(std::sqrt(p.dist2) * p.side),
            float(p.Point[0]), float(p.Point[1]), float(p.Point[2])};
        for (float v : values)
            out.append(v);
    }
}

class FaceApproximation {
public:
    FaceApproximation(Kor::List<NurbsSurf*>& curves, Mesh::CBaseMesh* mesh, CFitPointArray& samples,
                      Kor::List<float>* errorPoints, NurbsSurf* start, CColorCoding* colourCoding,
                      bool fast, CProgress* progress, double tol, bool draftOnly, int fitOptionA,
                      int fitOptionB)
        : curves(curves), mesh(mesh), samples(samples), sampleSet(samples),
          errorPoints(errorPoints), given(start), startWasGiven(start != nullptr),
          colourCoding(colourCoding), fast(fast), progress(progress), tol(tol),
          draftOnly(draftOnly), fullMode(!draftOnly && !fast), fitOptionA(fitOptionA),
          fitOptionB(fitOptionB)
    {
        if (this->progress == nullptr && mesh != nullptr)
            this->progress = mesh->progress;
    }

    NurbsSurf* run();

private:
    // What a stage leaves for the next: go on, give null, or give S as it is
    // (a cancellation, the Draft surface, the result).
    enum class Outcome { Next, Fail, Return };
    using Stage = Outcome (FaceApproximation::*)();

    Outcome boundaryChain();
    Outcome sampleParameters();
    Outcome sampleBoundary();
    Outcome shapeTests();
    Outcome startSurface();
    Outcome boundaryOnSurface();
    Outcome draftSurface();
    Outcome selectionCheck();
    Outcome refine();
    Outcome newtonRuns();
    Outcome fastRefinementRuns();
    Outcome meshCheck();
    void keepMeshPoints(IndexSubset<CFitPoint>& thinned, const IndexSubset<CFitPoint>& from) const;
    double areaInsideBoundary(NurbsSurf& T) const;
    bool dropFarthestPoints(NurbsSurf& T, IndexSubset<CFitPoint>& candidates);
    static IndexSubset<CFitPoint> measuredCopy(NurbsSurf& T, IndexSubset<CFitPoint>& points,
                                               CFitPointArray& copies);
    Outcome fitWithFacetPoints();
    bool hasCoarseFacets();
    Outcome judgeFit();
    Outcome result();

    NurbsSurf* fallbackPatch();
    bool cancelled() const { return progress != nullptr && progress->isCancelled(); }
    void rebuildBoundaryPolygon();
    void invertSamples(int iterations);
    void addHitsOnLargeFacets(bool sameSide, int refinement);
    void addFacetPoints(int firstFacet, int side);
    void dropFarCorners(const std::vector<int>& facets, const std::vector<char>& reaching);
    bool nearBoundaryPolygon(double u, double v, double margin) const;
    static bool nearerTheMesh(const FaceMeshDistance& a, const FaceMeshDistance& b);

    Kor::List<NurbsSurf*>& curves;
    Mesh::CBaseMesh* mesh;
    CFitPointArray& samples;
    IndexSubset<CFitPoint> sampleSet; // every boundary sample, in sample order
    Kor::List<float>* errorPoints;
    std::unique_ptr<NurbsSurf> given; // the caller's start surface, taken over
    const bool startWasGiven;
    CColorCoding* colourCoding;
    const bool fast;
    CProgress* progress;
    const double tol;
    const bool draftOnly;
    const bool fullMode;
    const int fitOptionA;
    const int fitOptionB;

    CCompositeCurve chain;
    CStatistic lengths;
    CAxis axis;                 // best-fit plane of the boundary curves
    Vector joints;              // the chain's joint parameters
    Kor::List<double> params;   // sample parameters along the chain
    Kor::List<int> pieceEnds;   // running parameter count after each piece
    Vector direction;           // projection direction of the samples
    int parameterCount = 0;     // samples tried in Stage 3
    Kor::List<int> hitPolygons; // the facet of every boundary sample
    Vector meanNormal;          // N: the mean normal of the boundary
    std::unique_ptr<NurbsSurf> planar;
    std::unique_ptr<NurbsSurf> S;
    bool reversed = false;       // the orientation vote went against S
    CVertexList boundaryPolygon; // (u, v, 0) of every boundary sample
    CFitPointArray selectionPoints;
    IndexSubset<CFitPoint> selection{selectionPoints};
    CFitPointArray shapePoints;
    IndexSubset<CFitPoint> working{shapePoints};
    // The mesh points the mesh check added to the selection: every
    // refinement after it fits them, whatever its thinning keeps.
    IndexSubset<CFitPoint> meshPoints{selectionPoints};
    // S as the refinement found it (where a round of the mesh check starts
    // from when S has grown too large), and the check's measure of the
    // surface it kept.
    std::unique_ptr<NurbsSurf> unrefined;
    FaceMeshDistance measured;
    // Whether the selections take points within coarse facets, and S and
    // the boundary samples' parameters as the Draft surface started from.
    bool withFacetPoints = false;
    int selectedFacets = 0; // the second selection's first facet in hitPolygons
    std::unique_ptr<NurbsSurf> undrafted;
    std::vector<Vector> undraftedSamples;
};

NurbsSurf* FaceApproximation::run()
{
    static constexpr Stage stages[] = {&FaceApproximation::boundaryChain,
                                       &FaceApproximation::sampleParameters,
                                       &FaceApproximation::sampleBoundary,
                                       &FaceApproximation::shapeTests,
                                       &FaceApproximation::startSurface,
                                       &FaceApproximation::boundaryOnSurface,
                                       &FaceApproximation::draftSurface,
                                       &FaceApproximation::selectionCheck,
                                       &FaceApproximation::refine,
                                       &FaceApproximation::meshCheck,
                                       &FaceApproximation::fitWithFacetPoints,
                                       &FaceApproximation::judgeFit,
                                       &FaceApproximation::result};
    if (mesh == nullptr)
        return nullptr;
    bool failed = false;
    for (Stage stage : stages) {
        const Outcome outcome = (this->*stage)();
        // On a failure S and the working data go with this object.
        failed = outcome == Outcome::Fail;
        if (outcome != Outcome::Next)
            break;
    }
    NurbsSurf* result = failed ? nullptr : S.release();
    // A stage that gave up said why; a cancellation before there was a
    // surface says so.
    if (result == nullptr && cancelled())
        std::cout << FailureMessages::kApproximationCancelled << std::endl;
    return result;
}

// Stage 1: the boundary curves, longest first, chained and oriented; their
// plane and lengths.
FaceApproximation::Outcome FaceApproximation::boundaryChain()
{
    sortCurvesByLength(curves);
    Kor::Array<NurbsSurf*> all;
    for (NurbsSurf* c : curves)
        all.append(c);
    Vector centre(3), normal(3);
    fitPlaneToSurface(all, centre, normal);
    axis = CAxis(centre, normal);
    for (NurbsSurf* c : curves) {
        if (c == nullptr)
            continue;
        chain.curves.append(c);
        lengths.add(sampledCurveLength(c, 22, false));
    }
    if (cancelled())
        return Outcome::Fail;
    if (chain.curves.count == 0) {
        std::cout << FailureMessages::kEmptyChain << std::endl;
        return Outcome::Fail;
    }
    chain.orderCurves(0);
    chain.getNumCurves(&joints);
    // The plane that fits the boundary best may stand across the region: a
    // narrow region on a bent sheet lies near the plane of its bend. The
    // region is seen, and its boundary projected onto the mesh, from the
    // side on which the boundary encloses the most area where the best-fit
    // plane shows it edge-on.
    const int count = kAreaSamplesPerCurve * chain.curves.count;
    const Interval domain = chain.getDomain(0);
    std::vector<double> polygon;
    for (int i = 0; i < count; ++i) {
        const Vector p = chain.getPoint(domain.min + domain.getLength() * i / count, 0.0);
        polygon.insert(polygon.end(), {p[0], p[1], p[2]});
    }
    double seen[3];
    if (enclosedAreaNormal(polygon.data(), count, seen)) {
        const Vector areaNormal(seen[0], seen[1], seen[2]);
        if (std::fabs(dot(areaNormal, axis.direction)) < kEdgeOnCosine)
            axis = CAxis(centre, areaNormal);
    }
    return Outcome::Next;
}

// Stage 2: each chained curve faceted within a chord tolerance, every joint
// sampled once. The chord tolerance is the face's tolerance, so that the
// boundary's sag between two samples stays within what the fit may leave;
// but no finer than a hundredth of the root mean square length of the
// boundary's curves (of the curve's own length for a boundary of one
// curve), so that the number of samples stays moderate. Both follow the
// model's size: a model in metres is sampled as in millimetres.
FaceApproximation::Outcome FaceApproximation::sampleParameters()
{
    const int n = lengths.count;
    const double L = n > 1 ? std::sqrt(lengths.sumSquares / (n - 1)) : lengths.sum;
    double chordTol = std::max(kBoundaryChordShare * L, tol);
    if (!(chordTol > 0.0))
        chordTol = kDegenerateChord;
    const Interval whole = chain.getDomain(0);
    for (int k = 0; k + 1 < joints.n; ++k) {
        const double t0 = std::min(joints[k], joints[k + 1]);
        const double t1 = std::max(joints[k], joints[k + 1]);
        chain.setDomain(0, Interval(t0, t1));
        if (cancelled()) {
            chain.setDomain(0, whole);
            return Outcome::Fail;
        }
        Kor::List<double> piece;
        chain.facetCurve(piece, chordTol, true, 2000, false, false, -1.0);
        for (int i = 0; i + 1 < piece.count; ++i)
            params.append(piece[i]);
        pieceEnds.append(params.count);
    }
    chain.setDomain(0, whole);

    // The tangents on either side of the point where the chain closes span
    // the plane of the boundary near it. A smooth closed boundary makes them
    // (nearly) parallel: the boundary plane's normal serves then.
    const double t0 = whole.min, t1 = whole.max;
    // Tangents that meet at a junction along one side (where a neighbour's
    // side ends on it) are nearly parallel too, and span no plane of the
    // region's: a direction that shows the boundary's plane edge-on gives
    // way to that plane's normal as well.
    direction = crossProduct(normalized(chain.getTangent(t0)),
                             normalized(chain.getTangent(0.99 * t1 + 0.01 * t0)));
    if (norm(direction) < 1e-8 ||
        std::fabs(dot(normalized(direction), axis.direction)) < kEdgeOnCosine)
        direction = axis.direction;
    direction.normalize();
    return Outcome::Next;
}

// Stage 3: every sample parameter's chain point projected onto the mesh
// along the direction; the hits become the boundary samples.
FaceApproximation::Outcome FaceApproximation::sampleBoundary()
{
    Mesh::HitSet hits;
    meanNormal = axis.direction;
    const Mesh::CBaseMesh::Direction d = toMeshDirection(direction);
    parameterCount = params.count;
    int piece = 0;
    for (int k = 0; k < params.count; ++k) {
        if (cancelled()) {
            hits.removeAll(true, true);
            return Outcome::Fail;
        }
        while (piece + 1 < pieceEnds.count && pieceEnds[piece] <= k)
            ++piece;
        const Vector p = chain.getPoint(params[k], 0.0);
        if (!Mesh::meshHitsAlongDirection(mesh, toMeshPoint(p), d, hits, 1.2, true) ||
            hits.count == 0)
            continue;
        const Mesh::CBaseMesh::CBaseHitInfo& hit = *hits[0];
        CFitPoint sample(hitPosition(hit), Vector(0.0, 0.0), hitNormal(hit));
        sample.curveIndex = piece;
        samples.append(sample);
        hitPolygons.append(hit.facet);
        meanNormal += sample.Normal;
    }
    hits.removeAll(true, true);
    meanNormal.normalize();
    sampleSet.selectAll();
    return Outcome::Next;
}

// Stage 4: the planar case, the count of hits and the tube test.
FaceApproximation::Outcome FaceApproximation::shapeTests()
{
    double minimum = 1.0;
    for (int k = 0; k < sampleSet.count; ++k)
        minimum = std::min(minimum, dot(sampleSet[k].Normal, meanNormal));
    const bool isPlanar = minimum > kPlanarCosine;
    if (isPlanar && !startWasGiven)
        planar.reset(planarImprintSurface(sampleSet, Vector(meanNormal), 4, false));
    std::cout << "picked " << samples.count << " polygons on Boundary at  " << parameterCount
              << " points on Loop " << std::endl;
    profileLog() << " picked " << hitPolygons.count << " polygons on Boundary " << std::endl;
    if (hitPolygons.count < 3) {
        std::cout << FailureMessages::kFewBoundaryHits << std::endl;
        return Outcome::Fail;
    }
    if (!isPlanar) {
        CStatistic alongAxis;
        for (int k = 0; k < sampleSet.count; ++k)
            alongAxis.add(std::fabs(dot(sampleSet[k].Normal, axis.direction)));
        if (alongAxis.max < kTubeCosine) {
            std::cout << FailureMessages::kCappedCylinder << std::endl;
            return Outcome::Fail;
        }
    }
    return Outcome::Next;
}

// Stage 5: the given start surface, the planar imprint, the fit with knot
// refinement, the bicubic fit, or the fallback patch.
FaceApproximation::Outcome FaceApproximation::startSurface()
{
    if (startWasGiven) {
        S = std::move(given);
    } else {
        if (planar != nullptr) {
            S = std::move(planar);
            // The imprint bends the plane by a displacement field built on
            // points that all lie on that plane; where the field swings off
            // them, the imprinted net folds. The plane itself then starts
            // the fit, which bends it onto the mesh inside.
            if (S->checkControlNetAngles())
                S.reset(planarImprintSurface(sampleSet, Vector(meanNormal), 1, false));
        } else {
            S.reset(fitWithKnotRefinement(samples, fitOptionA != 0, fitOptionB != 0));
            if (cancelled())
                return Outcome::Return;
            if (S != nullptr && S->checkControlNetAngles()) {
                std::cout << FailureMessages::kMakroBadSurface << std::endl;
                return Outcome::Fail;
            }
            if (S == nullptr) {
                S.reset(fitBicubic(samples));
                if (S == nullptr) {
                    S.reset(fallbackPatch());
                    if (cancelled())
                        return Outcome::Return;
                }
            }
        }
        if (S == nullptr || S->checkControlNetAngles()) {
            std::cout << (S == nullptr ? FailureMessages::kNoStartSurface : FailureMessages::kBadStartSurface)
                      << std::endl;
            return Outcome::Fail;
        }
    }
    if (!S->isSurface()) {
        std::cout << FailureMessages::kStartNotSurface << std::endl;
        return Outcome::Fail;
    }
    return Outcome::Next;
}

// A bicubic patch over the rectangle that encloses the boundary in its
// plane, written to "c:/tmp/x1map.out"; null without a rectangle.
NurbsSurf* FaceApproximation::fallbackPatch()
{
    const knots linear(1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    auto P = std::make_unique<NurbsSurf>(linear, &linear);
    std::unique_ptr<NurbsSurf> F(createStartSurface(curves, axis));
    if (F == nullptr)
        return nullptr;
    adjustControlPointsAlongDifferences(F.get(), F->getLength() * 0.25 * 0.05);
    // F is the rectangle as a closed outline: its corners, in ring order,
    // span the patch.
    const std::pair<int, int> corners[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    Vector corner;
    for (int k = 0; k < 4; ++k) {
        F->getControlPointXYZ(corner, k, 0);
        P->setControlPoint(corners[k].first, corners[k].second, corner);
    }
    for (int dir : {0, 0, 1, 1})
        elevateCurveDegree(P.get(), dir);
    for (int dir : {0, 1})
        refineKnots(P.get(), dir, 3, false);
    P->reparametrizeU();
    P->reparametrizeV();
    if (cancelled())
        return P.release();
    if (P->uKnots->n > 3)
        P->reparametrizeU(new knots(P->uKnots->n, 3, 0.0, 1.0));
    if (P->vKnots->n > 3)
        P->reparametrizeV(new knots(P->vKnots->n, 3, 0.0, 1.0));
    dumpSurface(*P, "c:/tmp/x1map.out", false);
    return P.release();
}

// The samples' parameters refreshed on S (the parameters they have are the
// start values).
void FaceApproximation::invertSamples(int iterations)
{
    markActive(sampleSet);
    S->PointInversion(sampleSet, iterations);
}

void FaceApproximation::rebuildBoundaryPolygon()
{
    boundaryPolygon.deleteVertices();
    for (int k = 0; k < sampleSet.count; ++k)
        boundaryPolygon.appendPoint(Vector(sampleSet[k].uv[0], sampleSet[k].uv[1], 0.0));
}

// The selection holds the vertices of the facets that the samples of S hit
// inside the boundary. Where those facets are large against the face, few of
// their vertices land on S (often none): fewer than the correction field of
// S has polynomial terms (10 for its cubic kernel) leave that field, and S,
// to the boundary over facets that bend away from it, and the face is
// reported fitted on points that say nothing of those facets. The samples'
// hits on the facets are then fit points as well, inverted onto S, so that
// the face follows the facets it spans. A selection of that many vertices or
// more shapes S through them, as the vertices of a coarse scan of a smooth
// part should, and is left as it is.
void FaceApproximation::addHitsOnLargeFacets(bool sameSide, int refinement)
{
    if (selection.count >= rbfPolynomialTerms(rbfInternalKernel(kRbfKernel)))
        return;
    CFitPointArray hits;
    selectPolygonHits(S.get(), mesh, hits, sameSide, refinement, &boundaryPolygon, nullptr, false,
                      -1);
    IndexSubset<CFitPoint> added(selectionPoints);
    for (int k = 0; k < hits.count; ++k)
        added.append(selectionPoints.append(hits[k]));
    markActive(added);
    S->PointInversion(added, 10);
    dropFailed(added);
    for (int k = 0; k < added.count; ++k)
        selection.append(added.indices[k]);
}

// Whether (u, v) lies inside the boundary polygon or within `margin` of
// it: S is parametrised by arc length, so the margin is one in space too.
bool FaceApproximation::nearBoundaryPolygon(double u, double v, double margin) const
{
    CVertex<double, 3> uv;
    uv[0] = u;
    uv[1] = v;
    uv[2] = 0.0;
    if (boundaryPolygon.isInside(uv, false))
        return true;
    const int n = boundaryPolygon.getCount();
    for (int k = 0; k < n; ++k) {
        const double* a = boundaryPolygon.vertices[k]->data;
        const double* b = boundaryPolygon.vertices[(k + 1) % n]->data;
        const double du = b[0] - a[0], dv = b[1] - a[1], length2 = du * du + dv * dv;
        double t = length2 > 0.0 ? ((u - a[0]) * du + (v - a[1]) * dv) / length2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        const double eu = a[0] + t * du - u, ev = a[1] + t * dv - v;
        if (eu * eu + ev * ev <= margin * margin)
            return true;
    }
    return false;
}

// The selection's facets from firstFacet on in hitPolygons that are coarse
// against the fit's spacing and the tolerance give points within them
// (appendFacetPoints), inverted onto S. Those whose foot lies inside S's
// domain, inside the boundary or within a step of the grid of it, on a
// facet facing the side the selection takes (+1 along S's normal, -1
// against it: not a thin part's far side), join the selection. A facet
// steep to S gives them only where all lie near S: the wall of a step
// between two sheets does (a finer mesh gives its vertices too), a facet
// reaching over a thin part's edge to its far side does not. Only the part
// of a facet near S is gridded (the box of S's control points, grown by
// the spacing). The vertices of coarse facets lie far apart, and a fit to
// them alone leaves its surface free to bulge between them, where the
// facets lie.
void FaceApproximation::addFacetPoints(int firstFacet, int side)
{
    const double spacing = std::sqrt(areaInsideBoundary(*S) / kFitPointsPerFace);
    if (!(spacing > 0.0) || !std::isfinite(spacing))
        return;
    double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    Vector P;
    for (int i = 0; i < S->getUCount(); ++i)
        for (int j = 0; j < S->getVCount(); ++j) {
            S->getControlPointXYZ(P, i, j);
            for (int d = 0; d < 3; ++d) {
                low[d] = std::min(low[d], P[d] - spacing);
                high[d] = std::max(high[d], P[d] + spacing);
            }
        }
    std::vector<int> facets;
    for (int k = firstFacet; k < hitPolygons.count; ++k)
        facets.push_back(hitPolygons[k]);
    std::sort(facets.begin(), facets.end());
    facets.erase(std::unique(facets.begin(), facets.end()), facets.end());
    CFitPointArray points;
    const double step = kFacetGridShare * spacing;
    for (int facet : facets)
        appendFacetPoints(mesh, facet, step, kCoarseFacet * tol, points, low, high);
    if (points.count == 0)
        return;
    IndexSubset<CFitPoint> added(selectionPoints);
    for (int k = 0; k < points.count; ++k)
        added.append(selectionPoints.append(points[k]));
    markActive(added);
    S->invertPoints(added, 3, 3, false);
    S->PointInversion(added, 10);
    // Each facet's farthest point from S, the points without a foot too.
    std::vector<double> farthest(facets.size(), 0.0);
    const auto facetIndex = [&](int facet) {
        return std::size_t(std::lower_bound(facets.begin(), facets.end(), facet) - facets.begin());
    };
    for (int k = 0; k < added.count; ++k) {
        double& f = farthest[facetIndex(added[k].facet)];
        f = std::max(f, std::sqrt(added[k].dist2));
    }
    dropFailed(added);
    Mesh::CBaseMesh::Direction facetNormal;
    Vector n(3);
    std::vector<char> reaching(facets.size(), 0);
    int kept = 0;
    for (int k = 0; k < added.count; ++k) {
        const CFitPoint& p = added[k];
        if (!mesh->getFacetNormal(p.facet, facetNormal))
            continue;
        S->getRawNormal(n, p.uv[0], p.uv[1]);
        double c = 0.0, length = 0.0;
        for (int d = 0; d < 3; ++d) {
            c += double(facetNormal.data[d]) * n[d];
            length += double(facetNormal.data[d]) * facetNormal.data[d];
        }
        length = std::sqrt(length) * norm(n);
        const std::size_t f = facetIndex(p.facet);
        if (std::fabs(c) < kSteepFacetCosine * length && !(farthest[f] <= kSteepFacetReach * tol)) {
            reaching[f] = 1;
            continue;
        }
        if (length > 0.0 && side * c > 0.0 && nearBoundaryPolygon(p.uv[0], p.uv[1], step))
            added.indices[kept++] = added.indices[k];
    }
    added.count = kept;
    dropFarCorners(facets, reaching);
    for (int k = 0; k < added.count; ++k)
        selection.append(added.indices[k]);
}

// The corners of the facets marked reaching (steep to S and reaching far
// from it: over a thin part's edge to its far side) leave the selection
// where they lie beyond kSteepFacetReach tolerances of S: a correction
// through such a corner pulls S through the part, and where the points
// within the facets around hold S, it does so in a spike rather than a
// fold of the whole face.
void FaceApproximation::dropFarCorners(const std::vector<int>& facets,
                                       const std::vector<char>& reaching)
{
    std::vector<std::array<double, 3>> corners;
    Mesh::CBaseMesh::Point corner;
    for (std::size_t f = 0; f < facets.size(); ++f)
        for (int k = 0; reaching[f] != 0 && k < mesh->getFacetSize(facets[f]); ++k)
            if (mesh->getFacetCorner(facets[f], k, corner))
                corners.push_back(
                    {double(corner.data[0]), double(corner.data[1]), double(corner.data[2])});
    if (corners.empty())
        return;
    std::sort(corners.begin(), corners.end());
    int kept = 0;
    for (int k = 0; k < selection.count; ++k) {
        const CFitPoint& p = selection[k];
        const std::array<double, 3> at{p.Point[0], p.Point[1], p.Point[2]};
        if (!(std::sqrt(p.dist2) > kSteepFacetReach * tol) ||
            !std::binary_search(corners.begin(), corners.end(), at))
            selection.indices[kept++] = selection.indices[k];
    }
    selection.count = kept;
}

// Stage 6: the boundary samples on S, the orientation vote, S bent to the
// boundary.
FaceApproximation::Outcome FaceApproximation::boundaryOnSurface()
{
    markActive(sampleSet);
    double Lu = 0.0, Lv = 0.0;
    reparametrizeByArcLength(S.get(), Lu, Lv);
    S->invertPoints(sampleSet, 2, 2, false);
    S->PointInversion(sampleSet, 20);
    if (cancelled())
        return Outcome::Return;

    int counting = 0, opposed = 0;
    for (int k = 0; k < sampleSet.count; ++k) {
        const CFitPoint& p = sampleSet[k];
        if (dot(p.Normal, p.Normal) < 0.1)
            continue;
        ++counting;
        if (dot(S->getRawNormal(p.uv[0], p.uv[1]), p.Normal) < 0.0)
            ++opposed;
    }
    reversed = counting > 2 && opposed > counting / 2;

    if (!startWasGiven && controlPointCount(*S) > 35) {
        IndexSubset<CFitPoint> bent(sampleSet);
        rbf3(*S, 15.0 * tol, bent, 250, progress, kRbfKernel, false, true, tol, 50.0, true);
        invertSamples(20);
    }
    rebuildBoundaryPolygon();
    return Outcome::Next;
}

// Stage 7: the mesh inside the boundary selected and inverted onto S, S
// corrected towards it: the Draft surface.
FaceApproximation::Outcome FaceApproximation::draftSurface()
{
    if (!draftOnly && !withFacetPoints) {
        undrafted = std::make_unique<NurbsSurf>(*S);
        undraftedSamples.clear();
        for (int k = 0; k < sampleSet.count; ++k)
            undraftedSamples.push_back(sampleSet[k].uv);
    }
    selectionPoints.count = 0;
    const int firstFacet = hitPolygons.count;
    selectPolygonHits(S.get(), mesh, selectionPoints, !reversed, fullMode ? 4 : 2, &boundaryPolygon,
                      &hitPolygons, true, -1);
    selection.selectAll();
    S->invertPoints(selection, 3, 3, false);
    S->PointInversion(selection, 10);
    if (cancelled())
        return Outcome::Return;
    dropFailed(selection);
    if (withFacetPoints)
        addFacetPoints(firstFacet, reversed ? -1 : 1);
    addHitsOnLargeFacets(!reversed, fullMode ? 4 : 2);
    dumpPoints(selection, "c:/tmp/Draft.mp", true);
    dumpSurface(*S, "c:/tmp/Draft.out", true);

    const double draftTol = (fullMode ? 5.0 : 7.5) * tol;
    if (colourCoding != nullptr)
        colourCoding->setRange(-3.0 * tol, 3.0 * tol);
    // The correction thins the points it is given; the selection stays whole.
    IndexSubset<CFitPoint> thinned(selection);
    rbf3(*S, draftTol, thinned, fullMode ? 350 : 100, progress, kRbfKernel, fullMode, false, tol,
         -1.0, false);
    if (reversed) {
        S->invertDirection(0);
        // The reversal mirrors u within the domain; the boundary samples keep
        // their exact place on S that way, which the draft trim loop reads.
        const Interval du = S->getDomain(0);
        for (int k = 0; k < sampleSet.count; ++k)
            sampleSet[k].uv[0] = du.min + du.max - sampleSet[k].uv[0];
        rebuildBoundaryPolygon();
        S->invertPoints(selection, 2, 2, false);
    }
    if (draftOnly)
        return Outcome::Return;
    S->PointInversion(selection, 20);
    if (!fast && errorPoints != nullptr) {
        markActive(selection);
        S->PointInversion(selection, 10);
        const CStatistic stat = fitErrorStatistics(selection, nullptr, nullptr, 0.0, 0);
        std::cout << "Histo(work)=" << stat << std::endl;
        appendErrorPoints(selection, *errorPoints);
    }
    return Outcome::Next;
}

// Stage 8: a second selection against the Draft surface; one that strays
// far from it means the surface left the face.
FaceApproximation::Outcome FaceApproximation::selectionCheck()
{
    invertSamples(10);
    rebuildBoundaryPolygon();
    // The boundary's own hits seed the second selection as they did the first.
    selectionPoints.count = 0;
    const int firstFacet = hitPolygons.count;
    selectedFacets = firstFacet;
    selectPolygonHits(S.get(), mesh, selectionPoints, true, 5, &boundaryPolygon, &hitPolygons, true,
                      -1);
    selection.selectAll();
    S->invertPoints(selection, 3, 3, false);
    S->PointInversion(selection, 10);
    // Points that invert onto the edge of S lie beyond it (the far corners
    // of large facets reaching out of the face): their distance tells how
    // far the facet reaches, not how far S strays from the mesh, and they
    // leave the selection anyway. Only the points that stay are judged.
    dropFailed(selection);
    const CStatistic stat = fitErrorStatistics(selection, nullptr, nullptr, 0.0, 0);
    if (stat.count > 3 && stat.max > 250.0 * tol) {
        std::cout << FailureMessages::kSelectionError << stat.max << "  terminate." << std::endl;
        dumpSurface(*S, "c:/tmp/selError.out", true);
        dumpPoints(selection, "c:/tmp/selError.mp", true);
        return Outcome::Fail;
    }
    if (cancelled())
        return Outcome::Return;
    if (withFacetPoints)
        addFacetPoints(firstFacet, 1);
    addHitsOnLargeFacets(true, 5);
    dumpPoints(selection, "c:/tmp/work.mp", false);
    if (colourCoding != nullptr)
        colourCoding->setRange(-3.0 * tol, 3.0 * tol);
    return Outcome::Next;
}

// Stage 9: one correction to the tolerance (fast, or for large selections)
// or the Newton runs.
FaceApproximation::Outcome FaceApproximation::refine()
{
    const bool fastRefinement = fast || selection.count > 2000;
    if (controlPointCount(*S) > kMaxControlPoints) {
        std::cout << FailureMessages::kDegenerateFace << std::endl;
        return Outcome::Fail;
    }
    if (unrefined == nullptr)
        unrefined = std::make_unique<NurbsSurf>(*S);
    if (!fastRefinement)
        return newtonRuns();
    return fastRefinementRuns();
}

// The fast correction, judged for a fold. A correction that pulls S through
// points far off the rest (the vertices of facets reaching over to the
// opposite side of a thin part, selected with the facets the face's own
// points hit) folds S over itself: the fit is then made again from S as the
// correction found it, without the points that lie farther from it than
// half the largest distance left. A surface that still folds after the
// last try is refused.
FaceApproximation::Outcome FaceApproximation::fastRefinementRuns()
{
    NurbsSurf unrefined(*S);
    const double unrefinedArea = areaInsideBoundary(unrefined);
    IndexSubset<CFitPoint> candidates(selection);
    for (int attempt = 0;; ++attempt) {
        IndexSubset<CFitPoint> thinned(candidates);
        constexpr int kThinnedCount = 450;
        if (thinned.count != kThinnedCount)
            selectThinnedSubset(thinned, kThinnedCount, tol);
        keepMeshPoints(thinned, candidates);
        rbf3(*S, tol, thinned, thinned.count, progress, kRbfKernel, false, true, tol, -1.0, true);
        if (cancelled())
            return Outcome::Return;
        const double area = areaInsideBoundary(*S);
        if (!(area > kFoldAreaRatio * unrefinedArea))
            break;
        std::cout << "fit folds the surface: area " << area << " against " << unrefinedArea
                  << " before the correction" << std::endl;
        if (attempt == kFoldRetries || !dropFarthestPoints(unrefined, candidates)) {
            std::cout << " " << FailureMessages::kFoldedSurface << " " << std::endl;
            return Outcome::Fail;
        }
        adoptKnotsAndNet(*S, unrefined);
        S->updateBoundaryPositions();
    }
    dumpSurface(*S, "c:/tmp/x0Map.out", true);
    return Outcome::Next;
}

// The area of the surface over the boundary polygon: the cells of a
// uniform grid of its domain whose centres lie inside the polygon, each
// taken as the parallelogram of its diagonals. A grid point is evaluated
// once, for the first cell inside that has it as a corner: the four cells
// round it would otherwise evaluate it four times.
double FaceApproximation::areaInsideBoundary(NurbsSurf& surface) const
{
    const Interval du = surface.getDomain(0), dv = surface.getDomain(1);
    constexpr int n = kAreaCells;
    // Grid point (i, j) at index i (n + 1) + j, evaluated when its flag is
    // set.
    std::vector<Vector> corners(std::size_t(n + 1) * (n + 1));
    std::vector<char> evaluated(corners.size(), 0);
    const auto corner = [&](int i, int j, double u, double v) -> const Vector& {
        const std::size_t at = std::size_t(i) * (n + 1) + std::size_t(j);
        if (evaluated[at] == 0) {
            corners[at] = surface.getPoint(u, v);
            evaluated[at] = 1;
        }
        return corners[at];
    };
    double area = 0.0;
    CVertex<double, 3> centre;
    for (int i = 0; i < n; ++i) {
        const double u0 = du.min + (du.max - du.min) * i / n;
        const double u1 = du.min + (du.max - du.min) * (i + 1) / n;
        for (int j = 0; j < n; ++j) {
            const double v0 = dv.min + (dv.max - dv.min) * j / n;
            const double v1 = dv.min + (dv.max - dv.min) * (j + 1) / n;
            centre[0] = 0.5 * (u0 + u1);
            centre[1] = 0.5 * (v0 + v1);
            centre[2] = 0.0;
            if (!boundaryPolygon.isInside(centre, false))
                continue;
            const Vector d1 = corner(i + 1, j + 1, u1, v1) - corner(i, j, u0, v0);
            const Vector d2 = corner(i, j + 1, u0, v1) - corner(i + 1, j, u1, v0);
            area += 0.5 * norm(crossProduct(d1, d2));
        }
    }
    return area;
}

// Keeps among the candidates the points that lie within half the largest
// distance of any of them from T. False when none would go or fewer than 3
// would stay.
bool FaceApproximation::dropFarthestPoints(NurbsSurf& T, IndexSubset<CFitPoint>& candidates)
{
    CFitPointArray copies;
    IndexSubset<CFitPoint> measured = measuredCopy(T, candidates, copies);
    double largest = 0.0;
    for (int k = 0; k < measured.count; ++k)
        if (measured[k].boundary == 0)
            largest = std::max(largest, measured[k].dist2);
    int kept = 0;
    for (int k = 0; k < candidates.count; ++k)
        if (measured[k].boundary != 0 || measured[k].dist2 <= 0.25 * largest)
            candidates.indices[kept++] = candidates.indices[k];
    const bool dropped = kept < candidates.count;
    candidates.count = kept;
    return dropped && kept >= 3;
}

// Copies of the points, in order, inverted onto T: the points themselves
// keep their parameters for the stages that follow.
IndexSubset<CFitPoint> FaceApproximation::measuredCopy(NurbsSurf& T, IndexSubset<CFitPoint>& points,
                                                       CFitPointArray& copies)
{
    copies.count = 0;
    for (int k = 0; k < points.count; ++k)
        copies.append(points[k]);
    IndexSubset<CFitPoint> all(copies);
    all.selectAll();
    markActive(all);
    T.PointInversion(all, 10);
    return all;
}

// The mesh points of the mesh check that `from` holds and a thinning left
// out, appended to `thinned`.
void FaceApproximation::keepMeshPoints(IndexSubset<CFitPoint>& thinned,
                                       const IndexSubset<CFitPoint>& from) const
{
    if (meshPoints.count == 0)
        return;
    std::vector<int> have(thinned.indices, thinned.indices + thinned.count);
    std::vector<int> offered(from.indices, from.indices + from.count);
    std::sort(have.begin(), have.end());
    std::sort(offered.begin(), offered.end());
    for (int k = 0; k < meshPoints.count; ++k) {
        const int index = meshPoints.indices[k];
        if (std::binary_search(offered.begin(), offered.end(), index) &&
            !std::binary_search(have.begin(), have.end(), index))
            thinned.append(index);
    }
}

// Stage 10: S measured against the mesh as the commit measures its Breps
// (net/FaceMeshDistance.h): its points inside the boundary, a tolerance
// apart, to the nearest facet, and the mesh vertices there to S. Over
// facets long against the tolerance S may leave the facets between its fit
// points, and that a fit's own statistics never see. Where it strays beyond
// the tolerance, the mesh points found there (where the normal lines of
// those surface points meet the mesh, the vertices beyond) join the
// selection and the refinement runs again from S (from the surface the
// first refinement started from where S's net has grown beyond what a
// refinement takes), at most kMeshCheckRounds times: the fit takes its
// points from within a coarse mesh's facets where it needs them, as a finer
// mesh of the same shape gives them as vertices. The rounds end when no
// point strays beyond the tolerance, none of those is new to the fit or a
// round's correction gave up, and the surface that lies nearest the mesh
// is kept (nearerTheMesh), with the points it was fitted to.
FaceApproximation::Outcome FaceApproximation::meshCheck()
{
    if (unrefined == nullptr)
        return Outcome::Next;
    // The surface nearest the mesh so far, when a later round replaced it
    // in S, and the selection it was fitted to (its first points): a later
    // round that strays farther, or whose refinement gives up, leaves it.
    // Each round keeps the points found before it: they tell where the
    // surfaces stray.
    std::unique_ptr<NurbsSurf> best;
    FaceMeshDistance nearest;
    int selected = selection.count, kept = meshPoints.count;
    for (int round = 0;; ++round) {
        invertSamples(10);
        rebuildBoundaryPolygon();
        CFitPointArray found;
        const FaceMeshDistance distance = measureSurfaceMeshDistance(
            *S, boundaryPolygon, *mesh, tol, tol, kMeshCheckReach * tol, &found, true);
        if (round == 0 || nearerTheMesh(distance, nearest)) {
            nearest = distance;
            best.reset();
            selected = selection.count;
            kept = meshPoints.count;
        }
        if (found.count == 0 || round == kMeshCheckRounds)
            break;
        // A mesh point an earlier round added (found again where the
        // refinement left the surface as far off) joins no second time: the
        // correction's field takes one sample a place, and each second copy
        // made its system singular once more, solved again for every copy
        // taken out. A round that finds nothing new cannot take the surface
        // nearer, and the rounds end.
        std::vector<std::array<double, 3>> held;
        for (int k = 0; k < meshPoints.count; ++k)
            held.push_back(
                {meshPoints[k].Point[0], meshPoints[k].Point[1], meshPoints[k].Point[2]});
        std::sort(held.begin(), held.end());
        IndexSubset<CFitPoint> added(selectionPoints);
        for (int k = 0; k < found.count; ++k)
            if (!std::binary_search(
                    held.begin(), held.end(),
                    std::array{found[k].Point[0], found[k].Point[1], found[k].Point[2]}))
                added.append(selectionPoints.append(found[k]));
        // A surface far off a large part of the face finds a point a
        // tolerance apart all over it: a spread of them does.
        if (added.count > kMeshCheckPoints)
            selectThinnedSubset(added, kMeshCheckPoints, tol);
        markActive(added);
        S->PointInversion(added, 10);
        dropFailed(added);
        if (added.count == 0)
            break;
        for (int k = 0; k < added.count; ++k) {
            selection.append(added.indices[k]);
            meshPoints.append(added.indices[k]);
        }
        std::cout << "mesh check: " << added.count << " mesh points off the surface join the fit"
                  << std::endl;
        if (best == nullptr)
            best = std::make_unique<NurbsSurf>(*S);
        if (controlPointCount(*S) > kMaxControlPoints) {
            adoptKnotsAndNet(*S, *unrefined);
            S->updateBoundaryPositions();
        }
        const NurbsSurf start(*S);
        const Outcome outcome = refine();
        if (outcome == Outcome::Return)
            return outcome;
        // A correction that gave up (its points lie too far off the surface
        // for a field) leaves S as it was, and one on more points beside
        // those gives up again: the rounds end.
        if (outcome == Outcome::Fail || sameNet(*S, start))
            break;
    }
    if (best != nullptr) {
        adoptKnotsAndNet(*S, *best);
        S->updateBoundaryPositions();
        invertSamples(10);
        rebuildBoundaryPolygon();
        selection.count = selected;
        meshPoints.count = kept;
    }
    measured = nearest;
    return Outcome::Next;
}

// Whether a surface measured `a` from the mesh lies nearer it than one
// measured `b`: the one of the smaller largest distance, and of two equally
// far the one with less of its area beyond the tolerance (surfaces far off
// the mesh meet no facet within the reach, and both count that far).
bool FaceApproximation::nearerTheMesh(const FaceMeshDistance& a, const FaceMeshDistance& b)
{
    if (a.largest != b.largest)
        return a.largest < b.largest;
    return a.shareBeyond < b.shareBeyond;
}

// Where the refined S strays beyond the tolerance from a mesh whose
// facets the selection hit are coarse against the fit, the face is fitted
// again from the Draft surface's start, each selection joined by points
// within those facets (addFacetPoints), and the surface nearer the mesh is
// kept with the points it was fitted to. The vertices of coarse facets lie
// far apart, and a fit to them alone may leave its surface free to bulge
// between them; where it does not, the fit on the vertices stays (over
// sharp creases and steps the inner points' correction may fold).
FaceApproximation::Outcome FaceApproximation::fitWithFacetPoints()
{
    if (withFacetPoints || undrafted == nullptr || !(measured.largest > tol) || !hasCoarseFacets())
        return Outcome::Next;
    std::cout << "mesh check: the face is fitted again with points within the facets" << std::endl;
    NurbsSurf first(*S);
    const FaceMeshDistance firstMeasured = measured;
    CFitPointArray firstSelection;
    for (int k = 0; k < selection.count; ++k)
        firstSelection.append(selection[k]);
    std::vector<Vector> firstSamples;
    for (int k = 0; k < sampleSet.count; ++k)
        firstSamples.push_back(sampleSet[k].uv);
    const auto start = [&](const NurbsSurf& T, const std::vector<Vector>& uv) {
        adoptKnotsAndNet(*S, T);
        S->updateBoundaryPositions();
        for (int k = 0; k < sampleSet.count && std::size_t(k) < uv.size(); ++k)
            sampleSet[k].uv = uv[std::size_t(k)];
        rebuildBoundaryPolygon();
        meshPoints.count = 0;
    };
    start(*undrafted, undraftedSamples);
    unrefined.reset();
    withFacetPoints = true;
    Outcome outcome = Outcome::Next;
    for (Stage stage : {&FaceApproximation::draftSurface, &FaceApproximation::selectionCheck,
                        &FaceApproximation::refine, &FaceApproximation::meshCheck}) {
        outcome = (this->*stage)();
        if (outcome != Outcome::Next)
            break;
    }
    if (outcome == Outcome::Return && cancelled())
        return outcome;
    if (outcome == Outcome::Next && nearerTheMesh(measured, firstMeasured))
        return Outcome::Next;
    start(first, firstSamples);
    measured = firstMeasured;
    selectionPoints.count = 0;
    for (int k = 0; k < firstSelection.count; ++k)
        selectionPoints.append(firstSelection[k]);
    selection.selectAll();
    return Outcome::Next;
}

// Whether a facet of the second selection is long against the fit's
// spacing and the tolerance (its perimeter more than twice as long).
bool FaceApproximation::hasCoarseFacets()
{
    const double spacing = std::sqrt(areaInsideBoundary(*S) / kFitPointsPerFace);
    const double coarse = 2.0 * std::max(spacing, kCoarseFacet * tol);
    for (int k = selectedFacets; k < hitPolygons.count; ++k)
        if (mesh->getFacetPerimeter(hitPolygons[k]) > coarse)
            return true;
    return false;
}

// The selection measured on the refined S, and S's distance from the mesh
// as the mesh check measured it: a face that lies farther from either
// than the fit accepts keeps its surface, and the line says by how much.
FaceApproximation::Outcome FaceApproximation::judgeFit()
{
    CFitPointArray copies;
    IndexSubset<CFitPoint> judged = measuredCopy(*S, selection, copies);
    dropFailed(judged);
    const CStatistic stat = fitErrorStatistics(judged, nullptr, nullptr, 0.0, 0);
    const double largest = std::max(stat.count > 0 ? stat.max : 0.0, measured.largest);
    if (largest > kFitSlack * tol)
        std::cout << FailureMessages::kOutsideTolerance << ": dMax=" << largest
                  << " rms=" << stat.rms() << " for dTol=" << tol << std::endl;
    return Outcome::Next;
}

// Each run fits S to points of S moved by the deviation field of the thinned
// selection, until the fit keeps within the tolerance.
FaceApproximation::Outcome FaceApproximation::newtonRuns()
{
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int k = 0; k < selection.count; ++k)
        for (int d = 0; d < 3 && d < selection[k].Point.n; ++d) {
            lo[d] = std::min(lo[d], selection[k].Point[d]);
            hi[d] = std::max(hi[d], selection[k].Point[d]);
        }
    double diagonal = 0.0;
    for (int d = 0; d < 3; ++d)
        if (hi[d] > lo[d])
            diagonal += (hi[d] - lo[d]) * (hi[d] - lo[d]);
    IndexSubset<CFitPoint> thinned(selection);
    selectThinnedSubset(thinned, 500, kShapeSpacingShare * std::sqrt(diagonal));
    keepMeshPoints(thinned, selection);
    dumpSurface(*S, "c:/tmp/NewtonStart.out", true);
    for (int run = 0; run < kNewtonRuns; ++run) {
        if (S->checkControlNetAngles()) {
            std::cout << " " << FailureMessages::kBadSurfaceStage3 << " " << std::endl;
            return Outcome::Fail;
        }
        IndexSubset<CFitPoint> fieldPoints(thinned);
        std::unique_ptr<iPolScatteredData> field(
            harmonicRecompute(*S, fieldPoints, kRbfKernel, true, progress, -1.0, -1.0, true));

        // The shape points: a grid three times as fine as the Greville
        // abscissae, each point of S moved by the field.
        Vector gu, gv;
        S->uKnots->getGrevilleAbscissae(gu);
        S->vKnots->getGrevilleAbscissae(gv);
        gu = refineValues(gu, 2);
        gv = refineValues(gv, 2);
        shapePoints.count = 0;
        if (progress != nullptr)
            progress->begin(0, gu.n * gv.n);
        for (int i = 0; i < gu.n && field != nullptr; ++i) {
            bool stop = false;
            for (int j = 0; j < gv.n; ++j) {
                if (progress != nullptr) {
                    progress->step(1);
                    if (progress->isCancelled()) {
                        stop = true;
                        break;
                    }
                }
                const Vector p = S->getPoint(gu[i], gv[j]);
                shapePoints.append(CFitPoint(p + field->evaluate(p), Vector(gu[i], gv[j])));
            }
            if (stop)
                break;
        }
        field.reset();
        working.selectAll();
        markActive(working);
        S->invalidateFitState();
        S->invertPoints(working, 1, 1, false);
        S->PointInversion(working, 10);
        dumpPoints(working, "c:/tmp/work0.mp", false);
        dropFailed(working);

        S->setColour(1.0, 0.0, 0.0);
        // The fit road of the constrained surface fit: sparse least squares,
        // parameters eliminated per point, normal alignment weight 1, no
        // quantile stop, three iterations; the progress sink goes through S.
        S->progress = progress;
        S->newtonApproximation(working, 0, 3, false, true, 1, nullptr, 1.0, 0.0, -1.0);
        S->progress = nullptr;
        if (cancelled())
            return Outcome::Return;

        invertSamples(10);
        rebuildBoundaryPolygon();
        int kept = 0;
        for (int k = 0; k < working.count; ++k) {
            const CVertex<double, 3> uv(working[k].uv[0], working[k].uv[1], 0.0);
            if (boundaryPolygon.isInside(uv, true))
                working.indices[kept++] = working.indices[k];
        }
        working.count = kept;
        if (working.count < 3) {
            std::cout << FailureMessages::kFewPointsInside << std::endl;
            return Outcome::Fail;
        }

        const CStatistic stat = fitErrorStatistics(working, nullptr, nullptr, 0.0, 0);
        std::cout << "Post aproximation Histo=" << std::endl
                  << stat << " lauf=" << run << " dTolAppox " << tol << std::endl;
        profileLog() << "Post aproximation Histo=" << std::endl << stat << std::endl;
        if (stat.rms() < 1.25 * tol && stat.max < kFitSlack * tol)
            break;
        // The next run gets more freedom where the working set misses half
        // the tolerance: knots inserted in both directions, at most 7 each.
        // Only fixing the control points that already fit would add no
        // freedom, and a surface too coarse for the face would stay outside
        // the tolerance through every run.
        S->fixControlPoints(working, 0.5 * tol, false, true, true, 7);
        if (cancelled())
            return Outcome::Return;
    }
    return Outcome::Next;
}

// Stage 10: the error points of the selection, both knot vectors of the
// final S marked re-parametrised, and the boundary samples on it.
FaceApproximation::Outcome FaceApproximation::result()
{
    if (errorPoints != nullptr) {
        errorPoints->removeAll();
        dropFailed(selection);
        markActive(selection);
        S->PointInversion(selection, 10);
        appendErrorPoints(selection, *errorPoints);
    }
    S->uKnots->reparametrized = 1;
    S->vKnots->reparametrized = 1;
    invertSamples(20);
    return Outcome::Return;
}

} // namespace

Fenwo::NurbsSurf* approximateFace(Kor::List<Fenwo::NurbsSurf*>& boundaryCurves,
                                  Mesh::CBaseMesh* mesh, CFitPointArray& boundarySamples,
                                  Kor::List<float>* errorPoints, Fenwo::NurbsSurf* startSurface,
                                  CColorCoding* colourCoding, bool fast, CProgress* progress,
                                  double tolerance, bool draftOnly, int fitOptionA, int fitOptionB)
{
    FaceApproximation approximation(boundaryCurves, mesh, boundarySamples, errorPoints,
                                    startSurface, colourCoding, fast, progress, tolerance,
                                    draftOnly, fitOptionA, fitOptionB);
    return approximation.run();
}
