// Ordering curve pieces into a chain by the gaps between their ends.
//
// Ownership: the list holds pointers it does not own; only their order
// changes. Thread-safety: the pieces are evaluated (their derivative tables
// are overwritten); one thread per piece.
#pragma once

#include "foundation/KorList.h"

class CParametricGeometry;

// Reorders `curves` into a chain and fills `reversed` (emptied first) with one
// flag per piece in the new order, true for a piece that runs backwards in
// the chain (its end point comes first). The first piece keeps its place and
// direction. Each further piece is the one whose start (or, reversed, end)
// lies nearest to the chain's current end. When that nearest gap is larger
// than 0.005 times the pieces' sampled length (25 chord steps) while another
// piece meets the chain's front more closely, that piece is put in front
// instead, so a chain started from an inner piece still grows in both
// directions. Null pieces go to the back, not reversed.
// Returns true when every joint of the chain closes within 0.005 times the
// sampled length of the shorter of its two pieces (and no piece is null);
// false when the pieces do not form one connected chain (the order is then
// still the greedy one described).
bool chainCurvesByEndGaps(Kor::List<CParametricGeometry*>& curves, Kor::List<bool>& reversed);

// The same chain started from the piece at position `start` (the first piece
// at or after it that is not null; the last piece when there is none), which
// keeps its direction. A piece joins only across an end gap of at most
// gapLimit; when neither end of the chain can take a piece within it, the
// pieces not yet chained stay out. Pieces left out go behind the chain, not
// reversed, in their former order, followed by the null pieces. Returns the
// number of pieces left out of the chain, null pieces included (0 when every
// piece is chained). With an infinite gapLimit and start 0 the order is that
// of the two-argument form.
int chainCurvesByEndGaps(Kor::List<CParametricGeometry*>& curves, int start, double gapLimit,
                         Kor::List<bool>& reversed);
