// COpenGLSasSurf: the display entity of one surface (or curve) with optional
// error points, each coloured by the deviation it carries.
//
// Ownership: the surface and the colour map are not owned; both must outlive
// the entity. The error points are the entity's own.
// Thread-safety: none; draw inside a view's drawing.
#pragma once

#include "display/OpenGLEntity.h"
#include "foundation/KorList.h"

class CColorCoding;
namespace Fenwo {
class NurbsSurf;
}

class COpenGLSasSurf : public COpenGLEntity {
public:
    CColorCoding* colourMap = nullptr; // not owned
    // Six floats per point: u, v, the signed deviation, x, y, z.
    Kor::List<float> errorPoints;
    Fenwo::NurbsSurf* surface; // not owned
    bool shaded;
    bool controlNet;
    bool showErrorPoints = true;
    bool depthTest; // the extra depth-test switch of the surface drawing

    // The colour becomes the entity's colour and alpha; name its name.
    COpenGLSasSurf(const char* name, Fenwo::NurbsSurf* surface, float r, float g, float b, float a,
                   bool shaded, bool controlNet, bool depthTest);

    // Sets the colour and marks the entity for recompilation.
    void setColour(float r, float g, float b, float a);

    bool isFaceDisplay() const override { return true; }
    // Stores the switch as the surface drawing's depth test; recompiles.
    void applyDepthTest(bool on) override
    {
        depthTest = on;
        setDirty();
    }

protected:
    // A surface with control points: shaded (with its boundary curves unless
    // depth-tested), else its iso-lines; its control net when asked. A curve:
    // a line of width 2 in the colour. Then the error points (whole records
    // only) in the colour map's colours of their deviations.
    void compileCommands() override;
};
