#include "healing/RailInterpolation.h"

#include "curves/ArcLength.h"
#include "curves/CompositeCurve.h"
#include "curves/CurveFamilyInterpolation.h"
#include "foundation/KorArray.h"
#include "foundation/Logging.h"
#include "geometry/NurbsSurf.h"
#include "healing/ClosestSamplePair.h"
#include "healing/SectionPlane.h"
#include "platform/Diagnostics.h"
#include "platform/Uuid.h"

#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

namespace {

// Brings two closed rails into step: both start at their closest points and
// run the same way (rail A reversed when needed), then both are faceted
// again into ta and tb.
void alignClosedRails(CCompositeCurve* a, CCompositeCurve* b, Kor::List<double>& ta,
                      Kor::List<double>& tb, double facetTolerance)
{
    double tA = 0.0, tB = 0.0;
    closestSamplePair(a, b, ta, tb, &tA, &tB);
    const Interval da = a->getDomain(0), db = b->getDomain(0);
    if (dot(a->getTangent(tA), b->getTangent(tB)) < 0.0) {
        a->reverseU();
        tA = da.min + da.max - tA;
    }
    a->setDomain(0, Interval(tA, tA + std::fabs(da.max - da.min)));
    b->setDomain(0, Interval(tB, tB + std::fabs(db.max - db.min)));
    ta.removeAll();
    tb.removeAll();
    a->facetCurve(ta, facetTolerance, true, 2000, false, false, -1.0);
    b->facetCurve(tb, facetTolerance, true, 2000, false, false, -1.0);

    std::ofstream lines;
    if (!openLogStream(lines, "c:/tmp/cylic.out", 18))
        return;
    const Platform::SideIdScope sideIds; // the dump's curves
    const Interval na = a->getDomain(0), nb = b->getDomain(0);
    for (int k = 0; k < 30; ++k) {
        const double s = k / 30.0;
        const Vector pa = a->getPoint((1 - s) * na.min + s * na.max, 0.0);
        const Vector pb = b->getPoint((1 - s) * nb.min + s * nb.max, 0.0);
        const std::unique_ptr<Fenwo::NurbsSurf> line(makeCurve(pa.data, pb.data));
        line->write(lines);
        lines << std::endl;
    }
}

// The unit direction d with its components along the section plane's normal
// w (when there is one) and along the rail's normal n removed.
Vector innerDirection(const Vector& d, const Vector& w, const Vector& n)
{
    Vector e = normalized(d);
    if (w.n > 0)
        orthogonalize(e, w);
    orthogonalize(e, normalized(n));
    return normalized(e);
}

} // namespace

Fenwo::NurbsSurf* interpolateBetweenRails(CCompositeCurve* railA, CCompositeCurve* railB,
                                          double chordTolerance, double startArm, double endArm)
{
    if (railA == nullptr || railB == nullptr)
        return nullptr;
    std::ofstream dump;
    Platform::openDiagnosticsStream(dump, "c:/tmp/ipolset.out");
    const double facetTolerance = 10.0 * chordTolerance;
    Kor::List<double> ta, tb;
    railA->facetCurve(ta, facetTolerance, true, 2000, false, false, -1.0);
    railB->facetCurve(tb, facetTolerance, true, 2000, false, false, -1.0);
    const knots sectionKnots(3, 3, 0.0, 1.0);

    const bool closed = railA->isClosed() && railB->isClosed();
    if (closed)
        alignClosedRails(railA, railB, ta, tb, facetTolerance);

    const CArcLengthParametrisation arcA(railA), arcB(railB);
    bool against = false;
    if (!closed) {
        const Vector sa = railA->getStartPoint(), ea = railA->getEndPoint();
        const Vector sb = railB->getStartPoint(), eb = railB->getEndPoint();
        const double same = norm(sa - sb) + norm(ea - eb);
        const double cross = norm(sa - eb) + norm(ea - sb);
        against = same > cross;
    }

    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> sections;
    for (double u : ta) {
        const Vector PA = railA->getPoint(u, 0.0);
        double s = arcA.interpolateTable(u);
        if (against)
            s = 1.0 - s;
        const double v = arcB.getParameter(s);
        const Vector PB = railB->getPoint(v, 0.0);
        const Vector D = PB - PA;
        const double L = norm(D);
        const Vector nA = railA->getNormal(u, 0.0);
        const Vector nB = railB->getNormal(v, 0.0);
        Vector apex(3);
        const Vector W = sectionPlaneNormal(PA, PB, nA, nB, apex);
        const Vector eA = innerDirection(D, W, nA);
        const Vector eB = innerDirection(-D, W, nB);

        auto section = std::make_unique<Fenwo::NurbsSurf>(sectionKnots);
        section->setControlPoint(0, 0, PA);
        section->setControlPoint(1, 0, PA + startArm * L * eA);
        section->setControlPoint(2, 0, PB + endArm * L * eB);
        section->setControlPoint(3, 0, PB);
        section->setColour(0.9, 0.9, 0.0);
        for (int twice = 0; twice < 2; ++twice) {
            section->write(dump);
            dump << std::endl;
        }
        sections.push_back(std::move(section));
    }
    Kor::Array<Fenwo::NurbsSurf*> set;
    for (const auto& s : sections)
        set.append(s.get());
    Fenwo::NurbsSurf* surface = interpolCurves(set, 3, closed, nullptr, 0.5, false);
    if (surface == nullptr)
        surface = interpolCurves(set, 2, closed, nullptr, 0.5, false);
    if (surface == nullptr) {
        surface = interpolCurves(set, 1, closed, nullptr, 0.5, false);
        std::cout << "resorting to linear curves.. " << std::endl;
    }
    return surface;
}
