// C3DTransformation: a rigid transformation record (a 3 x 3 rotation matrix,
// a translation and the centre the rotation turns about) handed between the
// surface fitting and the blending.
//
// Ownership: the record owns its matrix, translation and centre.
// Thread-safety: a plain value.
#pragma once

#include "foundation/Matrix.h"
#include "foundation/Vector.h"
#include "foundation/Vertex.h"

class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

class C3DTransformation {
public:
    int mode = 0;
    Matrix rotation{3, FullMatrix};
    CVector<double, 3> translation;
    CVertex<double, 3> centre;

    // The identity: unit matrix, zero translation and centre, mode 0.
    C3DTransformation() { reset(); }
    virtual ~C3DTransformation() = default;

    // Back to the identity.
    void reset();

    // The matrix becomes a full 3 x 3 copy of the rotation's rows, the
    // translation the three given doubles, the centre the three given
    // doubles or (0, 0, 0) when centre is null. A rotation of another size
    // contributes its leading 3 x 3 block (missing entries 0).
    void set(const Matrix& rotation, const double* translation, const double* centre);

    // x := R (x - centre) + translation over its first three entries (x
    // needs at least three).
    void transformPoint(Vector& x) const;
};

// Moves every control point P of a NURBS surface or curve to
// R (P - centre) + translation, keeping its weight. False, nothing changed,
// when s is not a Fenwo::NurbsSurf.
bool transformNurbsSurf(CParametricGeometry* s, const C3DTransformation& t);

// A copy of s (owned by the caller) with every control point moved as
// transformNurbsSurf moves it; null for a null s.
Fenwo::NurbsSurf* transformSurfaceCopy(const Fenwo::NurbsSurf* s, const C3DTransformation& t);
