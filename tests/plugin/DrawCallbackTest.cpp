#include "MeshwrightHost.h"

#include "display/Fonts.h"
#include "mesh/GridPoint.h"

#include <array>

namespace {

using Rgba = std::array<unsigned char, 4>;

Rgba pixelAt(CVezadView& v, int x, int y)
{
    Rgba rgba{};
    EXPECT_TRUE(v.pixel(x, y, rgba.data()));
    return rgba;
}

Rgba centre(CVezadView& v)
{
    return pixelAt(v, v.width() / 2, v.height() / 2);
}

// Whether colour is drawn within one pixel of (x, y): a thin line may pass
// beside the probe.
bool drawnNear(CVezadView& v, int x, int y, const Rgba& colour)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (pixelAt(v, x + dx, y + dy) == colour)
                return true;
    return false;
}

// Where a world point is drawn in the view.
void toScreen(CVezadView& v, const CVertex<float, 3>& p, int& x, int& y)
{
    double sx = 0.0, sy = 0.0;
    ASSERT_TRUE(v.ActiveViewport().worldToScreen(ON_3dPoint(p[0], p[1], p[2]), sx, sy));
    x = static_cast<int>(sx);
    y = static_cast<int>(sy);
}

// The pixels at the centroids of the mesh's facets.
std::vector<Rgba> facetPixels(CVezadView& v, Mesh::CBaseMesh& mesh)
{
    std::vector<Rgba> pixels;
    for (int f = 0; f < mesh.getFacetCount(); ++f) {
        CVertex<float, 3> c, corner;
        for (int k = 0; k < 3; ++k) {
            EXPECT_TRUE(mesh.getFacetCorner(f, k, corner));
            for (int i = 0; i < 3; ++i)
                c[i] += corner[i] / 3.0f;
        }
        int x = 0, y = 0;
        toScreen(v, c, x, y);
        pixels.push_back(pixelAt(v, x, y));
    }
    return pixels;
}

TEST_F(MeshwrightHost, ShadedViewsDrawTheLoadedMeshWireframeViewsDoNot)
{
    ASSERT_EQ(command("_MWLoadMesh File=Yes file:" + writeBumpStl("bump.stl", 8, 0.3, 0.5)), 0);
    const Rgba background = pixelAt(view(), 2, 2);
    const Rgba mesh = centre(view());
    EXPECT_NE(mesh, background);
    // The mesh's tan colour survives its grey lighting: red over green over blue.
    EXPECT_GT(mesh[0], mesh[1]);
    EXPECT_GT(mesh[1], mesh[2]);

    EXPECT_EQ(command("_MWHideMesh"), 0);
    EXPECT_EQ(centre(view()), background);
    EXPECT_EQ(command("_MWHideMesh"), 0);
    EXPECT_EQ(centre(view()), mesh);
    // A wireframe view shows the object's sections, never the shaded mesh.
    ASSERT_TRUE(hosttest::passes(run("!view 0 wireframe")));
    for (int y = 0; y < view().height(); y += 4)
        for (int x = 0; x < view().width(); x += 4)
            ASSERT_NE(pixelAt(view(), x, y), mesh) << x << " " << y;
}

TEST_F(MeshwrightHost, ViewsShareListsOrRecompileInAContextOfTheirOwn)
{
    ScopedEnv logging("FENWO_LOGGING", "1");
    CMWMeshObject* object = addMeshObject();
    view().drawNow();
    EXPECT_NE(fontListBase, 0u) << "a fresh context builds the font lists";
    COpenGLEntity* entity = object->glEntity();
    ASSERT_NE(entity, nullptr);
    const unsigned int list = entity->listId;
    const Rgba drawn = centre(view());

    CVezadView* sharing = VezadApp().addView(320, 240, true, false);
    sharing->drawNow();
    EXPECT_EQ(entity->listId, list);
    EXPECT_FALSE(entity->dirty);
    EXPECT_EQ(centre(*sharing), drawn);
    EXPECT_EQ(transcript().find("failed to share lists"), std::string::npos);

    CVezadView* own = VezadApp().addView(320, 240, true, true);
    own->drawNow();
    const std::string text = transcript();
    const std::size_t failed = text.find("failed to share lists expect display problems\n");
    ASSERT_NE(failed, std::string::npos);
    const std::size_t reason =
        failed + std::string("failed to share lists expect display problems\n").size();
    EXPECT_NE(text.substr(reason, text.find('\n', reason) - reason), "") << "the last error's text";
    EXPECT_EQ(centre(*own), drawn);
    const Kor::List<c_pair<CVezadView*, HGLRC>>& contexts = plugIn().viewContexts;
    ASSERT_EQ(contexts.count, 3);
    EXPECT_EQ(contexts[2].second, own->contextHandle());
}

TEST_F(MeshwrightHost, PickedOrSelectedMeshIsOutlinedThroughEveryFifthFacet)
{
    // Twelve triangles: the outline takes facets 0, 5 and 10.
    auto* mesh = new CFlatMesh;
    mwtest::fillFlatMesh(mwtest::gridSoup(3, 2, 0.6, 0.6, true, -0.9, -0.6), *mesh);
    ASSERT_EQ(mesh->getFacetCount(), 12);
    auto* object = new CMWMeshObject;
    attachMesh(object, mesh);
    plugIn().net.setMesh(mesh);
    ASSERT_TRUE(doc().AddObject(object));
    plugIn().meshObjects.append(object);
    view().Redraw();
    const std::vector<Rgba> plain = facetPixels(view(), *mesh);

    auto outlinedFacets = [&] {
        view().Redraw();
        const std::vector<Rgba> now = facetPixels(view(), *mesh);
        std::vector<int> changed;
        for (int f = 0; f < 12; ++f)
            if (now[f] != plain[f])
                changed.push_back(f);
        return changed;
    };
    const std::vector<int> expected{0, 5, 10};

    CVezadGetObject getter;
    VezadApp().InputQueue().pushFront({"pick:#0", "Enter"});
    ASSERT_EQ(getter.GetObjects(1, 0), CVezadGet::object);
    doc().UnselectAll();
    doc().setGetObject(&getter);
    EXPECT_EQ(outlinedFacets(), expected) << "picked in a running getter";
    doc().setGetObject(nullptr);
    EXPECT_TRUE(outlinedFacets().empty());
    object->Select(true);
    EXPECT_EQ(outlinedFacets(), expected) << "selected";

    EXPECT_EQ(outlineFacets(1000000).count, 5000);
    EXPECT_EQ(outlineFacets(1000000)[1], 200);
    EXPECT_EQ(outlineFacets(5).count, 0);
}

TEST_F(MeshwrightHost, RubberBandJoinsSnapTargetAndLastHitWhileEditing)
{
    addMeshObject();
    GB::CSurfaceNet& net = plugIn().net;
    Gridbench::CGridPoint target;
    target[0] = target[1] = -0.5f;
    Mesh::CBaseMesh::CBaseHitInfo hit;
    hit[0] = hit[1] = 0.5f;
    storeGridHit(&net, hit);
    net.lastSnappedPoint = &target;
    view().Redraw();
    const Rgba plain = centre(view());
    EXPECT_NE(centre(view()), (Rgba{152, 251, 50, 255})) << "editing is off";

    ASSERT_EQ(command("_MWEditGrid"), 0);
    view().Redraw();
    EXPECT_EQ(centre(view()), (Rgba{152, 251, 50, 255}));
    net.setLiveEdit(false);
    view().Redraw();
    EXPECT_EQ(centre(view()), plain);
    net.setLiveEdit(true);
    ASSERT_TRUE(hosttest::passes(run("!view 0 wireframe")));
    EXPECT_TRUE(drawnNear(view(), 160, 120, Rgba{152, 251, 152, 255}));
    net.lastSnappedPoint = nullptr;
}

} // namespace
