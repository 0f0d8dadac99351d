// Whole-token number parsing shared by the text mesh readers: a token is a
// number only when every one of its characters belongs to it, so "12x" or an
// empty field is refused instead of read as 12 or 0.
//
// No state; thread-safe.
#pragma once

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <string>

// Optional sign and digits, fitting an int. False, value unchanged, otherwise.
inline bool parseWholeInteger(const std::string& token, int& value)
{
    const char* first = token.data();
    const char* last = token.data() + token.size();
    if (first != last && *first == '+')
        ++first;
    long v = 0;
    const auto r = std::from_chars(first, last, v);
    if (r.ec != std::errc() || r.ptr != last || v < INT_MIN || v > INT_MAX)
        return false;
    value = int(v);
    return true;
}

// A plain real (optional sign, digits, point, exponent) that is finite and
// within the range of a float. False, value unchanged, otherwise.
inline bool parseWholeFloatRange(const std::string& token, double& value)
{
    const char* first = token.data();
    const char* last = token.data() + token.size();
    if (first != last && *first == '+')
        ++first;
    double v = 0.0;
    const auto r = std::from_chars(first, last, v);
    if (r.ec != std::errc() || r.ptr != last || !std::isfinite(v) || v > FLT_MAX || v < -FLT_MAX)
        return false;
    value = v;
    return true;
}
