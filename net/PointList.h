// COffset_PointList: one poly-line of the grid sketched on the mesh: its
// ordered grid points (shared with other poly-lines where they meet), their
// parameters on a cached curve through them, and the pending point the mouse
// is inserting. UndoGridEdit is the base of the grid's undo items;
// CUndoInsert and CUndoSnapVertex undo the edits of one poly-line's points.
//
// Use counts: every entry of a poly-line that is a grid point
// (Gridbench::CGridPoint) counts once in that point's use count while the
// poly-line belongs to its grid; an entry that is a plain point counts
// nowhere. The edits below keep the counts exact, and a grid point whose
// count falls to 0 is handed to the grid (COffset_Grid::registerGridPoint).
// A poly-line taken out of its grid withdraws its uses and gives them back
// when it returns.
//
// Ownership: the poly-line owns its cached curve and its parameter list; it
// never owns its points: the grid that owns the poly-line owns every grid
// point that enters one of its poly-lines (COffset_Grid::adoptGridPoint).
// Undo items refer to their poly-line and points by plain pointers.
// Thread-safety: none; user-interface thread only.
#pragma once

#include "foundation/CreationOrder.h"
#include "foundation/KorList.h"
#include "foundation/Vertex.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

class COffset_Grid;
class CParametricGeometry;
class Interval;

class UndoGridEdit {
public:
    virtual ~UndoGridEdit() = default;
    // Reverts the edit. The grid deletes the item afterwards.
    virtual void undo(COffset_Grid* grid) = 0;
};

class COffset_PointList {
public:
    // Where insertPoints placed the last point: 4 after construction, 3 when
    // it inserted nothing. 0 and 2 are the poly-line's growth direction (at
    // its start, at its end), kept when a sharp turn there refused the point.
    int insertionCase = 4;
    CVertex<float, 3>* pendingVertex = nullptr; // an entry the mouse is inserting
    bool closed = false;
    bool closedByPending = false; // the pending insertion set `closed`
    bool curveLocked = false;     // the curve came from outside and survives edits
    bool modified = true;         // changed since the net last looked at it
    bool optionFlag = false;      // a split repeats the first point at the end of its second half
    // Marked while it is drawn with the mouse: the click that commits its
    // pending point starts a new poly-line at its middle grid point, and its
    // rubber band snaps to the active grid point. No edit of the net sets it.
    bool markFlag = false;
    CParametricGeometry* curve = nullptr;   // owned; null when dropped
    Kor::List<double> parameters;           // curve parameter of each entry
    double pickedParameter = 0.0;           // of the last pick along a ray
    Kor::List<CVertex<float, 3>*> vertices; // the entries; one point may occur twice
    // What the unlocked curve was fitted to: each entry at the fit and
    // whether it was held (an end or a junction then), and the closing.
    std::vector<std::pair<const CVertex<float, 3>*, bool>> fittedEntries;
    bool fittedClosed = false;
    COffset_Grid* owner;
    bool usesCounted = true; // the entries count in their points' use counts
    // The poly-line's identity where poly-lines are ordered (the net's graph,
    // its coedges) or keyed (its display entity).
    const CreationOrder creation;

    explicit COffset_PointList(COffset_Grid* owner);
    // The same, then a and b appended without raising their use counts.
    COffset_PointList(COffset_Grid* owner, CVertex<float, 3>* a, CVertex<float, 3>* b);
    // Releases the entries' uses, then deletes the curve.
    virtual ~COffset_PointList();
    COffset_PointList(const COffset_PointList&) = delete;
    COffset_PointList& operator=(const COffset_PointList&) = delete;

    // Takes back the use of every entry (while counted) and empties the
    // entries; returns their former number.
    int releaseVertices();
    // Takes back (gives back) one use per entry while the poly-line is out of
    // its grid; each does nothing when already done.
    void withdrawUses();
    void restoreUses();

    // ---- Curve -------------------------------------------------------------
    CParametricGeometry* getCurve() const { return curve; }
    // True with a locked curve that is a curve.
    bool hasValidCurve() const;
    // Unless the curve is locked: deletes it (setting `modified` when there
    // was one) and returns true; false and nothing changes when locked.
    bool dropCurve();
    // Takes c as the locked curve, with params[first..last] (inclusive;
    // none when first > last) as the entries' parameters. A former curve
    // other than c is deleted.
    void setCurve(CParametricGeometry* c, const Kor::List<double>& params, int first, int last);
    void setCurveLocked(bool locked) { curveLocked = locked; }
    void setModified(bool m) { modified = m; }
    // The curve through the entries, built when needed (a locked curve is
    // returned as it is): a cubic through the entries by chord length, the
    // first and last entry and every junction (use count 2 or more) held
    // with their mesh normals; periodic for a closed poly-line. An open
    // curve is then pulled onto the mesh (the curve road of
    // approximateOnHits, with the held entries as samples of their own, so
    // that it passes them) and the entries are located on it again; a
    // periodic curve keeps its shape, since the pull gives an open curve. A
    // pull that is no curve along the entries
    // (their parameters out of order, a stretch both off the mesh and over
    // 1.5 times its chord long, or over 3 times long anywhere, or a held
    // entry missed by more than the way to its held neighbour) gives way to
    // the plain curve through the entries at their chord-length parameters,
    // itself pulled when its pull runs along them. A failed fit falls back
    // on a plain interpolation ("resorting to old-fashioned interpolation on
    // points=", one "points to=" line per entry). The tip of a spur (an
    // entry neither end nor junction where the poly-line turns back on
    // itself, see isSpurTip) is left out: the curve runs from the entry
    // before it to the one after, and the tip takes the parameter between
    // theirs that its place along the poly-line gives. `parameters`
    // receives each entry's parameter; a held entry farther than heldEntryMiss() from the curve
    // at its parameter is reported ("** severe: interpolation parameter at
    // Start/End/Join is not correct (3d) d="). Null with fewer than two
    // entries or when no curve can be fitted.
    CParametricGeometry* interpolate();
    // The curve the net's pieces are cut from: built when there is none,
    // and fitted again when it was fitted to other entries or held other
    // ones than the ends and junctions of the poly-line as it stands (a
    // poly-line drawn later ending on one of its inner entries makes that
    // entry a junction the curve must pass). A locked curve is returned as
    // it is. The curve, or null when none can be fitted.
    CParametricGeometry* currentCurve();
    // Whether the curve holds entry i: an end, or a junction (a point that
    // other poly-lines or this one use more than once).
    bool holdsEntry(int i) const;
    // Whether entry i (not an end) is the tip of a spur: the poly-line turns
    // back there by more than 150 degrees, as a pen that ran past a junction
    // and came back leaves it.
    bool isSpurTip(int i) const;
    // The farthest the curve may pass from a held entry (an end or a
    // junction, where faces meet): a hundredth of the net's tolerance, or,
    // without a net (or a tolerance), a hundredth of what the tolerance of
    // a model of the poly-line's extent would be (a five-hundredth of its
    // box's diagonal). It follows the model's size: a net in metres is
    // judged as the same net in millimetres.
    double heldEntryMiss() const;
    // Makes the poly-line follow a copy of c (null drops the curve): the copy
    // becomes the locked curve, the entries' parameters are its facet
    // parameters for the chord tolerance (at most 2000; a surface is faceted
    // along its south side), or n + 1 equally spaced ones for n >= 2 or when
    // faceting gives none; a new grid point at every inner parameter goes
    // between the first and the last entry, in the curve's order along the
    // poly-line, its normal taken from the mesh (a curve on a surface: its
    // own normal). A former different curve is deleted ("deleting a know
    // Ribbon.").
    void setRibbonCurve(CParametricGeometry* c, double tolerance, int n);
    // The ordered interval of the parameters of entries a and b (on the
    // current curve: built, or fitted again, first when needed); on a
    // closed poly-line b equal to the number of parameters stands for the
    // end of the curve. False for a < 0, an
    // index beyond the parameters, or without a curve.
    bool getParameterInterval(int a, int b, Interval& out);
    // A new curve (owned by the caller): the piece of the curve between
    // entries a and b, the whole curve for the whole range or for indices
    // beyond the parameters. With refit (unless the curve is locked) the
    // piece is fitted again with clamp(n, 1, 20) control points when that
    // succeeds. Null without a sound NURBS curve.
    CParametricGeometry* getSubCurve(int a, int b, bool refit, int n);
    // For a locked curve: the entries' parameters again, from the Greville
    // abscissae of a degree-1 curve with one control point per entry, else
    // each entry's place on the curve (within twice heldEntryMiss() of an
    // end control point: that end of the domain).
    void updateParameters();

    // ---- Queries (pointer comparisons; "index" is the first occurrence) -----
    int getCount() const { return vertices.count; }
    int indexOf(const CVertex<float, 3>* v) const;
    // i when the entry there is v or a point at exactly v's position (the
    // net's graph joins such points into one node; a point the poly-line
    // passes twice has an entry for each pass), else indexOf(v). On a closed
    // poly-line the entries go on round the closing segment: entry count + k
    // is entry k reached again, and i there is kept as it is.
    int entryOf(int i, const CVertex<float, 3>* v) const;
    // The point of entry i: 0 <= i < count, or count <= i < 2 count on a
    // closed poly-line (entry i - count, reached round the closing segment).
    // Null otherwise.
    CVertex<float, 3>* entryAt(int i) const;
    // The curve parameter of entry i (see entryAt): its parameter, one
    // period further on for an entry reached round the closing segment
    // (only on a periodic curve). False without one.
    bool entryParameter(int i, double& t) const;
    bool contains(const CVertex<float, 3>* v) const { return indexOf(v) >= 0; }
    bool isInteriorVertex(const CVertex<float, 3>* v) const;
    // First or last entry; an empty poly-line answers true for any point.
    bool isEndVertex(const CVertex<float, 3>* v) const;
    bool hasPending() const { return pendingVertex != nullptr; }
    bool isPendingAtEnd() const;
    // Direction through the LAST occurrence of v: (v - prev) + (next - v)
    // with both neighbours (1), v - prev (2), next - v (0); -1 without
    // neighbours or for an absent v, out unchanged. out is then normalised.
    int getDirectionAtVertex(const CVertex<float, 3>* v, CVector<float, 3>& out) const;
    // The unit tangent at the first (atStart) or last entry, pointing along
    // the poly-line: the curve's when one is cached, else the end leg's.
    // False (out unchanged) without a curve and with fewer than two entries.
    bool getEndTangent(bool atStart, CVector<float, 3>& out) const;
    // Which side of the segment between entries a and b a direction lies on:
    // no side is ever reported (0).
    int segmentSide(int a, int b, const CVector<float, 3>& n) const;
    // The FIRST entry (pending one skipped when asked) closer than maxDist to
    // p: true with it and its distance. Otherwise false with the nearest
    // entry and its distance (null and FLT_MAX when empty).
    bool findNearestVertex(const CVertex<float, 3>& p, double maxDist, CVertex<float, 3>*& found,
                           double& dist, bool skipPending) const;
    // The entry whose parameter is nearest the picked parameter; null without
    // entries or parameters.
    CVertex<float, 3>* getVertexNearestParameter() const;
    // The curve point nearest the ray (origin, unit direction), measured
    // across the ray, over chords of the curve between and halfway between
    // the entries' parameters. True when that distance is at most maxDist:
    // the picked parameter is then refined on the curve. dist receives the
    // distance (FLT_MAX without a curve or with fewer than two parameters).
    bool pickCurveAlongRay(const CVertex<float, 3>& origin, const CVector<float, 3>& direction,
                           double maxDist, double& dist);

    // ---- Edits ---------------------------------------------------------------
    // Appends v and counts its use; returns its index.
    int appendVertex(CVertex<float, 3>* v);
    // With insert: insertPoints (committed). Otherwise appends v, counts its
    // use and sets `modified`; true.
    bool addPoint(CVertex<float, 3>* v, bool insert, double distance,
                  const CVector<float, 3>* direction);
    // Places v into the poly-line where it belongs; true when placed, with
    // the place in `insertionCase` (0 before the first entry, 1 into a
    // segment, 2 after the last, 3 nothing inserted). A pending point is
    // rolled back first. Fewer than two entries: v is appended untested.
    // Otherwise the segment nearest to v with its foot inside wins (without
    // a view direction, refused beyond maxDistance), or, with a unit view
    // direction, the first segment whose ellipse seen along it (semi-axes
    // 0.8 and 0.56 of the half segment) holds v. An open poly-line grows at
    // an end nearer than the segments when sqrt(d) < 1.75 x the length of
    // its two end segments (startLength, endLength: 1.75 x the segment of a
    // two-entry poly-line) and the turn there is at most 72 degrees, judged
    // as seen along seenAlong (else along the view direction; with neither,
    // in space): the user draws by the turns the screen shows. Not
    // committed, v becomes the pending point; moving it from one end of an
    // open poly-line of 4 or more entries to the other closes the
    // poly-line until it is rolled back. Committed, a CUndoInsert is
    // recorded. False: editing not allowed, v present already ("PointList::
    // skipping the point-matching vertex "), no place found, a sharper end
    // turn (case 0 or 2 kept) or a v that is not a grid point.
    bool insertPoints(CVertex<float, 3>* v, double maxDistance,
                      const CVector<float, 3>* viewDirection, bool committed, double* startLength,
                      double* endLength, const CVector<float, 3>* seenAlong = nullptr);
    // Removes the first occurrence of v (false when absent) and drops the
    // curve; v's use count drops and it is marked changed either way; the
    // former neighbours are marked changed. Where they are one point (a
    // poly-line drawn back to a point two entries before), the second of
    // them goes too (removeRepeatedEntries).
    bool removeVertex(CVertex<float, 3>* v);
    // Replaces the first occurrence of oldV by newV, recording the undo item;
    // the use moves from oldV to newV. Where newV is already an entry's
    // neighbour, the two are one entry afterwards (the undo item then keeps
    // the whole former list). False for a null newV or absent oldV.
    bool snapVertex(CVertex<float, 3>* oldV, CVertex<float, 3>* newV);
    // Removes every entry that repeats the one before it (the same point or
    // one at exactly its position), and on a closed poly-line a last entry
    // that repeats the first, giving their uses back: a poly-line passes a
    // point twice in a row only over a segment of no length, which the
    // net's graph takes for a piece from a junction to itself and the net
    // text cannot hold (its reader takes the repeat for one point). The
    // number removed; the curve is dropped when it is more than 0.
    int removeRepeatedEntries();
    // Ends a pending insertion: records its undo item and highlights it.
    void commitPending();
    // Takes the pending point out again; false when there is none.
    bool RollBack();

    // Adds delta to the use count of v when it is a grid point; a count that
    // falls to 0 hands the point to the owner grid. The new count (0 for a
    // plain point, -1 for null).
    int changeUse(CVertex<float, 3>* v, int delta);
    // Marks the entry at i changed (when it is a grid point).
    void markChanged(int i);
};

// The turn from direction d0 to direction d1 in radians as seen along the
// unit view direction w: the angle between them projected into the plane
// normal to w. A turn drawn on a surface seen at a slant shows on the screen
// otherwise than it is in space (a right angle on the screen can be 60
// degrees in space), and the user draws by what the screen shows. Without
// w, or where either direction runs along it, the turn in space.
double turnAngleSeenAlong(const CVertex<float, 3>& d0, const CVertex<float, 3>& d1,
                          const CVector<float, 3>* w);

// The use count of v: -1 for null, 0 for a point that is not a grid point.
int useCountOf(const CVertex<float, 3>* v);

// One point, or two points at exactly one position (the net's graph joins
// them into one node): side by side in a poly-line they make a piece of no
// length, which no edit leaves. False when either is null.
bool samePosition(const CVertex<float, 3>* a, const CVertex<float, 3>* b);

// Whether a poly-line over these entries (points, or node indices of a net
// text, in order) passes its points more often than a poly-line of a net
// does: a poly-line passes a point once, or twice where it runs through
// itself, so more than four entries and more than twice as many as it has
// distinct points. The net text refuses such a poly-line and the editing
// builds none.
// The rule on its counts: `entries` entries passing `distinct` points.
inline bool passesPointsTooOften(std::size_t entries, std::size_t distinct)
{
    return entries > 4 && entries > 2 * distinct;
}
template <class Entry> bool passesItsPointsTooOften(const std::vector<Entry>& entries)
{
    if (entries.size() <= 4)
        return false;
    std::vector<Entry> points(entries);
    std::sort(points.begin(), points.end(), std::less<Entry>());
    const auto distinct = std::size_t(std::unique(points.begin(), points.end()) - points.begin());
    return passesPointsTooOften(entries.size(), distinct);
}

// One line per entry on standard output ("   %d:  Vertex, Usecount: %d" for
// a junction, else "   %d:  Point") followed by its coordinates. True.
bool PointList_Dump(COffset_PointList& list);

// Undoes the insertion of the entry at `index`, and the closing it made (a
// point committed at the far end of the poly-line closes it).
class CUndoInsert : public UndoGridEdit {
public:
    COffset_PointList* pointList;
    int index;
    bool closedIt = false;

    CUndoInsert(COffset_PointList* list, int i, bool closing = false)
        : pointList(list), index(i), closedIt(closing)
    {
    }
    void undo(COffset_Grid* grid) override;
};

// Puts `oldPoint` back at `index`.
class CUndoSnapVertex : public UndoGridEdit {
public:
    COffset_PointList* pointList;
    CVertex<float, 3>* oldPoint;
    int index;

    CUndoSnapVertex(COffset_PointList* list, CVertex<float, 3>* old, int i)
        : pointList(list), oldPoint(old), index(i)
    {
    }
    void undo(COffset_Grid* grid) override;
};
