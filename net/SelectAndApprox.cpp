// selectAndApprox: one face of the net approximated (approximateFace) and
// trimmed by a loop of curves in the surface's parameter plane, built either
// from the boundary samples (draft) or by putting the boundary curves on the
// surface.
#include "net/FaceApproximation.h"

#include "curves/CurveInterpolation.h"
#include "curves/ParCurve.h"
#include "curves/PolylineCurve.h"
#include "foundation/Logging.h"
#include "foundation/Progress.h"
#include "foundation/StopUhr.h"
#include "geometry/NurbsSurf.h"
#include "healing/BlendingSurface.h"
#include "net/Face.h"
#include "net/FaceRecords.h"
#include "net/FailureMessages.h"

#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

namespace {

using Fenwo::NurbsSurf;

// The boundary curves of the loop, deleted with this list.
struct BoundaryCurves {
    Kor::List<NurbsSurf*> list;
    BoundaryCurves() = default;
    BoundaryCurves(const BoundaryCurves&) = delete;
    BoundaryCurves& operator=(const BoundaryCurves&) = delete;
    ~BoundaryCurves() { list.deleteAll(); }
};

bool isCancelled(CProgress* progress)
{
    return progress != nullptr && progress->isCancelled();
}

// The loop's boundary curves into `curves` (pieces that are no NURBS curve
// are deleted); false where the loop gives none.
bool collectBoundaryCurves(GB::Loop& loop, BoundaryCurves& curves)
{
    Kor::List<CParametricGeometry*> pieces;
    const bool found = loop.getBoundaryCurves(pieces, true);
    for (CParametricGeometry* piece : pieces) {
        if (auto* c = dynamic_cast<NurbsSurf*>(piece))
            curves.list.append(c);
        else
            delete piece;
    }
    return found && curves.list.count > 0;
}

// The holes of a face that is not there.
const std::vector<std::unique_ptr<GB::Loop>>& noHoles()
{
    static const std::vector<std::unique_ptr<GB::Loop>> none;
    return none;
}

// The accuracy in space of a trim curve put on the surface, as a share of
// the face's tolerance: the trims of two neighbours along one boundary
// curve meet within twice it. A five-hundredth: 0.001 at the tolerance 0.5
// of a model some 250 millimetres across.
constexpr double kTrimAccuracyShare = 0.002;

// A trim loop whose joints part by this share of the face's tolerance or
// more is reported: 0.01 at the tolerance 0.5.
constexpr double kClosedLoopShare = 0.02;

// Exact rule: every boundary curve put on the surface within the accuracy
// (a length); a curve that cannot be put on it is left out. False on a
// cancellation.
bool trimByProjection(const Kor::List<NurbsSurf*>& curves, NurbsSurf* S, CLoop& loop,
                      double accuracy, CProgress* progress, std::ofstream& debug)
{
    for (NurbsSurf* curve : curves) {
        if (debug.is_open()) {
            curve->write(debug);
            debug << '\n';
        }
        if (isCancelled(progress))
            return false;
        CCONS onSurface(curve, S, 2, 1e-8, accuracy);
        CParametricGeometry* uv = onSurface.getUVCurve();
        if (uv == nullptr)
            continue;
        if (debug.is_open()) {
            if (const auto* uvNurbs = dynamic_cast<const NurbsSurf*>(uv))
                uvNurbs->write(debug);
            debug << '\n';
        }
        loop.curves.append(new CParCurve(onSurface.takeUVCurve(), S, true));
    }
    return true;
}

// Draft rule: the samples cut into runs of one boundary curve each, every run
// interpolated in the parameter plane from its first sample to the first
// sample of the next run (the last run closing at sample 0). False on a
// cancellation.
bool trimBySamples(const CFitPointArray& samples, NurbsSurf* S, CLoop& loop, CProgress* progress,
                   std::ofstream& debug)
{
    const int n = samples.count;
    CFitPointArray run;
    auto appendToRun = [&](const CFitPoint& p) {
        run.append(CFitPoint(Vector(p.uv[0], p.uv[1], 0.0), p.uv));
    };
    int current = int(samples[0].curveIndex);
    int i = 0;
    do {
        if (isCancelled(progress))
            return false;
        appendToRun(samples[i]);
        i = (i + 1) % n;
        if (i != 0 && int(samples[i].curveIndex) == current)
            continue;
        current = int(samples[i].curveIndex);
        appendToRun(samples[i]);
        IndexSubset<CFitPoint> all(run);
        all.selectAll();
        std::unique_ptr<NurbsSurf> uv(interpolateCurve(all, 2, 2, true, false));
        run.count = 0;
        if (uv == nullptr)
            continue;
        if (debug.is_open()) {
            uv->write(debug);
            debug << '\n';
            if (std::unique_ptr<NurbsSurf> facets{
                    facetCurveToPolyline(uv.get(), 0.1, nullptr, -1, -1.0)})
                facets->write(debug);
            debug << '\n';
        }
        loop.curves.append(new CParCurve(uv.release(), S, true));
    } while (i != 0);
    return true;
}

} // namespace

CFace* selectAndApprox(GB::Loop* loop, Mesh::CBaseMesh* mesh, Fenwo::NurbsSurf* startSurface,
                       CColorCoding* colourCoding, bool fast, CProgress* progress, double tolerance,
                       bool draftOnly, bool errorPoints)
{
    if (loop == nullptr)
        return nullptr;
    BoundaryCurves curves;
    if (!collectBoundaryCurves(*loop, curves)) {
        std::cout << FailureMessages::kNoBoundaryCurves << std::endl;
        return nullptr;
    }

    if (startSurface == nullptr) {
        startSurface = makeBlendingSurface(curves.list, 2.0 * tolerance);
        if (startSurface != nullptr)
            std::cout << "s0 is a coons" << std::endl;
    }

    GB::Face* face = loop->owner;
    CFitPointArray samples;
    std::unique_ptr<NurbsSurf> S;
    {
        StopUhr watch(true, "select and approx", false);
        S.reset(approximateFace(curves.list, mesh, samples,
                                errorPoints && face != nullptr ? &face->errorPoints : nullptr,
                                startSurface, colourCoding, fast, progress, tolerance, draftOnly, 0,
                                1));
        profileLog() << watch << std::endl;
    }
    if (S == nullptr)
        return nullptr;

    auto trimLoop = std::make_unique<CLoop>();
    std::ofstream debug;
    openLogStream(debug, "c:/tmp/trimcurves.out");
    const double accuracy =
        tolerance > 0.0 ? kTrimAccuracyShare * tolerance : kDefaultPCurveAccuracy;
    bool built = false;
    if (draftOnly)
        built = samples.count > 0 && trimBySamples(samples, S.get(), *trimLoop, progress, debug);
    else
        built = trimByProjection(curves.list, S.get(), *trimLoop, accuracy, progress, debug);
    if (!built) {
        std::cout << (isCancelled(progress) ? FailureMessages::kApproximationCancelled
                                            : FailureMessages::kNoTrimLoop)
                  << std::endl;
        return nullptr;
    }
    // Put on the surface, every boundary curve is one side of the face: the
    // loop's joints are its corners, and none is a hole to bridge. (The
    // draft rule's runs end where the next begins.)
    trimLoop->orderCurves(true, !draftOnly && trimLoop->getCard() == curves.list.count,
                          tolerance);
    trimLoop->orient(-1);
    const double closed = tolerance > 0.0 ? kClosedLoopShare * tolerance : 0.01;
    if (!trimLoop->checkGaps(closed)) {
        std::cout << "trimLoop not io." << std::endl;
        trimLoop->checkGaps(closed);
    }

    // The regions inside the face's region that are faces of their own are
    // left out: each hole's boundary curves put on the surface as a trim
    // loop of its own, running clockwise. A hole that gives none leaves the
    // face without a surface rather than over the region inside it.
    std::vector<std::unique_ptr<CLoop>> holeLoops;
    for (const std::unique_ptr<GB::Loop>& hole : face != nullptr ? face->holes : noHoles()) {
        BoundaryCurves holeCurves;
        auto holeLoop = std::make_unique<CLoop>();
        if (!collectBoundaryCurves(*hole, holeCurves) ||
            !trimByProjection(holeCurves.list, S.get(), *holeLoop, accuracy, progress, debug) ||
            holeLoop->getCard() != holeCurves.list.count) {
            std::cout << (isCancelled(progress) ? FailureMessages::kApproximationCancelled
                                                : FailureMessages::kNoHoleTrimLoop)
                      << std::endl;
            return nullptr;
        }
        holeLoop->orderCurves(true, true, tolerance);
        holeLoops.push_back(std::move(holeLoop));
    }
    debug.close();

    // A curve far outside the surface's domain is no trim curve of it: the
    // face record's reader would leave it out, and the face saved would not
    // open as it was.
    std::vector<const CLoop*> loops{trimLoop.get()};
    for (const std::unique_ptr<CLoop>& holeLoop : holeLoops)
        loops.push_back(holeLoop.get());
    for (const CLoop* loop : loops)
        for (CParCurve* curve : loop->curves)
            if (Fenwo::NurbsSurf* uv = asNurbsSurf(curve->getUVCurve());
                uv != nullptr && farOutsideDomain(*uv, *S)) {
                std::cout << FailureMessages::kTrimLoopOffDomain << std::endl;
                return nullptr;
            }

    auto* trimmed = new CFace(S.get(), trimLoop.release());
    for (std::unique_ptr<CLoop>& holeLoop : holeLoops)
        if (trimmed->addTrimLoop(holeLoop.get()))
            holeLoop.release();
    if (face != nullptr) {
        // Both states become Trimmed, the requested one included: the face
        // keeps its trimmed face on the next updates.
        face->requestedState = Trimmed;
        face->computedState = Trimmed;
        face->surface = S.get();
    }
    S.release(); // the trimmed face owns it
    return trimmed;
}
