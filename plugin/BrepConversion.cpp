// Trimmed faces between the kernel (CFace with its CLoop trim loops) and
// openNURBS Breps, built on the curve and surface conversions.
#include "plugin/OpenNurbsConversion.h"

#include "curves/BoundaryCurves.h"
#include "curves/ParCurve.h"
#include "curves/Projections.h"
#include "curves/ReInterpolation.h"
#include "foundation/Logging.h"
#include "geometry/NurbsSurf.h"
#include "net/Face.h"
#include "platform/Diagnostics.h"
#include "platform/Uuid.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <memory>

namespace {

constexpr int maxConvertedLoops = 10000;

// The first line of a validity report, without its indentation; a word of
// its own for an empty report.
std::string firstLine(const ON_wString& report)
{
    std::string text = report.ToUtf8();
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos)
        return "the Brep is not valid";
    text = text.substr(start);
    return text.substr(0, text.find_first_of("\r\n"));
}

void writeCurve(std::ofstream& log, const CParametricGeometry* curve)
{
    if (log.is_open() && curve != nullptr) {
        curve->write(log);
        log << std::endl;
    }
}

// The four sides of the surface's parameter rectangle as straight curves.
void logParameterRectangle(std::ofstream& log, const Fenwo::NurbsSurf& surface)
{
    const Platform::SideIdScope sideIds; // the dump's curves
    const Interval u = surface.getDomain(0), v = surface.getDomain(1);
    const double corners[5][3] = {
        {u.min, v.min, 0.0}, {u.max, v.min, 0.0}, {u.max, v.max, 0.0}, {u.min, v.max, 0.0}, {}};
    for (int k = 0; k < 4; ++k) {
        std::unique_ptr<Fenwo::NurbsSurf> side(makeCurve(corners[k], corners[(k + 1) % 4]));
        writeCurve(log, side.get());
    }
}

// The trim's curve as a kernel curve on surface; null when it has no NURBS
// form or its knots make no kernel knot vector.
CParCurve* trimCurve(const ON_BrepTrim& trim, Fenwo::NurbsSurf* surface, std::ofstream& uvLog)
{
    const ON_Curve* curve = trim.TrimCurveOf();
    ON_NurbsCurve nurbs;
    if (curve == nullptr || curve->NurbsCurve(&nurbs, 0.0, nullptr) == 0)
        return nullptr;
    Fenwo::NurbsSurf* uv = fromONNurbsCurve(nurbs);
    if (uv == nullptr)
        return nullptr;
    uv->setColour(0.0, 1.0, 0.0);
    writeCurve(uvLog, uv);
    return new CParCurve(uv, surface, false);
}

// Whether the curve on the surface strays farther than tolerance from the
// space curve: its points at 8 parameters per control point of the uv curve
// (at least 64), each projected onto the space curve from the parameter the
// previous one found.
bool strays(CCONS& onSurface, const Fenwo::NurbsSurf& uv, CParametricGeometry& space,
            double tolerance)
{
    const Interval d = onSurface.getDomain(0);
    const int n = std::max(64, 8 * uv.getUCount());
    double t = space.getDomain(0).min;
    for (int i = 0; i <= n; ++i) {
        const Vector p = onSurface.getPoint(d.min + d.getLength() * i / n, 0.0);
        if (projectPointOnCurve(&space, p, t) > tolerance)
            return true;
    }
    return false;
}

// The edge curve of one trim: the curve on the surface re-approximated in
// space as a cubic within tolerance. A closed curve comes back with its seam
// where the curve on the surface starts; against tells whether the two then
// start in opposite directions. Null when no curve can be made.
//
// A curved trim is first interpolated at the Greville abscissae of its uv
// curve; when the surface bends more than the few control points of that
// uv curve can follow, the interpolant strays from the face by far more
// than the tolerance, and the curve on the surface is re-interpolated from
// samples instead.
//
// The seam is moved for every closed result, not only for trims on cyclic
// knots: a closed trim on clamped knots is re-approximated on cyclic knots
// too, with its seam elsewhere, and its edge would not start at the trim.
Fenwo::NurbsSurf* edgeCurve(CCONS& onSurface, const Fenwo::NurbsSurf& uv, double tolerance,
                            bool& against)
{
    against = false;
    Fenwo::NurbsSurf* curve = uv.uKnots->p == 1
                                  ? reInterpolate(&onSurface, tolerance, 3, true, nullptr)
                                  : resampleAndReInterpolate(&onSurface, tolerance, 3, true);
    if (curve != nullptr && uv.uKnots->p != 1 && strays(onSurface, uv, *curve, tolerance)) {
        delete curve;
        curve = reInterpolate(&onSurface, tolerance, 3, true, nullptr);
    }
    if (curve == nullptr || curve->uKnots->endCondition != knots::CyclicEnd)
        return curve;
    const Vector start = onSurface.getStartPoint();
    const Interval domain = curve->getDomain(0);
    double t = 0.9 * domain.min + 0.1 * domain.max;
    projectPointOnCurve(curve, start, t);
    curve->updateCyclicKnotList(t, true);
    Fenwo::NurbsSurf* opened = makeAcisCompliantCurve(curve);
    delete curve;
    if (opened == nullptr)
        return nullptr;
    const double sense =
        dot(normalized(onSurface.getStartTangent()), normalized(opened->getStartTangent()));
    std::cout << "sp=" << sense << std::endl;
    against = sense < 0.0;
    return opened;
}

// One trim and one edge of the curve on the face's surface appended to loop.
void addTrim(ON_Brep& brep, ON_BrepLoop& loop, CParCurve& curve, CFace& face, double tolerance,
             std::ofstream& uvLog, std::ofstream& spaceLog)
{
    auto* uv = dynamic_cast<Fenwo::NurbsSurf*>(curve.getUVCurve());
    if (uv == nullptr || uv->uKnots == nullptr)
        return;
    // A closed trim is made of its opened copy, re-approximated as a curve
    // on the face's surface of its own.
    std::unique_ptr<Fenwo::NurbsSurf> opened;
    std::unique_ptr<CCONS> openedOnSurface;
    CCONS* onSurface = &curve;
    if (uv->uKnots->endCondition == knots::CyclicEnd) {
        opened.reset(makeAcisCompliantCurve(uv));
        if (opened == nullptr)
            return;
        uv = opened.get();
        openedOnSurface = std::make_unique<CCONS>(uv, face.surface);
        onSurface = openedOnSurface.get();
    }
    writeCurve(uvLog, uv);
    const int c2i = brep.AddTrimCurve(toONNurbsCurve(uv, false));

    bool against = false;
    std::unique_ptr<Fenwo::NurbsSurf> edge(edgeCurve(*onSurface, *uv, tolerance, against));
    if (edge == nullptr)
        return; // the trim curve stays in the table, unused
    writeCurve(spaceLog, edge.get());
    const int c3i = brep.AddEdgeCurve(toONNurbsCurve(edge.get(), true));

    ON_BrepEdge& brepEdge = brep.NewEdge(-1);
    brepEdge.m_tolerance = tolerance;
    brep.SetEdgeCurve(brepEdge, c3i);
    ON_BrepTrim& trim = brep.NewTrim(brepEdge, false, loop, c2i);
    trim.m_tolerance[0] = trim.m_tolerance[1] = ON_UNSET_VALUE;
    trim.m_type = ON_BrepTrim::boundary;
    trim.m_bRev3d = against;
}

} // namespace

CFace* faceFromBrepFace(const ON_BrepFace& f)
{
    const ON_Surface* surface = f.SurfaceOf();
    ON_NurbsSurface nurbs;
    if (surface == nullptr || surface->NurbsSurface(&nurbs, 0.0, nullptr, nullptr) == 0)
        return nullptr;
    std::unique_ptr<Fenwo::NurbsSurf> base(fromONNurbsSurface(nurbs));
    if (base == nullptr || f.LoopCount() == 0)
        return nullptr;
    std::ofstream uvLog;
    if (openLogStream(uvLog, "c:/tmp/uvlog.out"))
        logParameterRectangle(uvLog, *base);

    std::unique_ptr<CFace> face;
    // The face takes the surface with its first loop; the curves of its
    // holes lie on it all the same (without it they had no points, and the
    // face none of its holes).
    Fenwo::NurbsSurf* const on = base.get();
    for (int l = 0; l < f.LoopCount(); ++l) {
        auto loop = std::make_unique<CLoop>();
        if (const ON_BrepLoop* brepLoop = f.Loop(l))
            for (int t = 0; t < brepLoop->TrimCount(); ++t)
                if (const ON_BrepTrim* trim = brepLoop->Trim(t))
                    if (CParCurve* curve = trimCurve(*trim, on, uvLog))
                        loop->curves.append(curve);
        if (face == nullptr)
            face = std::make_unique<CFace>(base.release(), loop.release());
        else if (face->addTrimLoop(loop.get()))
            loop.release(); // the face owns it now
    }
    std::ofstream log;
    if (openLogStream(log, "c:/tmp/nurbslog.out", std::ios::out | std::ios::app))
        log << *face;
    face->updateTrimLoops();
    return face.release();
}

bool faceToBrep(CFace* face, ON_Brep& brep, double tolerance, std::string* why)
{
    if (face == nullptr) {
        if (why != nullptr)
            *why = "there is no trimmed face";
        return false;
    }
    ON_NurbsSurface* surface = toONNurbsSurface(face->getNurbsSurf());
    std::ofstream uvLog, spaceLog;
    openLogStream(uvLog, "c:/tmp/uvlog.out");
    openLogStream(spaceLog, "c:/tmp/spaceLog.out");
    // The validity report is kept on every run.
    FILE* dumpFile = Platform::openDiagnosticsStdio("c:/tmp/on_dump.txt", false);
    if (surface == nullptr) {
        ON::CloseFile(dumpFile);
        if (why != nullptr)
            *why = "its surface is no NURBS surface";
        return false;
    }

    ON_BrepFace& brepFace = brep.NewFace(brep.AddSurface(surface));
    const int loops = std::min(face->trimLoops.count, maxConvertedLoops);
    for (int l = 0; l < loops; ++l) {
        CLoop* loop = face->trimLoops[l];
        if (loop == nullptr)
            continue;
        makeVezadCompat(*loop);
        ON_BrepLoop& brepLoop =
            brep.NewLoop(l == 0 ? ON_BrepLoop::outer : ON_BrepLoop::inner, brepFace);
        // The kernel's holes already run clockwise, as openNURBS wants its
        // inner loops, and the face keeps them so: converting it again gives
        // the same Brep.
        for (int i = 0; i < loop->getCard(); ++i)
            if (CParCurve* curve = loop->getCurve(i))
                addTrim(brep, brepLoop, *curve, *face, tolerance, uvLog, spaceLog);
    }
    brep.SetVertices();
    brep.SetTolerancesBoxesAndFlags(true, true, true, true, true, true, true, true);

    if (dumpFile != nullptr) {
        ON_TextLog dump(dumpFile);
        brep.IsValid(&dump);
    }
    const bool valid = brep.IsValid();
    if (!valid) {
        std::cout << "bRepTrim failed!." << std::endl;
        if (why != nullptr) {
            ON_wString report;
            ON_TextLog log(report);
            brep.IsValid(&log);
            *why = firstLine(report);
        }
    }
    ON::CloseFile(dumpFile);
    return valid;
}
