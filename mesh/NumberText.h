// Whole-token number parsing shared by the text mesh readers and the net
// text: a token is a number only when every one of its characters belongs
// to it, so "12x" or an empty field is refused instead of read as 12 or 0;
// a number of any length is read to its nearest value, 0 where it is too
// small for the type.
//
// No state; thread-safe.
#pragma once

#include "foundation/TextFields.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <string>
#include <utility>

// The characters of token from_chars reads: all of them, but for a leading
// '+' (which it does not take) that is not followed by another sign ("+-1"
// stays whole, and no number).
inline std::pair<const char*, const char*> numberSpan(const std::string& token)
{
    const char* first = token.data();
    const char* last = token.data() + token.size();
    if (first != last && *first == '+' &&
        (last - first < 2 || (first[1] != '-' && first[1] != '+')))
        ++first;
    return {first, last};
}

// Optional sign and digits, fitting an int. False, value unchanged, otherwise.
inline bool parseWholeInteger(const std::string& token, int& value)
{
    const auto [first, last] = numberSpan(token);
    long v = 0;
    const auto r = std::from_chars(first, last, v);
    if (r.ec != std::errc() || r.ptr != last || v < INT_MIN || v > INT_MAX)
        return false;
    value = int(v);
    return true;
}

// A plain real (optional sign, digits, point, exponent) that is finite and
// within the range of a float; one too small for a double reads as 0.
// False, value unchanged, otherwise.
inline bool parseWholeFloatRange(const std::string& token, double& value)
{
    const auto [first, last] = numberSpan(token);
    double v = 0.0;
    if (!parseNearestReal(first, last, v) || v > FLT_MAX || v < -FLT_MAX)
        return false;
    value = v;
    return true;
}

// True when token is entirely a number (optional sign; "nan" and "inf" in
// any case count) whose value is NaN, infinite or beyond the range of a
// float, as "nan", "-inf", "1e39" or "1e999": a number parseWholeFloatRange
// refuses for its value, not for its form. A float would hold it as NaN or
// infinity, so the readers leave out what it belongs to.
inline bool isNonFiniteNumber(const std::string& token)
{
    const auto [first, last] = numberSpan(token);
    double v = 0.0;
    const auto r = std::from_chars(first, last, v);
    if (r.ptr != last || first == last)
        return false;
    if (r.ec == std::errc::result_out_of_range)
        // Too large or too small for a double: only the first is beyond a float.
        return decimalMagnitude(first, last) >= 0;
    return r.ec == std::errc() && !(std::fabs(v) <= FLT_MAX);
}
