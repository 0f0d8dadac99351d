// Binary STL writing of any mesh (Mesh::CBaseMesh::writeBinarySTL).

#include "mesh/BaseMesh.h"
#include "mesh/MeshGeometry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>

namespace {

constexpr int kHeaderBytes = 80;
constexpr int kRecordBytes = 50;

// The header text of the files this system writes. The numbers of the file
// are little-endian whatever the text says; the text is kept as it is
// because it is what written files have always carried.
constexpr char kHeaderText[] =
    "Binary Big-Endian STL-File generated  by Fenwo GmbH, Vorlach, Germany.";
static_assert(sizeof kHeaderText <= kHeaderBytes, "header text and its NUL fit the header");

void encodeUint32(unsigned char* b, std::uint32_t v)
{
    b[0] = static_cast<unsigned char>(v & 0xffu);
    b[1] = static_cast<unsigned char>((v >> 8) & 0xffu);
    b[2] = static_cast<unsigned char>((v >> 16) & 0xffu);
    b[3] = static_cast<unsigned char>((v >> 24) & 0xffu);
}

void encodeFloat(unsigned char* b, float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    encodeUint32(b, bits);
}

void encodePoint(unsigned char* b, const CVertex<float, 3>& p)
{
    for (int c = 0; c < 3; ++c)
        encodeFloat(b + 4 * c, p.data[c]);
}

} // namespace

namespace Mesh {

bool CBaseMesh::writeBinarySTL(const char* path, const int* facets, int facetCount)
{
    if (path == nullptr)
        return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open())
        return false;

    unsigned char header[kHeaderBytes + 4] = {};
    std::memcpy(header, kHeaderText, sizeof kHeaderText);

    const int meshFacets = getFacetCount();
    const bool all = facets == nullptr || facetCount < 0;
    const int listed = all ? meshFacets : std::min(facetCount, meshFacets);
    auto facetAt = [&](int j) { return all ? j : facets[j]; };

    // Every facet of n >= 3 corners gives n - 2 triangles; smaller ones none.
    std::uint32_t expected = 0;
    for (int j = 0; j < listed; ++j) {
        const int n = getFacetSize(facetAt(j));
        if (n >= 3)
            expected += std::uint32_t(n - 2);
    }
    encodeUint32(header + kHeaderBytes, expected);
    out.write(reinterpret_cast<const char*>(header), sizeof header);

    std::uint32_t written = 0;
    unsigned char record[kRecordBytes] = {};
    CVertex<float, 3> a, b, c;
    CVector<float, 3> normal;
    auto emit = [&](int facet, int ka, int kb, int kc) {
        // A triangle with an unreadable corner is left out rather than
        // written with stale coordinates; the count is corrected below.
        if (!getFacetCorner(facet, ka, a) || !getFacetCorner(facet, kb, b) ||
            !getFacetCorner(facet, kc, c))
            return;
        triangleNormalAndArea(a, b, c, normal);
        encodePoint(record, normal);
        encodePoint(record + 12, a);
        encodePoint(record + 24, b);
        encodePoint(record + 36, c);
        record[48] = record[49] = 0;
        out.write(reinterpret_cast<const char*>(record), kRecordBytes);
        ++written;
    };

    for (int j = 0; j < listed; ++j) {
        const int facet = facetAt(j);
        const int n = getFacetSize(facet);
        if (n < 3)
            continue;
        // Triangulation by halving: pass s takes the corners 0, s, 2s, ... of
        // the polygon left by the previous pass and cuts off every other
        // one. Corner index n is corner 0 again.
        int step = 1;
        int made = 0;
        for (int level = 1; level <= 2 * n; ++level) {
            if (step < n)
                for (int a0 = 0; a0 + step < n; a0 += 2 * step) {
                    emit(facet, a0, a0 + step, std::min(a0 + 2 * step, n));
                    ++made;
                }
            step *= 2;
            if (made >= n - 2)
                break;
        }
    }

    if (written != expected) {
        std::cout << "oops wCount != facetCount !! attention" << written
                  << " facetCount=" << expected << std::endl;
        encodeUint32(header + kHeaderBytes, written);
        out.seekp(kHeaderBytes);
        out.write(reinterpret_cast<const char*>(header + kHeaderBytes), 4);
    }
    out.close();
    return !out.fail();
}

} // namespace Mesh
