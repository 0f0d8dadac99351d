// C3DTransformation: a rigid transformation record (a 3 x 3 rotation matrix,
// a translation and the centre the rotation turns about) handed between the
// surface fitting and the blending.
//
// Ownership: the record owns its matrix, translation and centre.
// Thread-safety: a plain value.
#pragma once

#include "foundation/Matrix.h"
#include "foundation/Vertex.h"

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
};
