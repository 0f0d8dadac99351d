#include "curves/CurveChain.h"

#include "curves/ArcLength.h"

#include "foundation/Vector.h"
#include "geometry/ParametricGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kJoinFraction = 0.005; // a joint closes within this share of a length

struct Piece {
    CParametricGeometry* curve = nullptr;
    Vector start;
    Vector end;
    double length = 0.0;
};

double gap(const Vector& a, const Vector& b)
{
    return std::sqrt(squaredDistance(a, b));
}

// The chain of both public forms. Returns the number of pieces left out
// (null ones included); *connected tells whether every joint closes.
int chainPieces(Kor::List<CParametricGeometry*>& curves, int start, double gapLimit,
                Kor::List<bool>& reversed, bool& connected)
{
    reversed.removeAll();
    std::vector<Piece> pieces;
    int nullCount = 0;
    int first = -1; // the first piece at or after `start`
    for (int i = 0; i < curves.count; ++i) {
        CParametricGeometry* c = curves[i];
        if (c == nullptr) {
            ++nullCount;
            continue;
        }
        if (first < 0 && i >= start)
            first = static_cast<int>(pieces.size());
        Piece p;
        p.curve = c;
        p.start = c->getStartPoint();
        p.end = c->getEndPoint();
        p.length = sampledCurveLength(c, 25, false);
        pieces.push_back(std::move(p));
    }
    if (first < 0)
        first = static_cast<int>(pieces.size()) - 1;

    struct Placed {
        int piece;
        bool reversed;
    };
    std::vector<Placed> chain; // in chain order
    std::vector<bool> used(pieces.size(), false);
    connected = nullCount == 0;
    if (!pieces.empty()) {
        chain.push_back({first, false});
        used[first] = true;
        Vector front = pieces[first].start;
        Vector back = pieces[first].end;
        int frontPiece = first, backPiece = first;
        for (std::size_t placed = 1; placed < pieces.size(); ++placed) {
            // Nearest piece to the chain's end and to its front.
            int bestBack = -1, bestFront = -1;
            bool backReversed = false, frontReversed = false;
            double backGap = std::numeric_limits<double>::max();
            double frontGap = std::numeric_limits<double>::max();
            for (std::size_t j = 0; j < pieces.size(); ++j) {
                if (used[j])
                    continue;
                const double toStart = gap(back, pieces[j].start);
                const double toEnd = gap(back, pieces[j].end);
                if (bestBack < 0 || std::min(toStart, toEnd) < backGap) {
                    backGap = std::min(toStart, toEnd);
                    bestBack = static_cast<int>(j);
                    backReversed = toEnd < toStart;
                }
                // In front of the chain a piece runs forwards when its end
                // meets the chain's first point.
                const double endToFront = gap(front, pieces[j].end);
                const double startToFront = gap(front, pieces[j].start);
                if (bestFront < 0 || std::min(endToFront, startToFront) < frontGap) {
                    frontGap = std::min(endToFront, startToFront);
                    bestFront = static_cast<int>(j);
                    frontReversed = startToFront < endToFront;
                }
            }
            const double backLimit =
                kJoinFraction * std::min(pieces[bestBack].length, pieces[backPiece].length);
            const double frontLimit =
                kJoinFraction * std::min(pieces[bestFront].length, pieces[frontPiece].length);
            const bool backJoins = backGap <= backLimit;
            bool atFront = !backJoins && frontGap < backGap;
            // Beyond the gap limit a piece stays out of the chain; the other
            // end may still take one.
            if (!((atFront ? frontGap : backGap) <= gapLimit)) {
                atFront = !atFront;
                if (!((atFront ? frontGap : backGap) <= gapLimit))
                    break;
            }
            if (atFront) {
                const Piece& p = pieces[bestFront];
                chain.insert(chain.begin(), {bestFront, frontReversed});
                used[bestFront] = true;
                front = frontReversed ? p.end : p.start;
                frontPiece = bestFront;
                if (frontGap > frontLimit)
                    connected = false;
            } else {
                const Piece& p = pieces[bestBack];
                chain.push_back({bestBack, backReversed});
                used[bestBack] = true;
                back = backReversed ? p.start : p.end;
                backPiece = bestBack;
                if (!backJoins)
                    connected = false;
            }
        }
    }

    curves.removeAll();
    for (const Placed& p : chain) {
        curves.append(pieces[p.piece].curve);
        reversed.append(p.reversed);
    }
    int missed = nullCount;
    for (std::size_t j = 0; j < pieces.size(); ++j)
        if (!used[j]) {
            curves.append(pieces[j].curve);
            reversed.append(false);
            ++missed;
        }
    for (int i = 0; i < nullCount; ++i) {
        curves.append(nullptr);
        reversed.append(false);
    }
    if (missed > 0)
        connected = false;
    return missed;
}

} // namespace

bool chainCurvesByEndGaps(Kor::List<CParametricGeometry*>& curves, Kor::List<bool>& reversed)
{
    bool connected = false;
    chainPieces(curves, 0, std::numeric_limits<double>::infinity(), reversed, connected);
    return connected;
}

int chainCurvesByEndGaps(Kor::List<CParametricGeometry*>& curves, int start, double gapLimit,
                         Kor::List<bool>& reversed)
{
    bool connected = false;
    return chainPieces(curves, start, gapLimit, reversed, connected);
}
