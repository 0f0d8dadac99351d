#include "support/DocumentBlocks.h"

#include <zlib.h>

namespace mwtest {

// After the signature, the version and the file length: blocks of int64
// length, uint32 CRC-32 (of the length's bytes and the body) and body.
bool sealDocument(std::vector<unsigned char>& bytes, std::size_t* lastBody)
{
    std::uint64_t at = 20, length = 0;
    for (std::uint64_t k = 0; k < 8 && bytes.size() >= 20; ++k)
        bytes[12 + k] = static_cast<unsigned char>(bytes.size() >> (8 * k));
    for (; at + 12 <= bytes.size(); at += 12 + length) {
        length = 0;
        for (int k = 7; k >= 0; --k)
            length = length << 8 | bytes[at + std::uint64_t(k)];
        if (length > bytes.size() - at - 12)
            return false;
        const uLong crc = crc32(crc32(0L, &bytes[at], 8), &bytes[at + 12], uInt(length));
        for (int k = 0; k < 4; ++k)
            bytes[at + 8 + std::uint64_t(k)] = static_cast<unsigned char>(crc >> (8 * k));
        if (lastBody != nullptr)
            *lastBody = std::size_t(at + 12);
    }
    return at == bytes.size();
}

std::size_t lastBlockBody(const std::vector<unsigned char>& bytes)
{
    std::vector<unsigned char> copy = bytes;
    std::size_t last = 0;
    return sealDocument(copy, &last) ? last : 0;
}

std::vector<unsigned char> withLastRecord(std::vector<unsigned char> bytes,
                                          const std::string& record)
{
    const std::size_t body = lastBlockBody(bytes);
    if (body == 0)
        return {};
    bytes.resize(body + 16);
    bytes.insert(bytes.end(), record.begin(), record.end());
    for (std::size_t k = 0; k < 8; ++k)
        bytes[body - 12 + k] = static_cast<unsigned char>((16 + record.size()) >> (8 * k));
    if (!sealDocument(bytes))
        return {};
    return bytes;
}

std::string crc32Forcing(std::uint32_t from, std::uint32_t to)
{
    // zlib keeps the register inverted; a byte b takes it from r to
    // (r >> 8) ^ T[(r ^ b) & 0xff], and the top bytes of the 256 entries
    // differ. Going back from the wanted register names the four entries;
    // going forward from the start gives the bytes that pick them.
    const z_crc_t* table = get_crc_table();
    std::uint32_t back = ~to, r = ~from;
    unsigned char entry[4];
    for (int i = 3; i >= 0; --i) {
        int k = 0;
        while ((table[k] >> 24) != (back >> 24))
            ++k;
        entry[i] = static_cast<unsigned char>(k);
        back = (back ^ std::uint32_t(table[k])) << 8;
    }
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[std::size_t(i)] = static_cast<char>((r ^ entry[i]) & 0xff);
        r = (r >> 8) ^ std::uint32_t(table[entry[i]]);
    }
    return bytes;
}

} // namespace mwtest
