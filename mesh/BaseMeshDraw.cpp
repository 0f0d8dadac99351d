// Drawing of a base mesh: facets, the whole mesh with thinning, listed facets
// with their value colours.
#include "mesh/BaseMesh.h"

#include <GL/gl.h>

#include <algorithm>

#include "display/ColorCoding.h"

namespace Mesh {

namespace {

constexpr int kHighlightFlag = 0x100;

} // namespace

// The drawing keeps its normal and corner in the last scratch slots, which
// the facet geometry it calls (normals, corners, centroids) does not use.
CBaseMesh::Direction& CBaseMesh::drawNormal()
{
    return workVectors[3];
}

CBaseMesh::Point& CBaseMesh::drawCorner()
{
    return workPoints[3];
}

bool CBaseMesh::drawFacet(int i, bool withNormal)
{
    const int n = getFacetSize(i);
    glBegin(n < 4 ? GL_TRIANGLES : n == 4 ? GL_QUADS : GL_POLYGON);
    if (withNormal && getFacetNormal(i, drawNormal()))
        glNormal3fv(drawNormal().data);
    for (int k = 0; k < n; ++k)
        if (getFacetCorner(i, k, drawCorner()))
            glVertex3fv(drawCorner().data);
    glEnd();
    return true;
}

void CBaseMesh::draw(int)
{
    if (!modified)
        return;
    glShadeModel(GL_FLAT);
    // Runs of whole triangles, and of whole quads, share one block: a block
    // of its own for each facet costs the driver a primitive record a
    // facet. A facet of another size, or with a corner that cannot be read,
    // is drawn alone.
    const int count = getFacetCount();
    GLenum block = 0; // the mode of the open block; 0 when none is open
    Point corners[4];
    for (int i = 0; i < count; ++i) {
        const int n = getFacetSize(i);
        bool whole = n == 3 || n == 4;
        // Read at once where the mesh can; else corner by corner, which
        // says which corner cannot be read.
        float xyz[12];
        if (whole && readFacetCorners(i, xyz, 4) == n) {
            for (int k = 0; k < n; ++k)
                std::copy_n(xyz + 3 * k, 3, corners[k].data);
        } else {
            for (int k = 0; k < n && whole; ++k)
                whole = getFacetCorner(i, k, corners[k]);
        }
        const GLenum mode = !whole ? 0 : n == 3 ? GL_TRIANGLES : GL_QUADS;
        if (block != 0 && block != mode) {
            glEnd();
            block = 0;
        }
        if (mode == 0) {
            drawFacet(i, true);
            continue;
        }
        if (block == 0) {
            glBegin(mode);
            block = mode;
        }
        if (getFacetNormal(i, drawNormal()))
            glNormal3fv(drawNormal().data);
        for (int k = 0; k < n; ++k)
            glVertex3fv(corners[k].data);
    }
    if (block != 0)
        glEnd();
    modified = false;
}

void CBaseMesh::drawFacets(int flags, const int* idx, int n)
{
    if (idx == nullptr || n <= 0)
        return;
    glEnable(GL_LIGHTING);
    glShadeModel(GL_FLAT);
    static const GLfloat plain[4] = {0.6784f, 0.8471f, 0.902f, 1.0f};
    static const GLfloat highlight[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, (flags & kHighlightFlag) != 0 ? highlight : plain);

    Direction& normal = drawNormal();
    Point& corner = drawCorner();
    auto emit = [&](int facet, int size) {
        getFacetNormal(facet, normal);
        glNormal3fv(normal.data);
        for (int k = 0; k < size; ++k)
            if (getFacetCorner(facet, k, corner))
                glVertex3fv(corner.data);
    };
    // Pass 0 triangles, pass 1 quads (one block each), pass 2 the rest.
    int drawn = 0;
    for (int pass = 0; pass < 3 && drawn < n; ++pass) {
        if (pass == 0)
            glBegin(GL_TRIANGLES);
        else if (pass == 1)
            glBegin(GL_QUADS);
        for (int k = 0; k < n && drawn < n; ++k) {
            const int size = getFacetSize(idx[k]);
            const bool take = pass == 0   ? size == 3
                              : pass == 1 ? size == 4
                                          : size != 3 && size != 4;
            if (!take)
                continue;
            if (pass == 2)
                glBegin(GL_POLYGON);
            emit(idx[k], size);
            if (pass == 2)
                glEnd();
            ++drawn;
        }
        if (pass < 2)
            glEnd();
    }
    if (!hasFacetValues())
        return;
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glPointSize(2.0f);
    float rgba[4];
    glBegin(GL_POINTS);
    for (int k = 0; k < n; ++k)
        if (getFacetValueColour(idx[k], rgba) && getFacetCentroid(idx[k], corner)) {
            glColor4fv(rgba);
            glVertex3fv(corner.data);
        }
    glEnd();
}

void CBaseMesh::drawFacetList(int flags, const Kor::List<int>& list)
{
    drawFacets(flags, list.data, list.count);
}

bool CBaseMesh::getFacetValueColour(int i, float rgba[4])
{
    if (i < 0 || i >= getFacetCount() || i >= facetValues.count)
        return false;
    hueBandColour(facetValues.data[i], valueMin, valueMax, rgba, 0, 0, 360, true, 0.7, 0.5);
    return true;
}

} // namespace Mesh
