// Writer, in-memory image and header reader of the POL binary mesh format;
// base64 encoding and decoding.

#include "mesh/PolFormat.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int countWordOffsets[6] = {CPOLHeader::vertexCountOffset,  CPOLHeader::vertexBytesOffset,
                                     CPOLHeader::polygonCountOffset, CPOLHeader::polygonBytesOffset,
                                     CPOLHeader::thirdCountOffset,   CPOLHeader::thirdBytesOffset};

std::uint32_t decodeLittleEndian(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void encodeLittleEndian(std::uint32_t w, unsigned char* p)
{
    p[0] = static_cast<unsigned char>(w);
    p[1] = static_cast<unsigned char>(w >> 8);
    p[2] = static_cast<unsigned char>(w >> 16);
    p[3] = static_cast<unsigned char>(w >> 24);
}

std::uint32_t reverseWord(std::uint32_t w)
{
    return (w >> 24) | ((w >> 8) & 0xff00u) | ((w << 8) & 0xff0000u) | (w << 24);
}

// 64-bit sum, so that large words cannot wrap around to a plausible size.
std::uint64_t declaredImageSize(const CPOLHeader& h)
{
    return std::uint64_t(CPOLHeader::size) + h.word(CPOLHeader::vertexBytesOffset) +
           h.word(CPOLHeader::polygonBytesOffset) + h.word(CPOLHeader::thirdBytesOffset);
}

// Collects little-endian words in a buffer and hands them to the stream in
// large pieces.
class CWordWriter {
public:
    explicit CWordWriter(std::ostream& out) : out_(out) { buffer_.reserve(chunk); }
    ~CWordWriter() { flush(); }

    void put(std::uint32_t w)
    {
        unsigned char b[4];
        encodeLittleEndian(w, b);
        buffer_.insert(buffer_.end(), b, b + 4);
        if (buffer_.size() >= chunk)
            flush();
    }
    void putInt(int v) { put(static_cast<std::uint32_t>(v)); }
    void putFloat(float v) { put(std::bit_cast<std::uint32_t>(v)); }
    void flush()
    {
        if (!buffer_.empty())
            out_.write(reinterpret_cast<const char*>(buffer_.data()),
                       std::streamsize(buffer_.size()));
        buffer_.clear();
    }

private:
    static constexpr std::size_t chunk = 1 << 16;
    std::ostream& out_;
    std::vector<unsigned char> buffer_;
};

const char base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The encoder proper: `next` delivers the input bytes one by one (false at
// the end). `written` counts the characters written so far, for the
// position in the error message.
template <class NextByte> bool encodeBase64(NextByte next, std::ostream& out)
{
    std::uint64_t written = 0;
    auto put = [&](const char* text, int n) {
        out.write(text, n);
        if (!out.good()) {
            std::cout << "write error at " << written << std::endl;
            return false;
        }
        written += std::uint64_t(n);
        return true;
    };

    unsigned char group[3];
    int gathered = 0;
    int lineLength = 0;
    unsigned char byte = 0;
    while (next(byte)) {
        if (gathered == 3) {
            const char chars[4] = {base64Alphabet[group[0] >> 2],
                                   base64Alphabet[((group[0] & 3) << 4) | (group[1] >> 4)],
                                   base64Alphabet[((group[1] & 15) << 2) | (group[2] >> 6)],
                                   base64Alphabet[group[2] & 63]};
            if (!put(chars, 4))
                return false;
            lineLength += 4;
            if (lineLength >= 76) {
                if (!put("\n", 1))
                    return false;
                lineLength = 0;
            }
            gathered = 0;
        }
        group[gathered++] = byte;
    }
    if (gathered > 0) {
        char chars[4];
        chars[0] = base64Alphabet[group[0] >> 2];
        if (gathered == 1) {
            chars[1] = base64Alphabet[(group[0] & 3) << 4];
            chars[2] = '=';
            chars[3] = '=';
        } else if (gathered == 2) {
            chars[1] = base64Alphabet[((group[0] & 3) << 4) | (group[1] >> 4)];
            chars[2] = base64Alphabet[(group[1] & 15) << 2];
            chars[3] = '=';
        } else {
            chars[1] = base64Alphabet[((group[0] & 3) << 4) | (group[1] >> 4)];
            chars[2] = base64Alphabet[((group[1] & 15) << 2) | (group[2] >> 6)];
            chars[3] = base64Alphabet[group[2] & 63];
        }
        if (!put(chars, 4))
            return false;
    }
    return put("\n", 1);
}

// Value of a base64 character; -1 for one outside the alphabet.
int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

const unsigned char* swapBytes(const void* bytes, int width)
{
    thread_local unsigned char reversed[16];
    if (width != 2 && width != 4 && width != 8 && width != 16)
        return static_cast<const unsigned char*>(bytes);
    const auto* in = static_cast<const unsigned char*>(bytes);
    for (int i = 0; i < width; ++i)
        reversed[i] = in[width - 1 - i];
    return reversed;
}

std::uint32_t CPOLHeader::polImageSize(Mesh::CBaseMesh& mesh)
{
    const std::uint64_t vertices = std::uint64_t(std::max(mesh.getVertexCount(true), 0));
    const int facets = std::max(mesh.getFacetCount(), 0);
    std::uint64_t words = 0;
    for (int i = 0; i < facets; ++i)
        words += std::uint64_t(std::max(mesh.getFacetSize(i), 0)) + 2;
    const std::uint64_t vertexBytes = 12 * vertices;
    const std::uint64_t polygonBytes = 4 * words;
    const std::uint64_t image = std::uint64_t(size) + vertexBytes + polygonBytes;
    // The header words and the image length are 32 bits wide: a mesh beyond
    // them has no POL image.
    const bool fits = image <= std::numeric_limits<std::uint32_t>::max();
    setWord(vertexCountOffset, fits ? std::uint32_t(vertices) : 0);
    setWord(vertexBytesOffset, fits ? std::uint32_t(vertexBytes) : 0);
    setWord(polygonCountOffset, fits ? std::uint32_t(facets) : 0);
    setWord(polygonBytesOffset, fits ? std::uint32_t(polygonBytes) : 0);
    setWord(thirdCountOffset, 0);
    setWord(thirdBytesOffset, 0);
    return fits ? std::uint32_t(image) : 0;
}

bool writePOL(Mesh::CBaseMesh& mesh, std::ostream& out)
{
    CPOLHeader header;
    header.setText(polTitleOffset, CFlatMesh::polTitle);
    header.setText(polCreatorOffset, polWriterCreator);
    if (header.polImageSize(mesh) == 0)
        return false;

    // The header's count words go out little-endian whatever the record's
    // own order.
    unsigned char headerBytes[CPOLHeader::size];
    std::memcpy(headerBytes, header.bytes, sizeof headerBytes);
    for (int offset : countWordOffsets)
        encodeLittleEndian(header.word(offset), headerBytes + offset);
    out.write(reinterpret_cast<const char*>(headerBytes), CPOLHeader::size);

    bool allVerticesRead = true;
    {
        CWordWriter writer(out);
        const int vertexCount = int(header.word(CPOLHeader::vertexCountOffset));
        Mesh::CBaseMesh::Point p;
        for (int i = 0; i < vertexCount; ++i) {
            if (!mesh.getVertex(i, p)) {
                allVerticesRead = false;
                p.data[0] = p.data[1] = p.data[2] = 0.0f;
            }
            writer.putFloat(p.data[0]);
            writer.putFloat(p.data[1]);
            writer.putFloat(p.data[2]);
        }
        // Exactly the polygons the header counts, so that the image matches
        // its stated size.
        const int polygonCount = int(header.word(CPOLHeader::polygonCountOffset));
        for (int i = 0; i < polygonCount; ++i) {
            const int n = std::max(mesh.getFacetSize(i), 0);
            writer.putInt(1);
            writer.putInt(n);
            for (int k = 0; k < n; ++k)
                writer.putInt(mesh.getPolygonVertexIndex(i, k));
        }
    }
    return allVerticesRead && !out.fail() && !out.bad();
}

bool serializeMesh(Mesh::CBaseMesh* mesh, char** buffer, bool asText, unsigned* length)
{
    if (buffer != nullptr)
        *buffer = nullptr;
    if (length != nullptr)
        *length = 0;
    if (mesh == nullptr || buffer == nullptr)
        return false;

    CPOLHeader sizes;
    const std::uint32_t imageSize = sizes.polImageSize(*mesh);
    if (imageSize == 0)
        return false;
    std::ostringstream stream(std::ios::out | std::ios::binary);
    if (!writePOL(*mesh, stream))
        return false;
    const std::string image = std::move(stream).str();
    if (image.size() != imageSize)
        return false;

    if (asText) {
        char* text = nullptr;
        if (!base64EncodeBuffer(image.data(), image.size(), &text))
            return false;
        const std::size_t textLength = std::strlen(text);
        if (textLength > std::numeric_limits<unsigned>::max()) {
            delete[] text;
            return false;
        }
        *buffer = text;
        if (length != nullptr)
            *length = unsigned(textLength);
        return true;
    }

    char* copy = new char[image.size()];
    std::memcpy(copy, image.data(), image.size());
    *buffer = copy;
    if (length != nullptr)
        *length = imageSize;
    return true;
}

bool base64Encode(std::istream& in, std::ostream& out)
{
    std::istreambuf_iterator<char> it(in), end;
    auto next = [&](unsigned char& byte) {
        if (it == end)
            return false;
        byte = static_cast<unsigned char>(*it);
        ++it;
        return true;
    };
    return encodeBase64(next, out);
}

bool base64EncodeBuffer(const char* data, std::size_t length, char** text)
{
    if (text == nullptr)
        return false;
    *text = nullptr;
    if (data == nullptr && length > 0)
        return false;
    std::size_t position = 0;
    auto next = [&](unsigned char& byte) {
        if (position >= length)
            return false;
        byte = static_cast<unsigned char>(data[position++]);
        return true;
    };
    std::ostringstream out;
    if (!encodeBase64(next, out))
        return false;
    out << '\0';
    if (!out.good())
        return false;
    const std::string encoded = std::move(out).str();
    char* copy = new char[encoded.size()];
    std::memcpy(copy, encoded.data(), encoded.size());
    *text = copy;
    return true;
}

bool base64DecodeBuffer(const char* text, std::size_t length, char** data, std::size_t* dataLength)
{
    if (data == nullptr)
        return false;
    *data = nullptr;
    if (dataLength != nullptr)
        *dataLength = 0;
    if (text == nullptr && length > 0)
        return false;

    std::vector<unsigned char> bytes;
    bytes.reserve(length / 4 * 3 + 3);
    std::uint32_t group = 0;
    int gathered = 0;
    int padding = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int value = base64Value(c);
        if (value < 0 || padding > 0)
            return false; // outside the alphabet, or data after the padding
        group = group << 6 | std::uint32_t(value);
        if (++gathered == 4) {
            bytes.push_back(static_cast<unsigned char>(group >> 16));
            bytes.push_back(static_cast<unsigned char>(group >> 8));
            bytes.push_back(static_cast<unsigned char>(group));
            group = 0;
            gathered = 0;
        }
    }
    if (gathered == 1 || (gathered == 0 && padding > 0) || padding > 2 ||
        (gathered > 0 && padding > 0 && gathered + padding != 4))
        return false;
    if (gathered == 2) {
        bytes.push_back(static_cast<unsigned char>(group >> 4));
    } else if (gathered == 3) {
        bytes.push_back(static_cast<unsigned char>(group >> 10));
        bytes.push_back(static_cast<unsigned char>(group >> 2));
    }

    char* copy = new char[std::max<std::size_t>(bytes.size(), 1)];
    if (!bytes.empty())
        std::memcpy(copy, bytes.data(), bytes.size());
    *data = copy;
    if (dataLength != nullptr)
        *dataLength = bytes.size();
    return true;
}

bool readPOLHeader(std::istream& in, CPOLHeader& header, bool& swapped, std::uint64_t available)
{
    swapped = false;
    if (in.fail() || in.bad())
        return false;
    unsigned char raw[CPOLHeader::size];
    in.read(reinterpret_cast<char*>(raw), CPOLHeader::size);
    if (in.gcount() != CPOLHeader::size || in.fail())
        return false;
    std::memcpy(header.bytes, raw, sizeof raw);
    for (int offset : countWordOffsets)
        header.setWord(offset, decodeLittleEndian(raw + offset));
    if (declaredImageSize(header) == available)
        return in.good();
    for (int offset : countWordOffsets)
        header.setWord(offset, reverseWord(header.word(offset)));
    if (declaredImageSize(header) != available)
        return false;
    swapped = true;
    return in.good();
}

bool writePOLFile(Mesh::CBaseMesh* mesh, const char* path)
{
    if (mesh == nullptr || path == nullptr || *path == 0)
        return false;
    const std::string target(path);
    const std::string partial = target + ".part";
    bool written = false;
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        written = out.is_open() && writePOL(*mesh, out);
        out.close();
        written = written && !out.fail();
    }
    std::error_code error;
    if (written)
        std::filesystem::rename(partial, target, error);
    if (!written || error) {
        std::filesystem::remove(partial, error);
        return false;
    }
    return true;
}
