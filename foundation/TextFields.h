// Fields of a line of text and whole-field numbers, for the text readers
// that read a record as its writer writes it: a field is a number only when
// every one of its characters belongs to it, and a real of any length is
// read to its nearest value, 0 where it is too small for its type.
//
// No state; thread-safe.
#pragma once

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>
#include <vector>

// The fields of text between runs of blanks, tabs and CRs.
inline std::vector<std::string_view> blankSeparatedFields(std::string_view text)
{
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    for (;;) {
        at = text.find_first_not_of(" \t\r", at);
        if (at == std::string_view::npos)
            return fields;
        const std::size_t end = std::min(text.find_first_of(" \t\r", at), text.size());
        fields.push_back(text.substr(at, end - at));
        at = end;
    }
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

// Reads the whole span [first, last) as a plain real of the type: a number
// too small for it reads as 0 (the nearest value it holds), as from_chars
// leaves it unread, and a '+' before its digits or point is a sign as a
// '-' is. False, value unchanged, for a span that is not a number whole,
// for one too large for the type, and for NaN and infinities.
template <class Real> bool parseNearestReal(const char* first, const char* last, Real& value)
{
    if (last - first >= 2 && *first == '+' &&
        ((first[1] >= '0' && first[1] <= '9') || first[1] == '.'))
        ++first;
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

template <class Real> bool parseNearestReal(std::string_view field, Real& value)
{
    return parseNearestReal(field.data(), field.data() + field.size(), value);
}

// An optional minus and digits, fitting the integer type, the whole field.
template <class Integer> bool parseWholeField(std::string_view field, Integer& value)
{
    const char* last = field.data() + field.size();
    const auto r = std::from_chars(field.data(), last, value);
    return !field.empty() && r.ec == std::errc() && r.ptr == last;
}
