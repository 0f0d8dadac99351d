// Whole-token number parsing shared by the text mesh readers and the net
// text: a token is a number only when every one of its characters belongs
// to it, so "12x" or an empty field is refused instead of read as 12 or 0;
// a number of any length is read to its nearest value, 0 where it is too
// small for the type.
//
// No state; thread-safe.
#pragma once

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <string>
#include <utility>

// The characters of token from_chars reads: all of them, but for a leading
// '+' (which it does not take).
inline std::pair<const char*, const char*> numberSpan(const std::string& token)
{
    const char* first = token.data();
    const char* last = token.data() + token.size();
    if (first != last && *first == '+')
        ++first;
    return {first, last};
}

// The power of ten of the first significant digit of a plain real
// (optional sign, digits, point, digits, exponent), saturated far beyond
// any type's range; 0 for a number without a significant digit. A number
// from_chars finds out of range underflows when this is below 0, and
// overflows otherwise.
inline long decimalMagnitude(const char* first, const char* last)
{
    const char* p = first;
    if (p != last && (*p == '+' || *p == '-'))
        ++p;
    long magnitude = 0;
    bool significant = false;
    long digitsBefore = 0; // integer digits from the first significant one
    for (; p != last && *p >= '0' && *p <= '9'; ++p)
        if (significant || *p != '0') {
            significant = true;
            ++digitsBefore;
        }
    if (significant)
        magnitude = digitsBefore - 1;
    if (p != last && *p == '.')
        for (++p; p != last && *p >= '0' && *p <= '9'; ++p)
            if (!significant && (--magnitude, *p != '0'))
                significant = true;
    if (!significant)
        return 0;
    if (p != last && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negative = p != last && *p == '-';
        if (p != last && (*p == '+' || *p == '-'))
            ++p;
        long exponent = 0;
        for (; p != last && *p >= '0' && *p <= '9'; ++p)
            exponent = std::min(exponent * 10 + (*p - '0'), 1L << 40);
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude;
}

// Reads the whole span [first, last) as a plain real of the type: a
// number too small for it reads as 0 (the nearest value it holds), as
// from_chars leaves it unread. False, value unchanged, for a span that is
// not a number whole, for one too large for the type, and for NaN and
// infinities.
template <class Real> bool parseNearestReal(const char* first, const char* last, Real& value)
{
    Real v = 0;
    const auto r = std::from_chars(first, last, v);
    if (first == last || r.ptr != last)
        return false;
    if (r.ec == std::errc::result_out_of_range && decimalMagnitude(first, last) < 0)
        v = 0;
    else if (r.ec != std::errc() || !std::isfinite(v))
        return false;
    value = v;
    return true;
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
