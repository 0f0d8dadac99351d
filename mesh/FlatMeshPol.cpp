// CFlatMesh::readPOL: reading POL images from streams and files into the
// flat mesh's vertex store, polygon stream and header record.
//
// Every count of the header is checked against the bytes the image holds,
// and the polygon records are checked against the polygon block, before the
// mesh is touched: a truncated or corrupt image fails without change to the
// mesh and without allocations beyond the bytes actually read.

#include "foundation/PointSequence.h"
#include "mesh/FlatMesh.h"
#include "mesh/PolFormat.h"
#include "platform/RegularFile.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <fstream>
#include <iostream>
#include <vector>

namespace {

// Reads n bytes in pieces, so that memory grows only with the bytes that
// actually arrive, whatever length the caller claimed. False when the
// stream ends early.
bool readBlock(std::istream& in, std::uint64_t n, std::vector<unsigned char>& out)
{
    constexpr std::uint64_t piece = 1 << 20;
    out.clear();
    while (out.size() < n) {
        const std::size_t want = std::size_t(std::min(piece, n - out.size()));
        const std::size_t old = out.size();
        out.resize(old + want);
        in.read(reinterpret_cast<char*>(out.data() + old), std::streamsize(want));
        if (std::size_t(in.gcount()) != want) {
            out.clear();
            return false;
        }
    }
    return true;
}

// Word i of a block of 4-byte values, little-endian or byte-reversed.
std::uint32_t blockWord(const std::vector<unsigned char>& block, std::size_t i, bool swapped)
{
    const unsigned char* p = block.data() + 4 * i;
    if (swapped)
        return std::uint32_t(p[3]) | std::uint32_t(p[2]) << 8 | std::uint32_t(p[1]) << 16 |
               std::uint32_t(p[0]) << 24;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

int blockInt(const std::vector<unsigned char>& block, std::size_t i, bool swapped)
{
    return std::bit_cast<int>(blockWord(block, i, swapped));
}

} // namespace

bool CFlatMesh::readPOL(std::istream& in, std::uint32_t available, bool wholeOnly)
{
    CPOLHeader fileHeader;
    bool swapped = false;
    if (!readPOLHeader(in, fileHeader, swapped, available)) {
        std::cout << "POL header unreadable or its sizes do not match the " << available
                  << " bytes of the image" << std::endl;
        return false;
    }

    const std::uint64_t vertexCount = fileHeader.word(CPOLHeader::vertexCountOffset);
    const std::uint64_t vertexBytes = fileHeader.word(CPOLHeader::vertexBytesOffset);
    const std::uint64_t polygonCount = fileHeader.word(CPOLHeader::polygonCountOffset);
    const std::uint64_t polygonBytes = fileHeader.word(CPOLHeader::polygonBytesOffset);

    // The counts must agree with the block sizes (which agree with the
    // available bytes): every vertex takes 12 bytes, every polygon at least
    // one word of its block.
    if (vertexBytes != 12 * vertexCount || polygonBytes % 4 != 0 ||
        polygonCount * 4 > polygonBytes) {
        std::cout << "POL header counts disagree with its block sizes" << std::endl;
        return false;
    }
    const std::uint64_t polygonWords = polygonBytes / 4;
    // What the mesh would not hold of the image, for a read of it whole.
    const auto notWhole = [](const std::string& what) {
        std::cout << "POL image not read: " << what << ", and the image is read whole or not at all"
                  << std::endl;
        return false;
    };
    if (wholeOnly && (fileHeader.word(CPOLHeader::thirdCountOffset) != 0 ||
                      fileHeader.word(CPOLHeader::thirdBytesOffset) != 0))
        return notWhole("it holds a third block, which the mesh does not keep");

    // The mesh indexes its stores with int.
    const std::uint64_t oldVertices = std::uint64_t(std::max(getVertexCount(true), 0));
    if (3 * (oldVertices + vertexCount) > std::uint64_t(INT_MAX) ||
        std::uint64_t(polygonStream.count) + polygonWords > std::uint64_t(INT_MAX) ||
        std::uint64_t(polygonStarts.count) + polygonCount > std::uint64_t(INT_MAX)) {
        std::cout << "POL image too large for the mesh" << std::endl;
        return false;
    }

    std::vector<unsigned char> vertexBlock, polygonBlock;
    if (!readBlock(in, vertexBytes, vertexBlock) || !readBlock(in, polygonBytes, polygonBlock)) {
        std::cout << "POL image ends before its blocks do" << std::endl;
        return false;
    }

    // A vertex with a coordinate that is not finite is not taken.
    auto finiteVertex = [&](std::uint64_t v) {
        const float xyz[3] = {std::bit_cast<float>(blockWord(vertexBlock, 3 * v, swapped)),
                              std::bit_cast<float>(blockWord(vertexBlock, 3 * v + 1, swapped)),
                              std::bit_cast<float>(blockWord(vertexBlock, 3 * v + 2, swapped))};
        return Mesh::isFinitePoint(xyz);
    };

    // First pass: the record structure must lie inside the polygon block;
    // polygons with a vertex index outside the file's vertices, without a
    // loop, or with a negative corner count are noted as invalid (once each),
    // the others with a vertex that is not finite as not finite.
    std::vector<int> invalid, notFinite;
    std::string firstInvalid; // what is wrong with the first invalid polygon
    std::int64_t moreLoops = -1; // the first polygon of more than one loop
    std::size_t position = 0;
    auto polygonBlockEnds = [](std::uint64_t p) {
        std::cout << "POL polygon block ends inside polygon " << p << std::endl;
        return false;
    };
    for (std::uint64_t p = 0; p < polygonCount; ++p) {
        if (position >= polygonWords)
            return polygonBlockEnds(p);
        const int loops = blockInt(polygonBlock, position++, swapped);
        if (loops > 1 && moreLoops < 0)
            moreLoops = std::int64_t(p);
        // What is wrong with the polygon is put in words for the first
        // invalid one only.
        const bool first = invalid.empty();
        std::string fault;
        bool bad = loops < 1;
        if (bad && first)
            fault = "has " + std::to_string(loops) + " loops";
        bool finite = true;
        for (int l = 0; l < loops; ++l) {
            if (position >= polygonWords)
                return polygonBlockEnds(p);
            const int corners = blockInt(polygonBlock, position++, swapped);
            if (corners < 0) {
                if (!bad && first)
                    fault = "has a loop of " + std::to_string(corners) + " corners";
                bad = true;
                continue;
            }
            if (std::uint64_t(corners) > polygonWords - position)
                return polygonBlockEnds(p);
            for (int k = 0; k < corners; ++k) {
                const int index = blockInt(polygonBlock, position++, swapped);
                if (index < 0 || std::uint64_t(index) >= vertexCount) {
                    if (!bad && first)
                        fault = "names vertex " + std::to_string(index) + ", of " +
                                std::to_string(vertexCount);
                    bad = true;
                } else if (finite && !finiteVertex(std::uint64_t(index))) {
                    finite = false;
                }
            }
        }
        if (bad && first)
            firstInvalid = "polygon " + std::to_string(p) + " " + fault;
        if (bad)
            invalid.push_back(int(p));
        else if (!finite)
            notFinite.push_back(int(p));
    }

    // Every word of the block belongs to a polygon record: words left over
    // mean that a count inside the records is wrong, and then no record
    // after it can be told from the words around it.
    if (position != polygonWords) {
        std::cout << "POL polygon block holds " << polygonWords - position
                  << " words after its last polygon: its records do not match it" << std::endl;
        return false;
    }

    // The mesh keeps the first loop of a polygon (its writer writes one),
    // and no polygon whose records do not add up. Coordinates that are not
    // finite are values, not counts: a mesh may have held them (a host
    // mesh's), and they are left out as from any file, and said.
    if (wholeOnly && !invalid.empty())
        return notWhole(firstInvalid);
    if (wholeOnly && moreLoops >= 0)
        return notWhole("polygon " + std::to_string(moreLoops) + " has more than one loop");

    // Second pass: the image is sound; append it. When the mesh already
    // holds vertices the file's indices are moved past them, and past the
    // vertices left out before them: moved gives the mesh vertex of each
    // file vertex then (-1 for one left out).
    const bool wasEmpty = oldVertices == 0 && polygonStarts.count == 0;
    const int firstPolygon = polygonStarts.count;
    std::vector<int> moved;
    for (std::uint64_t v = 0; v < vertexCount && moved.empty(); ++v)
        if (!finiteVertex(v))
            moved.assign(vertexCount, -1);
    std::uint64_t keptVertices = 0;
    for (std::uint64_t v = 0; v < vertexCount; ++v) {
        if (!moved.empty()) {
            if (!finiteVertex(v))
                continue;
            moved[v] = int(oldVertices + keptVertices);
        }
        for (std::uint64_t i = 3 * v; i < 3 * v + 3; ++i)
            coordinates.push(std::bit_cast<float>(blockWord(vertexBlock, i, swapped)));
        ++keptVertices;
    }
    position = 0;
    for (std::uint64_t p = 0; p < polygonCount; ++p) {
        polygonStarts.push(polygonStream.count);
        const int loops = blockInt(polygonBlock, position++, swapped);
        polygonStream.push(loops);
        for (int l = 0; l < loops; ++l) {
            const int corners = blockInt(polygonBlock, position++, swapped);
            polygonStream.push(corners);
            for (int k = 0; k < corners; ++k) {
                const int index = blockInt(polygonBlock, position++, swapped);
                const bool valid = index >= 0 && std::uint64_t(index) < vertexCount;
                if (valid)
                    polygonStream.push(moved.empty() ? index + int(oldVertices) : moved[index]);
                else
                    polygonStream.push(index);
            }
        }
    }
    if (wasEmpty)
        header = fileHeader;
    header.setWord(CPOLHeader::vertexCountOffset, std::uint32_t(oldVertices + keptVertices));
    header.setWord(CPOLHeader::polygonCountOffset, std::uint32_t(polygonStarts.count));

    if (!invalid.empty())
        std::cout << "left out " << invalid.size() << " facets"
                  << (invalid.size() == 1 ? ": " : ", the first: ") << firstInvalid << std::endl;
    Mesh::reportNonFiniteFacets(long(notFinite.size()));
    invalid.insert(invalid.end(), notFinite.begin(), notFinite.end());
    if (!invalid.empty()) {
        for (int& p : invalid)
            p += firstPolygon;
        deleteFacets(invalid.data(), int(invalid.size()), false);
    }
    modified = true;
    computeBoundingBox();
    return true;
}

bool CFlatMesh::readPOL(const char* path)
{
    const std::int64_t available = fileSize(path);
    // An image's length is a 32-bit value.
    std::ifstream in;
    Platform::openRegularStream(in, path, std::ios::binary);
    if (available < 0 || !in.is_open()) {
        std::cout << "cannot open POL file " << path << std::endl;
        return false;
    }
    if (available > std::int64_t(UINT32_MAX)) {
        std::cout << "POL file larger than an image can be: " << path << std::endl;
        return false;
    }
    return readPOL(in, std::uint32_t(available));
}
