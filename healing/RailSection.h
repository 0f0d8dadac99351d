#pragma once
// CRailSection: a NURBS surface swept between two rail curves through an
// ordered list of profile curves. Between each pair of neighbouring profiles
// section positions are sampled along the rails; at each a copy of both
// profiles is placed into the section's frame, the two copies are blended
// into the section curve with a weight that leaves one profile and arrives at
// the next with zero rate of change, and the section is scaled to span the
// rails. All sections are interpolated into one surface, which is also split
// into one patch per profile pair.
//
// Use: construct with the profiles, set the rails and settings, call Run
// once, take `result` and `patches`.
//
// Ownership: the rails and profiles stay the caller's (Run makes the profiles
// compatible in place: one degree, one knot vector, same shapes). The result
// and the patches are new and belong to the caller; the destructor deletes
// none of them.
// Thread-safety: none; the interpolation uses process-wide solvers.

#include "foundation/KorList.h"
#include "foundation/Vector.h"

class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

class CRailSection {
public:
    CParametricGeometry* rail0 = nullptr; // the profiles start on it; not owned
    // The profiles end on it; not owned. May be null when every profile pair
    // meets at its end point.
    CParametricGeometry* rail1 = nullptr;
    Kor::List<Fenwo::NurbsSurf*> profiles; // in sweep order, not owned
    Kor::List<Fenwo::NurbsSurf*> patches;  // output: one per profile pair
    Fenwo::NurbsSurf* result = nullptr;    // output: the whole swept surface
    bool adaptiveSampling = false;         // sections where the faceted rails put facets
    double tolerance = 0.005;              // chord tolerance of that faceting
    int sectionCount = 21;                 // uniform steps per pair; set by adaptive sampling

    explicit CRailSection(const Kor::List<Fenwo::NurbsSurf*>& profiles);
    ~CRailSection();
    CRailSection(const CRailSection&) = delete;
    CRailSection& operator=(const CRailSection&) = delete;

    // Builds result and patches; true exactly when a result was built. The
    // rails' domains are restored before it returns. False at once (nothing
    // changed, after the dumps) without rail 0, with a null profile, or
    // without rail 1 when a profile pair does not meet at its end.
    // Dumps written on every run: "c:/tmp/railSections1.out" (rails and
    // profiles) and "c:/tmp/profiles.out" (every section, appended); with
    // logging on also "c:/tmp/morph.out". A section whose start turns more than
    // 140 degrees away from its pair's direction (next profile straight) is
    // left out with "Caution, wrong Direction " on the first log stream.
    bool Run();
};

// The frame a profile copy is placed into.
struct CSectionFrame {
    Vector origin;        // the section's point on rail 0
    Vector chord;         // towards the point on rail 1
    Vector profileNormal; // normal of the profile being placed
    Vector targetNormal;  // the section's normal
};

// Puts the fractions on a grid of `step`: each fraction f falls into bucket
// (int)(f / step), buckets 0 and (int)(1 / step) are added, and out receives
// 0.0, the interior buckets' values (bucket x step strictly inside (0, 1)) in
// ascending order, and 1.0. "clustering =" n " of " count goes to the first
// log stream. Returns n, the number of distinct buckets.
int clusterFractions(const Kor::List<double>& fractions, double step, Kor::List<double>& out);

// A copy of the profile moved so that it starts at the frame's origin, turned
// about the origin so that its chord runs along the frame's chord, and
// turned about the chord so that its normal becomes the target normal (both
// taken orthogonal to the chord; opposite normals leave it unturned). The
// caller owns the copy; null for a null profile.
Fenwo::NurbsSurf* placeProfileInSection(const Fenwo::NurbsSurf* profile, CSectionFrame frame);

// The twist from the previous profile's normal nP to the next one's nQ:
// the angle between them, snapped to 0 or pi when the next profile is
// straight. axis receives the unit axis: nP x nQ, or, when the next profile is
// straight or the normals are parallel, unit(startTangentP x railTangent)
// made orthogonal to nP.
double profilePairTwist(const Vector& nP, const Vector& nQ, bool nextStraight,
                        const Vector& startTangentP, const Vector& railTangent, Vector& axis);
