#pragma once
// The circle layout of a closed boundary made of several curves: the chain
// of curves is unrolled onto a circle whose perimeter is the boundary's
// length, each curve gets a narrow ruled ribbon leaning across it, points
// with the ribbons' normals are sampled along the curves, and the surface
// over the boundary is fitted to them (fitWithKnotRefinement).
//
// The whole computation runs in the constructor of CCircleLayout;
// circleLayoutFit is its entry.
//
// Ownership: the layout copies the curve list but not the curves, which
// stay the caller's; it owns its ribbons and the result until takeResult.
// Thread-safety: none (see fitWithKnotRefinement).

#include "foundation/ConjugateGradient.h"
#include "foundation/FitPoint.h"
#include "foundation/KorList.h"
#include "foundation/Vector.h"

#include <memory>
#include <vector>

class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

class CCircleLayout : public CConjugateGradient {
public:
    Vector squaredLengths;                  // of the boundary curves, in chain order
    CFitPointArray junctions;               // chain junctions with their circle positions as uv
    Kor::List<CParametricGeometry*> curves; // the boundary's curves (not owned)

    // Lays out the boundary and fits the surface (see the file comment);
    // startSurfaceOnly is handed on to the fit. No result when the chain
    // does not close, its length is 0, or a curve's ribbon direction is
    // shorter than 0.001. Debug files "c:/tmp/circleLayout.out" and
    // "c:/tmp/v2.mp" are written when FENWO_LOGGING is set.
    CCircleLayout(const Kor::List<CParametricGeometry*>& boundary, bool startSurfaceOnly);
    ~CCircleLayout() override;

    // The layout is never minimised: it only borrows the optimiser's frame.
    double evaluate(int mode, Vector& g, const Vector& x, double alpha, const Vector& p) override;

    // The fitted surface, handed to the caller (null when no layout was made).
    Fenwo::NurbsSurf* takeResult() { return result.release(); }

private:
    bool layOut(bool startSurfaceOnly);

    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> ribbons;
    std::unique_ptr<Fenwo::NurbsSurf> result;
};

// The surface over the closed boundary by the circle layout; new, owned by
// the caller; null when the layout failed.
Fenwo::NurbsSurf* circleLayoutFit(const Kor::List<CParametricGeometry*>& boundary,
                                  bool startSurfaceOnly);
