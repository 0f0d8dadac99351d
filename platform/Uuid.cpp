#include "platform/Uuid.h"

#include <atomic>
#include <mutex>
#include <set>

namespace Platform {
namespace {

// Fixed keys of the stream: every process makes the same ids in order.
constexpr std::uint64_t headKey = 0x4d57a3c19e6b2f05ull;
constexpr std::uint64_t tailKey = 0x9e3779b97f4a7c15ull;
// The side stream's head key differs from the stream's in its top bit: the
// head words of the two agree only for positions 2^63 apart, which neither
// reaches.
constexpr std::uint64_t sideHeadKey = headKey ^ 0x8000000000000000ull;
constexpr std::uint64_t mixFactor1 = 0xbf58476d1ce4e5b9ull;
constexpr std::uint64_t mixFactor2 = 0x94d049bb133111ebull;

// A bijection of 64-bit words that spreads every input bit over the output
// (the finaliser of SplitMix64), and its inverse.
std::uint64_t mix(std::uint64_t z)
{
    z ^= z >> 30;
    z *= mixFactor1;
    z ^= z >> 27;
    z *= mixFactor2;
    return z ^ (z >> 31);
}

std::uint64_t undoXorShift(std::uint64_t y, int shift)
{
    std::uint64_t x = y;
    for (int done = shift; done < 64; done += shift)
        x = y ^ (x >> shift);
    return x;
}

// The inverse of an odd factor modulo 2^64 (Newton's iteration doubles the
// correct low bits from the 3 that c * c = 1 mod 8 gives).
std::uint64_t inverseFactor(std::uint64_t c)
{
    std::uint64_t v = c;
    for (int i = 0; i < 5; ++i)
        v *= 2 - c * v;
    return v;
}

std::uint64_t unmix(std::uint64_t z)
{
    z = undoXorShift(z, 31);
    z *= inverseFactor(mixFactor2);
    z = undoXorShift(z, 27);
    z *= inverseFactor(mixFactor1);
    return undoXorShift(z, 30);
}

// The 16 bytes of the id at a position. The head word, a bijection of the
// position, fills bytes 0-5, 7 and 9, which the version and variant bits
// leave whole; the tail word fills the free bits of bytes 6 and 8 and bytes
// 10-15.
void idBytes(std::uint64_t position, unsigned char bytes[16], std::uint64_t key = headKey)
{
    const std::uint64_t head = mix(position ^ key);
    const std::uint64_t tail = mix(position + tailKey);
    static const int headBytes[8] = {0, 1, 2, 3, 4, 5, 7, 9};
    for (int i = 0; i < 8; ++i)
        bytes[headBytes[i]] = static_cast<unsigned char>(head >> (56 - 8 * i));
    bytes[6] = static_cast<unsigned char>(0x40 | (tail & 0x0f));        // version 4
    bytes[8] = static_cast<unsigned char>(0x80 | ((tail >> 4) & 0x3f)); // RFC 4122 variant
    for (int i = 10; i < 16; ++i)
        bytes[i] = static_cast<unsigned char>(tail >> (8 * (15 - i) + 16));
}

std::string idText(const unsigned char bytes[16])
{
    static const char hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(uuidTextLength);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text.push_back('-');
        text.push_back(hex[bytes[i] >> 4]);
        text.push_back(hex[bytes[i] & 0x0f]);
    }
    return text;
}


bool parseId(const std::string& text, unsigned char bytes[16])
{
    if (text.size() != static_cast<std::size_t>(uuidTextLength))
        return false;
    int k = 0;
    for (int i = 0; i < uuidTextLength;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[static_cast<std::size_t>(i)] != '-')
                return false;
            ++i;
            continue;
        }
        const int hi = hexDigitValue(text[static_cast<std::size_t>(i)]);
        const int lo = hexDigitValue(text[static_cast<std::size_t>(i) + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes[k++] = static_cast<unsigned char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

// The position at which the stream makes these bytes, or 0 when it never
// does (any id not made by this stream).
std::uint64_t positionOf(const unsigned char bytes[16])
{
    static const int headBytes[8] = {0, 1, 2, 3, 4, 5, 7, 9};
    std::uint64_t head = 0;
    for (int i = 0; i < 8; ++i)
        head = (head << 8) | bytes[headBytes[i]];
    const std::uint64_t position = unmix(head) ^ headKey;
    if (position == 0)
        return 0;
    unsigned char made[16];
    idBytes(position, made);
    for (int i = 0; i < 16; ++i)
        if (made[i] != bytes[i])
            return 0;
    return position;
}

struct Stream {
    std::mutex lock;
    std::uint64_t next = 1;
    // Positions ahead of next whose ids were read from files.
    std::set<std::uint64_t> taken;
};

Stream& stream()
{
    // Never destroyed: objects with static storage duration may make ids
    // while other statics are destroyed.
    static Stream* s = new Stream;
    return *s;
}

std::atomic<bool>& failureSwitch()
{
    static std::atomic<bool> fail{false};
    return fail;
}

// The positions the side stream draws, and the depth of this thread's side
// scopes.
std::atomic<std::uint64_t> sideNext{1};
thread_local int sideDepth = 0;

} // namespace

SideIdScope::SideIdScope()
{
    ++sideDepth;
}

SideIdScope::~SideIdScope()
{
    --sideDepth;
}

std::string makeUuid()
{
    if (failureSwitch().load())
        return std::string();
    if (sideDepth > 0) {
        unsigned char bytes[16];
        idBytes(sideNext++, bytes, sideHeadKey);
        return idText(bytes);
    }
    Stream& s = stream();
    std::uint64_t position = 0;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        do
            position = s.next++;
        while (s.taken.erase(position) != 0);
    }
    unsigned char bytes[16];
    idBytes(position, bytes);
    return idText(bytes);
}

void reserveUuid(const std::string& text)
{
    unsigned char bytes[16];
    const std::uint64_t position = parseId(text, bytes) ? positionOf(bytes) : 0;
    if (position == 0)
        return;
    Stream& s = stream();
    std::lock_guard<std::mutex> guard(s.lock);
    if (position >= s.next)
        s.taken.insert(position);
}

std::uint64_t nextUuidPosition()
{
    Stream& s = stream();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.next;
}

std::string uuidAt(std::uint64_t position)
{
    unsigned char bytes[16];
    idBytes(position, bytes);
    return idText(bytes);
}

void setUuidFailureForTesting(bool fail)
{
    failureSwitch() = fail;
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace Platform
