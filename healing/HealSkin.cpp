// The heal driver: one skin over the faces' trim curves with a match
// tolerance taken from the data, and its face healing.

#include "curves/ArcLength.h"
#include "curves/CurveOnSurface.h"
#include "foundation/Logging.h"
#include "foundation/Progress.h"
#include "foundation/Sort.h"
#include "foundation/Statistic.h"
#include "healing/SkinTopology.h"
#include "net/Face.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <vector>

namespace {

// Chords of the curve length that bounds the match tolerance.
constexpr int kLengthSteps = 15;
// The healing rank whose neighbours the fixed-list search moves.
constexpr int kTransitionRank = 3;

// The length up to which a curve is degenerate: 2 dTol (a curve within it
// is a point at this tolerance) or, on faces that all lie within a few
// dTol, a tenth of the longest of the lengths.
double degenerateLength(const std::vector<double>& lengths, double dTol)
{
    double longest = 0.0;
    for (double length : lengths)
        longest = std::max(longest, length);
    return std::min(2.0 * dTol, 0.1 * longest);
}

// Lends the faces to the skin and appends all curves of their trim loops,
// linked to their loop neighbours, to curves; with lengths each curve's
// length is added to it and to measured, and with corners each face's
// corners (its curves' start points, of every loop) as one list.
void collectCurves(FENWO_SKIN::CSkinTopology& skin, Kor::List<CFace*>& faces,
                   Kor::List<CParametricGeometry*>& curves, CStatistic* lengths,
                   std::vector<double>* measured = nullptr,
                   std::vector<std::vector<Vector>>* corners = nullptr)
{
    for (CFace* face : faces) {
        if (face == nullptr)
            continue;
        skin.lend(face);
        if (corners != nullptr)
            corners->emplace_back();
        for (CCONS* c : face->getAllCONS(false, true)) {
            curves.append(c);
            if (corners != nullptr)
                corners->back().push_back(c->getPoint(c->getDomain(0).min, 0.0));
            if (lengths != nullptr) {
                const double length = sampledCurveLength(c, kLengthSteps, false);
                lengths->add(length);
                if (measured != nullptr)
                    measured->push_back(length);
            }
        }
    }
}

// The least distance between two corners of one face that are not one point
// (farther apart than a degenerate curve is long): two corners of a face, of its outer loop or of a
// hole, closer than the match tolerance would fall into one skin vertex, and a curve of another
// face ending at one would be joined at the other (an island's corner taken for the corner of the
// face around it beside the hole). HUGE_VAL when no two are apart.
double closestCorners(const std::vector<std::vector<Vector>>& corners,
                      const std::vector<double>& lengths, double dTol)
{
    const double degenerate = degenerateLength(lengths, dTol);
    double closest = HUGE_VAL;
    for (const std::vector<Vector>& face : corners)
        for (std::size_t i = 0; i < face.size(); ++i)
            for (std::size_t j = i + 1; j < face.size(); ++j) {
                const double d = std::sqrt(squaredDistance(face[i], face[j]));
                if (d > degenerate)
                    closest = std::min(closest, d);
            }
    return closest;
}

// The shortest of the lengths that are not degenerate. HUGE_VAL when none.
double shortestSoundCurve(const std::vector<double>& lengths, double dTol)
{
    const double degenerate = degenerateLength(lengths, dTol);
    double shortest = HUGE_VAL;
    for (double length : lengths)
        if (length > degenerate)
            shortest = std::min(shortest, length);
    return shortest;
}

void sortUniqueFaces(Kor::List<CFace*>& list)
{
    list.count = sortUnique(list.data, list.count);
}

// The faces whose shared edge leads to a face of the transition rank, then
// every other face of the skin into the fixed list.
void searchFixedFaces(FENWO_SKIN::CSkinTopology& skin, Kor::List<CFace*>& fixed)
{
    Kor::List<CFace*> moving;
    for (FENWO_SKIN::CSkinTopology::CHalfEdge* h : skin.getInnerEdgePairs()) {
        CFace* a = skin.findFaceOfCONS(h->curve, false);
        CFace* b = h->partner != nullptr ? skin.findFaceOfCONS(h->partner->curve, false) : nullptr;
        if (a == nullptr || b == nullptr)
            continue;
        if ((a->spareFlag == kTransitionRank) != (b->spareFlag == kTransitionRank))
            moving.append(a->spareFlag == kTransitionRank ? b : a);
    }
    sortUniqueFaces(moving);
    std::ofstream dump;
    if (openLogStream(dump, "c:/tmp/transitions.out"))
        for (CFace* f : moving)
            dump << *f << std::endl;
    for (CFace* f : skin.faces)
        if (!moving.contains(f))
            fixed.append(f);
    sortUniqueFaces(fixed);
    std::cout << "movlist=" << moving.count << " fixList=" << fixed.count << std::endl;
}

} // namespace

double healMatchTolerance(double dMatchTol, double dTol, double shortest, double shortestSound)
{
    if (dMatchTol <= 0.0)
        dMatchTol = 100.0 * dTol;
    double reduced = dMatchTol;
    if (shortest < dMatchTol && shortest > 10.0 * dTol)
        reduced = 0.75 * shortest;
    // Curves shorter than 10 dTol leave the tolerance as it is, but the two
    // ends of a curve shorter than the tolerance would be taken for one
    // skin vertex: the curve is lost to the skin and its face's loop falls
    // apart. The tolerance stays below every curve that is not degenerate.
    if (shortestSound < reduced)
        reduced = 0.75 * shortestSound;
    if (reduced < dMatchTol) {
        dMatchTol = reduced;
        std::cout << "reducing dMatchTol to" << dMatchTol << std::endl;
    }
    return dMatchTol;
}

bool healSkin(Kor::List<CFace*>& faces, double dTol, CProgress* progress,
              Kor::List<CFace*>* boundaryFaces, double dMatchTol, int mode, bool skipFixList,
              Kor::List<CFace*>* failedFaces, const FENWO_SKIN::FaceNeighbours* neighbours,
              double edgeAllowance)
{
    FENWO_SKIN::CSkinTopology skin;
    skin.edgeAllowance = edgeAllowance;
    skin.progress = progress;
    skin.failedFaces = failedFaces;
    skin.neighbours = neighbours;
    if (progress != nullptr)
        progress->setLabel("healing init");
    Kor::List<CParametricGeometry*> curves;
    CStatistic lengths;
    std::vector<double> measured;
    std::vector<std::vector<Vector>> corners;
    collectCurves(skin, faces, curves, &lengths, &measured, &corners);
    if (boundaryFaces != nullptr)
        collectCurves(skin, *boundaryFaces, curves, nullptr);
    // Degenerate curves do not bound it: they must not keep the others'
    // ends from meeting. Nor may two corners of one face meet.
    const double apart =
        std::min(shortestSoundCurve(measured, dTol), closestCorners(corners, measured, dTol));
    dMatchTol = healMatchTolerance(dMatchTol, dTol, lengths.min, apart);
    if (!FENWO_SKIN::buildSkin(curves, &skin, dMatchTol, nullptr))
        return false;
    if (!skipFixList) {
        if (boundaryFaces == nullptr || boundaryFaces->count == 0)
            return false;
        searchFixedFaces(skin, *boundaryFaces);
    }
    return skin.healFaces(dTol, boundaryFaces, std::clamp(mode, 0, 2));
}
