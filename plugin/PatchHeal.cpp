#include "plugin/PatchHeal.h"

#include "foundation/Logging.h"
#include "geometry/NurbsSurf.h"
#include "healing/BoundaryPatch.h"
#include "healing/SkinTopology.h"
#include "net/Face.h"
#include "plugin/Commands.h"
#include "plugin/HostWrappers.h"
#include "plugin/MeshwrightPlugIn.h"
#include "plugin/OpenNurbsConversion.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <vector>

namespace {

// Kernel curves made from picked host curves; deleted with the list.
struct CurveList {
    Kor::List<CParametricGeometry*> list;
    ~CurveList() { list.deleteAll(); }
};

// The kernel curves of one picked curve: the trims of a Brep edge, a NURBS
// curve converted, any other curve wrapped; nothing for other proxies.
void collectCurves(const CVezadObjRef& ref, Kor::List<CParametricGeometry*>& out)
{
    const ON_Curve* curve = ref.Curve();
    if (curve == nullptr)
        return;
    if (const ON_CurveProxy* proxy = ON_CurveProxy::Cast(curve)) {
        if (const ON_BrepEdge* edge = ON_BrepEdge::Cast(proxy))
            for (int i = 0; i < edge->TrimCount(); ++i)
                if (CParametricGeometry* g = collectPatchBoundary(edge->Trim(i)))
                    out.append(g);
        return;
    }
    if (const ON_NurbsCurve* nurbs = ON_NurbsCurve::Cast(curve)) {
        if (Fenwo::NurbsSurf* g = fromONNurbsCurve(*nurbs))
            out.append(g);
        return;
    }
    if (CParametricGeometry* g = collectPatchBoundary(curve))
        out.append(g);
}

const ON_BrepFace* brepFaceOf(const CVezadObjRef& ref)
{
    const ON_SurfaceProxy* proxy = ON_SurfaceProxy::Cast(ref.Surface());
    return proxy != nullptr ? ON_BrepFace::Cast(proxy) : nullptr;
}

void updateAllViews()
{
    if (CVezadDoc* doc = VezadApp().ActiveDoc())
        doc->UpdateAllViews();
}

// Adds the face as a Brep; false when it does not convert.
bool addFaceAsBrep(CVezadDoc& doc, CFace* face, double tolerance)
{
    ON_Brep brep;
    return faceToBrep(face, brep, tolerance) && doc.AddBrepObject(brep) != nullptr;
}

double segmentDistance(const ON_3dPoint& p, const ON_3dPoint& a, const ON_3dPoint& b)
{
    const ON_3dVector ab = b - a;
    const double length2 = ab * ab;
    const double t = length2 > 0.0 ? std::clamp(((p - a) * ab) / length2, 0.0, 1.0) : 0.0;
    return p.DistanceTo(a + t * ab);
}

// Points along a picked curve as the document holds it (a Brep edge's own
// curve): 50, ends included.
void sampleCurve(const ON_Curve* curve, std::vector<ON_3dPoint>& points)
{
    constexpr int kCurveSamples = 50;
    if (curve == nullptr)
        return;
    const ON_Interval d = curve->Domain();
    for (int i = 0; i < kCurveSamples; ++i)
        points.push_back(curve->PointAt(d.ParameterAt(double(i) / (kCurveSamples - 1))));
}

// How far the patch leaves the picked boundary: the largest distance from
// its points to the nearest of the Brep's edges (each a poly-line of 400
// segments).
double boundaryGap(const std::vector<ON_3dPoint>& boundary, const ON_Brep& brep)
{
    constexpr int kEdgeSegments = 400;
    std::vector<std::vector<ON_3dPoint>> edges;
    for (int e = 0; e < brep.m_E.Count(); ++e) {
        const ON_BrepEdge& edge = brep.m_E[e];
        const ON_Interval d = edge.Domain();
        std::vector<ON_3dPoint> line;
        for (int i = 0; i <= kEdgeSegments; ++i)
            line.push_back(edge.PointAt(d.ParameterAt(double(i) / kEdgeSegments)));
        edges.push_back(std::move(line));
    }
    double largest = 0.0;
    for (const ON_3dPoint& p : boundary) {
        double nearest = std::numeric_limits<double>::infinity();
        for (const std::vector<ON_3dPoint>& line : edges)
            for (std::size_t k = 1; k < line.size(); ++k)
                nearest = std::min(nearest, segmentDistance(p, line[k - 1], line[k]));
        largest = std::max(largest, nearest);
    }
    return largest;
}

} // namespace

// ---- CHeal ----------------------------------------------------------------------------------

void CHeal::work()
{
    CVezadProgress progress;
    healSkin(*faces, dTol, &progress, boundary, dMatchTol, mode, true);
}

bool CHeal::runInForeground()
{
    CMWDlgProgress& dialog = MeshwrightPlugIn().progressDialog;
    dialog.ShowWindow(SW_SHOW);
    dialog.setCancelled(false);
    healSkin(*faces, dTol, &dialog, boundary, dMatchTol, mode, true);
    dialog.ShowWindow(SW_HIDE);
    return !dialog.isCancelled();
}

// ---- MWPatch --------------------------------------------------------------------------------

CVezadCommand::result CCommandMWPatch::run()
{
    CVezadDoc* doc = VezadApp().ActiveDoc();
    if (doc == nullptr)
        return success;
    int continuity = 1;
    CVezadGetObject getter;
    getter.SetGeometryFilter(ON::curve_object);
    getter.SetCommandPrompt(L"Select boundary edges");
    getter.AddCommandOptionInteger(L"Continuity", &continuity, 0, 1);
    CVezadGet::result answer;
    while ((answer = getter.GetObjects(1, 0)) == CVezadGet::option) {
    }
    if (answer != CVezadGet::object)
        return success;

    CurveList boundary, interior;
    for (int i = 0; i < getter.ObjectCount(); ++i)
        collectCurves(getter.Object(i), boundary.list);
    // A pick without a curve (a mesh, a point, a proxy of no edge) bounds
    // nothing: a patch cannot be made, and the user is told so before
    // anything is hidden or asked.
    if (boundary.list.count == 0) {
        VezadApp().Print("MWPatch: no boundary curve in the %d picked objects (only curves and "
                         "Brep edges bound a patch); no patch made.\n",
                         getter.ObjectCount());
        return failure;
    }
    std::vector<CVezadObjRef> hidden;
    std::vector<ON_3dPoint> picked; // along the boundary curves as picked
    for (int i = 0; i < getter.ObjectCount(); ++i) {
        const CVezadObjRef& ref = getter.Object(i);
        sampleCurve(ref.Curve(), picked);
        if (doc->HideObject(ref, false))
            hidden.push_back(ref);
    }
    updateAllViews();
    getter.EnableClearObjectsOnEntry(true);
    getter.EnableAlreadySelectedObjectSelect(false);
    getter.EnableDeselectAllBeforePostSelect(true);
    getter.SetCommandPrompt(L"Select interior edges if any");
    getter.EnablePressEnterWhenDonePrompt();
    if (getter.GetObjects(1, 0) == CVezadGet::object)
        for (int i = 0; i < getter.ObjectCount(); ++i)
            collectCurves(getter.Object(i), interior.list);

    CVezadCommand::result outcome = success;
    const double tol = 0.75 * doc->AbsoluteTolerance();
    CMWDlgProgress& dialog = MeshwrightPlugIn().progressDialog;
    dialog.setLabel("MWPatch computing...");
    dialog.ShowWindow(SW_SHOW);
    dialog.setCancelled(false);
    const Kor::List<CParametricGeometry*> noCurves;
    std::unique_ptr<CFace> face(approxAndTrim(boundary.list, tol, Vector(0.0, 0.0, 0.0), noCurves,
                                              interior.list, nullptr, &dialog, false, continuity));
    dialog.ShowWindow(SW_HIDE);
    // A face that does not become a Brep is no face for the user either.
    ON_Brep brep;
    if (dialog.isCancelled() || face == nullptr || !faceToBrep(face.get(), brep, tol) ||
        doc->AddBrepObject(brep) == nullptr) {
        VezadApp().Print("MWPatch did not create a face.\n");
        outcome = dialog.isCancelled() ? cancel : failure;
    } else {
        // The fit checks the points it keeps, on the faces along the
        // boundary, not the boundary between them nor the picked edges,
        // which may stray from their faces: a patch that leaves the
        // picked boundary by more than the tolerance is added all the
        // same, and the user is told.
        const double gap = boundaryGap(picked, brep);
        if (!(gap <= tol))
            VezadApp().Print("MWPatch: the patch leaves its boundary by up to %g, more than "
                             "the tolerance %g.\n",
                             gap, tol);
    }
    for (const CVezadObjRef& ref : hidden)
        doc->ShowObject(ref);
    updateAllViews();
    return outcome;
}

// ---- MWHeal ---------------------------------------------------------------------------------

CVezadCommand::result CCommandMWHeal::run()
{
    CVezadDoc* doc = VezadApp().ActiveDoc();
    if (doc == nullptr)
        return success;
    const double tol = doc->AbsoluteTolerance();
    double matchDistance = 100.0 * tol;
    int continuity = 2;
    CVezadGetObject getter;
    getter.SetGeometryFilter(ON::surface_object);
    getter.AddCommandOptionNumber(L"EdgeMatchDistance", &matchDistance, tol, 2500.0 * tol);
    getter.AddCommandOptionInteger(L"Continuity", &continuity, 0, 2);
    getter.SetCommandPrompt(L"Select Surfaces to Heal (Modify) ");
    getter.EnablePressEnterWhenDonePrompt();
    getter.EnableAlreadySelectedObjectSelect(false);
    CVezadGet::result answer;
    while ((answer = getter.GetObjects(1, 0)) == CVezadGet::option) {
    }
    std::cout << "dEdgeTol to use = " << matchDistance << std::endl;
    if (answer != CVezadGet::object)
        return success;

    // The picked surfaces stay until their healed Breps are in the
    // document: a cancelled or failed heal loses none of them.
    std::vector<const ON_BrepFace*> picked;
    std::vector<CVezadObjRef> pickedRefs;
    for (int i = 0; i < getter.ObjectCount(); ++i)
        if (const ON_BrepFace* face = brepFaceOf(getter.Object(i))) {
            picked.push_back(face);
            pickedRefs.push_back(getter.Object(i));
        }

    getter.ClearObjects();
    getter.EnableAlreadySelectedObjectSelect(false);
    getter.SetCommandPrompt(L"Select Surfaces defining the boundary,or nothing");
    getter.EnablePressEnterWhenDonePrompt();
    updateAllViews();
    while ((answer = getter.GetObjects(1, 0)) == CVezadGet::option) {
    }

    CMWDlgProgress& dialog = MeshwrightPlugIn().progressDialog;
    dialog.ShowWindow(SW_SHOW);
    dialog.setCancelled(false);
    dialog.setLabel("convert faces");
    const int boundaryPicks = answer == CVezadGet::object ? getter.ObjectCount() : 0;
    dialog.begin(0, static_cast<int>(picked.size()) + boundaryPicks);
    Kor::List<CFace*> boundary, faces;
    std::vector<CVezadObjRef> sources; // the picked object of each face to heal
    bool cancelled = false;
    for (int i = 0; i < boundaryPicks && !cancelled; ++i) {
        dialog.step(1);
        if ((cancelled = dialog.isCancelled()))
            break;
        if (const ON_BrepFace* face = brepFaceOf(getter.Object(i)))
            if (CFace* converted = faceFromBrepFace(*face))
                boundary.append(converted);
    }
    for (std::size_t i = 0; i < picked.size() && !cancelled; ++i) {
        dialog.step(1);
        if ((cancelled = dialog.isCancelled()))
            break;
        if (CFace* converted = faceFromBrepFace(*picked[i])) {
            faces.append(converted);
            sources.push_back(pickedRefs[i]);
        }
    }
    dialog.ShowWindow(SW_HIDE);
    CVezadCommand::result result = success;
    if (cancelled) {
        result = cancel;
    } else {
        CHeal heal(&faces, boundary.count > 0 ? &boundary : nullptr, tol, matchDistance,
                   continuity);
        if (heal.runInForeground()) {
            std::ofstream log;
            const bool logging = openLogStream(log, "c:/tmp/Heal.out");
            for (int i = 0; i < faces.count; ++i) {
                if (!addFaceAsBrep(*doc, faces[i], 0.75 * tol))
                    continue;
                doc->DeleteObject(sources[static_cast<std::size_t>(i)], true, false);
                if (logging) {
                    faces[i]->write(log);
                    log << '\n';
                }
            }
        }
    }
    faces.deleteAll();
    boundary.deleteAll();
    return result;
}
