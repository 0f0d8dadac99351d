#include "support/DocumentBlocks.h"

#include <zlib.h>

namespace mwtest {

namespace {

// Format version, int64 file length, then blocks: int64 length, uint32
// CRC-32 of the length's eight bytes and the body, the body.
constexpr std::size_t kFirstBlock = 20;

std::uint64_t field(const std::vector<unsigned char>& bytes, std::size_t at, int width)
{
    std::uint64_t value = 0;
    for (int k = width - 1; k >= 0; --k)
        value = value << 8 | bytes[at + std::size_t(k)];
    return value;
}

void setField(std::vector<unsigned char>& bytes, std::size_t at, int width, std::uint64_t value)
{
    for (int k = 0; k < width; ++k)
        bytes[at + std::size_t(k)] = static_cast<unsigned char>(value >> (8 * k));
}

// Calls visit(head offset, body length) for each block; false when they do
// not run to the end.
template <class Visit> bool eachBlock(const std::vector<unsigned char>& bytes, Visit visit)
{
    std::size_t at = kFirstBlock;
    while (at + 12 <= bytes.size()) {
        const std::uint64_t length = field(bytes, at, 8);
        if (length > bytes.size() - at - 12)
            return false;
        visit(at, std::size_t(length));
        at += 12 + std::size_t(length);
    }
    return at == bytes.size();
}

} // namespace

bool sealDocument(std::vector<unsigned char>& bytes)
{
    if (bytes.size() < kFirstBlock)
        return false;
    setField(bytes, 12, 8, bytes.size());
    return eachBlock(bytes, [&bytes](std::size_t at, std::size_t length) {
        const uLong crc = crc32(crc32(0L, bytes.data() + at, 8), bytes.data() + at + 12,
                                static_cast<uInt>(length));
        setField(bytes, at + 8, 4, crc);
    });
}

std::size_t lastBlockBody(const std::vector<unsigned char>& bytes)
{
    std::size_t last = 0;
    return eachBlock(bytes, [&last](std::size_t at, std::size_t) { last = at + 12; }) ? last : 0;
}

std::string crc32Forcing(std::uint32_t from, std::uint32_t to)
{
    // zlib keeps the register inverted. A step takes the register r and a
    // byte b to (r >> 8) ^ T[(r ^ b) & 0xff], and the top bytes of the 256
    // table entries differ: going back from the wanted register names the
    // four table entries, going forward from the start gives the bytes.
    const z_crc_t* table = get_crc_table();
    std::uint32_t back = ~to;
    unsigned char entry[4];
    for (int i = 3; i >= 0; --i) {
        int k = 0;
        while ((table[k] >> 24) != (back >> 24))
            ++k;
        entry[i] = static_cast<unsigned char>(k);
        back = (back ^ std::uint32_t(table[k])) << 8;
    }
    std::uint32_t r = ~from;
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[std::size_t(i)] = static_cast<char>((r ^ entry[i]) & 0xff);
        r = (r >> 8) ^ std::uint32_t(table[entry[i]]);
    }
    return bytes;
}

} // namespace mwtest
