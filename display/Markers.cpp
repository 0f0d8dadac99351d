#include "display/Markers.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <iostream>
#include <numbers>
#include <optional>

#include "display/ViewProjection.h"

namespace {

constexpr double kMarkerDivisor = 300.0;
constexpr double kCircleDivisor = 500.0;
constexpr int kCircleSegments = 10;

using Point = CVertex<double, 3>;

Point axis(const Vector& v)
{
    return Point(v[0], v[1], v[2]);
}

void vertex(const Point& p)
{
    glVertex3dv(p.data);
}

// centre + a A + b B.
Point offset(const Point& centre, double a, const Point& A, double b, const Point& B)
{
    Point p(centre);
    p.addTwoScaled(A, a, B, b);
    return p;
}

void sphere(double radius, int slices, int stacks)
{
    GLUquadric* quadric = gluNewQuadric();
    if (quadric == nullptr)
        return;
    gluSphere(quadric, radius, slices, stacks);
    gluDeleteQuadric(quadric);
}

void printCurrentColour()
{
    GLfloat c[4] = {0.f, 0.f, 0.f, 1.f};
    glGetFloatv(GL_CURRENT_COLOR, c);
    std::cout << "curCol=" << c[0] << " " << c[1] << " " << c[2] << " " << c[3] << std::endl;
}

void pixelBlock(const Point& p)
{
    GLfloat c[4] = {0.f, 0.f, 0.f, 1.f};
    glGetFloatv(GL_CURRENT_COLOR, c);
    GLfloat block[9 * 4];
    for (int i = 0; i < 9; ++i)
        for (int k = 0; k < 4; ++k)
            block[4 * i + k] = c[k];
    glRasterPos3d(p.data[0], p.data[1], p.data[2]);
    glDrawPixels(3, 3, GL_RGBA, GL_FLOAT, block);
}

void wireCube(const Point& p, double s)
{
    static const double loops[3][8][3] = {{{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}},
                                          {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},
                                          // Runs up and down the four vertical edges.
                                          {{-1, -1, -1},
                                           {-1, -1, 1},
                                           {1, -1, 1},
                                           {1, -1, -1},
                                           {1, 1, -1},
                                           {1, 1, 1},
                                           {-1, 1, 1},
                                           {-1, 1, -1}}};
    static const int counts[3] = {4, 4, 8};
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslated(p.data[0], p.data[1], p.data[2]);
    glScaled(2.0 * s, 2.0 * s, 2.0 * s);
    for (int l = 0; l < 3; ++l) {
        glBegin(GL_LINE_LOOP);
        for (int k = 0; k < counts[l]; ++k)
            glVertex3dv(loops[l][k]);
        glEnd();
    }
    glPopMatrix();
}

void circle(const Point& p, double radius)
{
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i <= kCircleSegments; ++i) {
        const double a = 2.0 * std::numbers::pi * i / kCircleSegments;
        glVertex3d(p.data[0] + radius * std::cos(a), p.data[1] + radius * std::sin(a), p.data[2]);
    }
    glEnd();
}

} // namespace

CMarkerFrame::CMarkerFrame() : scale(pixelSize() / kMarkerDivisor)
{
    viewAxes(depth, right, up);
}

void drawMarker(double x, double y, double z, int shape, bool setColour, CMarkerFrame* frame,
                double size)
{
    if (shape < 0 || shape > 8) {
        std::cout << "undefined shape=" << shape << std::endl;
        return;
    }
    // The view is read only when no frame is given: callers that draw many
    // markers build one frame for all of them.
    std::optional<CMarkerFrame> ownFrame;
    if (frame == nullptr)
        ownFrame.emplace();
    CMarkerFrame& f = frame != nullptr ? *frame : *ownFrame;
    f.centre = Point(x, y, z);
    const Point& c = f.centre;
    if (shape == 6) {
        printCurrentColour();
        pixelBlock(c);
        return;
    }
    const double s = f.scale * size;
    if (!(s > 0.0))
        return;
    const Point R = axis(f.right), U = axis(f.up);
    auto colour = [setColour](float r, float g, float b) {
        if (setColour)
            glColor3f(r, g, b);
    };
    switch (shape) {
    case 0:
        colour(1.0f, 0.0f, 0.0f);
        for (const Point* d : {&R, &U}) {
            glBegin(GL_LINE_STRIP);
            vertex(offset(c, -s, *d, 0.0, *d));
            vertex(offset(c, s, *d, 0.0, *d));
            glEnd();
        }
        break;
    case 1:
        colour(0.1f, 0.1f, 0.9f);
        for (double sign : {1.0, -1.0}) {
            glBegin(GL_LINE_STRIP);
            vertex(offset(c, -s, R, -sign * s, U));
            vertex(offset(c, s, R, sign * s, U));
            glEnd();
        }
        break;
    case 2:
        colour(0.2f, 0.8f, 0.0f);
        glBegin(GL_LINE_LOOP);
        vertex(offset(c, -s, R, -s, U));
        vertex(offset(c, s, R, -s, U));
        vertex(offset(c, s, R, s, U));
        vertex(offset(c, -s, R, s, U));
        glEnd();
        break;
    case 3:
    case 4: {
        // Triangle pointing up (3) or down (4).
        const double flip = shape == 3 ? 1.0 : -1.0;
        if (shape == 3)
            colour(0.8f, 0.0f, 0.7f);
        else
            colour(0.9f, 0.1f, 0.1f);
        glBegin(GL_LINE_LOOP);
        vertex(offset(c, -s, R, -0.5 * flip * s, U));
        vertex(offset(c, s, R, -0.5 * flip * s, U));
        vertex(offset(c, 0.0, R, flip * s / 1.7, U));
        glEnd();
        break;
    }
    case 5:
        glColor3f(0.6f, 0.6f, 0.6f);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glTranslated(x, y, z);
        sphere(0.75 * s, 3, 3);
        glPopMatrix();
        break;
    case 7:
        colour(1.0f, 0.6f, 0.6f);
        wireCube(c, s);
        break;
    case 8: {
        const double radius = pixelSize() / kCircleDivisor * size;
        if (radius > 0.0)
            circle(c, radius);
        break;
    }
    default:
        break;
    }
}

void setMarkerLighting(const float colour[3])
{
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glShadeModel(GL_SMOOTH);
    const GLfloat ambient[4] = {colour[0], colour[1], colour[2], 1.0f};
    const GLfloat diffuse[4] = {0.9f * colour[0], 0.9f * colour[1], 0.9f * colour[2], 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 50.0f);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
}

void drawSphereMarker(const CVertex<float, 3>& p, const float colour[3], double divisor,
                      bool depthTest)
{
    const double r = pixelSize() / divisor;
    if (!(r > 0.0))
        return;
    if (depthTest)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
    setMarkerLighting(colour);
    glEnable(GL_CULL_FACE);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(p.data[0], p.data[1], p.data[2]);
    sphere(0.75 * r, 7, 7);
    glPopMatrix();
}
