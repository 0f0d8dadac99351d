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

namespace {

// Chords of the curve length that bounds the match tolerance.
constexpr int kLengthSteps = 15;
// The healing rank whose neighbours the fixed-list search moves.
constexpr int kTransitionRank = 3;

// Lends the faces to the skin and appends all curves of their trim loops,
// linked to their loop neighbours, to curves; with lengths each curve's
// length is added, and smallestFace becomes the least longest curve of a
// face among the faces whose longest curve exceeds `degenerate`.
void collectCurves(FENWO_SKIN::CSkinTopology& skin, Kor::List<CFace*>& faces,
                   Kor::List<CParametricGeometry*>& curves, CStatistic* lengths,
                   double* smallestFace = nullptr, double degenerate = 0.0)
{
    for (CFace* face : faces) {
        if (face == nullptr)
            continue;
        skin.lend(face);
        double longest = -1.0;
        for (CCONS* c : face->getAllCONS(false, true)) {
            curves.append(c);
            if (lengths != nullptr) {
                const double length = sampledCurveLength(c, kLengthSteps, false);
                lengths->add(length);
                longest = std::max(longest, length);
            }
        }
        if (smallestFace != nullptr && longest > degenerate)
            *smallestFace = std::min(*smallestFace, longest);
    }
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

double healMatchTolerance(double dMatchTol, double dTol, double shortest, double smallestFace)
{
    if (dMatchTol <= 0.0)
        dMatchTol = 100.0 * dTol;
    double reduced = dMatchTol;
    if (shortest < dMatchTol && shortest > 10.0 * dTol)
        reduced = 0.75 * shortest;
    // Curves shorter than 10 dTol leave the tolerance as it is, but a face
    // whose every curve is shorter than it would have all its curve ends
    // taken for one skin vertex and lose its loop: the tolerance then stays
    // below that face's longest curve. Faces with a curve as long as the
    // tolerance keep it.
    if (smallestFace < reduced)
        reduced = 0.75 * smallestFace;
    if (reduced < dMatchTol) {
        dMatchTol = reduced;
        std::cout << "reducing dMatchTol to" << dMatchTol << std::endl;
    }
    return dMatchTol;
}

bool healSkin(Kor::List<CFace*>& faces, double dTol, CProgress* progress,
              Kor::List<CFace*>* boundaryFaces, double dMatchTol, int mode, bool skipFixList)
{
    FENWO_SKIN::CSkinTopology skin;
    skin.progress = progress;
    if (progress != nullptr)
        progress->setLabel("healing init");
    Kor::List<CParametricGeometry*> curves;
    CStatistic lengths;
    double smallestFace = HUGE_VAL;
    collectCurves(skin, faces, curves, &lengths, &smallestFace, 2.0 * dTol);
    if (boundaryFaces != nullptr)
        collectCurves(skin, *boundaryFaces, curves, nullptr);
    // Faces within two dTol are degenerate at this tolerance and do not
    // bound it: they must not keep the others' ends from meeting.
    dMatchTol = healMatchTolerance(dMatchTol, dTol, lengths.min, smallestFace);
    if (!FENWO_SKIN::buildSkin(curves, &skin, dMatchTol, nullptr))
        return false;
    if (!skipFixList) {
        if (boundaryFaces == nullptr || boundaryFaces->count == 0)
            return false;
        searchFixedFaces(skin, *boundaryFaces);
    }
    return skin.healFaces(dTol, boundaryFaces, std::clamp(mode, 0, 2));
}
