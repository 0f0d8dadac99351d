// COpenGLFace: the display entity of one face of the net: its trimmed face
// in one of five display modes (0 shaded, 1 iso lines, 2 trim curves, 3 the
// base surface's control net, 4 nothing), the face's error points coloured
// by their deviations, and markers at the corners of the face's loop.
//
// The container hands every face display its display mode and edge flag;
// the grid hands it its depth-test switch.
// Ownership: the trimmed face, the loop and the colour map are not owned and
// must outlive the entity (or be replaced before they go); the error points
// are the entity's own copy.
// Thread-safety: none; draw inside a view's drawing.
#pragma once

#include "display/OpenGLEntity.h"
#include "foundation/KorList.h"

class CColorCoding;
class CFace;
namespace GB {
class Loop;
}

class COpenGLFace : public COpenGLEntity {
public:
    int displayMode = 0;      // 0..4, see above
    bool edges = true;        // the trims drawn with the shaded face
    CColorCoding* colourMap;  // not owned
    CFace* face;              // not owned
    GB::Loop* loop = nullptr; // not owned; its corners get markers
    // Six floats per point: u, v, the signed deviation, x, y, z.
    Kor::List<float> errorPoints;

    // A display of face with a copy of the error points, in the top layer,
    // to be compiled at the next draw.
    COpenGLFace(CFace* face, const Kor::List<float>& errorPoints, CColorCoding* colourMap);
    ~COpenGLFace() override = default;

    // Stores mode and edges and recompiles.
    void setFaceDisplayMode(int mode, bool edges) override;
    bool isFaceDisplay() const override { return true; }
    // The depth test of the drawing follows the grid's switch; recompiles.
    void applyDepthTest(bool on) override;

protected:
    // Mode 4 compiles nothing. Modes 0 to 3 drop the face's own cache, draw
    // what the mode shows, then the error points (whole records only, with a
    // colour map) and the loop's corner markers.
    void compileCommands() override;
};
