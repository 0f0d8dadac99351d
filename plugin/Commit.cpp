#include "plugin/Commit.h"

#include "geometry/NurbsSurf.h"
#include "healing/SkinTopology.h"
#include "net/Face.h"
#include "net/FaceApproximation.h"
#include "net/FaceDisplay.h"
#include "net/FaceMeshDistance.h"
#include "net/FailureMessages.h"
#include "net/SurfaceNet.h"
#include "plugin/Commands.h"
#include "plugin/MeshObject.h"
#include "plugin/MeshwrightPlugIn.h"
#include "plugin/OpenNurbsConversion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// A shared edge counts as left farther apart by the heal only by more than
// this share of the tolerance: a face healed against its other neighbours
// moves the samples of an edge it did not heal by a trace (2e-5 where the
// tolerance is 0.016), which is no worse an edge.
constexpr double kGapNoise = 0.01;

// The share of the document's tolerance within which a face's trim curves
// become the edges of its Brep.
constexpr double kBrepShare = 0.75;

// The edges of the face's Brep as the commit makes it; none when the face
// makes no valid Brep (the commit leaves it out). A copy is converted: the
// conversion readies the trim loops of the face it converts.
FaceOutline committedOutline(const CFace& face, double tolerance)
{
    ON_Brep brep;
    const std::unique_ptr<CFace> copy(copyFace(&face));
    return copy != nullptr && faceToBrep(copy.get(), brep, kBrepShare * tolerance)
               ? brepOutline(brep)
               : FaceOutline{};
}

// The face's trim curves: the edges of its Brep.
int edgeCount(const CFace& face)
{
    int edges = 0;
    for (const CLoop* loop : face.trimLoops)
        edges += loop != nullptr ? loop->getCard() : 0;
    return edges;
}

// How far a face may lie from the mesh, in fit tolerances, that no facet
// is sought beyond: a point farther counts as that far.
constexpr double kMeshReach = 10.0;

// How far the face lies from the net's mesh, on a grid of the net's fit
// tolerance, with the share beyond the fit's slack; nothing is measured
// without a mesh.
FaceMeshDistance meshDistance(CFace& face, const GB::CSurfaceNet& net)
{
    const double tolerance = net.surfaceTolerance;
    if (net.mesh == nullptr)
        return {};
    return measureFaceMeshDistance(face, *net.mesh, tolerance, kFitSlack * tolerance,
                                   kMeshReach * tolerance);
}

} // namespace

std::vector<HealOffTheMesh> healsOffTheMesh(const std::vector<std::unique_ptr<CFace>>& found,
                                            const Kor::List<CFace*>& healed,
                                            const GB::CSurfaceNet& net)
{
    std::vector<HealOffTheMesh> off;
    const double limit = kFitSlack * net.surfaceTolerance;
    for (int f = 0; f < healed.count && std::size_t(f) < found.size(); ++f) {
        if (found[std::size_t(f)] == nullptr || healed[f] == nullptr)
            continue;
        const FaceMeshDistance after = meshDistance(*healed[f], net);
        if (after.surfacePoints == 0 || !(after.largest > limit))
            continue;
        const FaceMeshDistance before = meshDistance(*found[std::size_t(f)], net);
        if (before.largest <= limit ||
            after.largest > before.largest + kGapNoise * net.surfaceTolerance)
            off.push_back({f, before.largest, after.largest});
    }
    return off;
}

namespace {

bool isCancelled(CProgress* progress)
{
    return progress != nullptr && progress->isCancelled();
}

// The index of the first layer that holds no live object; a new layer when
// every layer is used.
int firstEmptyLayer(CVezadDoc& doc)
{
    CVezadLayerTable& layers = doc.LayerTable();
    std::vector<int> counts(static_cast<std::size_t>(layers.LayerCount()) + 1, 0);
    CVezadObjectIterator it(doc, CVezadObjectIterator::undeleted_objects);
    for (CVezadObject* object = it.First(); object != nullptr; object = it.Next()) {
        const int layer = object->Attributes().m_layer_index;
        if (layer >= 0 && layer < static_cast<int>(counts.size()))
            ++counts[static_cast<std::size_t>(layer)];
    }
    int target = 0;
    while (counts[static_cast<std::size_t>(target)] != 0)
        ++target;
    if (target == layers.LayerCount())
        target = layers.AddLayer(false);
    return target;
}

bool referenced(const Kor::List<CVezadObjRef>& refs, const CVezadObject& object)
{
    for (const CVezadObjRef& ref : refs)
        if (ref.m_uuid == object.ModelObjectId())
            return true;
    return false;
}

// Deletes the objects of the references, then purges them from the deleted
// objects; failures are counted and reported on standard output.
void deleteOldSurfaces(CVezadDoc& doc, const Kor::List<CVezadObjRef>& refs)
{
    std::cout << "try delete " << refs.count << " old surfaces." << std::endl;
    int deleteFailures = 0, purgeFailures = 0;
    for (const CVezadObjRef& ref : refs)
        if (!doc.DeleteObject(ref, true, true))
            ++deleteFailures;
    std::vector<CVezadObject*> doomed;
    CVezadObjectIterator it(doc, CVezadObjectIterator::deleted_objects);
    for (CVezadObject* object = it.First(); object != nullptr; object = it.Next())
        if (referenced(refs, *object))
            doomed.push_back(object);
    for (CVezadObject* object : doomed)
        if (!doc.PurgeObject(object))
            ++purgeFailures;
    if (deleteFailures != 0)
        std::cout << "failed to delete " << deleteFailures << " objects " << std::endl;
    if (purgeFailures != 0)
        std::cout << "failed to purge " << purgeFailures << " objects" << std::endl;
}

} // namespace

double commitMatchTolerance(double deviation, double tolerance)
{
    const double a = 4.0 * deviation, b = 100.0 * tolerance;
    return a < b ? b : a;
}

// ---- CMakeTight ------------------------------------------------------------------------------

CMakeTight::CMakeTight(GB::CSurfaceNet* net, bool heal, double dTol, double dMatchTol, bool approx)
    : net(net), heal(heal), approx(approx), dTol(dTol), dMatchTol(dMatchTol)
{
}

CMakeTight::~CMakeTight()
{
    faces.deleteAll();
}

void CMakeTight::work()
{
    CVezadProgress localSink;
    const bool ownSink = net->progress == nullptr;
    if (ownSink)
        net->setProgress(&localSink);
    CProgress* progress = net->progress;
    const bool draftOnly = net->draftOnly;
    if (approx)
        net->setDraftOnly(false);

    net->computeSurfaces(!approx, false, nullptr);
    if (!isCancelled(progress)) {
        faces.deleteAll();
        sides.removeAll();
        notConverted = 0;
        progress->begin(0, net->countSurfaces(nullptr));
        faceNumbers.clear();
        bool cancelled = false;
        int number = 0;
        for (GB::Face* face = net->firstFace; face != nullptr; face = face->next) {
            ++number;
            progress->step(1);
            if ((cancelled = progress->isCancelled()))
                break;
            if (face->surface == nullptr)
                continue;
            if (dynamic_cast<Fenwo::NurbsSurf*>(face->surface) == nullptr)
                continue;
            // A face the net trimmed keeps its trim loop: its surface
            // reaches past the face's boundary.
            CFace* trimmed = face->trimmedFace != nullptr ? copyFace(face->trimmedFace)
                                                          : makeFaceFromSurface(face->surface);
            if (trimmed != nullptr) {
                faces.append(trimmed);
                faceNumbers.push_back(number);
                sides.append(face->firstLoop != nullptr
                                 ? countLoopSides(*face->firstLoop, net->pointLists)
                                 : 0);
            } else
                ++notConverted;
        }
        if (!cancelled && notConverted != 0) {
            ON_wString text;
            text.Format("%01i faces have not been converted. please edit (insert) some more "
                        "polylines.",
                        notConverted);
            VezadMessageBox(text, L"Meshwright", MB_ICONINFORMATION);
        }
        if (!cancelled && heal) {
            char label[64];
            std::snprintf(label, sizeof label, "Healing up to %5.3f", dTol);
            progress->setLabel(label);
            healFaces(progress);
        }
    }
    net->setDraftOnly(draftOnly);
    if (ownSink)
        net->setProgress(nullptr);
}

void CMakeTight::healFaces(CProgress* progress)
{
    // The faces as they were found, their edges, and how far the shared
    // edges of their Breps lay apart: the heal is judged on the Breps the
    // commit makes of the faces, whose edges follow the trim curves within
    // a share of dTol.
    std::vector<std::unique_ptr<CFace>> found;
    std::vector<FaceOutline> foundOutlines;
    std::vector<int> foundEdges;
    for (CFace* face : faces) {
        found.emplace_back(copyFace(face));
        foundOutlines.push_back(committedOutline(*face, dTol));
        foundEdges.push_back(edgeCount(*face));
    }
    std::map<std::pair<int, int>, double> before;
    for (const SharedEdgeGap& g : sharedEdgeGaps(foundOutlines))
        before[{g.a, g.b}] = g.gap;
    // The faces the heal could not bring to their neighbours stay as they
    // were; whether that leaves a healed edge beyond dTol is told below,
    // once the faces are judged together.
    Kor::List<CFace*> failedFaces;
    healSkin(faces, dTol, progress, nullptr, dMatchTol, 2, true, &failedFaces);
    if (isCancelled(progress))
        return;
    std::vector<bool> failed(found.size(), false);
    for (int f = 0; f < faces.count; ++f)
        failed[std::size_t(f)] = failedFaces.contains(faces[f]);
    const auto number = [&](int f) {
        return std::size_t(f) < faceNumbers.size() ? faceNumbers[std::size_t(f)] : f + 1;
    };
    // A shared edge the heal left beyond dTol where it was within, or
    // farther apart than it found it and beyond dTol (a face moved to meet
    // one neighbour, or healed against a face that then moved), takes one
    // of its faces back to its shape before the heal: the one whose return
    // leaves fewer such edges, then the smaller excess over what was found;
    // both when neither alone mends the edge. That may leave an edge of
    // theirs with a healed face apart in turn: it is undone the same way,
    // until every edge lies as near as it was found or within dTol (all
    // faces back is the state found). An edge that no longer runs along its
    // neighbour has left it, as have the edges of a face that no longer
    // makes a valid Brep; an edge that runs along a face only after the
    // heal ran along none.
    struct Verdict {
        std::size_t apart = 0; // edges worse than found, as above
        double excess = 0.0;   // their largest gap beyond what was found
        std::pair<int, int> first{-1, -1};
        double firstGap = 0.0;
    };
    // The outlines of the faces as they stand (swapped with those of their
    // shapes before the heal as the faces are).
    std::vector<FaceOutline> outlines;
    for (CFace* face : faces)
        outlines.push_back(committedOutline(*face, dTol));
    std::vector<bool> back(found.size(), false);
    const auto judge = [&]() {
        std::map<std::pair<int, int>, double> after;
        for (const SharedEdgeGap& g : sharedEdgeGaps(outlines))
            after[{g.a, g.b}] = g.gap;
        // Two faces that share an edge only after the heal had it within
        // dTol before: it ran along no face.
        std::map<std::pair<int, int>, double> judged = before;
        for (const auto& healed : after)
            judged.emplace(healed.first, 0.0);
        Verdict verdict;
        for (const auto& [pair, gapBefore] : judged) {
            // Two faces as found lie as they were found.
            if (back[std::size_t(pair.first)] && back[std::size_t(pair.second)])
                continue;
            const auto healed = after.find(pair);
            const double gap = healed != after.end() ? healed->second : HUGE_VAL;
            if (gap <= dTol || (gapBefore > dTol && gap <= gapBefore + kGapNoise * dTol))
                continue;
            if (verdict.apart++ == 0) {
                verdict.first = pair;
                verdict.firstGap = gap;
            }
            verdict.excess = std::max(verdict.excess, gap - gapBefore);
        }
        return verdict;
    };
    // Swaps face f with its shape before the heal (and back).
    const auto swapFound = [&](int f) {
        CFace* healed = faces[f];
        faces[f] = found[std::size_t(f)].release();
        found[std::size_t(f)].reset(healed);
        std::swap(outlines[std::size_t(f)], foundOutlines[std::size_t(f)]);
    };
    // A face whose trim loop the heal gave other edges than it had (a side
    // left in pieces) would become a Brep whose edges are not its sides.
    for (int f = 0; f < faces.count; ++f)
        if (const int edges = edgeCount(*faces[f]); edges != foundEdges[std::size_t(f)]) {
            swapFound(f);
            back[std::size_t(f)] = true;
            std::cout << "Heal undone on face " << number(f) << ": its "
                      << foundEdges[std::size_t(f)] << " edges became " << edges << std::endl;
        }
    // A face the heal moved off the mesh goes back too; the shared edges are
    // judged with it as found.
    for (const HealOffTheMesh& off : healsOffTheMesh(found, faces, *net))
        if (!back[std::size_t(off.face)]) {
            swapFound(off.face);
            back[std::size_t(off.face)] = true;
            std::cout << "Heal undone on face " << number(off.face) << ": it lay " << off.found
                      << " from the mesh, healed " << off.healed << std::endl;
        }
    for (Verdict verdict = judge(); verdict.apart != 0;) {
        const auto [a, b] = verdict.first;
        // At least one of the two is still healed: the edge lay as found
        // were both back.
        std::vector<std::vector<int>> choices;
        if (!back[std::size_t(a)] && !back[std::size_t(b)])
            choices = {{a}, {b}, {a, b}};
        else
            choices = {{back[std::size_t(a)] ? b : a}};
        std::vector<int> undo;
        Verdict best;
        for (const std::vector<int>& choice : choices) {
            for (int f : choice)
                swapFound(f);
            const Verdict tried = judge();
            for (int f : choice)
                swapFound(f);
            if (undo.empty() || tried.apart < best.apart ||
                (tried.apart == best.apart && tried.excess < best.excess)) {
                undo = choice;
                best = tried;
            }
        }
        for (int f : undo) {
            swapFound(f);
            back[std::size_t(f)] = true;
        }
        std::cout << "Heal undone on face" << (undo.size() == 1 ? " " : "s ")
                  << number(undo.front());
        if (undo.size() == 2)
            std::cout << " and " << number(undo.back());
        if (const auto was = before.find(verdict.first); was != before.end())
            std::cout << ": the shared edge of faces " << number(a) << " and " << number(b)
                      << " lay " << was->second << " apart, healed " << verdict.firstGap
                      << std::endl;
        else
            std::cout << ": faces " << number(a) << " and " << number(b)
                      << " shared no edge as found, healed one " << verdict.firstGap << " apart"
                      << std::endl;
        verdict = judge();
    }
    // The heal has failed where it leaves a shared edge beyond dTol other
    // than it found it; a face it could not heal and that no such edge
    // holds stays as found.
    std::vector<bool> told(found.size(), false);
    for (const SharedEdgeGap& g : sharedEdgeGaps(outlines)) {
        const auto was = before.find({g.a, g.b});
        if (g.gap <= dTol ||
            (was != before.end() && std::fabs(g.gap - was->second) <= kGapNoise * dTol))
            continue;
        std::cout << FailureMessages::kHealFailed << " for dTol=" << dTol << ": the shared edge of faces " << number(g.a)
                  << " and " << number(g.b) << " lies " << g.gap << " apart";
        if (was != before.end())
            std::cout << " (found " << was->second << ")";
        std::cout << std::endl;
        told[std::size_t(g.a)] = told[std::size_t(g.b)] = true;
    }
    for (int f = 0; f < faces.count; ++f)
        if (failed[std::size_t(f)] && !told[std::size_t(f)] && !back[std::size_t(f)])
            std::cout << "Heal left face " << number(f)
                      << " as found: it could not be brought to its healed neighbours within dTol="
                      << dTol << std::endl;
}

std::string gapLine(std::vector<SharedEdgeGap> gaps, const std::vector<int>& faceNumbers,
                    double tolerance)
{
    gaps.erase(std::remove_if(gaps.begin(), gaps.end(),
                              [&](const SharedEdgeGap& g) { return g.gap <= tolerance; }),
               gaps.end());
    std::stable_sort(gaps.begin(), gaps.end(),
                     [](const SharedEdgeGap& x, const SharedEdgeGap& y) { return x.gap > y.gap; });
    auto number = [&](int f) {
        return std::to_string(std::size_t(f) < faceNumbers.size() ? faceNumbers[std::size_t(f)]
                                                                  : f + 1);
    };
    auto figure = [](double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.6g", value);
        return std::string(text);
    };
    std::string line;
    for (const SharedEdgeGap& g : gaps) {
        if (line.empty())
            line = std::string(FailureMessages::kGapBetweenFaces) + " " + number(g.a) + " and " + number(g.b) + ": " +
                   figure(g.gap) + " exceeds the tolerance " + figure(tolerance);
        else
            line += "; faces " + number(g.a) + " and " + number(g.b) + ": " + figure(g.gap);
    }
    return line;
}

// ---- The commit ------------------------------------------------------------------------------

bool CMeshwrightPlugIn::convertFacesToVezad(bool heal, bool deleteOld, bool approx)
{
    CVezadView* view = VezadApp().ActiveView();
    CVezadDoc* doc = view != nullptr ? view->GetDocument() : nullptr;
    if (doc == nullptr)
        return false;
    if (net.countSurfaces(nullptr) == 0)
        return true;
    const double tol = doc->AbsoluteTolerance();
    const bool mouseEnabled = mouseCallback.IsEnabled();
    mouseCallback.Enable(false);
    CMakeTight tight(&net, heal, tol, commitMatchTolerance(net.surfaceTolerance, tol), approx);
    tight.work();
    mouseCallback.Enable(mouseEnabled);
    CProgress* progress = net.progress;
    if (isCancelled(progress)) {
        VezadApp().Print("Face Creation cancelled\n");
        return false;
    }

    CWaitCursor wait;
    if (progress != nullptr) {
        char label[64];
        std::snprintf(label, sizeof label, "convert %1i faces to Vezad", tight.faces.count);
        progress->setLabel(label);
        progress->begin(0, tight.faces.count);
    }
    std::vector<std::unique_ptr<ON_Brep>> breps;
    std::vector<int> brepFaces; // the net face number of each Brep
    std::string sides; // of each Brep's region, for "Sides per Brep"
    for (int f = 0; f < tight.faces.count; ++f) {
        CFace* face = tight.faces[f];
        if (progress != nullptr) {
            progress->step(1);
            // A cancelled conversion adds nothing and deletes nothing.
            if (progress->isCancelled()) {
                VezadApp().Print("Face Creation cancelled\n");
                progress->setLabel(nullptr);
                return false;
            }
        }
        auto brep = std::make_unique<ON_Brep>();
        if (faceToBrep(face, *brep, kBrepShare * tol)) {
            breps.push_back(std::move(brep));
            brepFaces.push_back(std::size_t(f) < tight.faceNumbers.size()
                                    ? tight.faceNumbers[std::size_t(f)]
                                    : f + 1);
            sides += ' ' + std::to_string(f < tight.sides.count ? tight.sides[f] : 0);
        }
    }
    std::cout << "Conversion is done." << std::endl;
    // Each Brep as committed, measured against the mesh.
    committedDistances.clear();
    for (std::size_t b = 0; b < breps.size(); ++b)
        if (breps[b]->m_F.Count() > 0)
            if (const std::unique_ptr<CFace> face{faceFromBrepFace(breps[b]->m_F[0])})
                committedDistances.emplace_back(brepFaces[b], meshDistance(*face, net));
    // The Breps as committed must meet along their shared edges within the
    // tolerance; where they do not, the user is told which faces part.
    std::vector<FaceOutline> outlines;
    for (const std::unique_ptr<ON_Brep>& brep : breps)
        outlines.push_back(brepOutline(*brep));
    const std::string gaps = gapLine(sharedEdgeGaps(outlines), brepFaces, tol);

    if (deleteOld && objectRefs.count > 0)
        deleteOldSurfaces(*doc, objectRefs);
    objectRefs.removeAll();
    std::cout << "start add objects is done." << std::endl;

    const int layer = firstEmptyLayer(*doc);
    std::cout << "adding to layer=" << layer << std::endl;
    for (const std::unique_ptr<ON_Brep>& brep : breps) {
        CVezadBrepObject* object = doc->AddBrepObject(*brep);
        if (object == nullptr)
            continue;
        objectRefs.append(CVezadObjRef(object));
        ON_3dmObjectAttributes attributes = object->Attributes();
        attributes.m_layer_index = layer;
        object->ModifyAttributes(attributes, true, false);
    }
    VezadApp().Print("Converted %01i Surfaces to Vezad into Layer %01i.\n",
                     static_cast<int>(breps.size()), layer);
    if (!gaps.empty())
        VezadApp().Print("%s\n", gaps.c_str());
    // Each Brep's outer loop takes one edge a side of its region.
    VezadApp().Print("Sides per Brep:%s\n", sides.c_str());
    if (progress != nullptr)
        progress->setLabel(nullptr);
    return true;
}

CVezadCommand::result CCommandMWCommit::run()
{
    CMeshwrightPlugIn& p = MeshwrightPlugIn();
    if (p.meshObjects.count == 0 || p.net.countSurfaces(nullptr) == 0) {
        VezadApp().Print("MW:Nothing to Commit.\n");
        return cancel;
    }
    CVezadGetObject getter;
    getter.EnablePreSelect(false);
    getter.AcceptNothing(true);
    getter.EnablePressEnterWhenDonePrompt();
    getter.SetCommandPrompt(L"MWCommit: Press Return to continue");
    bool deleteOld = true, heal = true, commitSurfaces = true, approx = true;
    getter.AddCommandOptionToggle(L"Delete_old_srfs", L"No", L"Yes", &deleteOld);
    getter.AddCommandOptionToggle(L"Heal", L"No", L"Yes", &heal);
    getter.AddCommandOptionToggle(L"Commit_Surfaces", L"No", L"Yes", &commitSurfaces);
    getter.AddCommandOptionToggle(L"Approx_Surfaces", L"No", L"Yes", &approx);
    CVezadGet::result answer;
    while ((answer = getter.GetObjects(0, 0)) == CVezadGet::option) {
    }
    if (answer == CVezadGet::cancel)
        return cancel;

    CVezadDoc* doc = VezadApp().ActiveDoc();
    if (commitSurfaces) {
        if (p.convertFacesToVezad(heal, deleteOld, approx))
            p.setEditGridMode(false);
    } else {
        // The mesh object's own curves stay its own; the converted ones go.
        Kor::List<ON_NurbsCurve*> curves;
        std::vector<std::unique_ptr<ON_NurbsCurve>> converted;
        for (ON_NurbsCurve* curve : p.meshObjects[0]->curves)
            curves.append(curve);
        for (COffset_PointList* polyLine : p.net.pointLists) {
            auto* curve = dynamic_cast<Fenwo::NurbsSurf*>(polyLine->getCurve());
            if (ON_NurbsCurve* c = curve ? toONNurbsCurve(curve, true) : nullptr) {
                converted.emplace_back(c);
                curves.append(c);
            }
        }
        if (curves.count == 0) {
            VezadMessageBox(L"no curves to commit, use MWEditGrid.", EnglishCommandName());
            return cancel;
        }
        if (doc != nullptr)
            for (ON_NurbsCurve* curve : curves)
                doc->AddCurveObject(*curve);
    }
    if (doc != nullptr)
        doc->UpdateAllViews();
    return success;
}
