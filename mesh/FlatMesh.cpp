// Storage, filling, editing, deletion with undo and flipping of CFlatMesh.

#include "mesh/FlatMesh.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace {

// Undo record of a polygon deletion: the stream positions of the deleted
// polygons in the order they were listed. CFlatMesh::undo recognises it and
// puts the positions back into the polygon starts; its own undo does nothing.
class CUndoDelete : public Mesh::CMeshUndoItem {
public:
    CFlatMesh* mesh;
    Kor::List<int> starts;

    explicit CUndoDelete(CFlatMesh* m) : mesh(m) {}
    ~CUndoDelete() override = default;
    bool undo() override { return false; }
};

} // namespace

CFlatMesh::CFlatMesh()
{
    header.setText(0, polTitle);
    header.setText(64, polCreator);
    for (int offset = CPOLHeader::vertexCountOffset; offset <= CPOLHeader::thirdBytesOffset;
         offset += 4)
        header.setWord(offset, 0);
    coordinates.init(10000, vertexBlockSize);
    polygonStream.init(10000, streamBlockSize);
    polygonStarts.init(10000, startsBlockSize);
    modified = true;
}

CFlatMesh::~CFlatMesh()
{
    polygonStarts.release();
    polygonStream.release();
    coordinates.release();
    CFlatMesh::clearDerivedData();
    groupIds.removeAll();
    facetInfo.removeAll();
}

// ---- Counts ----

int CFlatMesh::getTriangleCount()
{
    return int(header.word(CPOLHeader::polygonCountOffset));
}

int CFlatMesh::getFacetCount()
{
    return polygonStarts.count;
}

int CFlatMesh::getVertexCount(bool)
{
    return int(header.word(CPOLHeader::vertexCountOffset));
}

int CFlatMesh::getPolygonSize(int p)
{
    return getFacetSize(p);
}

// ---- Vertices ----

int CFlatMesh::addVertex(const Point& v)
{
    coordinates.push(v.data[0]);
    coordinates.push(v.data[1]);
    coordinates.push(v.data[2]);
    const std::uint32_t index = header.word(CPOLHeader::vertexCountOffset);
    header.setWord(CPOLHeader::vertexCountOffset, index + 1);
    return int(index);
}

// A vertex is readable when the header counts it and its coordinates are
// stored: a header count set by a reader never lets a read run past the
// coordinate blocks.
bool CFlatMesh::getVertex(int i, Point& out)
{
    if (i < 0 || i >= getVertexCount(true) || long(i) * 3 + 2 >= long(coordinates.count))
        return false;
    const float* xyz = coordinates.pointer(3 * i);
    out.data[0] = xyz[0];
    out.data[1] = xyz[1];
    out.data[2] = xyz[2];
    return true;
}

bool CFlatMesh::setVertex(int i, const Point& v)
{
    if (i < 0 || i >= getVertexCount(true) || long(i) * 3 + 2 >= long(coordinates.count))
        return false;
    float* xyz = coordinates.pointer(3 * i);
    xyz[0] = v.data[0];
    xyz[1] = v.data[1];
    xyz[2] = v.data[2];
    ++geometryVersion;
    return true;
}

// ---- Polygons ----

int CFlatMesh::addPolygon(const int* indices, int n, int groupId)
{
    if (n < 0 || (n > 0 && indices == nullptr))
        return -1;
    polygonStarts.push(polygonStream.count);
    polygonStream.push(1);
    polygonStream.push(n);
    for (int k = 0; k < n; ++k)
        polygonStream.push(indices[k]);
    header.setWord(CPOLHeader::polygonCountOffset, std::uint32_t(polygonStarts.count));
    if (groupId > -1)
        groupIds.append(groupId);
    return polygonStarts.count - 1;
}

int CFlatMesh::addTriangle(const Point& a, const Point& b, const Point& c)
{
    const int corners[3] = {addVertex(a), addVertex(b), addVertex(c)};
    return addPolygon(corners, 3, -1);
}

int CFlatMesh::addQuad(const Point& a, const Point& b, const Point& c, const Point& d, bool split)
{
    const int i0 = addVertex(a), i1 = addVertex(b), i2 = addVertex(c), i3 = addVertex(d);
    if (!split) {
        const int quad[4] = {i0, i1, i2, i3};
        return addPolygon(quad, 4, -1);
    }
    const int first[3] = {i0, i1, i2};
    const int second[3] = {i0, i2, i3};
    addPolygon(first, 3, -1);
    return addPolygon(second, 3, -1);
}

int CFlatMesh::cornerCountPosition(int p) const
{
    if (p < 0 || p >= polygonStarts.count)
        return -1;
    const int start = polygonStarts[p];
    if (start < 0 || start + 1 >= polygonStream.count)
        return -1;
    return start + 1;
}

int CFlatMesh::getFacetSize(int p)
{
    const int at = cornerCountPosition(p);
    return at < 0 ? 0 : polygonStream[at];
}

int CFlatMesh::getPolygonVertexIndex(int p, int k)
{
    if (p < 0 || p >= polygonStarts.count) {
        std::cout << "pol out of range. " << p << " " << polygonStarts.count << std::endl;
        return 0;
    }
    const int at = cornerCountPosition(p);
    if (at < 0)
        return -1;
    const int n = polygonStream[at];
    // A polygon without corners, or one whose corners run past the end of
    // the stream, has no corner to give: reading one would return the next
    // record's data or read beyond the stream.
    if (n <= 0 || long(at) + n >= long(polygonStream.count))
        return -1;
    k %= n;
    if (k < 0)
        k += n;
    return polygonStream[at + 1 + k];
}

bool CFlatMesh::getFacetCorner(int p, int k, Point& out)
{
    const int v = getPolygonVertexIndex(p, k);
    if (v >= 0 && long(v) * 3 < long(coordinates.count)) {
        const float* xyz = coordinates.pointer(3 * v);
        out.data[0] = xyz[0];
        out.data[1] = xyz[1];
        out.data[2] = xyz[2];
        return true;
    }
    std::cout << "pIndex out of range. " << v << " " << coordinates.count << std::endl;
    return false;
}

int CFlatMesh::readFacetCorners(int p, float* out, int capacity)
{
    const int at = cornerCountPosition(p);
    if (at < 0)
        return -1;
    const int n = polygonStream[at];
    if (n < 1 || n > capacity || at + n >= polygonStream.count)
        return -1;
    for (int k = 0; k < n; ++k) {
        const int v = polygonStream[at + 1 + k];
        if (v < 0 || long(v) * 3 + 2 >= long(coordinates.count))
            return -1;
        const float* xyz = coordinates.pointer(3 * v);
        out[3 * k] = xyz[0];
        out[3 * k + 1] = xyz[1];
        out[3 * k + 2] = xyz[2];
    }
    return n;
}

bool CFlatMesh::getTriangleRecord(int p, float rec[12])
{
    if (getFacetSize(p) != 3)
        return false;
    Point corner;
    for (int k = 0; k < 3; ++k) {
        if (getFacetCorner(p, k, corner))
            std::copy(corner.data, corner.data + 3, rec + 3 + 3 * k);
    }
    return true;
}

bool CFlatMesh::getTriangleCorner(int, int, Point&)
{
    return false;
}

int CFlatMesh::getPolygonStart(int i)
{
    if (i < 0 || i >= polygonStarts.count)
        return -1;
    return polygonStarts[i];
}

bool CFlatMesh::appendPolygonStarts(const int* starts, int n)
{
    if (starts == nullptr)
        return true;
    for (int i = 0; i < n; ++i)
        polygonStarts.push(starts[i]);
    return true;
}

// ---- Facet info ----

bool CFlatMesh::setFacetInfo(int i, int tag, double first, double second)
{
    if (i < 0)
        return false;
    while (facetInfo.count < i + 1)
        facetInfo.append(CFacetInfo());
    CFacetInfo& info = facetInfo.data[i];
    info.tag = tag;
    info.first = first;
    info.second = second;
    return true;
}

bool CFlatMesh::getFacetInfo(int i, int& tag, double& first, double& second)
{
    if (i < 0 || i >= facetInfo.count)
        return false;
    const CFacetInfo& info = facetInfo.data[i];
    tag = info.tag;
    first = info.first;
    second = info.second;
    return true;
}

// ---- Normals ----

bool CFlatMesh::getVertexNormal(int i, Direction& out)
{
    if (derived.vertexCount == 0 || derived.vertexVectors == nullptr || i < 0 ||
        i >= derived.vertexCount)
        return false;
    const float* n = derived.vertexVectors + 3 * long(i);
    std::copy(n, n + 3, out.data);
    return std::fabs(n[0]) + std::fabs(n[1]) + std::fabs(n[2]) > 1e-8;
}

bool CFlatMesh::getFacetNormal(int p, Direction& out)
{
    if (derived.vertexCount == 0)
        return Mesh::CBaseMesh::getFacetNormal(p, out);
    if (derived.facetNormals == nullptr || p < 0 || p >= derived.facetCount)
        return false;
    const float* n = derived.facetNormals + 3 * long(p);
    std::copy(n, n + 3, out.data);
    return true;
}

// ---- Editing ----

bool CFlatMesh::deleteFacets(const int* list, int n, bool recordUndo)
{
    if (n <= 0 || list == nullptr)
        return false;
    modified = true;

    CUndoDelete* item = recordUndo ? new CUndoDelete(this) : nullptr;
    // Recording and marking in one pass: a polygon listed twice is recorded
    // once, so the undo cannot bring it back twice.
    for (int j = 0; j < n; ++j) {
        const int p = list[j];
        if (p < 0 || p >= polygonStarts.count || polygonStarts[p] == -1)
            continue;
        if (item != nullptr)
            item->starts.append(polygonStarts[p]);
        polygonStarts[p] = -1;
    }
    if (item != nullptr)
        addUndoItem(item);

    // Survivors keep their relative order.
    int kept = 0;
    for (int i = 0; i < polygonStarts.count; ++i) {
        if (polygonStarts[i] != -1)
            polygonStarts[kept++] = polygonStarts[i];
    }
    polygonStarts.count = kept;
    ++geometryVersion;

    clearDerivedData();
    releaseFacetHash();
    return true;
}

bool CFlatMesh::undo()
{
    if (undoItems.count <= 0)
        return false;
    Mesh::CMeshUndoItem* item = undoItems.data[undoItems.count - 1];
    if (auto* deletion = dynamic_cast<CUndoDelete*>(item)) {
        appendPolygonStarts(deletion->starts.data, deletion->starts.count);
        ++geometryVersion;
        releaseFacetHash();
        modified = true;
    } else if (item != nullptr) {
        item->undo();
    }
    delete item;
    undoItems.removeAt(undoItems.count - 1);
    return true;
}

void CFlatMesh::reversePolygon(int p)
{
    const int at = cornerCountPosition(p);
    if (at < 0)
        return;
    const int n = polygonStream[at];
    if (n < 2 || long(at) + n >= long(polygonStream.count))
        return;
    for (int j = 0; j < n / 2; ++j)
        std::swap(polygonStream[at + 1 + j], polygonStream[at + n - j]);
    ++geometryVersion;
}

bool CFlatMesh::flipFacets(const int* list, int n)
{
    if (n == 0 || list == nullptr)
        return false;
    for (int j = 0; j < n; ++j)
        reversePolygon(list[j]);
    modified = true;
    return true;
}

bool CFlatMesh::flipFacet(int p)
{
    reversePolygon(p);
    return true;
}

bool CFlatMesh::getBoundaryEdgeFrameByVertices(int a, int b, Direction& side, Direction& normal)
{
    return Mesh::CBaseMesh::getBoundaryEdgeFrameByVertices(a, b, side, normal);
}

bool CFlatMesh::slice(int v, Kor::Set<Slice>& out, const Kor::List<int>* edgeList, float dist,
                      int tag)
{
    return Mesh::CBaseMesh::slice(v, out, edgeList, dist, tag);
}
