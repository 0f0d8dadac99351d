// Abstract base of every curve and surface.
//
// A subclass supplies evaluation with derivatives (`evaluate`), its parameter
// domain and a few descriptive operations; the base derives points, tangents,
// normals, curvatures, lengths, bounding boxes and the closed test from them,
// and keeps the state shared by all geometry: reversal flags with the domains
// they mirror, chain links, colours, dimension, kind, a closed cache and a
// bounding box. A curve is a geometry of kind 0 whose parameter runs in u
// (v is ignored and passed as 0); a surface has kind 1.
//
// Derivative table: `evaluate(order, u, v)` returns D with D[i][j] the
// derivative of order i in u and j in v (D[0][0] the point), each a Vector of
// getDimension() entries. The table belongs to the geometry object and is
// overwritten by its next evaluation, so evaluation is not const and one
// object serves one thread at a time.
//
// Ownership: `next` and `previous` are plain links, never owned; `clone`
// returns a new object owned by the caller.
#pragma once

#include "foundation/Box.h"
#include "foundation/KorList.h"
#include "foundation/Vector.h"
#include "geometry/GeoObject.h"
#include "geometry/Interval.h"

#include <iosfwd>

class CParametricGeometry : public CGeoObject {
public:
    Interval uMirror;                        // u domain remembered when reverseU set the flag
    Interval vMirror;                        // the same for v
    CParametricGeometry* next = nullptr;     // chain link, not owned
    CParametricGeometry* previous = nullptr; // chain link, not owned
    bool closedComputed = false;             // isClosed has filled `closed`
    bool closed = false;
    Vector bkColour;   // (r, g, b) of the back side, empty until set
    Vector colour;     // (r, g, b), empty until set
    int dimension = 3; // entries of every evaluated point or derivative
    int kind = 0;      // 0 curve, 1 surface
    bool uReversed = false;
    bool vReversed = false;
    CBox<float, 3> box; // refined by getBoundingBox

    CParametricGeometry() = default;
    ~CParametricGeometry() override = default;
    CParametricGeometry& operator=(const CParametricGeometry&) = delete;

    virtual bool isUReversed() const { return uReversed; }
    virtual bool isVReversed() const { return vReversed; }
    // Toggle the reversal flag; when it becomes set the current domain of
    // that direction is remembered in uMirror / vMirror.
    virtual void reverseU();
    virtual void reverseV();
    virtual void setNext(CParametricGeometry* g) { next = g; }
    virtual CParametricGeometry* getNext() const { return next; }
    virtual void setPrevious(CParametricGeometry* g) { previous = g; }
    virtual CParametricGeometry* getPrevious() const { return previous; }

    // Estimated memory in bytes.
    virtual long memorySize() const = 0;
    // The subclass's own text body; false when the stream failed.
    virtual bool writeGeometry(std::ostream& os) const = 0;
    // A new copy, owned by the caller; null when the copy cannot be made.
    virtual CParametricGeometry* clone() const = 0;
    // The derivative table up to `order` in each direction at (u, v); owned by
    // this object, valid until its next evaluation. Null when the geometry
    // cannot be evaluated.
    virtual Vector** evaluate(int order, double u, double v) = 0;
    // Parameter interval of u (dir 0) or v (dir 1).
    virtual Interval getDomain(int dir) const = 0;
    virtual void setDomain(int dir, const Interval& domain) = 0;
    // Parameters of the C0 breaks of u (v), the ends included; true when an
    // interior one exists.
    virtual bool getUKinks(Vector& kinks) const = 0;
    virtual bool getVKinks(Vector& kinks) const = 0;

    // Appends the ends of the u (v) domain when withEnds; always true.
    virtual bool getUBreakpoints(Kor::List<double>& out, bool withEnds) const;
    virtual bool getVBreakpoints(Kor::List<double>& out, bool withEnds) const;
    virtual double getUMin() const { return getDomain(0).min; }
    virtual double getVMin() const { return getDomain(1).min; }
    virtual double getUMax() const { return getDomain(0).max; }
    virtual double getVMax() const { return getDomain(1).max; }

    // Box of points sampled over the sample parameters (7 per direction at
    // least), into min and max (sized to the dimension) and into `box`; a
    // curve refines `box` alone with 20 points per sample interval. The last
    // argument is not used by the base. False when nothing could be sampled
    // (min and max then hold zeros).
    virtual bool getBoundingBox(Vector& min, Vector& max, int mode);
    // getBoundingBox into scratch vectors: refreshes `box`.
    virtual bool updateBoundingBox(int mode);
    // `box`, computed by updateBoundingBox first while it is still unset (its
    // first minimum coordinate the largest float). Later calls evaluate nothing.
    const CBox<float, 3>& getCachedBoundingBox();
    // The two ends of the u domain.
    virtual void getUSampleParameters(Vector& out) const;
    // A surface: the two ends of the v domain; a curve: the single value 0.
    virtual void getVSampleParameters(Vector& out) const;
    // Arc length in u: 5-point Gauss-Legendre over each interval between
    // consecutive u sample parameters.
    virtual double getLength();

    virtual Vector getPoint(double u, double v);
    // getPoint at (u, v) into out, which it returns.
    Vector& pointAt(Vector& out, double u, double v)
    {
        out = getPoint(u, v);
        return out;
    }
    virtual Vector getTangent(double t) { return getDerivativeU(t, 0.0); }
    virtual Vector getDerivativeU(double u, double v);
    virtual Vector getDerivativeV(double u, double v);
    virtual bool hasNormal() const { return isSurface(); }
    // At (t, 0): each non-null pointer receives three components, point from
    // D[0][0], d1 from D[1][0], d2 from D[2][0]; normal the unit normal when
    // hasNormal(), else zeros. False (outputs untouched) when evaluate fails.
    virtual bool evaluateCurve(double t, double* point, double* d1, double* d2, double* normal);
    // A surface: (0, 0, 1). A curve: the unit normal x unit tangent when it
    // has a normal, else a vector perpendicular to the tangent.
    virtual Vector getSideVector(double t);
    // Unit (Du x Dv); a zero vector where the cross product vanishes.
    virtual Vector getNormal(double u, double v);
    virtual Vector getRawNormal(double u, double v) { return getNormal(u, v); }
    // Principal curvatures k1 >= k2 of a surface at (u, v) and the unit
    // normal there (sized 3). False with k1 = k2 = 0 where the first
    // fundamental form is degenerate; false with nothing touched for a curve.
    virtual bool getPrincipalCurvatures(double u, double v, Vector& normal, double& k1, double& k2);
    virtual Vector getStartPoint() { return getPoint(getDomain(0).min, 0.0); }
    virtual Vector getStartTangent() { return getTangent(getDomain(0).min); }
    virtual Vector getEndPoint() { return getPoint(getDomain(0).max, 0.0); }
    virtual Vector getEndTangent() { return getTangent(getDomain(0).max); }
    virtual bool isSurface() const { return kind == 1; }
    virtual bool isCurve() const { return kind == 0; }
    virtual int getDimension() const { return dimension; }
    // A curve whose end points are closer than 0.005 of its length. The
    // answer is computed once and cached; a surface is never closed.
    virtual bool isClosed();
    // A curve: one line strip through its facet points (facetCurve with the
    // chord tolerance, verified when n is not 0, at most 2000 facets), in
    // its own colour when withColour (setGLColour). A surface prints "render
    // of base surfaces not supported" and draws nothing.
    virtual void draw(double tolerance, bool withColour, int n);
    virtual void setBkColour(double r, double g, double b) { bkColour = Vector(r, g, b); }
    virtual void setColour(double r, double g, double b) { colour = Vector(r, g, b); }

    // ---- Curve faceting (geometry/ParametricGeometryFacet.cpp) ------------------
    // Parameters of a curve whose chords stay within the chord tolerance `tol`,
    // into tList (emptied first): increasing, starting at the domain's start,
    // ending at its end, every C0 kink included unless ignoreKinks. Steps follow
    // the curvature, are at least 5e-7 and at least the span over maxFacets
    // (maxFacets <= 0: no such floor); with verify each chord is checked at
    // sample points and halved (up to 10 times) until it keeps within tol; an
    // unmet tolerance is reported on standard output ("dTol=... not reached
    // actTol=...") and the last halved step is kept. With maxFacets > 0 a
    // span takes at most 4 * maxFacets steps and a call some maxWork curve
    // evaluations: the rest of a span that needs more is stepped at the span
    // over maxFacets. variant refines each
    // chord end with CExactFacetPoint. maxLength > 0 splits facets whose chord
    // is longer. A curve shorter than 1e-12 gives its two ends. Two summary
    // lines go to profileLog(). Returns the number of parameters.
    int facetCurve(Kor::List<double>& tList, double tol, bool verify, int maxFacets, bool variant,
                   bool ignoreKinks, double maxLength, long maxWork = kFacetCurveWork);
    // The curve evaluations a facetCurve call spends by default, a search of
    // the variant counted as 250.
    static constexpr long kFacetCurveWork = 200000;
    // ---- end of curve faceting -----------------------------------------------------

    // Sets the current OpenGL colour from `colour` (glColor3dv) when it has
    // three entries; a surface also gets its material (ambient and diffuse,
    // alpha 1.0): `colour` on both sides, or `colour` in front and `bkColour`
    // behind when the back colour has three entries too. Does nothing without
    // a current OpenGL context or with a colour of another size.
    void setGLColour() const;

    // Maps parameters given along reversed directions to the subclass's own
    // parameters: u becomes max - (u - min) of the u domain when u is
    // reversed, v likewise. Always true.
    bool toInternalParameters(double& u, double& v) const;

    // Creates `table` once: order + 1 rows of order + 1 zero Vectors of
    // getDimension() entries. An existing table (not null) is left unchanged.
    void allocateDerivativeTable(Vector**& table, int order) const;
    // Deletes rows 0 .. order and the row array; table becomes null.
    static void freeDerivativeTable(Vector**& table, int order);

protected:
    // A copy starts as a new geometry object (new id, default name, layer,
    // flags, links, colours and box) of the same dimension and kind; the
    // subclass copies whatever else it wants to carry over.
    CParametricGeometry(const CParametricGeometry& other);
};

// The chord tolerance at which facetCurve takes about maxChords chords at the
// most: tol itself, unless the curve is so large against tol that tol would
// ask for more; then the tolerance relative to the curve's size (its length
// times its turning) that asks for maxChords. Length and turning are
// estimated from 65 points and tangents along the curve.
double chordToleranceWithin(CParametricGeometry& curve, double tol, int maxChords);

// Keeps at most count (at least 2) of the parameters of tList: a longer list
// is thinned to evenly spread entries, its first and last kept.
void thinParameters(Kor::List<double>& tList, int count);
