#include "geometry/BoundaryPosition.h"

#include <climits>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>

namespace {

// Keywords indexed by BoundaryPosition value.
const char* const positionWords[] = {
    "undefinedPosition", "uvSouth",     "uvNorth",     "uvWest",     "uvEast",
    "uvSouthWest",       "uvSouthEast", "uvNorthEast", "uvNorthWest"};
constexpr int positionWordCount = sizeof(positionWords) / sizeof(positionWords[0]);

} // namespace

bool lessBoundaryPosition(const BoundaryPosition* a, const BoundaryPosition* b)
{
    return *a < *b;
}

std::istream& readBoundaryPosition(std::istream& is, BoundaryPosition& position)
{
    position = undefinedPosition;
    std::string word;
    if (!(is >> word))
        return is;
    for (int k = 1; k < positionWordCount; ++k) {
        if (word == positionWords[k]) {
            position = static_cast<BoundaryPosition>(k);
            break;
        }
    }
    return is;
}

std::ostream& writeBoundaryPosition(std::ostream& os, BoundaryPosition position)
{
    const int k = static_cast<int>(position);
    os << (k >= 0 && k < positionWordCount ? positionWords[k] : positionWords[0]) << ' ';
    return os;
}

int readSignedInt(std::istream& is)
{
    is >> std::ws;
    long long sign = 1;
    int c = is.peek();
    if (c == '-' || c == '+') {
        sign = c == '-' ? -1 : 1;
        is.get();
    }
    // Accumulate in 64 bits and stop growing at the first value that no
    // longer fits an int; the digits after it are still consumed.
    const long long limit =
        sign > 0 ? static_cast<long long>(INT_MAX) : -static_cast<long long>(INT_MIN);
    long long value = 0;
    bool overflow = false;
    while (is.good()) {
        c = is.peek();
        if (c < '0' || c > '9')
            break;
        is.get();
        if (!overflow) {
            value = value * 10 + (c - '0');
            if (value > limit) {
                value = limit;
                overflow = true;
            }
        }
    }
    if (overflow)
        is.setstate(std::ios::failbit);
    return static_cast<int>(sign * value);
}
