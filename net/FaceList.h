// CTopology, the plain list of trimmed faces that the skin topology of the
// healing derives from, with its two finders; and the arc-length
// parametrisation of a surface that the per-face approximation uses.
//
// Ownership: the list owns the faces appended to `faces` and deletes them
// with itself; a face handed over with `lend` stays its owner's (the net
// keeps its trimmed faces while a skin is built over them). Removing a face
// from the list never deletes it.
// Thread-safety: none; one healing run uses a list at a time.
#pragma once

#include "foundation/KorList.h"

class CFace;
class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

class CTopology {
public:
    Kor::List<CFace*> faces; // owned, except those also in `lent`
    Kor::List<CFace*> lent;  // faces of `faces` that belong to someone else
    int index = -1;

    CTopology() = default;
    // Deletes every face of the list that was not lent.
    virtual ~CTopology();
    CTopology(const CTopology&) = delete;
    CTopology& operator=(const CTopology&) = delete;

    // Appends a face that the list uses but does not own.
    void lend(CFace* face);
    // The first face whose base surface is surface; null when none.
    CFace* findFaceBySurface(const Fenwo::NurbsSurf* surface) const;
    // The first face whose base surface is the surface of geometry, which
    // must be a curve on a surface (CCONS); null otherwise or when none.
    // With remove, every entry of that face leaves the list (not deleted).
    CFace* findFaceOfCONS(CParametricGeometry* geometry, bool remove);
};

// Rescales the surface's knot vectors to [0, Lu] and [0, Lv]: Lu is the sum
// over the u spans of the mean arc length of the iso curves at the v
// breakpoints (5-point Gauss-Legendre), Lv likewise across; the u knot
// vector is marked re-parametrised. False for a null surface (Lu, Lv
// untouched).
bool reparametrizeByArcLength(Fenwo::NurbsSurf* surface, double& Lu, double& Lv);
