#include "mesh/PolFormat.h"
#include "mesh/FlatMesh.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

// The largest single allocation since the last reset, to show that corrupt
// images cannot make the reader allocate what their counts claim.
static std::atomic<std::size_t> largestAllocation{0};

[[gnu::noinline]] void* operator new(std::size_t n)
{
    std::size_t seen = largestAllocation.load();
    while (n > seen && !largestAllocation.compare_exchange_weak(seen, n)) {
    }
    if (void* p = std::malloc(n != 0 ? n : 1))
        return p;
    throw std::bad_alloc();
}
// clang-format off
[[gnu::noinline]] void* operator new[](std::size_t n) { return operator new(n); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
// The library's temporary buffers come through the nothrow forms; they must pair with the above.
[[gnu::noinline]] void* operator new(std::size_t n, const std::nothrow_t&) noexcept { try { return operator new(n); } catch (...) { return nullptr; } }
[[gnu::noinline]] void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { try { return operator new(n); } catch (...) { return nullptr; } }
[[gnu::noinline]] void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
// clang-format on

namespace {

using Point = Mesh::CBaseMesh::Point;

std::string serialize(Mesh::CBaseMesh& mesh)
{
    char* buffer = nullptr;
    unsigned length = 0;
    EXPECT_TRUE(serializeMesh(&mesh, &buffer, false, &length));
    std::string image(buffer != nullptr ? buffer : "", length);
    delete[] buffer;
    return image;
}

bool readImage(CFlatMesh& mesh, const std::string& image, std::uint32_t available)
{
    std::istringstream in(image, std::ios::in | std::ios::binary);
    return mesh.readPOL(in, available);
}

bool readImage(CFlatMesh& mesh, const std::string& image)
{
    return readImage(mesh, image, std::uint32_t(image.size()));
}

std::uint32_t wordAt(const std::string& image, std::size_t offset)
{
    std::uint32_t w = 0;
    for (int b = 3; b >= 0; --b)
        w = w << 8 | static_cast<unsigned char>(image[offset + std::size_t(b)]);
    return w;
}

// An image built by hand from the header words V, vertex bytes, P, polygon
// bytes and the body words; the body starts with three vertices at 1.0f.
std::string handImage(std::uint32_t v, std::uint32_t vertexBytes, std::uint32_t p,
                      std::uint32_t polygonBytes, const std::vector<std::uint32_t>& polygons)
{
    std::vector<std::uint32_t> words(128, 0);
    words[49] = v;
    words[50] = vertexBytes;
    words[51] = p;
    words[52] = polygonBytes;
    words.insert(words.end(), 9, 0x3f800000u);
    words.insert(words.end(), polygons.begin(), polygons.end());
    std::string image;
    for (std::uint32_t w : words)
        for (int b = 0; b < 4; ++b)
            image.push_back(char((w >> (8 * b)) & 0xff));
    return image;
}

// Four triangles, a quad and a pentagon over nine vertices.
void buildSample(CFlatMesh& mesh)
{
    for (int i = 0; i < 9; ++i)
        mesh.addVertex(Point(float(i % 3), float(i / 3), 0.25f * float(i * i) - 1.5f));
    const int polygons[] = {0, 1, 4, 0, 4, 3, 1, 2, 5, 4, 8, 7, 3, 4, 7, 6, 1, 5, 8, 4, 2};
    const int sizes[] = {3, 3, 3, 3, 4, 5};
    for (int i = 0, start = 0; i < 6; start += sizes[i++])
        mesh.addPolygon(polygons + start, sizes[i], -1);
}

// A mesh whose storage answers counts but no vertices.
class VertexlessMesh : public Mesh::CBaseMesh {
public:
    int getTriangleCount() override { return 1; }
    bool getTriangleRecord(int, float[12]) override { return false; }
    bool getTriangleCorner(int, int, Point&) override { return false; }
};

} // namespace

TEST(PolFormat, EmptyAndSingleTriangleImageLayout)
{
    CFlatMesh empty;
    const std::string emptyImage = serialize(empty);
    ASSERT_EQ(emptyImage.size(), 512u);
    for (std::size_t offset = 196; offset <= 216; offset += 4)
        EXPECT_EQ(wordAt(emptyImage, offset), 0u);
    EXPECT_STREQ(emptyImage.c_str(), "PolyWorks File Ver 1.0");
    EXPECT_STREQ(emptyImage.c_str() + 64, "Form Fenwo GmbH Vorlach");
    CFlatMesh emptyBack;
    ASSERT_TRUE(readImage(emptyBack, emptyImage));
    EXPECT_EQ(emptyBack.getVertexCount(true) + emptyBack.getFacetCount(), 0);

    CFlatMesh one;
    one.addTriangle(Point(0, 0, 0), Point(1, 0, 0), Point(0, 1, 0));
    const std::string image = serialize(one);
    ASSERT_EQ(image.size(), 568u);
    const std::uint32_t counts[6] = {3, 36, 1, 20, 0, 0};
    const std::uint32_t record[5] = {1, 3, 0, 1, 2};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(wordAt(image, 196 + 4 * std::size_t(i)), counts[i]);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(wordAt(image, 548 + 4 * std::size_t(i)), record[i]);
}

TEST(PolFormat, WriteReadWriteIsByteIdenticalThroughStreamFileAndReversedBytes)
{
    CFlatMesh mesh;
    buildSample(mesh);
    const std::string image = serialize(mesh);
    ASSERT_EQ(image.size(), 512u + 12u * 9u + 4u * (4u * 5u + 6u + 7u));

    CFlatMesh back;
    ASSERT_TRUE(readImage(back, image));
    EXPECT_EQ(back.getFacetCount(), 6);
    EXPECT_EQ(back.getPolygonVertexIndex(5, 2), 8);
    EXPECT_FLOAT_EQ(back.getBoundingBox().max.data[2], 0.25f * 64 - 1.5f);
    EXPECT_TRUE(back.modified);
    EXPECT_EQ(serialize(back), image);

    const std::string path = mwtest::scratchPath("pol_format_test.pol");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        ASSERT_TRUE(writePOL(mesh, out));
    }
    CFlatMesh fromFile;
    ASSERT_TRUE(fromFile.readPOL(path.c_str()));
    EXPECT_EQ(serialize(fromFile), image);
    std::filesystem::remove(path);
    EXPECT_FALSE(fromFile.readPOL(path.c_str()));

    // As a big-endian machine writes it: every 4-byte value reversed, the
    // header texts unchanged.
    std::string reversed = image;
    auto reverseWordAt = [&](std::size_t at) {
        std::reverse(reversed.begin() + long(at), reversed.begin() + long(at) + 4);
    };
    for (std::size_t at = 196; at <= 216; at += 4)
        reverseWordAt(at);
    for (std::size_t at = 512; at < reversed.size(); at += 4)
        reverseWordAt(at);
    CFlatMesh swapped;
    ASSERT_TRUE(readImage(swapped, reversed));
    EXPECT_EQ(serialize(swapped), image);
}

TEST(PolFormat, InvalidVertexIndicesDeleteTheirPolygonsOnce)
{
    // Polygon 1 has two corners at index V, polygon 3 has no loop; both go.
    const std::vector<std::uint32_t> polygons = {1, 3, 0, 1, 2, 1, 3, 3, 3, 1, 1, 3, 2, 1, 0, 0};
    CFlatMesh mesh;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(readImage(mesh, handImage(3, 36, 4, 64, polygons)));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "left out 2 facets, the first: polygon 1 names vertex 3, of 3\n");
    EXPECT_EQ(mesh.getFacetCount(), 2);
    EXPECT_EQ(mesh.getTriangleCount(), 4);
    EXPECT_EQ(mesh.getPolygonVertexIndex(1, 0), 2);
}

// Damage at every kind of place of the polygon block: counts too small,
// too large and past an int, indices past the vertices. A record that is
// wrong in itself is left out and told in one line; a count that leaves
// words of the block over (the records after it cannot be told from the
// words around them) refuses the image, which was read in part without a
// word. And any one flipped bit of a written image is read whole, told as
// left out, or refused, never lost without a word.
TEST(PolFormat, DamagedPolygonRecordsAreToldOrRefused)
{
    const std::uint32_t minus1 = 0xffffffffu, pastInt = 0x80000000u;
    const struct {
        const char* damage;
        std::vector<std::uint32_t> polygons; // two polygons over three vertices
        bool read;
        int facets;
        std::string printed;
    } cases[] = {
        {"whole", {1, 3, 0, 1, 2, 1, 3, 2, 1, 0}, true, 2, ""},
        {"corner count too small", {1, 3, 0, 1, 2, 1, 2, 2, 1, 0}, false, 0,
         "POL polygon block holds 1 words after its last polygon: its records do not match it\n"},
        {"loop count too small", {1, 3, 0, 1, 2, 0, 3, 2, 1, 0}, false, 0,
         "POL polygon block holds 4 words after its last polygon: its records do not match it\n"},
        {"corner count too large", {1, 3, 0, 1, 2, 1, 4, 2, 1, 0}, false, 0,
         "POL polygon block ends inside polygon 1\n"},
        {"loop count past int", {1, 3, 0, 1, 2, pastInt, 3, 2, 1, 0}, false, 0,
         "POL polygon block holds 4 words after its last polygon: its records do not match it\n"},
        {"no loop, the block ending there", {1, 3, 0, 1, 2, 0}, true, 1,
         "left out 1 facets: polygon 1 has 0 loops\n"},
        {"negative corner count", {1, 3, 0, 1, 2, 1, minus1}, true, 1,
         "left out 1 facets: polygon 1 has a loop of -1 corners\n"},
        {"index past the vertices", {1, 3, 0, 1, 2, 1, 3, 2, 3, 0}, true, 1,
         "left out 1 facets: polygon 1 names vertex 3, of 3\n"},
        {"index past int", {1, 3, 0, pastInt, 2, 1, 3, 2, 1, minus1}, true, 0,
         "left out 2 facets, the first: polygon 0 names vertex -2147483648, of 3\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        const std::uint32_t bytes = std::uint32_t(4 * c.polygons.size());
        CFlatMesh mesh;
        testing::internal::CaptureStdout();
        const bool read = readImage(mesh, handImage(3, 36, 2, bytes, c.polygons));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        EXPECT_EQ(read, c.read);
        EXPECT_EQ(mesh.getFacetCount(), c.facets);
    }

    CFlatMesh sample;
    buildSample(sample);
    const std::string image = serialize(sample);
    for (std::size_t at = CPOLHeader::vertexCountOffset; at < image.size(); ++at)
        for (int bit : {0, 7}) {
            std::string flipped = image;
            flipped[at] = char(flipped[at] ^ (1 << bit));
            CFlatMesh mesh;
            testing::internal::CaptureStdout();
            const bool read = readImage(mesh, flipped);
            const std::string printed = testing::internal::GetCapturedStdout();
            bool whole = read && mesh.getFacetCount() == 6 && printed.empty();
            for (int p = 0; whole && p < 6; ++p) // a flipped index stays unseen; a size not
                whole = mesh.getFacetSize(p) == sample.getFacetSize(p);
            const bool told = read && mesh.getFacetCount() < 6 &&
                              printed.find("left out ") != std::string::npos;
            const bool refused = !read && mesh.getFacetCount() == 0 &&
                                 printed.find('\n') == printed.size() - 1;
            ASSERT_TRUE(whole || told || refused) << "byte " << at << " bit " << bit << ": "
                                                  << printed;
        }
}

TEST(PolFormat, ReadIntoNonEmptyMeshOffsetsVertexIndices)
{
    CFlatMesh source;
    source.addTriangle(Point(0, 0, 0), Point(1, 0, 0), Point(0, 1, 0));
    CFlatMesh mesh;
    mesh.addTriangle(Point(5, 5, 5), Point(6, 5, 5), Point(5, 6, 5));
    ASSERT_TRUE(readImage(mesh, serialize(source)));
    EXPECT_EQ(mesh.getVertexCount(true), 6);
    EXPECT_EQ(mesh.getTriangleCount(), 2);
    EXPECT_EQ(mesh.getPolygonVertexIndex(1, 0), 3);
    Point corner;
    ASSERT_TRUE(mesh.getFacetCorner(1, 1, corner));
    EXPECT_EQ(corner.data[0], 1.0f);
}

TEST(PolFormat, TruncatedAndCorruptImagesFailWithoutChangingTheMesh)
{
    CFlatMesh sample;
    buildSample(sample);
    const std::string image = serialize(sample);
    auto refused = [](const std::string& bytes, std::uint64_t available) {
        CFlatMesh mesh;
        const bool read = readImage(mesh, bytes, std::uint32_t(available));
        EXPECT_EQ(mesh.getVertexCount(true) + mesh.getFacetCount(), 0);
        return !read;
    };
    EXPECT_TRUE(refused(image + '\0', image.size() + 1)); // one byte longer than stated
    EXPECT_TRUE(refused(image.substr(0, image.size() - 10), image.size())); // body cut short
    EXPECT_TRUE(refused(image.substr(0, 100), 100));                        // no whole header
    EXPECT_TRUE(refused(handImage(4, 36, 0, 0, {}), 548)); // V disagrees with the vertex block
    EXPECT_TRUE(refused(handImage(3, 36, 6, 20, {1, 3, 0, 1, 2}), 568)); // P beyond the block
    for (std::uint32_t bad : {1000000u, 0x7fffffffu}) { // loops or corners beyond the block
        EXPECT_TRUE(refused(handImage(3, 36, 1, 20, {bad, 3, 0, 1, 2}), 568));
        EXPECT_TRUE(refused(handImage(3, 36, 1, 20, {1, bad, 0, 1, 2}), 568));
    }
}

TEST(PolFormat, HeaderSizeSumDoesNotWrapAround)
{
    // 512 + 12 V + 40 is 548, the image's size, in 32-bit arithmetic.
    const std::uint32_t v = 357913941u; // 12 V = 0xfffffffc
    const std::string image = handImage(v, 12 * v, 0, 40, {});
    ASSERT_EQ(image.size(), 548u);
    std::istringstream in(image, std::ios::in | std::ios::binary);
    CPOLHeader header;
    bool swapped = true;
    EXPECT_FALSE(readPOLHeader(in, header, swapped, image.size()));
    EXPECT_FALSE(swapped);
}

TEST(PolFormat, ClaimedCountsDoNotDriveAllocation)
{
    const std::uint32_t v = 300000000u; // 3.6 GB of vertices claimed, 36 bytes present
    CFlatMesh mesh;
    largestAllocation = 0;
    const bool read = readImage(mesh, handImage(v, 12 * v, 0, 0, {}), 512 + 12 * v);
    const std::size_t largest = largestAllocation;
    EXPECT_FALSE(read);
    EXPECT_LT(largest, std::size_t(4) << 20);
}

TEST(PolFormat, UnreadableVerticesFailInsteadOfWritingGarbage)
{
    VertexlessMesh mesh;
    std::ostringstream out(std::ios::out | std::ios::binary);
    EXPECT_FALSE(writePOL(mesh, out));
    EXPECT_EQ(out.str().size(), 512u + 36u + 20u); // still a consistent image
    char* buffer = reinterpret_cast<char*>(&mesh);
    unsigned length = 7;
    EXPECT_FALSE(serializeMesh(&mesh, &buffer, false, &length));
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(length, 0u);
}

TEST(PolFormat, Base64LinesPaddingAndRoundTrips)
{
    auto encode = [](const std::string& bytes) {
        char* text = nullptr;
        EXPECT_TRUE(base64EncodeBuffer(bytes.data(), bytes.size(), &text));
        const std::string s = text != nullptr ? text : "";
        delete[] text;
        return s;
    };
    EXPECT_EQ(encode(""), "\n");
    EXPECT_EQ(encode("Man") + encode("Ma") + encode("M"), "TWFu\nTWE=\nTQ==\n");
    const std::string b57(57, '\xfb');
    const std::string t57 = encode(b57);
    EXPECT_EQ(t57.size(), 77u);
    EXPECT_EQ(t57.find('\n'), 76u);
    std::istringstream in(b57 + 'x');
    std::ostringstream out;
    ASSERT_TRUE(base64Encode(in, out));
    EXPECT_EQ(out.str(), t57.substr(0, 76) + "\neA==\n");

    std::string all;
    for (int i = 0; i < 1000; ++i)
        all.push_back(char(i * 7 % 256));
    char* data = nullptr;
    std::size_t length = 0;
    for (std::size_t n : {0u, 1u, 2u, 3u, 58u, 1000u}) {
        const std::string text = encode(all.substr(0, n));
        ASSERT_TRUE(base64DecodeBuffer(text.data(), text.size(), &data, &length));
        EXPECT_EQ(std::string(data, length), all.substr(0, n));
        delete[] data;
    }
    for (const char* bad : {"TW*u", "TQ==TQ==", "T", "TQ==="})
        EXPECT_FALSE(base64DecodeBuffer(bad, std::strlen(bad), &data, &length)) << bad;

    // The text image decodes to the binary image, which reads back.
    CFlatMesh mesh;
    buildSample(mesh);
    char* text = nullptr;
    unsigned textLength = 0;
    ASSERT_TRUE(serializeMesh(&mesh, &text, true, &textLength));
    EXPECT_EQ(textLength, std::strlen(text));
    ASSERT_TRUE(base64DecodeBuffer(text, textLength, &data, &length));
    const std::string decoded(data, length);
    delete[] data;
    delete[] text;
    EXPECT_EQ(decoded, serialize(mesh));
    CFlatMesh back;
    ASSERT_TRUE(readImage(back, decoded));
    EXPECT_EQ(serialize(back), decoded);
}

TEST(PolFormat, Base64WriteErrorIsReported)
{
    std::istringstream in("abcdef");
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(base64Encode(in, out));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "write error at 0\n");
}
