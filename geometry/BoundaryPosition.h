#pragma once
// BoundaryPosition: the sides and corners of a rectangular parameter domain,
// with their text keywords, and the signed-integer reader of the surface text.
//
// South is the control-point row j = 0 (v minimum), north the row j = nV - 1
// (v maximum), west the column i = 0 (u minimum), east the column i = nU - 1
// (u maximum). On a curve, west is its start and east its end.
// Thread-safety: plain functions without shared state.

#include <iosfwd>

enum BoundaryPosition : int {
    undefinedPosition = 0,
    uvSouth = 1,
    uvNorth = 2,
    uvWest = 3,
    uvEast = 4,
    uvSouthWest = 5,
    uvSouthEast = 6,
    uvNorthEast = 7,
    uvNorthWest = 8,
};

// Comparator of Kor::Set<BoundaryPosition>: *a < *b.
bool lessBoundaryPosition(const BoundaryPosition* a, const BoundaryPosition* b);

// Sets `position` to undefinedPosition, skips white space and reads one word.
// The words "uvSouth" .. "uvNorthWest" (compared exactly, case matters) give
// their positions; any other word, and a failed read, leave undefinedPosition
// (a failed read leaves the stream failed).
std::istream& readBoundaryPosition(std::istream& is, BoundaryPosition& position);

// Writes the keyword of the position and one blank ("uvSouth "); a value
// outside the enumeration writes "undefinedPosition ".
std::ostream& writeBoundaryPosition(std::ostream& os, BoundaryPosition position);

// Skips white space, takes an optional '-' or '+', then accumulates decimal
// digits while the stream is good. Returns sign * value, 0 when no digit
// follows (the stream is not failed for that). A value beyond the range of
// int is saturated to INT_MAX / INT_MIN and the stream's failbit is set, as
// the standard extraction does; the remaining digits are consumed.
int readSignedInt(std::istream& is);
