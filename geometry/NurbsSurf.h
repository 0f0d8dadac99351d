#pragma once
// Fenwo::NurbsSurf: the system's rational tensor-product NURBS surface, also
// its NURBS curve (a surface with one row of control points: the v knot
// vector has degree 0 and last index 0, and the parameter runs in u).
//
// Control points are stored homogeneously, (w x, w y, w z, w), point (i, j)
// at index i + nU j; the accessors take wrapped indices (i modulo nU, j
// modulo nV, -1 the last), so cyclic directions need no special cases.
// Evaluation fills a derivative table D[k][l] (derivative of order k in u and
// l in v) that the surface owns and overwrites on its next evaluation.
//
// Besides geometry the surface carries the state of its constrained fits:
// the constraints, the null space of their equations and the variable
// bookkeeping, fit vectors and records, comment lines of its text form, and
// the line-search settings. Whenever the control net is reallocated the fit
// state that depends on its size (null space, variable arrays, derivative
// workspace) is dropped.
//
// Ownership: the surface owns its knot vectors, control net, tables,
// constraints, null space, comment lines and fit records. Functions that
// return a new object (makeCurve, clone, getControlPointBox, computeDerivatives
// with a null table) say so; the caller owns that object.
// Thread-safety: none. Evaluation writes into per-surface tables and into the
// knot vectors' work arrays, so a surface serves one thread at a time.
// Different surfaces can be evaluated concurrently.

#include "foundation/FitPoint.h"
#include "foundation/KorArray.h"
#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/Matrix.h"
#include "foundation/SimpleString.h"
#include "foundation/Vector.h"
#include "geometry/Binomial.h"
#include "geometry/BoundaryPosition.h"
#include "geometry/Constraint.h"
#include "geometry/Interval.h"
#include "geometry/Knots.h"
#include "geometry/ParametricGeometry.h"

#include <cfloat>
#include <cstddef>
#include <iosfwd>
#include <memory>
#include <vector>

namespace Fenwo {

// Polymorphic item of a fit record; deleted through its virtual destructor
// when the surface clears its records.
class CFitRecordItem {
public:
    virtual ~CFitRecordItem() = default;
};

// One record of the fit bookkeeping: an owned item and a state word (2 once
// the record has been cleared).
struct FitRecord {
    CFitRecordItem* item = nullptr; // owned by the surface
    int state = 0;
};

// Derivatives of surface points with respect to every fit variable, indexed
// by the derivative orders in u and v; the entries of orders a + b <= 2 (the
// highest the fit evaluates) hold one 3-vector per fit variable, the others
// stay empty. Built by the fit set-up.
struct FitDerivativeWorkspace {
    int variableCount = 0;
    std::vector<Vector> entries[4][4];
};

// The control points of a surface: an owned array of homogeneous points
// that records write access. Every non-const access (operator[], get, reset,
// take) sets `changed`, so that the flat copy of the net that evaluation
// reads is rebuilt before its next use. Reads that must not count as writes
// go through a const reference (or `point`). A reference or pointer obtained
// through a non-const access is good for writing until the next evaluation
// of the surface; take it again after that.
class ControlNet {
public:
    Vector& operator[](std::ptrdiff_t k)
    {
        changed = true;
        return points[k];
    }
    const Vector& operator[](std::ptrdiff_t k) const { return points[k]; }
    const Vector& point(std::ptrdiff_t k) const { return points[k]; }
    Vector* get()
    {
        changed = true;
        return points.get();
    }
    const Vector* get() const { return points.get(); }
    void reset(Vector* p = nullptr)
    {
        changed = true;
        points.reset(p);
    }
    // Hands the array over to the caller; the net is then empty.
    std::unique_ptr<Vector[]> take()
    {
        changed = true;
        return std::move(points);
    }
    ControlNet& operator=(std::unique_ptr<Vector[]>&& p)
    {
        changed = true;
        points = std::move(p);
        return *this;
    }
    explicit operator bool() const { return points != nullptr; }
    bool operator==(std::nullptr_t) const { return points == nullptr; }

    bool changed = true; // written since the flat copy was last built

private:
    std::unique_ptr<Vector[]> points;
};

class NurbsSurf : public CParametricGeometry {
public:
    // ---- Data -----------------------------------------------------------------
    bool valid = true;       // false after reading a malformed control net
    knots* uKnots = nullptr; // owned
    knots* vKnots = nullptr; // owned; degree 0 with n = 0 for a curve
    int lastUSpan = 0;       // knot spans of the last derivative computation
    int lastVSpan = 0;
    // Sides collapsed to one point (uvSouth .. uvEast), ordered by value,
    // owned. setControlPointPosition keeps them collapsed and evaluate
    // repairs the vanishing derivative along them.
    Kor::Set<BoundaryPosition> degenerateSides;
    // max(nU nV, 2) homogeneous control points; each empty until set.
    ControlNet controlNet;
    int controlNetSize = 0;
    // Set as soon as a control point receives a weight other than 1.0;
    // selects the rational evaluation path.
    bool rational = false;
    // 4 x 4 table returned by evaluate and getEvaluation (dimension entries).
    Vector** evaluation = nullptr;
    // Fit vectors of the Newton fit: four of 3 entries, the fifth one entry
    // per control point (at least 2).
    Vector fitVectors[5];
    // Control points held fixed in fits, as i + nU j.
    Kor::Array<int> fixedControlPoints;
    // Derivative workspace of the constrained fit; null until the fit set-up
    // builds it.
    std::unique_ptr<FitDerivativeWorkspace> fitWorkspace;
    // Whole lines beginning with "#", written first by the text writer.
    Kor::Array<CSimpleString> commentLines;
    // Newton line-search settings: damping of coordinate steps when nonzero,
    // fold tests of trial nets, and the bound of the damping.
    int dampSteps = 0;
    bool checkFolds = false;
    double stepLimit = DBL_MAX;
    // The interior simple u knots are fit variables too.
    bool freeKnots = false;
    // Fitting constraints, owned, in insertion order.
    Kor::List<CConstraint*> constraints;
    // Fit records, each owning its item.
    Kor::Array<FitRecord> fitRecords;
    // Null-space basis of the constraint equations: one row per entry of
    // constrainedVariables, one column per remaining degree of freedom. Null
    // until built; dropped whenever the control net is reallocated.
    std::unique_ptr<Matrix> nullSpace;
    // Variable bookkeeping of the constrained fit: fixed variables, state of
    // every variable (0 fixed, 1 free, 2 constrained), free variables
    // (control-point variables ascending, then the knot variables), and the
    // constrained variables (row order of nullSpace).
    Kor::Array<int> fixedVariables;
    Kor::Array<int> variableState;
    Kor::Array<int> freeVariables;
    Kor::Array<int> constrainedVariables;

    // ---- Construction -----------------------------------------------------------
    // A surface over copies of the knot vectors; without v knots a curve in u
    // (v knots of degree 0 with one control point). Control points are empty
    // until set; the constraint list holds one CFixWeightsConstraint.
    explicit NurbsSurf(const knots& u, const knots* v = nullptr);
    // Copies the knots, control points, rational flag, fixed control-point
    // indices, line-search settings, validity, layer and colours. A new
    // geometry object: constraints, comment lines, degenerate sides, reversal
    // flags and fit state are not copied.
    NurbsSurf(const NurbsSurf& other);
    NurbsSurf& operator=(const NurbsSurf&) = delete;
    ~NurbsSurf() override;

    // Replaces this surface's knots, control net, rational flag, layer,
    // colours and degenerate sides by copies of other's; constraints and fit
    // state start afresh (one CFixWeightsConstraint). Copying from itself
    // does nothing.
    void copyFrom(const NurbsSurf& other);
    // Replaces this surface's constraints (by copies, in other's order),
    // comment lines, degenerate sides and free-knots flag by other's; the
    // fit state starts afresh. A copy made by the copy constructor then
    // writes other's record and fits as other does. Taking from itself does
    // nothing.
    void copyFitSetupFrom(const NurbsSurf& other);

    // Allocates the control net (max(nU nV, 2) empty points), the fit vectors
    // and the tables for the current knots, drops the fit state that depends
    // on the net's size (null space, variable arrays, derivative workspace),
    // clears freeKnots and the rational flag, adds a CFixWeightsConstraint
    // and sets the kind (surface when the v knots have n != 0). Control
    // points must be set again afterwards.
    void allocateStorage();
    // Frees the null space, empties the four variable arrays and drops the
    // derivative workspace, so that a fit rebuilds them.
    void invalidateFitState();
    // Drops what one Newton fit works in and the next one makes again: the
    // derivative workspace, the Jacobian's scratch and the rational basis of
    // the last point (a few 3-vectors per fit variable). The null space and
    // the variable arrays stay.
    void releaseFitScratch();
    // Drops the fit state built before and builds it again from the current
    // knots and constraints (invalidateFitState, then prepareFitWorkspace):
    // the constrained least-squares system the next Newton fit solves in.
    // True when the null space exists.
    bool buildSparseSystem();

    // Control-point counts: n + 1 of the knot vector, less p when it is
    // cyclic; 1 without a knot vector (never below 1).
    int getUCount() const;
    int getVCount() const;

    // ---- Control points ---------------------------------------------------------
    // The stored homogeneous point (i, j), indices wrapped.
    Vector& getWrappedControlPoint(int i, int j);
    const Vector& getWrappedControlPoint(int i, int j) const;
    // The stored point at index i + nU j, not wrapped: 0 <= i + nU j <
    // controlNetSize is the caller's guarantee.
    Vector& controlPointAt(int i, int j) { return controlNet[i + getUCount() * j]; }
    const Vector& controlPointAt(int i, int j) const { return controlNet[i + getUCount() * j]; }
    // Replaces the stored point at index i + nU j (not wrapped) by P as given.
    void setHomogeneousControlPoint(int i, int j, const Vector& P);
    // Stores p (Euclidean coordinates) as point (i, j). When p has
    // dimension + 1 entries its last one is the weight w: the stored point is
    // (w p, w) and a weight other than 1.0 sets the rational flag; with
    // dimension entries the weight is 1.0.
    void setControlPoint(int i, int j, const Vector& p);
    void setControlPoint(int i, int j, const Vector& p, double w);
    // Moves point (i, j) to xyz keeping its weight (1.0 for a point not yet
    // set). When (i, j) lies on a degenerate side, every point of that side
    // gets the same homogeneous point, so the side stays collapsed.
    void setControlPointPosition(int i, int j, const Vector& xyz);
    // The Euclidean point (i, j) into out (dimension entries). A point not
    // set or of weight 0 gives zeros.
    void getControlPoint(int i, int j, Vector& out) const;
    void getControlPointXYZ(Vector& out, int i, int j) const;
    // The Euclidean point into xyz and its weight into w (0 for a point not set).
    void getControlPointAndWeight(Vector& xyz, int i, int j, double& w) const;
    // out = P / w (dimension entries); zeros when the weight is 0 or P is
    // shorter than dimension + 1.
    void toEuclidean(Vector& out, const Vector& P) const;
    // New array of two 3-vectors (caller deletes with delete[]): the per
    // coordinate minimum and maximum of the Euclidean control points.
    Vector* getControlPointBox() const;
    // True when some control point's weight differs from that of point
    // (0, 0) by more than 1e-8.
    bool isRational() const;

    // ---- Boundary and unknowns ------------------------------------------------
    // Whether (i, j) lies on side 1 (j = 0), 2 (j = nV - 1 or -1), 3 (i = 0)
    // or 4 (i = nU - 1 or -1); false for any other side.
    bool isOnBoundary(int i, int j, int side) const;
    // Sets every control point of side 1..4 (see isOnBoundary) to the
    // homogeneous point P; other sides do nothing.
    void setBoundaryControlPoints(int side, const Vector& P);
    // Ring 0: i or j on the first or last index of its knot vector (knots n);
    // ring 1: i or j within one of them; other rings: false.
    bool isNearBoundary(int i, int j, int ring) const;
    // Fit variable of coordinate d (0..2 x, y, z; 3 the weight) of point
    // (i, j): d + 4 (i + nU j); and its inverse.
    int getUnknownIndex(int i, int j, int d) const { return d + 4 * (i + getUCount() * j); }
    void splitUnknownIndex(int k, int& i, int& j, int& d) const;
    // 4 nU nV, plus the simple interior u knots when freeKnots is set.
    int countUnknowns() const;
    // Size of the reduced fit system: columns of nullSpace (0 when there is
    // none) plus the free variables.
    int getSystemSize() const;
    // Full variable vector from a reduced one: full is sized by countUnknowns
    // and zeroed; with f the free control-point variables (freeVariables less
    // the k knot variables), reduced[e] goes to freeVariables[e] for e < f,
    // every nullSpace row r adds sum_c Z[r][c] reduced[f + c] at
    // constrainedVariables[r], and the knot variables freeVariables[f + i]
    // take reduced[f + z + i], z the columns of nullSpace (free control-point
    // variables, null-space coordinates, then knots: the layout of the fit
    // Jacobian). Entries beyond reduced or full are skipped. Returns full.
    Vector& expandUnknowns(Vector& full, const Vector& reduced) const;
    // Deletes the item of every fit record, marks the record cleared
    // (state 2) and empties the record array.
    void clearRecords();

    // ---- Constraints ------------------------------------------------------------
    // Takes ownership of c: deletes and removes the first stored constraint
    // equal to c, appends c and returns it. A null c does nothing and gives null.
    CConstraint* addConstraint(CConstraint* c);
    // Fixes control point (i, j) in fits: a single-control-point constraint
    // of kind fixed at the point's current Euclidean position, replacing one
    // already on that point. Returns the stored constraint.
    CConstraint* addFixedPointConstraint(int i, int j);
    // The first constraint of type ij_region, null when there is none.
    CConstraint* findRegionConstraint() const;
    // Empties eqs and the fixed control-point list, then appends the
    // equations of the region constraint (when there is one) followed by
    // those of every other constraint in list order.
    void addConstraintEquations(Kor::List<CSparseLinearEquation>& eqs);
    // After `count` knots were inserted at knot position `index` of direction
    // dir (0 u, 1 v): every constraint naming control points by index raises
    // those above index - p of that direction by count. Returns true.
    bool shiftSingleConstraints(int index, int count, int dir);
    // Marks a side (uvSouth .. uvEast) as collapsed; a side already present is
    // not added again.
    void addDegenerateSide(BoundaryPosition side);
    bool hasDegenerateSide(BoundaryPosition side) const;

    // ---- Drawing (NurbsSurfDraw.cpp) --------------------------------------------
    // Immediate-mode OpenGL into the caller's current context.
    // Shaded quad strips with unit normals (a curve: one grey line strip). The
    // resolutions are derived from the control-point counts: about four
    // samples per span in each direction, at most `limit` in all.
    void drawShaded(int uResolution, int vResolution, int limit);
    // Inspection drawing by flag bits, in this order: 8 control net, then the
    // colour (r, g, b, a); 2 lines along u (the control polygon below degree
    // 2); 1 lines along v; 0x20 lines through the peaks of the basis
    // functions; 0x200 the four boundary curves; 4 knot lines; 0x100 knot
    // points; 128 normals; 16 the shaded Greville mesh. Flag 64 draws the
    // lines of 1 and 2 red. uIsoCount + 1 and vIsoCount + 1 lines are drawn,
    // each through samples + 1 points. Line width and point size are
    // restored.
    void render(int uIsoCount, int samples, int vIsoCount, int flags, float r, float g, float b,
                float a);
    // drawPointMarker at every Euclidean control point of row j (of column i).
    void drawRowMarkers(int j, double size, int kind);
    void drawColumnMarkers(int i, double size, int kind);
    // A marker of line strips centred on (x, y, z), half-size s: 1 axis cross
    // (black), 2 cube diagonals (0.1, 0.1, 0.9), 3 square in the plane z
    // (0.8, 0.8, 0.8), 4 triangle up (0.8, 0, 0.7), 5 triangle down
    // (0.9, 0.1, 0.1); any other kind draws nothing.
    static void drawPointMarker(double x, double y, double z, int kind, double s);
    // A black line strip from p to p + s d.
    static void drawDirectionLine(const Vector& p, const Vector& d, double s);
    // The point at (u, v) and the unit normal S_u x S_v there (a zero vector
    // where the cross product vanishes), both sized to 3; S_u and S_v into su
    // and sv where given.
    void evaluatePointAndNormal(double u, double v, Vector& point, Vector& normal,
                                Vector* su = nullptr, Vector* sv = nullptr);
    // The shaded bilinear patches through the surface points at the corners
    // of every cell between consecutive Greville abscissae (flag 16).
    void drawGrevilleMesh();
    // The four boundary curves (flag 0x200) through the installed drawer;
    // false when none is installed.
    bool drawBoundaryCurves();
    // Draws the four boundary iso-parametric curves of a surface. The curve
    // classes live above this library, so the curves library installs the
    // drawer (installBoundaryCurveDrawing, curves/SurfaceBoundaryDrawing.h);
    // returns the previous one.
    using BoundaryCurveDrawer = void (*)(NurbsSurf& surface);
    static BoundaryCurveDrawer setBoundaryCurveDrawer(BoundaryCurveDrawer drawer);

    // ---- Evaluation -------------------------------------------------------------
    // The rational point at (u, v) (internal parameters, clamped to the knots
    // or wrapped on cyclic ones) into out (3 entries). Zeros when the
    // homogeneous weight sum is 0.
    void evaluatePoint(Vector& out, double u, double v);
    // The same point into out[0 .. 2].
    void evaluatePointInto(double u, double v, double* out);
    // Derivatives of orders 0..d in u and in v at (u, v) in internal
    // parameters into T[k][l] (k + l <= d; other entries of the (d + 1) x
    // (d + 1) block are zero). With a null T a new table of d + 1 rows is
    // allocated (caller owns it, frees it with freeDerivativeTable(T, d)).
    // Returns T. Rational surfaces take the quotient rule on the homogeneous
    // derivatives, so derivatives beyond the degree are exact, not zero.
    Vector** computeDerivatives(int d, double u, double v, Vector** T);
    // The same derivatives into a flat buffer of 3 (d + 1)^2 doubles:
    // derivative (k, l) at out + 3 (k (d + 1) + l), zero where k + l > d.
    // Sets lastUSpan and lastVSpan as computeDerivatives does.
    void computeDerivativesInto(int d, double u, double v, double* out);
    // The evaluation table up to min(order, 3) at (u, v) in the geometry's
    // parameters (reversed directions mapped). Along a degenerate side the
    // vanishing first derivative is replaced by the cross-boundary derivative
    // at the far end of the side; at a corner where the first derivatives are
    // still parallel the table is evaluated 1e-6 inside the domain, printing
    // "u,v still Collinear!" when that does not help. Never null.
    Vector** evaluate(int order, double u, double v) override;
    // The table filled by the last evaluate.
    virtual Vector** getEvaluation() { return evaluation; }
    // Homogeneous derivative (k, l) of the last rational derivative
    // computation or point evaluation (dimension + 1 entries; the weight
    // last); null when (k, l) was not computed.
    const double* getHomogeneousDerivative(int k, int l) const;
    // Binomial coefficient (see geometry/Binomial.h).
    static long binomial(int n, int k) { return ::binomial(n, k); }
    // Moves (uv[0], uv[1]) across the seam of cyclic directions: u within
    // 0.01 of its domain start goes one period up, then u within 0.01 of the
    // end one period down; v only when below or above its domain.
    void wrapCyclicParameters(Vector& uv) const;

    // ---- Point inversion ----------------------------------------------------------
    // Refines, in place and in subset order, the parameters of every fit
    // point of the subset to those of the nearest surface point, starting
    // from the stored uv (internal parameters). Writes uv, dist2 (the squared
    // distance), the side (+1 when (S_u x S_v) . (S - P) > 0, else -1;
    // surfaces only), the u and v control indices (the control points whose
    // basis functions are largest there) and the boundary flag (0 inside,
    // 1 u min, 2 u max, 3 v min, 4 v max). A point in state 2 keeps its uv
    // and gets only a fresh dist2; a point in state 3 moves only across its
    // parameter direction (dirU, dirV). The iteration is a Newton method on
    // the squared distance, kept in the domain by an active set of bounds and
    // a ratio test, with a backtracking line search; it ends at a stationary
    // point or after maxIterations + 1 iterations (four times maxIterations
    // + 1 when a start sits on a bound). On a degree-1 curve (poly-line) each
    // point goes to the nearest point of the nearest segment instead.
    // Returns the number of Newton iterations run (0 for a poly-line).
    long PointInversion(IndexSubset<CFitPoint>& points, int maxIterations);
    // Start parameters for PointInversion from (nU resU) x (nV resV) samples
    // of the surface (resolutions below 1 count as 1). Only points of the
    // subset that are not in state 2 receive parameters.
    // Without useGrid, or on a curve: the movable points are bucketed (cells
    // of 1/45 of their box diagonal) and every bucket's points take the
    // parameters of the sample nearest to the bucket's centroid; the subset
    // is unchanged.
    // With useGrid: the samples are bucketed (30 x 30 x 30) and each movable
    // point takes the parameters of the nearest sample in its own bucket, or
    // of the nearest sample overall when its bucket holds none.
    // "hits=N out of M" is printed to standard output, N the points given
    // parameters (found either way), M the subset's size; the subset is then
    // reduced to the points whose own bucket held a sample: points in state 2
    // (parameters untouched) and points found only by the full search leave it.
    // Returns the number of points given start parameters.
    int invertPoints(IndexSubset<CFitPoint>& points, int resU, int resV, bool useGrid);
    // Reverses the u (0) or v (1) direction in place: knots mirrored, the
    // control net reordered so that the surface keeps its shape, and the
    // degenerate sides of that direction exchanged (west and east for u,
    // south and north for v). On a curve any direction reverses u; on a
    // surface other directions do nothing. Reversal flags and domains stay.
    void invertDirection(int direction);
    // ---- end of point inversion ---------------------------------------------------

    // ---- Knot insertion and removal ---------------------------------------------
    // Inserts t into the u (direction 0) or v (direction 1) knot vector up to
    // r times without changing the shape (degree p, an existing knot of
    // multiplicity s takes at most p - s more). t is clamped into the domain
    // (wrapped on a cyclic vector); on a clamped vector only strictly interior
    // values are inserted. The control net grows by the insertions in that
    // direction (homogeneous points, weights travel with them), its storage is
    // renewed (fit state dropped, constraints kept) and the index of every
    // single control-point constraint beyond the changed points rises by the
    // count. Returns the number of insertions; 0 when nothing was inserted
    // (r <= 0, an invalid direction, v on a curve, a domain end, a knot
    // already of multiplicity p), the surface then unchanged.
    int insertKnots(double t, int r, int direction);
    // Removes the u knot at knot position r up to num times (at most its
    // multiplicity), each removal only while the control polygon moves by
    // less than tol (Euclidean distance of homogeneous points). *removed
    // receives the count (0 at the start; removed may be null). A surface
    // loses the knot only when every row of the net can lose it the same
    // number of times. Nothing changes when the count is 0: r at or below p
    // or beyond n, a multiplicity above p, num <= 0, or tol not met. On
    // success the storage is renewed (fit state dropped); constraints keep
    // their indices. The v direction is reached through swapuv.
    void removeKnots(int r, int num, int* removed, double tol);
    // ---- end of knot insertion and removal ----------------------------------------

    // ---- Knot refinement and control-point fixing for a fit ---------------------
    // The error of a fit point is its dist2 (squared distance); tol is
    // compared squared. Points without parameters are ignored.
    // Refinement (fixMode false): for every u span (refineU) whose worst point
    // error exceeds tol^2, the span's midpoint is a candidate; the
    // maxNewKnots candidates of largest error are inserted once each into the
    // u knots, largest first; then the same for the v spans (refineV). The
    // shape is kept; the storage is renewed as by insertKnots. Returns true
    // when at least one knot was inserted.
    // Fixing (fixMode true): every control point whose parameter region (the
    // midpoints between neighbouring Greville abscissae) holds no fit point,
    // or whose best 98 % of points all lie within tol, gets a fixed
    // CIJSingleConstraint at its position with the raw normal at its Greville
    // abscissae, replacing an equal one. Prints "fixCount=" count " out of "
    // nU nV on standard output. Always returns true.
    bool fixControlPoints(const IndexSubset<CFitPoint>& pts, double tol, bool fixMode, bool refineU,
                          bool refineV, int maxNewKnots);
    // ---- end of knot refinement and control-point fixing for a fit ---------------

    // ---- Constrained fit: null space and Jacobian -------------------------------
    // Reduced variables of the Newton fit, in this order: the free
    // control-point variables (freeVariables less its trailing knot
    // variables), one coordinate per column of nullSpace, then the knot
    // variables. expandUnknowns and evaluateFitJacobian share this layout.

    // Derivatives of the point table with respect to every reduced variable:
    // at(a, b, e) = d S_ab / d y_e for a + b <= order. Owned by the caller of
    // evaluateFitJacobian, which allocates it on demand. Columns outside the
    // last active list are zero as long as the caller only reads the table.
    struct FitJacobianTable {
        int order = 0;                     // highest derivative order held (0..2)
        int columns = 0;                   // reduced variables
        std::vector<Vector> entries[3][3]; // columns 3-vectors each, a + b <= order
        std::vector<int> written;          // columns the last point wrote
        FitJacobianTable(int order, int columns);
        Vector& at(int a, int b, int e) { return entries[a][b][e]; }
        const Vector& at(int a, int b, int e) const { return entries[a][b][e]; }
    };

    // The null-space basis Z of the constraint equations, built on the first
    // call and returned again until the fit state is dropped (the surface
    // owns it). Classifies every variable: a variable no equation mentions is
    // free; one pinned by a single-cell equation of its own, or whose Z row
    // vanishes, is fixed; the others are constrained, row r of Z belonging to
    // constrainedVariables[r]. Every increment Z y satisfies every equation.
    // Prints "loss of rank d columns from c columns " when d of the c
    // equations are linearly dependent on the others. With freeKnots the knot
    // variables are appended to freeVariables. Never null.
    Matrix* buildConstraintNullSpace();
    // (Re)allocates the derivative workspace (4 x 4 arrays of zero 3-vectors,
    // one per fit variable) and builds the null space when it is missing or
    // was built for another variable count. True when nullSpace exists.
    bool prepareFitWorkspace();
    // Full fit variable of the knot at u knot position m: 4 nU nV plus the
    // number of simple interior knots at positions p + 1 .. m - 1; -1 unless
    // m is a simple interior position (p < m <= n). Meaningful with freeKnots.
    int getKnotUnknownIndex(int m) const;
    // Inverse of getKnotUnknownIndex: the u knot position of a knot variable,
    // -1 for any other variable.
    int getKnotPosition(int variable) const;
    // Rational surface point and derivatives up to `order` (0..3) at (u, v)
    // in internal parameters (clamped, or wrapped on cyclic knots), always
    // through the homogeneous quotient rule. Fills P (allocated when null:
    // order + 1 rows of order + 1 3-vectors; the caller then owns it and frees
    // it with freeDerivativeTable) and R: the rational basis values
    // N_i N_j w_ij / W of the span's (p + 1)(q + 1) control points, entry
    // k (q + 1) + l for control point (lastUSpan - p + k, lastVSpan - q + l)
    // (wrapped on cyclic knots); every other control point's value is 0, so
    // the work does not grow with the size of the net. *W (when given)
    // receives the weight function. Returns P; a zero weight function leaves
    // P and R zero.
    Vector** evaluateRationalBasis(int order, double u, double v, Vector** P, Vector& R, double* W);
    // One fit point of the Newton fit at params (u, and v on a surface, in
    // internal parameters as the fit points store them):
    // P receives the point and its derivatives S_ab (a + b <= o, o clamped
    // into 0..2), J their derivatives with respect to every reduced variable,
    // and active the reduced indices that can be non-zero (ascending, each
    // once). Null tables are allocated (P: o + 1 rows; J: o and
    // getSystemSize()); the caller owns and frees both (freeDerivativeTable,
    // delete) and may pass them again for every point. A P passed in must
    // have at least o + 1 rows; a J of another shape is reshaped. The derivative workspace holds
    // the full-variable derivatives of this point afterwards; it and the null space are prepared
    // when missing.
    void evaluateFitJacobian(const Vector& params, Vector**& P, FitJacobianTable*& J,
                             Kor::Array<int>& active, int o);
    // Scratch of the fit Jacobian; no state between fits beyond the reduced
    // slot of every full variable (rebuilt with the null space).
    struct FitJacobianScratch {
        // Per full variable: e >= 0 its reduced index (free variables), -2 - r
        // a constrained variable of nullSpace row r, -1 fixed.
        std::vector<int> reducedSlot;
        int slotSystemSize = -1;  // getSystemSize() when reducedSlot was built
        Vector basisU[4];         // basis rows 0..3 of the last u span (p + 1 each)
        Vector basisV[4];         // the same for v
        std::vector<int> touched; // workspace variables written by the last point
        int touchedOrder = -1;
        std::vector<int> spanPoints;      // distinct control points of the span
        std::vector<double> spanProducts; // 9 basis products N_a N_b per span point
    };
    Vector rationalBasis; // R of the last evaluateFitJacobian (the span's values)
    FitJacobianScratch fitJacobianScratch;
    // ---- end of constrained fit: null space and Jacobian ------------------------

    // ---- Line search of the Newton surface fit ------------------------------------
    // The Newton fit hands a step in the reduced variables (layout above);
    // the search tries step lengths on the surface itself, re-projects the fit
    // points after each trial and leaves the surface at the best step length.
    // Objective of a trial: f = sum of weight * dist2 over the fit points and
    // the normal penalty P = lambda^2 * sum over the points with a Normal n of
    // (n . unit S_u)^2 + (n . unit S_v)^2 (the v term on surfaces only).

    // Searches the step length along `step` (reduced variables) starting at
    // alpha0. f0 and P0 are the objective and penalty of the current surface,
    // g the directional derivative of f + P along the step, *scale the scale
    // whose square root bounds damped steps (raised to 1e-8 in place when
    // smaller in magnitude), lambda the penalty weight; `unused` is not read.
    // Every trial re-projects the points (PointInversion, 10 iterations) from
    // the parameters of the best trial so far; with checkFolds a trial whose
    // control net folds is rejected and the next one is a quarter as long.
    // Ends after 10 trials, at a ratio (f - f0 + P - P0) / (alpha g) within
    // [0.3, 0.7], or when the surface's progress sink cancels. The surface is
    // then moved by the best step found, every point takes that trial's
    // parameters (kept in uv2) with a fresh dist2, and *fOut / *pOut receive
    // f and P there. Returns that step length; 0 (surface and points as they
    // were) when g > -2.2e-16 (then *fOut = *f0) or when no trial improved.
    double newtonLineSearch(const Vector& step, double alpha0, IndexSubset<CFitPoint>& points,
                            double* f0, double* scale, double g, double* fOut, int unused,
                            double* pOut, double lambda, double P0);
    // Sets the control net to savedNet (one (x, y, z, w) Euclidean point and
    // weight per control point, index i + nU j) moved by alpha times the full
    // step x (expandUnknowns): a coordinate becomes saved - d, d = alpha x[v],
    // or with dampSteps d / sqrt(1 + (d / (stepLimit sqrtScale))^2), which
    // bounds every coordinate move by stepLimit sqrtScale; a weight becomes
    // saved - alpha x[v], at least 1e-4. With freeKnots the simple interior u
    // knots move from their current values by -alpha x[v], each move limited
    // to less than half the gap towards the neighbour it approaches, so the
    // knots stay ordered at least 1e-8 of the domain apart. A savedNet of
    // another size leaves the surface unchanged (false).
    bool applyNewtonStep(const std::vector<Vector>& savedNet, const Vector& x, double alpha,
                         double sqrtScale);
    // The control net as (x, y, z, w) per control point, the form
    // applyNewtonStep takes.
    std::vector<Vector> saveEuclideanNet() const;
    // Objective f and penalty P of the fit points at their current uv (see
    // above). With refreshDistances every dist2 is first recomputed as the
    // squared distance to the surface point at uv (no projection). Points
    // without parameters are skipped.
    void lineSearchObjective(IndexSubset<CFitPoint>& points, double lambda, bool refreshDistances,
                             double& f, double& P);
    // Next step length from one trial: the minimiser -g / (2c) of the
    // quadratic f0 + g x + c x^2 through (alpha, f), c = (f - g alpha - f0) /
    // max(alpha^2, DBL_MIN), when c > 2.2e-16 and the minimiser is at most
    // alphaMax; otherwise alpha / 4.
    static double quadraticStep(double f0, double g, double alpha, double f, double alphaMax);
    // Next step length from two trials: the minimiser of the cubic through
    // f(0) = f0, f'(0) = g, (a1, f1) and (a2, f2), chosen among the positive
    // stationary points below alphaMax (the one of smaller cubic value when
    // both qualify). `fallback` when the system is singular or no stationary
    // point qualifies.
    static double cubicStep(double f0, double g, double a1, double f1, double a2, double f2,
                            double alphaMax, double fallback);
    // ---- end of line search of the Newton surface fit -----------------------------

    // ---- Newton approximation -------------------------------------------------------
    // Moves the control points and weights (within the constraints, through
    // the reduced variables of the fit system) so that the surface, or the
    // curve, approximates the selected fit points: Gauss-Newton / Newton
    // iterations, each a linearised least-squares solve followed by
    // newtonLineSearch. The points must carry start parameters (uv); their
    // uv, uv2, dist2 and AbsErr are updated in place. Arguments:
    //   unused: not read;
    //   maxIterations: outer iterations at most (nothing is done for <= 0);
    //   doubleSparseBudget: start the conjugate-gradient budget at twice
    //     3 k / 2, k = (p_u + 1)(p_v + 1);
    //   sparse: solve by sparse least squares (sparseLScg), else by the dense
    //     normal equations;
    //   mode: 0 Gauss-Newton with the parameters held, 1 Newton with the
    //     parameters eliminated per point, 2 as 1 plus the curvature terms;
    //     2 whenever normal-alignment rows are present;
    //   options: null, or a record whose notification is told about every
    //     improving iteration (and waited for) and about the end, and whose
    //     cancel flag stops the fit;
    //   lambda: weight of the normal-alignment residuals lambda n . unit(S_u)
    //     (and n . unit(S_v) on a surface) of points with a Normal; used only
    //     when lambda > 1e-8;
    //   dTol, q: when q > 0 the fit stops once the q-quantile of the point
    //     errors is below dTol ("q-quantile q=... reached with value=...").
    // Stops early on the process-wide stop flag (platform/FitStopFlag.h,
    // cleared at the start), a cancel of the progress sink, or a step that no
    // longer moves the surface. A constraint system that cannot be built
    // prints "something with the constraints is wrong." and leaves the
    // surface unchanged. Not re-entrant: the stop flag and the sparse
    // solver's slots are process-wide.
    void newtonApproximation(IndexSubset<CFitPoint>& points, int unused, int maxIterations,
                             bool doubleSparseBudget, bool sparse, int mode,
                             struct FitOptions* options, double lambda, double dTol, double q);
    // ---- end of Newton approximation -------------------------------------------------

    // ---- Control-net checks and repairs, cyclic seam, boundary positions --------
    // The tests read the Euclidean control points and never change the
    // surface; they answer true for a net that is bad or cannot be tested (not
    // valid, a knot vector missing or unhealthy, no control points). Repairs
    // move points with setControlPointPosition, so weights are kept.

    // Fold test of the control polygon of row 0: true when a turning angle
    // exceeds 0.9 pi or two consecutive ones add up to more than 1.2 pi, or
    // when the test cannot run; false for a polygon of two points.
    bool checkTurningAngles() const;
    // Where two consecutive turning angles of row 0 add up to more than
    // 1.5 pi, exchanges the two control points at which they are measured
    // (then skips the next angle). True when anything was exchanged; false
    // for fewer than three points or an untestable net.
    bool untangleControlPolygon();
    // Spike test of every row and column: true when an angle at a control
    // point (threePointAngle of its two neighbours, degrees) is below 35, when
    // two consecutive angles of a row or column add up to less than 140, or
    // when the test cannot run (fewer than 4 control points included).
    bool checkControlNetAngles() const;
    // Moves every control point whose angle (as above) is below angleLimit
    // degrees to the midpoint of its neighbours, rows first then columns,
    // prints "healed #spikes=" count when any was found and fairs the 5 x 5
    // window around each of them. True when more than a tenth of all control
    // points (integer division) were spikes; false without a testable net.
    bool healSpikes(double angleLimit);
    // Moves the control points of every row, then of every column, to equal
    // arc-length steps along their own control polygon (closed along a cyclic
    // direction). With reparametrize both knot vectors become uniform over
    // their control-point counts (reparametrizeU / reparametrizeV).
    void regularizeNet(bool reparametrize);
    // Moves the seam of a cyclic u knot vector to t: inserts t once when it is
    // not a knot, then rotates knots and control points so that the domain
    // starts at t; the shape is kept. With removeRedundantKnots, knots removable within
    // 1e-6 are removed afterwards. Prints "sorry, not a cyclic knot vector! "
    // and returns false on another end condition (nothing changed). When the
    // rotated knot vector is unhealthy, dumps the surface and the knot values
    // to the debug file "c:/tmp/c-debug.out", prints "new knotlist=" and
    // returns false; only the inserted knot then remains.
    bool updateCyclicKnotList(double t, bool removeRedundantKnots);
    // Adds the collapsed sides found by classifySide of both directions to the
    // degenerate sides (each once). Always true.
    bool updateBoundaryPositions();
    // Curvature of the curve-like surface at t (internal parameter) and the
    // unit direction towards the centre of curvature into direction.
    // 0 (direction zero) when the surface has a v direction or C' vanishes.
    // Degree 1: polylineCurvature. At an interior knot of multiplicity p or
    // p - 1 the mean of the curvatures just before and after it.
    double curveCurvature(double t, Vector& direction);
    // curveCurvature without the direction.
    double getCurvature(double t);
    // Curvature of a degree-1 curve at t: the slope of the least-squares line
    // of turning angle against arc length over the legs around the control
    // point nearest to t (among those with two neighbours), two legs to each
    // side; turns above 0.4 pi and points with a leg below 1e-6 are left out.
    // direction: the normalised sum of unit(next leg) - unit(previous leg) of
    // the points counted (zero when none). 0 for fewer than three points.
    double polylineCurvature(double t, Vector& direction);
    // ---- end of control-net checks and repairs ------------------------------------

    // ---- Geometry interface -----------------------------------------------------
    // 80 (u n + v n + 2 (nU nV + comment lines)).
    long memorySize() const override;
    // The geometry-object block, then writeGeometry.
    bool write(std::ostream& os) const override;
    // The surface body: comment lines, colours, constraints, the knot vectors
    // (each after "reverse" when flagged) and one line per control point.
    bool writeGeometry(std::ostream& os) const override;
    // A copy (copy constructor) with the reversal flags and domains of this
    // surface; the caller owns it.
    CParametricGeometry* clone() const override;
    // The range of the u knots (dir 0) or of the v knots (any other dir).
    Interval getDomain(int dir) const override;
    // Stores the domain in the knot vector's range; along a reversed
    // direction the mirror image within the current domain. A mirrored u
    // domain outside the current range prints "Range trim invalid! " and is
    // stored all the same. Directions other than 0 and 1 do nothing.
    void setDomain(int dir, const Interval& domain) override;
    bool getUKinks(Vector& kinks) const override;
    bool getVKinks(Vector& kinks) const override;

    // ---- Domain, parameters and measures ------------------------------------
    // Appends the distinct knots of the u (v) domain to out, the first and the
    // last only when withEnds. Always true.
    bool getUBreakpoints(Kor::List<double>& out, bool withEnds) const override;
    bool getVBreakpoints(Kor::List<double>& out, bool withEnds) const override;
    // The domain ends and the Greville abscissae inside the domain, ascending,
    // each once. A domain shorter than 2.2e-15 gives just its two ends.
    void getUSampleParameters(Vector& out) const override;
    void getVSampleParameters(Vector& out) const override;
    // computeLength without per-span output.
    double getLength() override;
    // Unit (S_u x S_v) at (u, v) in internal parameters (no reversal mapping)
    // from a table of its own; the evaluation table is not touched. Where the
    // derivatives vanish or are parallel the result is the zero 3-vector.
    Vector getRawNormal(double u, double v) override;
    // The same into out, with S_u and S_v there into su and sv where given.
    void getRawNormal(Vector& out, double u, double v, Vector* su = nullptr, Vector* sv = nullptr);
    // Arc length of the curve-like surface along u (v = 0). Degree below 3:
    // the length of the control polygon (perSpan, when given, receives the n
    // leg lengths); otherwise Gauss-Legendre with min(p, 10) points on every
    // span (perSpan receives the n - p + 1 span lengths, 0 for empty spans).
    double computeLength(Vector* perSpan = nullptr);
    // |C'(t)| integrated over [a, b] in internal parameters by the m-point
    // Gauss-Legendre rule (m clamped into 3 .. 10).
    double gaussSpanLength(double a, double b, int m);
    // Unit tangent of the curve-like surface at t (internal parameter). At an
    // inner knot of multiplicity p, where the tangent may turn, the normalised
    // sum of the unit tangents sqrt(1e-8) before and after it. A vanishing
    // derivative gives the zero 3-vector.
    void getUnitTangent(Vector& out, double t);
    // Replaces the u (v) knot vector by k (taken over; null: uniform knots on
    // [0, nU - p] with the old end condition) keeping the control net. The
    // storage is renewed: constraints and fit state start afresh with one
    // CFixWeightsConstraint; degenerate sides stay. A k whose control-point
    // count differs from the net's is deleted and the surface left unchanged.
    // Returns the rational flag afterwards.
    bool reparametrizeU(knots* k = nullptr);
    bool reparametrizeV(knots* k = nullptr);
    // Exchanges the u and v directions: knot vectors, control net ((i, j)
    // becomes (j, i)) and degenerate sides (west <-> south, east <-> north).
    // The reversal flags stay with their slots. Prints " swapuv u-error" when
    // the domains did not travel with their knot vectors.
    void swapuv();
    // Collapsed borders of direction 0 (rows j = 0 and j = nV - 1) or 1
    // (columns i = 0 and i = nU - 1): a border is collapsed when the extents
    // of its Euclidean control points summed over x, y, z are below 0.0005.
    // 0 none, 1 the first (row or column 0), 2 the last, 3 both.
    int classifySide(int direction) const;
    // s[i] = (x[i] - x[i + 1]) / (t[i + 1] - t[i]) for consecutive samples (s
    // sized one less than x; sqrt(DBL_MAX) where |t[i + 1] - t[i]| < 1e-16).
    // Returns the smallest positive s[i], sqrt(DBL_MAX) when there is none.
    static double smallestPositiveSlope(const Vector& x, const Vector& t, Vector& s);
    // Sum of a[i] b[i] for i < n, accumulated four entries at a time.
    static double dotProduct(const double* a, const double* b, int n);

    // ---- Text form ------------------------------------------------------------
    // A surface read from the stream: default knots in both directions (one
    // span of degree 1 on [0, 1]) replaced by readGeometry. `valid` tells
    // whether the read succeeded. withHeader: the word "GeoObject" has been
    // taken from the stream and its block follows.
    NurbsSurf(std::istream& is, bool withHeader);
    // The geometry-object block (after the word "GeoObject"), then the body.
    // False when either fails.
    bool read(std::istream& is) override;
    // Reads a surface body into this surface, replacing knots, control net,
    // constraints, comment lines and reversal flags (colours only when the
    // body names them). A control point's line holds exactly three
    // coordinates and a positive weight. A failure prints its message on
    // standard output, returns false and clears `valid`; the surface then
    // holds consistently sized knots and control net (every point set) that
    // callers discard. While the stream carries a GeoTextAsWritten, the
    // record is read as written (its header, its constraint lines, "reverse"
    // or nothing before a knot vector, its control-point lines in the
    // writer's order, each read as its own line) and a failure's cause goes
    // to it (reportGeoTextFault).
    bool readGeometry(std::istream& is, bool withHeader);
    // Reads a surface body (no header flag) and, when it was read, replaces
    // this surface's knots, control net, settings, constraints, comment lines
    // and reversal flags by it. True when the read succeeded and the stream
    // has not failed; this surface is unchanged otherwise.
    virtual bool readAndMerge(std::istream& is);

private:
    // Deletes what the surface owns: knots, net, tables, fit records,
    // constraints, null space.
    void release();
    // Copies knots, storage, rational flag, control points, layer and colours.
    void copyGeometryFrom(const NurbsSurf& other);
    // Tensor-product sums of the span (su, sv) into homogeneousWork:
    // entry (k, l) for k <= du, l <= dv, k + l <= d, `width` entries each,
    // row stride d + 1. Nu and Nv are basis derivative rows (sumSpan) or the
    // same rows laid flat, row k of nu at nu + k (p + 1) (sumSpanFlat). A net
    // that does not fit the knots or a width other than 3 or 4 gives zeros
    // (sumSpanFlat then returns false).
    void sumSpan(int su, int sv, const Vector* Nu, int du, const Vector* Nv, int dv, int d,
                 int width);
    bool sumSpanFlat(int su, int sv, const double* nu, int du, const double* nv, int dv, int d,
                     int width);
    // The sums of sumSpan at (u, v), clamped or wrapped, for the basis rows
    // 0 .. du of u and 0 .. dv of v: finds the spans (su, sv) with the
    // surface's span hints and evaluates the basis. False (zeros) as
    // sumSpanFlat.
    bool sumAt(double u, double v, int du, int dv, int d, int width, int& su, int& sv);
    // Rebuilds flatNet from the control points when they were written since
    // or `count` (nU nV) changed.
    void refreshFlatNet(int count)
    {
        if (controlNet.changed || flatNetCount != count)
            rebuildFlatNet(count);
    }
    void rebuildFlatNet(int count);
    // The polynomial derivative table of order d at (u, v) (internal
    // parameters), as computeDerivativesInto gives it, read in place from the
    // evaluation work; null for a rational surface, one not of dimension 3,
    // or a net that does not sum (computeDerivativesInto then answers).
    const double* polynomialDerivatives(int d, double u, double v);
    // Steps 4 and 5 of evaluate.
    void repairDegenerateSides(int o, double u, double v);
    void repairParallelCorner(int o, double u, double v);

    // Evaluation work, grown on demand and then reused.
    std::vector<double> homogeneousWork; // (d + 1)^2 entries of width doubles
    int homogeneousOrder = -1;           // d of homogeneousWork, -1 before any
    int homogeneousWidth = 0;
    std::vector<double> rowWork;        // partial sums per v row (general degrees)
    std::vector<double> basisWork;      // basis rows of u, then of v
    std::vector<double> derivativeWork; // flat table behind computeDerivatives
    std::vector<double> spanBlock;      // the span's points gathered across a seam
    // The homogeneous control points laid out flat, four entries per point
    // (missing entries 0) at index i + nU j, rebuilt when controlNet changed
    // or the point count flatNetCount no longer fits the knots.
    std::vector<double> flatNet;
    int flatNetCount = -1;
    bool unitWeights = false; // every weight of flatNet is exactly 1
    int uSpanHint = -1;       // distinct knots found by the last span searches
    int vSpanHint = -1;
    Vector** repairTable = nullptr; // 4 x 4 table of the degenerate-side repair
};

} // namespace Fenwo

// The straight segment from a to b (3 coordinates each) as a degree-1 curve on
// [0, 1]; the caller owns the new curve.
Fenwo::NurbsSurf* makeCurve(const double* a, const double* b);
// makeCurve between two points given as vectors (missing coordinates 0).
Fenwo::NurbsSurf* makeLineCurve(const Vector& a, const Vector& b);

// The geometry as a NURBS surface, null when it is none.
Fenwo::NurbsSurf* asNurbsSurf(CParametricGeometry* g);

// Constrained fit: null space and Jacobian (the one free function).
// A curve on a copy of k through the selected fit points (Point, parameter
// uv[0]): one square sparse system per coordinate, solved by sparseLScg.
// The caller owns the new curve. Null when the selection is empty, k's
// control-point count differs from the number of points, a point has no
// parameter, or a coordinate's least-squares objective stays above 1.0
// ("resx too large:", "resy too large:" or "resz too large:" with the value
// on standard output).
Fenwo::NurbsSurf* interpolateWithKnots(const knots& k, const IndexSubset<CFitPoint>& pts);

// Control-net checks and repairs: fairs the window [i0, i1] x [j0, j1] of the
// control net (clamped to the net, each pair ordered; a border below 1 counts
// as 1). The control points at least `border` nodes inside the window are
// recomputed by fairControlNet (weight 0.98) from the ring of points around
// them; each keeps its own weight. False without a surface or for a window
// that is empty in either direction (i1 = i0 or j1 = j0).
bool fairControlNetWindow(int i0, int j0, int i1, int j1, Fenwo::NurbsSurf* surface, int border);
