#pragma once
// Seam matching: the control points of the face surfaces along a set of
// seams (coedges) become free variables, and a conjugate-gradient
// minimisation moves them until, at every seam sample, the two sides lie
// within the distance tolerance (and, on request, their normals within the
// angle tolerance). The moved control points are written straight into the
// face surfaces; nothing off the seam rows moves.
//
// Objective: half the sum over all samples of e^2 (e the distance beyond
// 0.7 d) plus w g_e^2 with G1 (g_e the chord between the unit normals beyond
// half the chord of the angle tolerance), with its analytic gradient. The
// run stops as soon as every distance is below d (and every normal chord
// below the tolerance chord), when the iterations run out or the minimiser
// stalls.
//
// A variable stands for every control point at its place (within 1e-6 in
// each coordinate): faces sharing a corner or a boundary row share it.
//
// Ownership: the seams are the caller's coedges; variables and references
// are owned by the object. One object serves one healSeams call; the seams'
// samples stay on the coedges afterwards.
// Thread-safety: none; the surfaces are evaluated and written in place.

#include "foundation/ConjugateGradient.h"
#include "foundation/KorSet.h"
#include "foundation/KorSubSet.h"
#include "foundation/Statistic.h"
#include "foundation/Vector.h"
#include "net/FaceRecords.h"

class CProgress;
namespace Fenwo {
class NurbsSurf;
}
namespace Mesh {
class CBaseMesh;
}

// One variable of the seam matching: a position and the control points it
// stands for (not owned; the references belong to the CSeamPatches).
class CCtrlPt {
public:
    double position[3] = {0.0, 0.0, 0.0};
    Kor::SubSet<CCtrlPt_Ref> refs;

    CCtrlPt() = default;
    CCtrlPt(double x, double y, double z) : position{x, y, z} {}
    CCtrlPt(const CCtrlPt&) = delete;
    CCtrlPt& operator=(const CCtrlPt&) = delete;
    virtual ~CCtrlPt() = default;

    // Moves every control point the variable stands for to its position,
    // keeping each point's weight.
    void apply() const;
};

// Fuzzy order of positions: x, then y, then z; a coordinate decides only
// when it differs by more than 1e-6, so points within 1e-6 in every
// coordinate are equal.
bool lessFuzzyPoint(const CCtrlPt* a, const CCtrlPt* b);
// Order of references: surface address, then i, then j.
bool lessCtrlPtRef(const CCtrlPt_Ref* a, const CCtrlPt_Ref* b);

// Control point k along side `position` of the surface, `offset` rows into
// it: uvSouth (k, offset), uvNorth (k, nV - 1 - offset), uvWest (offset, k),
// uvEast (nU - 1 - offset, k). Another position prints "getCtrlPtIndex:
// unknown Position. " and gives i = j = -1. An i (j) outside the net prints
// "s_i out of range." ("s_j out of range.") and gives false, so that the
// point is skipped; false for a null surface.
bool getCtrlPtIndex(Fenwo::NurbsSurf* surface, int position, int k, int& i, int& j, int offset);

// The number of control points along side `position` of the surface: nU
// for uvSouth and uvNorth, nV for uvWest and uvEast, 0 otherwise or for a
// null surface.
int getCtrlPtCountAlong(const Fenwo::NurbsSurf* surface, int position);

class CSeamPatches : public CConjugateGradient {
public:
    Mesh::CBaseMesh* samplingMesh = nullptr; // handed to the sampling; never set here
    CProgress* progress = nullptr;           // optional sink: steps per iteration, cancel
    Kor::SubSet<CCoEdge> seams;              // the caller's coedges, not owned
    Kor::Set<CCtrlPt> variables;             // owned, in the fuzzy point order
    Kor::Set<CCtrlPt_Ref> references;        // owned, by surface, i, j
    CStatistic distanceStatistic;            // of the last evaluation
    CStatistic normalStatistic;
    double distanceTolerance = 0.0; // d
    double distanceThreshold = 0.0; // 0.7 d: where the distance penalty starts
    double chordTolerance = 0.0;    // c: the chord of two unit normals at the angle tolerance
    double chordThreshold = 0.0;    // 0.5 c: where the normal penalty starts
    bool positionFlag = true;
    bool G1 = true;
    int residualCount = 0;   // samples of all seams, doubled with G1
    int coordinateCount = 0; // 3 x variables
    bool stopped = false;    // the tolerances were met (or the run was cancelled)
    double normalWeight = 1.0;
    int totalSamples = 0;
    Vector stopPoint; // the variables' coordinates where the tolerances were met

    CSeamPatches();
    ~CSeamPatches() override = default;

    // The whole matching with distance tolerance d, at most maxIter
    // iterations (0: the minimiser's default 5 n; negative: min(36, 3 n_var
    // / 5)), normals too when G1, angle tolerance in degrees; mode true
    // leaves out seams beside a face whose requested state is Initial.
    // Afterwards the surfaces hold the point where the tolerances were met,
    // else the minimiser's final point. Always true: whether the tolerances
    // were met is read from `stopped` and the statistics.
    bool healSeams(double d, int maxIter, bool G1, double angleDegrees, int mode);
    // Samples the seams and collects the variables: the side rows of the
    // face surfaces (not of fixed sides), with G1 the second rows too. True
    // when at least one sample exists; prints "no Variables here. " when
    // nothing is variable.
    bool collectSeamVariables(bool mode);
    // Half the penalty at x + alpha p (the variables are written into the
    // surfaces), with mode 1 its gradient into grad. 0 with a zero gradient
    // once the tolerances are met or the sink cancels.
    double evaluate(int mode, Vector& grad, const Vector& x, double alpha,
                    const Vector& p) override;
    // One step of the progress sink, when there is one.
    void onIteration(const Vector& x, Vector& direction) override;
    // The variable of control point (i, j) (wrapped on cyclic knot vectors);
    // -1 when it is none.
    int variableIndex(Fenwo::NurbsSurf* surface, int i, int j) const;
    // The reference to (key.surface, key.i, key.j), created as a copy of the
    // key when absent.
    CCtrlPt_Ref* findOrAddRef(const CCtrlPt_Ref& key);

private:
    // The variable at control point (i, j) of the surface, created when no
    // variable lies there yet, standing for that control point.
    void addControlPoint(Fenwo::NurbsSurf* surface, int i, int j);
    // Collects the control points of one side, `offset` rows in, skipping the
    // end ones when skipEnds.
    void addSideRow(Fenwo::NurbsSurf* surface, int position, int offset, bool skipEnds);
    // Writes the coordinates (x + alpha p) into the variables and surfaces.
    void applyCoordinates(const Vector& x, double alpha, const Vector& p);
};
