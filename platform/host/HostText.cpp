#include "platform/host/HostText.h"

#include "platform/on/WideString.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cwctype>

namespace VezadHost {

std::string toUtf8(const std::wstring& text)
{
    return OnSubset::wideToUtf8(text);
}

std::string toUtf8(const wchar_t* text)
{
    return text ? OnSubset::wideToUtf8(text) : std::string();
}

std::wstring toWide(const std::string& utf8)
{
    return OnSubset::utf8ToWide(utf8.data(), utf8.size());
}

namespace {

template <class Char> Char lowerAscii(Char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c;
}

template <class Text> bool equalsNoCaseT(const Text& a, const Text& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

} // namespace

bool equalsNoCase(const std::string& a, const std::string& b)
{
    return equalsNoCaseT(a, b);
}

bool equalsNoCase(const std::wstring& a, const std::wstring& b)
{
    return equalsNoCaseT(a, b);
}

bool parseInteger(const std::string& text, int& value)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT_MIN || v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool parseNumber(const std::string& text, double& value)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

std::string trimmed(const std::string& text)
{
    std::size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return std::string();
    std::size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

} // namespace VezadHost
