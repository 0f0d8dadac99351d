// Surface and constraint drawing into a 64 x 64 view of [-1, 1]^2 (32 pixels
// per unit), checked by pixels, feedback counts and the restored state.
#include "geometry/BoundaryConstraint.h"
#include "geometry/IJConstraints.h"
#include "geometry/KnotAndNormalConstraints.h"
#include "geometry/NurbsSurf.h"

#include "support/AnalyticCurves.h"
#include "support/GLView.h"

#include <GL/gl.h>

#include <memory>
#include <numbers>

namespace {

using Fenwo::NurbsSurf;
using mwtest::rgb;

// A flat bicubic of one span over [-0.75, 0.75]^2 in the plane z = 0; its
// partial derivatives have length 1.5, so S_u x S_v is not of unit length.
std::unique_ptr<NurbsSurf> flatPatch()
{
    const knots k(3, 3, 0.0, 1.0);
    auto s = std::make_unique<NurbsSurf>(k, &k);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            s->setControlPoint(i, j, Vector(-0.75 + 0.5 * i, -0.75 + 0.5 * j, 0.0));
    return s;
}

class SurfaceDraw : public mwtest::GLView {
protected:
    float currentFloat(GLenum what)
    {
        GLfloat v = 0.f;
        glGetFloatv(what, &v);
        return v;
    }
    // Pixels of colour within rows [y0, y1] of the view.
    int pixelsInRows(unsigned colour, int y0, int y1)
    {
        return countPixels(colour, 3, {0, y0, width, y1 + 1});
    }
};

TEST_F(SurfaceDraw, ShadedSurfaceHasUnitNormalsAndCurveIsOneGreyStrip)
{
    auto patch = flatPatch();
    const GLfloat grey[4] = {0.5f, 0.5f, 0.5f, 1.f};
    light();
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, grey);
    glEnable(GL_LIGHTING);
    // One span each way, limit >= 4: 4 strips of 4 quads, each quad fed back
    // as two triangles.
    EXPECT_EQ(feedback([&] { patch->drawShaded(7, 7, 4); }).polygons, 32);
    patch->drawShaded(7, 7, 15000);
    // Lit along the unit normal the surface shows its diffuse colour exactly.
    EXPECT_EQ(pixel(32, 32), rgb(0.5, 0.5, 0.5));
    EXPECT_EQ(countPixels(rgb(0.5, 0.5, 0.5), 1), 48 * 48);

    Vector p, n;
    patch->evaluatePointAndNormal(0.5, 0.5, p, n);
    EXPECT_NEAR(norm(n), 1.0, 1e-12);
    EXPECT_NEAR(n[2], 1.0, 1e-12);
    // A collapsed surface has no normal: zero, not NaN.
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            patch->setControlPoint(i, j, Vector(0.1, 0.2, 0.3));
    patch->evaluatePointAndNormal(0.5, 0.5, p, n);
    EXPECT_EQ(norm(n), 0.0);

    glDisable(GL_LIGHTING);
    clear();
    NurbsSurf curve(knots(3, 3, 0.0, 1.0));
    for (int i = 0; i < 4; ++i)
        curve.setControlPoint(i, 0, Vector(-0.75 + 0.5 * i, 0.3 * (i % 2), 0.0));
    const auto strip = feedback([&] { curve.drawShaded(7, 7, 15000); });
    EXPECT_EQ(strip.lines, 8); // Nu + 1 = 9 points: Nu = 2 x 4 (nU / nV)
    EXPECT_EQ(strip.polygons, 0);
    curve.drawShaded(7, 7, 15000);
    EXPECT_GT(countPixels(rgb(0.6, 0.6, 0.6)), 40);
    EXPECT_EQ(countPixels(rgb(0.6, 0.6, 0.6)), litPixels());
}

TEST_F(SurfaceDraw, CurveIsOneStripThroughItsFacetPointsInItsOwnColour)
{
    // Upper half circle of radius 0.75 (24 pixels) about the view's centre.
    AnalyticCircle arc(Vector(0.0, 0.0, 0.0), 0.75, 0.0, std::numbers::pi);
    arc.setColour(1.0, 0.5, 0.0);
    glColor3f(0.f, 1.f, 0.f);
    const auto strip = feedback([&] { arc.draw(0.001, true, 0); });
    EXPECT_GT(strip.lines, 10);
    EXPECT_EQ(strip.polygons, 0);
    arc.draw(0.001, true, 0);
    const unsigned orange = rgb(1.0, 0.5, 0.0);
    EXPECT_EQ(litPixels(), countPixels(orange));
    EXPECT_GT(countPixels(orange, 3, {0, 40, 64, 64}), 30); // the arc's top
    EXPECT_EQ(countPixels(orange, 3, {0, 0, 64, 31}), 0);   // nothing below its ends
    EXPECT_EQ(countPixels(orange, 3, {29, 33, 36, 50}), 0); // nor inside it
    clear();
    glColor3f(0.f, 1.f, 0.f);
    arc.draw(0.001, false, 0); // the current colour
    EXPECT_EQ(litPixels(), countPixels(rgb(0, 1, 0)));
    EXPECT_GT(litPixels(), 60);
}

TEST_F(SurfaceDraw, RenderRestoresWidthsAndDrawsTheControlNet)
{
    auto patch = flatPatch();
    glLineWidth(5.f);
    glPointSize(7.f);
    patch->render(3, 10, 3, 0, 0.2f, 0.4f, 0.6f, 1.f);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 0.2f);
    EXPECT_FLOAT_EQ(colour[2], 0.6f);
    EXPECT_EQ(litPixels(), 0);

    clear(1.f, 1.f, 1.f);
    glLineWidth(1.f);
    const auto net = feedback([&] { patch->render(3, 10, 3, 8, 1.f, 1.f, 1.f, 1.f); });
    EXPECT_EQ(net.lines, 24);  // four rows and four columns of three segments
    EXPECT_EQ(net.points, 16); // the control points
    patch->render(3, 10, 3, 8, 1.f, 1.f, 1.f, 1.f);
    EXPECT_GT(countPixels(rgb(0, 0, 0)), 3 * 48);
    EXPECT_GT(countPixels(rgb(0.1, 0.1, 0.9)), 3 * 48);
    EXPECT_EQ(currentFloat(GL_LINE_WIDTH), 1.f);
    EXPECT_EQ(currentFloat(GL_POINT_SIZE), 7.f);

    // Iso-lines: black along u, blue along v, red with flag 64.
    clear(1.f, 1.f, 1.f);
    patch->render(3, 20, 3, 0x3, 1.f, 1.f, 1.f, 1.f);
    EXPECT_GT(countPixels(rgb(0, 0, 0)), 3 * 48);
    EXPECT_GT(countPixels(rgb(0, 0, 0.9)), 3 * 48);
    clear(1.f, 1.f, 1.f);
    patch->render(3, 20, 3, 0x43, 1.f, 1.f, 1.f, 1.f);
    EXPECT_GT(countPixels(rgb(0.9, 0, 0)), 7 * 48);
}

TEST_F(SurfaceDraw, PointMarkersDrawInTheirColours)
{
    const unsigned colours[] = {rgb(0, 0, 0), rgb(0.1, 0.1, 0.9), rgb(0.8, 0.8, 0.8),
                                rgb(0.8, 0, 0.7), rgb(0.9, 0.1, 0.1)};
    for (int kind = 1; kind <= 6; ++kind) {
        clear(1.f, 1.f, 1.f);
        NurbsSurf::drawPointMarker(0.0, 0.0, 0.0, kind, 0.4);
        const int lit = litPixels(rgb(1, 1, 1));
        if (kind == 6) {
            EXPECT_EQ(lit, 0);
            continue;
        }
        EXPECT_GT(lit, 20) << kind;
        EXPECT_EQ(countPixels(colours[kind - 1]), lit) << kind;
    }
}

TEST_F(SurfaceDraw, ConstraintsMarkTheirControlPointsAndKeepTheLineWidth)
{
    auto patch = flatPatch();
    glLineWidth(3.f);
    const unsigned square = rgb(0.8, 0.8, 0.8), triangle = rgb(0.9, 0.1, 0.1);
    // Control row j lies at pixel row 8 + 16 j.
    Fenwo::CIJSingleConstraint single(*patch, 1, 2, Vector(0, 0, 0), Vector(0, 0, 1),
                                      Fenwo::SingleCpKind::fixed);
    single.draw(patch.get(), 0, 0.05);
    EXPECT_EQ(litPixels(), countPixels(square));
    EXPECT_EQ(pixelsInRows(square, 36, 44), litPixels());
    EXPECT_EQ(pixel(24, 38) | pixel(24, 42), square); // the square around (-0.25, 0.25)

    using Kind = Fenwo::BoundaryConstraintKind;
    for (auto [kind, rows] : {std::pair{Kind::C1Fix, 2}, std::pair{Kind::C2Fix, 3}}) {
        clear();
        Fenwo::CBoundaryConstraint(uvSouth, kind).draw(patch.get(), 0, 0.05);
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(pixelsInRows(triangle, 4 + 16 * j, 12 + 16 * j) > 0, j < rows) << j;
        EXPECT_EQ(litPixels(), countPixels(triangle));
    }

    clear();
    Fenwo::CFixWeightsConstraint(Fenwo::fixAllWeights).draw(patch.get(), 0, 0.05);
    Fenwo::CAllNormalsConstraint().draw(patch.get(), 0, 0.05);
    EXPECT_EQ(litPixels(), 0);

    glColor3f(0.f, 1.f, 0.f);
    Fenwo::CIJRelationConstraint(1, 1, 0, 0, 3, 3, 0.5).draw(patch.get(), 0, 0.05);
    Fenwo::CIJRegionConstraint(1, 2, 1, 2).draw(patch.get(), 0, 0.05);
    EXPECT_GT(countPixels(rgb(0, 1, 0)), 2 * 48);
    Fenwo::CRemoveKnotsConstraint(3, 3, 0, 3, true).draw(patch.get(), 0, 10.0);
    EXPECT_GT(countPixels(rgb(1, 0.6, 0.6)), 4 * 8);
    EXPECT_EQ(currentFloat(GL_LINE_WIDTH), 3.f);
}

} // namespace
