#include "healing/RailSection.h"

#include "curves/ArcLength.h"
#include "curves/BoundaryCurves.h"
#include "curves/CurveFamilyInterpolation.h"
#include "curves/CurveOperations.h"
#include "curves/CurvePlane.h"
#include "curves/PolylineCurve.h"
#include "curves/Projections.h"
#include "curves/StartValues.h"
#include "foundation/KorArray.h"
#include "foundation/KorSubSet.h"
#include "foundation/Logging.h"
#include "foundation/Profiler.h"
#include "foundation/Rotation.h"
#include "foundation/Sort.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"
#include "geometry/Transformation.h"
#include "healing/CurveListOperations.h"
#include "healing/InternalG1.h"
#include "healing/ProfileShaping.h"
#include "platform/Diagnostics.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

CRailSection::CRailSection(const Kor::List<Fenwo::NurbsSurf*>& list)
{
    profiles = list;
}

CRailSection::~CRailSection() = default;

int clusterFractions(const Kor::List<double>& fractions, double step, Kor::List<double>& out)
{
    std::vector<int> buckets;
    buckets.reserve(fractions.count + 2);
    for (double f : fractions)
        buckets.push_back(static_cast<int>(f / step));
    buckets.push_back(0);
    buckets.push_back(static_cast<int>(1.0 / step));
    const int n = sortUnique(buckets.data(), static_cast<int>(buckets.size()));
    profileLog() << "clustering =" << n << " of " << fractions.count << std::endl;
    out.append(0.0);
    for (int k = 1; k + 1 < n; ++k) {
        const double v = buckets[k] * step;
        if (v > 0.0 && v < 1.0)
            out.append(v);
    }
    out.append(1.0);
    return n;
}

namespace {

// Turns the curve about `centre` by the rotation r.
void rotateAbout(Fenwo::NurbsSurf* c, const Matrix& r, const Vector& centre)
{
    C3DTransformation t;
    t.set(r, centre.data, centre.data);
    transformNurbsSurf(c, t);
}

// The parameter of p's foot on the rail, searched over the rail's domain.
double projectOntoRail(CParametricGeometry* rail, const Vector& p)
{
    double t = rail->getDomain(0).min;
    startParameterOnCurve(*rail, p, t);
    projectPointOnCurve(rail, p, t);
    return t;
}

// Sets the rail's domain to the piece from a to b. On a closed rail a
// parameter at one end of the domain is taken at the other where that makes
// the piece run forwards (through the seam) instead of backwards or not at
// all.
void setRailPiece(CParametricGeometry* rail, double a, double b)
{
    const Interval whole = rail->getDomain(0);
    if (rail->isClosed() && b <= a + 1e-6) {
        if (std::fabs(b - whole.min) < 1e-6)
            b = whole.max;
        else if (std::fabs(a - whole.max) < 1e-6)
            a = whole.min;
    }
    rail->setDomain(0, Interval(a, b));
}

// The normal a profile's sections are turned about: for a straight profile
// the mean of the rails' unit tangents there, made orthogonal to its chord;
// otherwise the normal of its plane.
Vector profileNormal(Fenwo::NurbsSurf* profile, bool straight, const Vector& tangent0,
                     const Vector& tangent1)
{
    if (!straight) {
        CPlane plane;
        curvePlane(*profile, plane);
        return plane.normal;
    }
    Vector n = lerp(normalized(tangent0), normalized(tangent1), 0.5);
    orthogonalize(n, normalized(profile->getEndPoint() - profile->getStartPoint()));
    return normalized(n);
}

// Appends the length fraction at the start of every facet of the rail piece
// (faceted within the tolerance) to `fractions` and returns the piece's
// arc-length table built from those facets.
CArcLengthParametrisation* sampleRailPiece(CParametricGeometry* rail, double tolerance,
                                           Kor::List<double>& fractions)
{
    Kor::List<double> params;
    const std::unique_ptr<Fenwo::NurbsSurf> poly(
        facetCurveToPolyline(rail, tolerance, &params, 2000, 1000.0 * tolerance));
    Vector lengths;
    if (poly)
        poly->computeLength(&lengths);
    const double total = std::max(sumElements(lengths), 2.2e-16);
    double before = 0.0;
    for (int k = 0; k < lengths.n; ++k) {
        fractions.append(before / total);
        before += lengths[k];
    }
    return new CArcLengthParametrisation(rail, lengths, params);
}

void writeGeometryLine(std::ostream& os, const Fenwo::NurbsSurf* c)
{
    if (c == nullptr)
        return;
    c->write(os);
    os << std::endl;
}

// The rail in its text form, or as its poly-line when it is not a NURBS curve.
void writeRail(std::ostream& os, CParametricGeometry* rail)
{
    if (rail == nullptr)
        return;
    if (auto* nurbs = dynamic_cast<Fenwo::NurbsSurf*>(rail)) {
        writeGeometryLine(os, nurbs);
        return;
    }
    const std::unique_ptr<Fenwo::NurbsSurf> poly(
        facetCurveToPolyline(rail, 0.01, nullptr, 2000, -1.0));
    writeGeometryLine(os, poly.get());
}

} // namespace

Fenwo::NurbsSurf* placeProfileInSection(const Fenwo::NurbsSurf* profile, CSectionFrame frame)
{
    if (profile == nullptr)
        return nullptr;
    auto* copy = new Fenwo::NurbsSurf(*profile);
    C3DTransformation shift;
    const Vector move = frame.origin - copy->getStartPoint();
    shift.set(CRotation(), move.data, nullptr);
    transformNurbsSurf(copy, shift);

    const CRotation alignChord(copy->getEndPoint() - copy->getStartPoint(), frame.chord);
    rotateAbout(copy, alignChord, frame.origin);

    // The profile's normal turns with it, then both normals are compared
    // across the chord.
    Vector normal = alignChord * frame.profileNormal;
    const Vector chord = normalized(frame.chord);
    orthogonalize(normal, chord);
    orthogonalize(frame.targetNormal, chord);
    if (std::fabs(angleBetween(normal, frame.targetNormal) - std::numbers::pi) >= 1e-4 ||
        dot(normal, frame.targetNormal) >= 0.0)
        rotateAbout(copy, CRotation(normal, frame.targetNormal), frame.origin);
    return copy;
}

double profilePairTwist(const Vector& nP, const Vector& nQ, bool nextStraight,
                        const Vector& startTangentP, const Vector& railTangent, Vector& axis)
{
    double angle = std::acos(std::clamp(cosineBetween(nP, nQ), -1.0, 1.0));
    axis = nextStraight ? Vector(3) : normalized(crossProduct(nP, nQ));
    if (nextStraight)
        angle = dot(nP, nQ) < 0.0 ? std::numbers::pi : 0.0;
    if (norm(axis) == 0.0) {
        axis = normalized(crossProduct(startTangentP, railTangent));
        orthogonalize(axis, normalized(nP));
        axis = normalized(axis);
    }
    return angle;
}

bool CRailSection::Run()
{
    CSimpleProfiler profiler("CRailSection::Run");
    std::ofstream morph;
    openLogStream(morph, "c:/tmp/morph.out", 18);
    {
        std::ofstream dump;
        Platform::openDiagnosticsStream(dump, "c:/tmp/railSections1.out");
        writeRail(dump, rail0);
        writeRail(dump, rail1);
        for (Fenwo::NurbsSurf* p : profiles)
            writeGeometryLine(dump, p);
    }

    // Refuse what cannot be swept before anything is changed.
    if (rail0 == nullptr)
        return false;
    for (int i = 0; i < profiles.count; ++i) {
        if (profiles[i] == nullptr)
            return false;
        if (rail1 == nullptr && i > 0 &&
            norm(profiles[i - 1]->getEndPoint() - profiles[i]->getEndPoint()) >= 0.001)
            return false;
    }

    Kor::List<CParametricGeometry*> compatible;
    for (Fenwo::NurbsSurf* p : profiles)
        compatible.append(p);
    mergeCurveListKnots(compatible);

    const Interval domain0 = rail0->getDomain(0);
    const Interval domain1 = rail1 != nullptr ? rail1->getDomain(0) : Interval();
    knots bernstein(3, 3, 0.0, 1.0);
    Kor::Array<Fenwo::NurbsSurf*> sections;
    Kor::List<int> positions;

    for (int i = 1; i < profiles.count; ++i) {
        Fenwo::NurbsSurf* P = profiles[i - 1];
        Fenwo::NurbsSurf* Q = profiles[i];
        const Vector endP = P->getEndPoint();
        std::unique_ptr<Fenwo::NurbsSurf> degenerate;
        CParametricGeometry* r1 = rail1;
        if (r1 == nullptr) {
            degenerate.reset(makeCurve(endP.data, endP.data));
            r1 = degenerate.get();
        }

        // The rail pieces between the two profiles.
        rail0->setDomain(0, domain0);
        if (rail1 != nullptr)
            rail1->setDomain(0, domain1);
        setRailPiece(rail0, projectOntoRail(rail0, P->getStartPoint()),
                     projectOntoRail(rail0, Q->getStartPoint()));
        setRailPiece(r1, projectOntoRail(r1, endP), projectOntoRail(r1, Q->getEndPoint()));

        const bool straightP = isNearlyStraightCurve(P);
        const bool straightQ = isNearlyStraightCurve(Q);
        const Vector nP =
            profileNormal(P, straightP, rail0->getStartTangent(), r1->getStartTangent());
        const Vector nQ = profileNormal(Q, straightQ, rail0->getEndTangent(), r1->getEndTangent());
        Vector axis;
        const double twist = profilePairTwist(nP, nQ, straightQ, P->getStartTangent(),
                                              rail0->getStartTangent(), axis);

        Kor::List<double> fractions;
        std::unique_ptr<CArcLengthParametrisation> arc0, arc1;
        {
            CTP sampling(profiler, 0);
            if (adaptiveSampling) {
                Kor::List<double> starts;
                arc0.reset(sampleRailPiece(rail0, tolerance, starts));
                arc1.reset(sampleRailPiece(r1, tolerance, starts));
                sectionCount = clusterFractions(starts, 0.005, fractions);
            } else {
                arc0 = std::make_unique<CArcLengthParametrisation>(rail0);
                arc1 = std::make_unique<CArcLengthParametrisation>(r1);
                for (int k = 0; k <= sectionCount; ++k)
                    fractions.append(static_cast<double>(k) / sectionCount);
            }
        }

        Kor::Array<Fenwo::NurbsSurf*> pairSections;
        Vector reference;
        {
            CTP loop(profiler, 1);
            for (int k = 0; k < fractions.count; ++k) {
                const double s = fractions[k];
                const CRotation turn(axis, s * twist);
                const Vector target = turn * nP;
                const Vector a = rail0->getPoint(arc0->getParameter(s), 0.0);
                const Vector b = r1->getPoint(arc1->getParameter(s), 0.0);
                const std::unique_ptr<Fenwo::NurbsSurf> placedP(
                    placeProfileInSection(P, CSectionFrame{a, b - a, nP, target}));
                const std::unique_ptr<Fenwo::NurbsSurf> placedQ(
                    placeProfileInSection(Q, CSectionFrame{a, b - a, nQ, target}));
                if (k == 0)
                    reference = normalized(placedP->getEndPoint() - placedP->getStartPoint());
                double wP = 0.0, wQ = 0.0;
                basisPartialSums(bernstein, 1, s, wP, wQ);
                Fenwo::NurbsSurf* section = blendCurvesLinear(placedP.get(), placedQ.get(), wP, wQ);
                if (section == nullptr)
                    continue;
                if (morph.is_open()) {
                    placedP->write(morph);
                    placedQ->write(morph);
                    section->write(morph);
                    morph << std::endl;
                }

                // Scale the section in its plane until its end meets rail 1.
                const double c = norm(section->getEndPoint() - section->getStartPoint());
                const double d = norm(b - a);
                if (c > 1e-300) {
                    const Vector along = normalized(b - a);
                    scaleCurveAlongAxes(section,
                                        CAxisScaling{along, normalized(crossProduct(target, along)),
                                                     a, d / c, d / c});
                }
                AdjustInternalG1(section);

                if (straightQ) {
                    const Vector tangent = section->getStartTangent();
                    if (dot(normalized(tangent), reference) < -0.766044) {
                        profileLog()
                            << "Caution, wrong Direction " << dot(tangent, reference) << std::endl;
                        section->write(ioLog());
                        delete section;
                        continue;
                    }
                }
                pairSections.append(section);
            }
        }

        // The next pair starts with a section at the same profile.
        int kept = pairSections.count;
        if (i + 1 < profiles.count && kept > 0)
            delete pairSections[--kept];
        if (kept > 0)
            positions.append(sections.count);
        for (int k = 0; k < kept; ++k)
            sections.append(pairSections[k]);
    }

    rail0->setDomain(0, domain0);
    if (rail1 != nullptr)
        rail1->setDomain(0, domain1);

    {
        // Appended on every sweep: bounded, so that it cannot grow for ever.
        CBoundedDump dump("c:/tmp/profiles.out", true);
        for (int k = 0; k < sections.count; ++k) {
            sections[k]->name.set(std::to_string(k + 1).c_str());
            if (std::ostream* out = dump.entry())
                writeGeometryLine(*out, sections[k]);
        }
    }

    Vector parameters;
    {
        CTP interpolation(profiler, 2);
        Kor::SubSet<CParametricGeometry> set;
        for (Fenwo::NurbsSurf* s : sections)
            set.append(s);
        result = interpolCurvesOfSet(set, 3, false, &parameters, 0.5, true);
    }

    if (result != nullptr && positions.count > 1) {
        std::unique_ptr<Fenwo::NurbsSurf> rest(new Fenwo::NurbsSurf(*result));
        for (int k = 1; k < positions.count; ++k) {
            if (positions[k] >= parameters.n)
                break;
            Fenwo::NurbsSurf* first = nullptr;
            Fenwo::NurbsSurf* second = nullptr;
            if (!splitCurveAt(rest.get(), parameters[positions[k]], first, second) ||
                first == nullptr || second == nullptr) {
                delete first;
                delete second;
                continue;
            }
            patches.append(first);
            rest.reset(second);
        }
        patches.append(rest.release());
    } else if (result != nullptr && positions.count == 1) {
        patches.append(new Fenwo::NurbsSurf(*result));
    }

    for (Fenwo::NurbsSurf* s : sections)
        delete s;
    sections.count = 0;
    profileLog() << profiler << std::endl;
    return result != nullptr;
}
