#include "platform/Uuid.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <sys/random.h>

namespace Platform {
namespace {

bool& failureSwitch()
{
    static bool fail = false;
    return fail;
}

// Fills buffer with bytes from the kernel's random source. Tries getrandom
// without blocking first, then /dev/urandom; false when neither delivers.
bool fillRandom(unsigned char* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t got = getrandom(buffer + done, size - done, GRND_NONBLOCK);
        if (got > 0) {
            done += static_cast<size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        break;
    }
    if (done == size)
        return true;

    std::FILE* f = std::fopen("/dev/urandom", "rb");
    if (!f)
        return false;
    size_t got = std::fread(buffer, 1, size, f);
    std::fclose(f);
    return got == size;
}

} // namespace

std::string makeUuid()
{
    if (failureSwitch())
        return std::string();
    unsigned char bytes[16];
    if (!fillRandom(bytes, sizeof bytes))
        return std::string();
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40); // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80); // RFC 4122 variant

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

void setUuidFailureForTesting(bool fail)
{
    failureSwitch() = fail;
}

} // namespace Platform
