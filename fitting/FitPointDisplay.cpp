// Error-coloured fit points.
#include "fitting/FitPointDisplay.h"

#include "display/ColorCoding.h"

#include <GL/gl.h>

void drawErrorColouredPoints(const CFitPointArray& points, const CColorCoding& coding)
{
    glPushAttrib(GL_ENABLE_BIT | GL_POINT_BIT | GL_CURRENT_BIT);
    glPointSize(4.0f);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glBegin(GL_POINTS);
    float rgba[4];
    for (int k = 0; k < points.count; ++k) {
        const CFitPoint& fp = points[k];
        if (fp.Point.n < 3)
            continue;
        coding.getColour(rgba, signedError(fp));
        glColor4fv(rgba);
        glVertex3d(fp.Point[0], fp.Point[1], fp.Point[2]);
    }
    glEnd();
    glPopAttrib();
}
