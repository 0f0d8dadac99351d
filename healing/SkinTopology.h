#pragma once

#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>
// The skin: trimmed faces stitched along the curves they share, and its
// healing. FENWO_SKIN::CSkinTopology knows, for every trim curve of its
// faces, where the curve ends (skin vertices CTopoV: curve ends merged within
// the match tolerance through a spatial hash) and which curve of a
// neighbouring face runs along it (half-edges CHalfEdge paired with their
// partner). buildSkin makes it from the faces' curves on surfaces, splitting
// curves where another curve ends inside them (T-joins); healFaces then
// corrects the faces one after the other until each meets the faces healed
// before it (position, tangent plane or bending), and healSkin is the entry
// point that does both for a list of faces.
//
// Ownership: the skin owns its half-edges, its vertices and the curve pieces
// cut at T-joins; when it is destroyed it links every original curve that a
// face still holds back between its loop neighbours, and joins the curves a
// face's healing made for the pieces of one original back into one, before
// the pieces go.
// The faces belong to whoever handed them in: they are lent to the skin
// (CTopology::lend) and must outlive it. The other curves belong to their
// faces. Results returned as new objects say so.
// Thread-safety: none; a skin is built and healed by one thread, and the
// healing runs the process-wide surface fitting.

#include "curves/CurveUtilities.h"
#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"
#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/Tuple.h"
#include "foundation/Vector.h"
#include "foundation/Vertex.h"
#include "net/FaceList.h"

class CCONS;
class CFace;
class CLoop;
class CParametricGeometry;
class CProgress;
namespace Fenwo {
class NurbsSurf;
}

namespace FENWO_SKIN {

// A skin vertex: its position and one entry per curve that ends here (the
// vertex at the curve's other end, the curve). Copies are deep.
class CTopoV : public CVertex<double, 3> {
public:
    Kor::List<c_pair<CTopoV*, CParametricGeometry*>> curves;

    CTopoV() = default;
    explicit CTopoV(const CVertex<double, 3>& p) : CVertex<double, 3>(p) {}
    CTopoV(const CTopoV& other) = default;
    ~CTopoV() override = default;

    // The curves ending here, in the order they were registered.
    Kor::List<CParametricGeometry*> getCurves() const;
};

// A T-join: the point at `parameter` of `curve` that lies on skin vertex
// `vertex` (not owned).
class CPointOnCurveAndVertex : public CPointOnCurve {
public:
    CTopoV* vertex = nullptr;

    CPointOnCurveAndVertex(const CVertex<double, 3>& p, CParametricGeometry* c, double t, CTopoV* v)
        : CPointOnCurve(p, c, t), vertex(v)
    {
    }
};

// Which faces the skin may join, where the caller knows it from the faces'
// own topology (the regions of a net): the pairs that share a side, and the
// pairs that share a point at least (a side, a corner, a T-junction), with
// the places of the points they share. Curves of two faces that share no
// side are not paired however close they run (two faces across a slot), and
// a face takes no corner targets from a face it shares no point with, nor
// at a skin vertex other than the one a point they share falls into: two
// faces that meet at one node of a net meet there only, though the match
// tolerance may merge their corners at the far end of a slot that tapers
// to that node. A pair given no places shares every vertex its faces meet
// at. Pairs and places are kept either way round. Plain values; the faces
// are not owned.
struct FaceNeighbours {
    using Pair = std::pair<const CFace*, const CFace*>;
    std::set<Pair> sides;
    std::set<Pair> points;
    std::map<Pair, std::vector<CVertex<double, 3>>> places; // of the pairs of points

    void addSide(const CFace* a, const CFace* b);
    void addPoint(const CFace* a, const CFace* b);
    void addPoint(const CFace* a, const CFace* b, const CVertex<double, 3>& at);
};

class CSkinTopology : public CTopology {
public:
    // One trim curve of the skin. `origin` is the vertex at the curve's
    // domain maximum, `target` the one at its minimum, rewritten to the
    // partner's origin when the two are paired. `partnerCount` is 0 on the
    // skin's border, 1 on an ordinary shared edge and more where three or
    // more faces meet at one curve. pNext and visited are the face healing's:
    // the next half-edge of the face's loop and the matched flag.
    class CHalfEdge {
    public:
        int visited = 0;
        CHalfEdge* pNext = nullptr;
        CHalfEdge* partner = nullptr;
        CTopoV* origin = nullptr;
        CTopoV* target = nullptr;
        CParametricGeometry* curve = nullptr; // not owned
        int partnerCount = 0;

        CHalfEdge(CTopoV* o, CParametricGeometry* c) : origin(o), curve(c) {}
        // Order of the half-edge set: origin, then curve, as identities.
        static bool less(const CHalfEdge* a, const CHalfEdge* b);
    };

    // The map of one face from the parameters of a look-up surface over the
    // whole skin to the face's own surface. The skin keeps a list of them for
    // a look-up surface; no part of the system sets one, so the list stays
    // empty, and every build and the destructor delete what it holds.
    class CGlobalToLocalFace {
    public:
        CFace* face = nullptr; // not owned
    };

    double dMatchTol = 3.4028234663852886e38; // vertex match tolerance of the last build
    CProgress* progress = nullptr;            // the skin's own sink; not owned, may be null
    Kor::Set<CHalfEdge> halfEdges;            // owned; ordered by origin, then curve
    Kor::List<CHalfEdge*> halfEdgesInOrder;   // the same half-edges in the order made
    Kor::List<CTopoV*> vertices;              // owned; in the order made
    Kor::List<CGlobalToLocalFace*> globalToLocalFaces; // owned; empty (see above)
    // The faces' own neighbourhood, when the caller knows it (not owned;
    // read by the build and the healing); null: any faces whose curves
    // coincide are neighbours.
    const FaceNeighbours* neighbours = nullptr;
    // Where healFaces lists the faces whose heal fails (kept as they were)
    // instead of announcing each ("Heal failed for dTol="): a caller that
    // judges the healed faces together, and may take some back, tells
    // which failures remain. Not owned; null announces them.
    Kor::List<CFace*>* failedFaces = nullptr;
    // How far a healed face's edges may lie from its region's sides, where
    // the caller knows it (sideAllowance of the net's fit tolerance, which
    // the commit's region check accepts): healFaces places sides to dTol or
    // this, whichever is less, and a correction that moves a side farther
    // than this from where it lay fails the face. HUGE_VAL: dTol alone.
    double edgeAllowance = HUGE_VAL;

    CSkinTopology();
    // Relinks the original curves that faces still hold, then deletes the
    // pieces cut at T-joins, the half-edges and the vertices; the base
    // deletes the faces that were not lent.
    ~CSkinTopology() override;
    CSkinTopology(const CSkinTopology&) = delete;
    CSkinTopology& operator=(const CSkinTopology&) = delete;

    // Every inner edge once: of two partners (both with partnerCount 1) the
    // one met first in the set. Uses and leaves the visited flags.
    Kor::List<CHalfEdge*> getInnerEdgePairs();
    // The first half-edge (in the order made) whose curve is `curve`; null
    // when none.
    CHalfEdge* findHalfEdge(const CParametricGeometry* curve) const;
    // The half-edge with this origin and curve; null when none.
    CHalfEdge* findHalfEdge(const CTopoV* origin, const CParametricGeometry* curve) const;
    // The curves of all half-edges with partnerCount 1.
    Kor::List<CParametricGeometry*> getInnerCurves() const;
    // For each half-edge whose partnerCount is not 1 and at whose origin
    // more than two curves meet, all curves of that vertex (duplicates
    // possible).
    Kor::List<CParametricGeometry*> getJunctionCurves() const;
    // The face's boundary curves in loop order: from the first curve (in
    // the order made) on the face's base surface along the curves' next
    // links until the first curve comes back, the chain ends, or as many
    // steps as there are half-edges were taken. A curve without half-edge
    // prints " curve not found in Skin!" (and is dumped to
    // "c:/tmp/next.out"); it is listed all the same.
    Kor::List<CCONS*> getFaceCurves(CFace* face);
    // Puts the curves of newLoop in place of the old chain that starts with
    // start's curve (followed through the next links): curve i of the chain
    // becomes curve i of the loop in its half-edge and in every vertex's
    // curve list, and stands in for the piece it replaces; newLoop's curves
    // are linked into a closed chain first. False (nothing replaced) when
    // the chain and the loop differ in length.
    bool replaceFaceCurves(CHalfEdge* start, CLoop& newLoop);
    // The point of the partner's curve at its end nearest to this curve's
    // start (end) point; the partner's domain maximum on a tie. False
    // without partner or curve.
    bool partnerPointAtStart(const CHalfEdge& h, Vector& out) const;
    bool partnerPointAtEnd(const CHalfEdge& h, Vector& out) const;
    // The face whose base surface is the surface of curve (a CCONS); null
    // otherwise.
    CFace* faceOfCurve(const CParametricGeometry* curve) const;
    // Whether two faces may be joined along a side, and whether they share a
    // point (neighbours); always true without neighbours. A face shares
    // nothing with itself here.
    bool sharesSide(const CFace* a, const CFace* b) const;
    bool sharesPoint(const CFace* a, const CFace* b) const;
    // Whether two faces share a point at skin vertex V: a place of their
    // pair fell into V at the build (V is the vertex nearest to it, within
    // the match tolerance). Always true without neighbours, and for a pair
    // that shares points given no places; a face shares nothing with
    // itself.
    bool sharesPointAt(const CFace* a, const CFace* b, const CTopoV* V) const;

    // Heals the faces of the skin in the order of their area over their
    // squared outer loop length, largest first, each towards the faces
    // healed before it (of the faces left, the first that shares an edge
    // with one placed before it comes next); the faces of `fixed` (may be
    // null) come first and stay unchanged. A shared side whose neighbour
    // heals later goes half the gap towards it (the neighbour then meets it
    // there), the first face's too when no list is given; the moves fade out
    // within a band of a quarter of the face's smaller extent, and the face's
    // inside beyond stays. mode:
    // 0 position, 1 also the tangent plane, 2 also the bending. Each face's
    // heal rank (kept in its spare int, spareFlag) is its 1-based place in
    // that order. False on a cancel of the skin's sink (faces healed before
    // keep their new shape) and on a face whose loop cannot be walked
    // ("Abort, damaged Pointers."); true otherwise, also when single faces fail ("Heal failed for
    // dTol=", or listed in failedFaces) or there is nothing to heal. Clears
    // multithreadingAllowed for good.
    bool healFaces(double dTol, Kor::List<CFace*>* fixed, int mode);

    // The corner fix for the unmatched edge of curve c of the face being
    // healed: at the origin of c's half-edge, the face with the lowest heal
    // rank below that face's own that is not an edge neighbour of it and
    // shares a point with it there (sharesPointAt) gives four targets
    // (group -4, appended to the array of `all` and indexed by both
    // subsets) stepping s and 3 s from the corner along its two loop curves
    // there; corner receives the corner point. False when there is no such
    // face (or c's partner face was healed earlier).
    bool addCornerTargets(CParametricGeometry* c, Vector& corner, IndexSubset<CFitPoint>& all,
                          IndexSubset<CFitPoint>& edge, double s);

    // The targets of the unmatched edges of a face (curves in loop order,
    // half-edges linked by pNext, matched ones visited): runs between
    // matched edges, or with none matched the chains between corners.
    // The moves of a run's ends fade out along it within `band` of each
    // end (the run stays where it lies beyond); band 0 moves the whole run
    // by the ends' moves, blended along it.
    void addUnmatchedEdgeTargets(const Kor::List<CCONS*>& curves, Fenwo::NurbsSurf& S,
                                 IndexSubset<CFitPoint>& all, IndexSubset<CFitPoint>& edge,
                                 double s, double dTol, double band = 0.0);

private:
    friend bool buildSkin(Kor::List<CParametricGeometry*>& curveList, CSkinTopology* skin,
                          double dMatchTol, CProgress* progress);

    // A curve cut at T-joins: its pieces (owned by the skin), in order, and
    // the curves a face's healing put in their place (replaceFaceCurves;
    // owned by the face's loop).
    struct SplitCurve {
        CParametricGeometry* original = nullptr;
        Kor::List<CParametricGeometry*> pieces;
        Kor::List<CParametricGeometry*> standIns;
    };
    Kor::List<SplitCurve*> splits; // owned
    // The skin vertex each place of the neighbours' shared points fell
    // into, with the pair of faces that share it (either way round).
    std::set<std::tuple<const CTopoV*, const CFace*, const CFace*>> sharedVertices;

    // The half-edge (origin, curve), made when there is none; *made tells.
    CHalfEdge* findOrInsertHalfEdge(CTopoV* origin, CParametricGeometry* curve, bool* made);
    // Empties the skin: relinks and frees the pieces, frees half-edges and
    // vertices.
    void clearSkin();
    // Puts each split original that a face of the list still holds back
    // between its loop neighbours, joins the healed stand-ins of one
    // original's pieces that follow each other in a face's loop back into
    // one curve (joinStandIns), then deletes the pieces.
    void releasePieces();
    // In every loop of the faces, each run of two or more curves that
    // stand in for the pieces of one original curve becomes one curve on
    // the face's surface: the original was one side of its face, cut only
    // where a neighbour's corner lies on it, and the face keeps one curve
    // a side. A run whose curves cannot be joined stays as it is.
    void joinStandIns();
    // The heal rank of the face of curve; 0 when it has none.
    int rankOfCurve(const CParametricGeometry* curve) const;
};

// Builds the skin from the curves: ends within dMatchTol are one vertex,
// curves are split where a vertex lies on their interior (the pieces take
// the curve's place in curveList and in its loop chain), and coinciding
// curves are paired. The skin is emptied first. Sink: progress, or the
// skin's own when null. False when cancelled (the skin is then partly
// built and must not be healed).
bool buildSkin(Kor::List<CParametricGeometry*>& curveList, CSkinTopology* skin, double dMatchTol,
               CProgress* progress);

// The first curve registered at V that ends at `other`, differs from c,
// runs along c (three points of c within [a, b], at quarters, lie within tol
// of it and three of its own, at quarters of its domain, within tol of c)
// and that `joinable` takes (every such curve without it): a curve it turns
// down leaves the search on to the next. Null when none.
CParametricGeometry*
findCoincidentCurve(CTopoV* V, CTopoV* other, CParametricGeometry* c, double a, double b,
                    double tol,
                    const std::function<bool(const CParametricGeometry*)>& joinable = nullptr);

// The parameter of the curve's end nearer to point: the domain maximum when
// the end point is at least as near as the start point (*atEnd true), else
// the domain minimum (*atEnd false). atEnd may be null.
double nearerEndParameter(CParametricGeometry* curve, const Vector& point, bool* atEnd);

// The share of a move kept at distance d from where it is asked: all of it
// there, none from `reach` on, falling smoothly (a half cosine) between.
double fadeWeight(double d, double reach);

// Where the faces that meet at the end of h's curve nearest to `end` go
// there, in meeting: the middle of the corners the faces healed before
// `face` (heal rank below its own) put there, or with none healed yet the
// middle of all their corners, `face`'s own too. Only faces that share a
// point with `face` at that vertex count (sharesPointAt). False (out
// untouched) when the end has no skin vertex.
bool cornerMeeting(const CSkinTopology& skin, const CSkinTopology::CHalfEdge& h, const CFace& face,
                   const Vector& end, Vector& out);

// The vertex (1 - t) a + t b.
CVertex<double, 3> lerpVertex(double t, const CVertex<double, 3>& a, const CVertex<double, 3>& b);

// The point of `surface` nearest to P + d direction, searched from (u, v),
// in point. True when the surface reaches that far: the point lies within
// d / 2 of P + d direction (a surface bending away by its curvature stays
// well within that). A surface narrower than d ends short of it, and the
// search stops on its border or on a fold of it elsewhere: such a point
// says nothing of the surface's run beyond P, and the face healing takes
// it for no target.
bool continuationPoint(CParametricGeometry* surface, const Vector& P, const Vector& direction,
                       double d, double u, double v, Vector& point);

// The targets of a chain of unmatched half-edges of a face that has no
// matched edge, from corner point start to corner point end (see
// CSkinTopology::addUnmatchedEdgeTargets): appended to targets with the
// group of their curve's place in curves + 1; those between a tenth and
// nine tenths of the chain's length also indexed by all. Always true.
bool addVertexOnlyTargets(const Kor::List<CSkinTopology::CHalfEdge*>& chain,
                          CFitPointArray& targets, IndexSubset<CFitPoint>& all, Fenwo::NurbsSurf& S,
                          const Vector& start, const Vector& end, double dTol,
                          const Kor::List<CCONS*>& curves);

} // namespace FENWO_SKIN

// Heals the faces along their shared edges: builds a skin over all trim
// curves of `faces` and of `boundaryFaces` (which take part only as
// neighbours) with the match tolerance of healMatchTolerance (from
// dMatchTol, the shortest curve of `faces` and the shortest of them that is
// not degenerate, or the least distance between two corners of one of them
// that are not one point where that is less) and heals it
// (FENWO_SKIN::CSkinTopology::healFaces with dTol, mode clamped into 0 .. 2
// and boundaryFaces as the fixed list). Unless skipFixList, the
// faces that stay fixed are searched first and appended to boundaryFaces
// (false at once without boundary faces). The faces stay the caller's.
// False when the build or the healing was cancelled or the healing failed.
// With failedFaces, the faces whose heal fails are listed there instead of
// announced (CSkinTopology::failedFaces); with neighbours, only the faces it
// relates are joined (CSkinTopology::neighbours); edgeAllowance bounds how
// far a side may move (CSkinTopology::edgeAllowance).
bool healSkin(Kor::List<CFace*>& faces, double dTol, CProgress* progress,
              Kor::List<CFace*>* boundaryFaces, double dMatchTol, int mode, bool skipFixList,
              Kor::List<CFace*>* failedFaces = nullptr,
              const FENWO_SKIN::FaceNeighbours* neighbours = nullptr,
              double edgeAllowance = HUGE_VAL);

// The match tolerance healSkin uses for curves whose shortest length is
// shortest: dMatchTol (100 dTol when <= 0), or 0.75 shortest when that is
// below it and above 10 dTol ("reducing dMatchTol to" is printed then).
// When shortestSound, the shortest curve that is not degenerate (longer than
// 2 dTol, or than a tenth of the longest curve where that is less), is below
// that tolerance, it becomes 0.75 shortestSound (printed the same way): the
// two ends of a curve shorter than the tolerance would be taken for one skin
// vertex, and its face's loop would fall apart in the healing. A
// shortestSound at or above the tolerance leaves it.
double healMatchTolerance(double dMatchTol, double dTol, double shortest,
                          double shortestSound = HUGE_VAL);
