#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace Platform {

namespace {

// The two forms of strerror_r: the GNU one returns the text, the POSIX one a
// status with the text in the buffer.
[[maybe_unused]] const char* describe(const char* text, const char*)
{
    return text;
}
[[maybe_unused]] const char* describe(int, const char* buffer)
{
    return buffer;
}

LastErrorTextProvider& installedProvider()
{
    static LastErrorTextProvider provider;
    return provider;
}

} // namespace

LastErrorTextProvider setLastErrorTextProvider(LastErrorTextProvider provider)
{
    return std::exchange(installedProvider(), std::move(provider));
}

std::wstring lastSystemErrorText()
{
    const int code = errno;
    if (const LastErrorTextProvider& provider = installedProvider()) {
        std::wstring text = provider();
        if (!text.empty())
            return text;
    }
    if (code == 0)
        return std::wstring();
    char buffer[256] = {};
    const char* text = describe(strerror_r(code, buffer, sizeof buffer), buffer);
    // The program keeps the C locale, whose messages are ASCII.
    std::wstring wide;
    for (const char* c = text; *c != '\0'; ++c)
        wide.push_back(wchar_t(static_cast<unsigned char>(*c)));
    return wide;
}

} // namespace Platform
