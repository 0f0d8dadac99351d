#include "plugin/Commit.h"

#include "foundation/Logging.h"
#include "foundation/StopUhr.h"
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
#include "plugin/RegionCoverage.h"
#include "plugin/Watcher.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
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

// How far, in fit tolerances, a face's surface points seek their nearest
// facet first (farther ones are sought however far); the mesh vertices of
// the face's part of the mesh are measured to it however far.
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

// A face whose fit gave up on its boundary has no surface, and the update of
// all surfaces does not fit that boundary again: the commit leaves the face
// out, and names it as the fit gave up on it, but numbered among the faces
// as they stand, as the fit report and the Breps number them (where the net
// was drawn around it, the fit numbered it among the faces made so far).
void sayFacesLeftWithoutSurface(const GB::CSurfaceNet& net)
{
    int count = 0;
    for (const GB::Face* face = net.firstFace; face != nullptr; face = face->next)
        ++count;
    int number = 0;
    for (const GB::Face* face = net.firstFace; face != nullptr; face = face->next) {
        ++number;
        const GB::Loop* loop = face->firstLoop;
        if (face->surface == nullptr && loop != nullptr && loop->failed && !loop->pointsChanged())
            std::cout << "Face " << number << " of " << count << " " << FailureMessages::kNoSurface
                      << std::endl;
    }
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

// Deletes the objects of the references; failures are counted and reported
// on standard output. They stay in the document as deleted objects (a save
// writes none of them): undoing the commit brings them back, and the
// record of the commit that made them still takes them out when that one
// is undone in turn. Purged, they would be gone for good, and an undo of
// this commit would leave the document without the Breps it replaced.
void deleteOldSurfaces(CVezadDoc& doc, const Kor::List<CVezadObjRef>& refs)
{
    std::cout << "try delete " << refs.count << " old surfaces." << std::endl;
    int deleteFailures = 0;
    for (const CVezadObjRef& ref : refs)
        if (!doc.DeleteObject(ref, true, true))
            ++deleteFailures;
    if (deleteFailures != 0)
        std::cout << "failed to delete " << deleteFailures << " objects " << std::endl;
}

} // namespace

bool healKeptOnSeams(const std::vector<SeamChange>& seams, double tolerance, std::size_t* told)
{
    int brought = 0, takenOut = 0;
    double worstFound = 0.0, worstHealed = 0.0;
    std::size_t takenFarthest = seams.size(), farthest = seams.size();
    for (std::size_t k = 0; k < seams.size(); ++k) {
        const SeamChange& seam = seams[k];
        if (seam.found > tolerance && seam.healed <= tolerance)
            ++brought;
        if (seam.found <= tolerance && seam.healed > tolerance &&
            seam.healed > seam.found + kGapNoise * tolerance) {
            ++takenOut;
            if (takenFarthest == seams.size() || seam.healed > seams[takenFarthest].healed)
                takenFarthest = k;
        }
        worstFound = std::max(worstFound, seam.found - tolerance);
        if (seam.healed - tolerance > worstHealed) {
            worstHealed = seam.healed - tolerance;
            farthest = k;
        }
    }
    const bool countKept = takenOut == 0 || brought > takenOut;
    if (countKept && worstHealed <= worstFound + kGapNoise * tolerance)
        return true;
    if (told != nullptr)
        *told = countKept ? farthest : takenFarthest;
    return false;
}

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

    sayFacesLeftWithoutSurface(*net);
    net->computeSurfaces(!approx, false, nullptr);
    if (!isCancelled(progress)) {
        faces.deleteAll();
        sides.removeAll();
        notConverted = 0;
        progress->begin(0, net->countSurfaces(nullptr));
        faceNumbers.clear();
        sharedSides.clear();
        sharedPoints.clear();
        std::vector<const GB::Face*> collected; // the net face of each face
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
            // A face that was not trimmed by the regions inside it (its
            // surface not fitted and trimmed by the net) would lie over them.
            const int leftOut = trimmed != nullptr ? std::max(trimmed->trimLoops.count - 1, 0) : 0;
            for (std::size_t h = std::size_t(leftOut); trimmed != nullptr && h < face->holes.size();
                 ++h) {
                std::string corners;
                for (int c = 0; c < face->holes[h]->cornerSet.count; ++c)
                    corners += ' ' + std::to_string(*face->holes[h]->cornerSet.items[c]);
                std::cout << "Face " << number << " " << FailureMessages::kRegionNotLeftOut
                          << corners << " inside it: its surface is not trimmed by them"
                          << std::endl;
            }
            if (trimmed != nullptr) {
                faces.append(trimmed);
                faceNumbers.push_back(number);
                collected.push_back(face);
                int faceSides = face->firstLoop != nullptr
                                    ? countLoopSides(*face->firstLoop, net->pointLists)
                                    : 0;
                // The regions the face leaves out bound it with their sides.
                for (const std::unique_ptr<GB::Loop>& hole : face->holes)
                    faceSides += countLoopSides(*hole, net->pointLists);
                sides.append(faceSides);
            } else
                ++notConverted;
        }
        if (!cancelled) {
            sharedSides = ::sharedSides(collected);
            sharedPoints = ::sharedPoints(collected);
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
    // The faces as they were found and their edges, then the faces healed:
    // the heal is judged on the Breps the commit makes of them, whose edges
    // follow the trim curves within a share of dTol.
    std::vector<std::unique_ptr<CFace>> found;
    std::vector<FaceOutline> foundOutlines;
    std::vector<int> foundEdges;
    for (CFace* face : faces) {
        found.emplace_back(copyFace(face));
        foundOutlines.push_back(committedOutline(*face, dTol));
        foundEdges.push_back(edgeCount(*face));
    }
    // The faces the heal could not bring to their neighbours stay as they
    // were; whether that leaves a healed edge beyond dTol is told below,
    // once the faces are judged together.
    Kor::List<CFace*> failedFaces;
    // The heal joins the faces the net makes neighbours, and no others.
    FENWO_SKIN::FaceNeighbours neighbours;
    const auto faceAt = [&](int f) -> const CFace* {
        return f >= 0 && f < faces.count ? faces[f] : nullptr;
    };
    for (const SharedSide& side : sharedSides)
        neighbours.addSide(faceAt(side.a), faceAt(side.b));
    for (const SharedPoint& point : sharedPoints)
        neighbours.addPoint(faceAt(point.a), faceAt(point.b),
                            CVertex<double, 3>(point.at[0], point.at[1], point.at[2]));
    healSkin(faces, dTol, progress, nullptr, dMatchTol, 2, true, &failedFaces, &neighbours,
             sideAllowance(net->surfaceTolerance));
    if (isCancelled(progress))
        return;
    const std::size_t count = found.size();
    std::vector<bool> failed(count, false);
    std::vector<FaceOutline> healedOutlines;
    for (int f = 0; f < faces.count; ++f) {
        failed[std::size_t(f)] = failedFaces.contains(faces[f]);
        healedOutlines.push_back(committedOutline(*faces[f], dTol));
    }
    const auto number = [&](int f) {
        return std::size_t(f) < faceNumbers.size() ? faceNumbers[std::size_t(f)] : f + 1;
    };
    // Faces back in their shapes before the heal (swapped with the healed
    // ones, which `found` then holds).
    std::vector<bool> back(count, false);
    const auto swapFound = [&](int f) {
        CFace* healed = faces[f];
        faces[f] = found[std::size_t(f)].release();
        found[std::size_t(f)].reset(healed);
        back[std::size_t(f)] = !back[std::size_t(f)];
    };

    // Each pair of faces that share pieces of the net, and the gap of each
    // piece in each of the four states of its two faces (as found or
    // healed), measured when first asked: the judge re-measures only the
    // pieces of faces it moves, once per state.
    struct Seam {
        int a = 0, b = 0;
        std::vector<std::size_t> sides;
    };
    std::vector<Seam> seams;
    std::vector<std::vector<std::size_t>> seamsOf(count);
    for (std::size_t s = 0; s < sharedSides.size(); ++s) {
        const SharedSide& side = sharedSides[s];
        if (side.a < 0 || side.b < 0 || std::size_t(side.b) >= count)
            continue;
        if (seams.empty() || seams.back().a != side.a || seams.back().b != side.b) {
            seams.push_back({side.a, side.b, {}});
            seamsOf[std::size_t(side.a)].push_back(seams.size() - 1);
            seamsOf[std::size_t(side.b)].push_back(seams.size() - 1);
        }
        seams.back().sides.push_back(s);
    }
    std::vector<std::array<double, 4>> sideGaps(sharedSides.size());
    for (std::array<double, 4>& gaps : sideGaps)
        gaps.fill(-1.0);
    const auto outlineOf = [&](int f, bool asFound) -> const FaceOutline& {
        return asFound ? foundOutlines[std::size_t(f)] : healedOutlines[std::size_t(f)];
    };
    const auto seamGap = [&](const Seam& seam, bool aFound, bool bFound) {
        double gap = 0.0;
        for (std::size_t s : seam.sides) {
            double& measured = sideGaps[s][(aFound ? 2 : 0) + (bFound ? 1 : 0)];
            if (measured < 0.0)
                measured = sideGap(sharedSides[s], outlineOf(seam.a, aFound),
                                   outlineOf(seam.b, bFound));
            gap = std::max(gap, measured);
        }
        return gap;
    };
    const auto foundGap = [&](const Seam& seam) { return seamGap(seam, true, true); };
    const auto gapNow = [&](const Seam& seam) {
        return seamGap(seam, back[std::size_t(seam.a)], back[std::size_t(seam.b)]);
    };
    // A seam with a face that made no Brep as found has no gap to heal, as
    // the commit measures none there: it is not judged. (A face the heal
    // leaves without a Brep has left its neighbours: its seams lie apart.)
    const auto judged = [&](const Seam& seam) {
        return !foundOutlines[std::size_t(seam.a)].runs.empty() &&
               !foundOutlines[std::size_t(seam.b)].runs.empty();
    };

    // Whether the heal of face f is kept as the faces stand, and why not.
    // Each criterion weighs the face on its own; the first that fails tells
    // why.
    // - Its edges: a face whose trim loop the heal gave other edges than it
    //   had (a side left in pieces) would become a Brep whose edges are not
    //   its sides.
    // - Its shared edges, as they stand against its neighbours' shapes of
    //   the moment (healKeptOnSeams): a heal that closes three seams of 3
    //   dTol is kept though it moves a fourth from 0.95 to 1.05 dTol; one
    //   that takes a seam out and brings none in, or opens one wider beyond
    //   dTol than any it found, is not.
    struct Rejection {
        bool rejected = false;
        std::string edges;          // why its edges reject it
        const Seam* seam = nullptr; // else the shared edge that tells why
    };
    const auto rejection = [&](int f) {
        Rejection out;
        if (const int edges = edgeCount(*faces[f]); edges != foundEdges[std::size_t(f)]) {
            out.rejected = true;
            out.edges = "its " + std::to_string(foundEdges[std::size_t(f)]) + " edges became " +
                        std::to_string(edges);
            return out;
        }
        std::vector<SeamChange> changes;
        std::vector<const Seam*> weighed;
        for (std::size_t k : seamsOf[std::size_t(f)])
            if (judged(seams[k])) {
                changes.push_back({foundGap(seams[k]), gapNow(seams[k])});
                weighed.push_back(&seams[k]);
            }
        std::size_t told = 0;
        out.rejected = !healKeptOnSeams(changes, dTol, &told);
        if (out.rejected && told < weighed.size())
            out.seam = weighed[told];
        return out;
    };
    const auto told = [&](const Rejection& r) {
        if (r.seam == nullptr)
            return r.edges;
        std::ostringstream why;
        why << "the shared edge of faces " << number(r.seam->a) << " and " << number(r.seam->b)
            << " lay " << foundGap(*r.seam) << " apart, healed " << gapNow(*r.seam);
        return why.str();
    };
    // The healed faces whose heal is not kept.
    const auto rejected = [&]() {
        std::vector<int> out;
        for (int f = 0; f < faces.count; ++f)
            if (!back[std::size_t(f)] && rejection(f).rejected)
                out.push_back(f);
        return out;
    };
    // A face whose heal is not kept goes back to its shape before the heal:
    // of those, the one whose return leaves the fewest faces rejected, then
    // the smallest excess of a shared edge beyond both dTol and its gap as
    // found, then the first. That may reject a neighbour in turn, which goes
    // back the same way, until every healed face's heal is kept (all faces
    // back is the state found, which every criterion keeps).
    const auto largestExcess = [&]() {
        double excess = 0.0;
        for (const Seam& seam : seams)
            if (judged(seam))
                excess = std::max(excess, gapNow(seam) - std::max(foundGap(seam), dTol));
        return excess;
    };
    // A face the heal moved off the mesh goes back first, once: the shared
    // edges are then judged with it as found.
    for (const HealOffTheMesh& off : healsOffTheMesh(found, faces, *net))
        if (!back[std::size_t(off.face)]) {
            swapFound(off.face);
            std::cout << "Heal undone on face " << number(off.face) << ": it lay " << off.found
                      << " from the mesh, healed " << off.healed << std::endl;
        }
    for (std::vector<int> rejects = rejected(); !rejects.empty(); rejects = rejected()) {
        int undo = -1;
        std::size_t fewest = 0;
        double smallest = 0.0;
        for (int f : rejects) {
            swapFound(f);
            const std::size_t left = rejected().size();
            const double excess = largestExcess();
            swapFound(f);
            if (undo < 0 || left < fewest || (left == fewest && excess < smallest)) {
                undo = f;
                fewest = left;
                smallest = excess;
            }
        }
        std::cout << "Heal undone on face " << number(undo) << ": " << told(rejection(undo))
                  << std::endl;
        swapFound(undo);
    }
    // The heal has failed where it leaves a shared edge beyond dTol other
    // than it found it; a face it could not heal and that no such edge
    // holds stays as found.
    std::vector<bool> apart(count, false);
    for (const Seam& seam : seams) {
        if (!judged(seam))
            continue;
        const double before = foundGap(seam), now = gapNow(seam);
        if (now <= dTol || std::fabs(now - before) <= kGapNoise * dTol)
            continue;
        std::cout << FailureMessages::kHealFailed << " for dTol=" << dTol << ": the shared edge of faces "
                  << number(seam.a) << " and " << number(seam.b) << " lies " << now
                  << " apart (found " << before << ")" << std::endl;
        apart[std::size_t(seam.a)] = apart[std::size_t(seam.b)] = true;
    }
    for (int f = 0; f < faces.count; ++f)
        if (failed[std::size_t(f)] && !apart[std::size_t(f)] && !back[std::size_t(f)])
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
            line = std::string(FailureMessages::kGapBetweenFaces) + " " + number(g.a) + " and " +
                   number(g.b) + ": " +
                   figure(g.gap) + " exceeds the tolerance " + figure(tolerance);
        else
            line += "; faces " + number(g.a) + " and " + number(g.b) + ": " + figure(g.gap);
    }
    return line;
}

std::string brepOffTheMeshLine(const std::vector<std::pair<int, FaceMeshDistance>>& distances,
                               double tolerance)
{
    const double limit = kFitSlack * tolerance;
    const std::pair<int, FaceMeshDistance>* farthest = nullptr;
    std::string others;
    for (const auto& measured : distances) {
        if (measured.second.surfacePoints == 0 || !(measured.second.largest > limit))
            continue;
        if (farthest == nullptr || measured.second.largest > farthest->second.largest)
            farthest = &measured;
    }
    if (farthest == nullptr)
        return {};
    for (const auto& measured : distances)
        if (&measured != farthest && measured.second.surfacePoints > 0 &&
            measured.second.largest > limit)
            others += (others.empty() ? "" : ", ") + std::to_string(measured.first);
    char text[160];
    std::snprintf(
        text, sizeof text,
        "%s: face %d lies %.6g from it, %.6g x the fit tolerance %.6g where %.6g are accepted",
        FailureMessages::kBrepOffTheMesh, farthest->first, farthest->second.largest,
        farthest->second.largest / tolerance, tolerance, kFitSlack);
    std::string line = text;
    if (!others.empty())
        line += "; faces " + others + " beyond it too";
    return line;
}

// ---- The commit ------------------------------------------------------------------------------

namespace {

// The pieces faces share (by the faces' positions) between the Breps made
// of them, into `into`; pieces of a face without a Brep are left out.
void addBrepSides(VezadHost::BrepSides& into, const std::vector<SharedSide>& sides,
                  const std::vector<const CVezadObject*>& objectOf)
{
    const auto object = [&](int f) {
        return f >= 0 && std::size_t(f) < objectOf.size() ? objectOf[std::size_t(f)] : nullptr;
    };
    for (const SharedSide& side : sides) {
        const CVezadObject *a = object(side.a), *b = object(side.b);
        if (a == nullptr || b == nullptr)
            continue;
        VezadHost::BrepSharedSide shared{a->ModelObjectId(), b->ModelObjectId(), {}};
        for (const EdgePoint& p : side.along)
            shared.along.emplace_back(p[0], p[1], p[2]);
        into.sides.push_back(std::move(shared));
    }
}

} // namespace

void sayRegionsWithoutFace(const GB::CSurfaceNet& net)
{
    for (const GB::CSurfaceNet::RegionWithoutFace& region : net.regionsWithoutFace)
        VezadApp().Print("The region of corners %s %s: %s\n", region.corners.c_str(),
                         FailureMessages::kRegionWithoutFace, region.cause.c_str());
}

bool CMeshwrightPlugIn::convertFacesToVezad(bool heal, bool deleteOld, bool approx,
                                            bool* coverageFault)
{
    if (coverageFault != nullptr)
        *coverageFault = false;
    CVezadView* view = VezadApp().ActiveView();
    CVezadDoc* doc = view != nullptr ? view->GetDocument() : nullptr;
    if (doc == nullptr)
        return false;
    if (net.countSurfaces(nullptr) == 0)
        return true;
    // What the net closes without a face is missing from the patchwork the
    // commit makes.
    sayRegionsWithoutFace(net);
    // The commit computes the faces anew: what they were goes with its undo
    // record (a grid mark with the state of every face), so that undoing
    // the commit gives them back as they were.
    if (doc->AddCustomUndoEvent(new CMWUndo(false))) {
        net.addUndoMark();
        net.recordFaceStates();
    }
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
    // The edges of each face's Brep, none for a face that makes no Brep.
    std::vector<FaceOutline> outlines(std::size_t(tight.faces.count));
    std::vector<int> brepFaces; // the net face number of each Brep
    int netFaces = 0;
    for (const GB::Face* f = net.firstFace; f != nullptr; f = f->next)
        ++netFaces;
    std::vector<int> brepOf(std::size_t(tight.faces.count), -1); // of each face, by place
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
        std::string why;
        const int number =
            std::size_t(f) < tight.faceNumbers.size() ? tight.faceNumbers[std::size_t(f)] : f + 1;
        if (!faceToBrep(face, *brep, kBrepShare * tol, &why)) {
            VezadApp().Print("Face %d of %d %s: %s\n", number, netFaces, FailureMessages::kNoBrep,
                             why.c_str());
        } else {
            outlines[std::size_t(f)] = brepOutline(*brep);
            brepOf[std::size_t(f)] = int(breps.size());
            breps.push_back(std::move(brep));
            brepFaces.push_back(number);
            sides += ' ' + std::to_string(f < tight.sides.count ? tight.sides[f] : 0);
        }
    }
    std::cout << "Conversion is done." << std::endl;
    // The plug-in's record of committed Breps before the commit, for its undo.
    const Kor::List<CVezadObjRef> refsBefore = objectRefs;
    VezadHost::BrepSides sidesBefore = committedSides;
    std::vector<std::pair<int, FaceMeshDistance>> distancesBefore = committedDistances;
    // Each Brep as committed, measured against the mesh.
    committedDistances.clear();
    for (std::size_t b = 0; b < breps.size(); ++b)
        if (breps[b]->m_F.Count() > 0)
            if (const std::unique_ptr<CFace> face{faceFromBrepFace(breps[b]->m_F[0])})
                committedDistances.emplace_back(brepFaces[b], meshDistance(*face, net));
    // The measures' table of the facets round the mesh's vertices stays: the
    // coverage check below reads it too.
    // The Breps as committed must meet along the pieces of the net their
    // faces share within the tolerance; where they do not, the user is told
    // which faces part.
    const std::string gaps =
        gapLine(sharedEdgeGaps(outlines, tight.sharedSides), tight.faceNumbers, tol);

    if (deleteOld && objectRefs.count > 0)
        deleteOldSurfaces(*doc, objectRefs);
    objectRefs.removeAll();
    std::cout << "start add objects is done." << std::endl;

    const int layers = doc->LayerTable().LayerCount();
    const int layer = firstEmptyLayer(*doc);
    // The record of committed Breps as it stood goes with the commit's undo
    // record, which the host opens for the command.
    doc->AddCustomUndoEvent(new CMWCommitUndo(refsBefore, std::move(sidesBefore),
                                              std::move(distancesBefore),
                                              layer >= layers ? layer : -1));
    std::cout << "adding to layer=" << layer << std::endl;
    // The Breps of earlier commits keep their sides while they are in the
    // document (deleted ones too: an undo brings them back).
    const auto gone = [&](const ON_UUID& id) { return doc->LookupObject(id) == nullptr; };
    std::erase_if(committedSides.breps, gone);
    std::erase_if(committedSides.sides, [&](const VezadHost::BrepSharedSide& side) {
        return gone(side.a) || gone(side.b);
    });
    std::vector<const CVezadObject*> added(breps.size(), nullptr);
    for (std::size_t b = 0; b < breps.size(); ++b) {
        CVezadBrepObject* object = doc->AddBrepObject(*breps[b]);
        if (object == nullptr)
            continue;
        added[b] = object;
        committedSides.breps.push_back(object->ModelObjectId());
        objectRefs.append(CVezadObjRef(object));
        ON_3dmObjectAttributes attributes = object->Attributes();
        attributes.m_layer_index = layer;
        object->ModifyAttributes(attributes, true, false);
    }
    // The pieces of the net the faces share, between the Breps they made.
    std::vector<const CVezadObject*> objectOf(brepOf.size(), nullptr);
    for (std::size_t f = 0; f < brepOf.size(); ++f)
        if (brepOf[f] >= 0)
            objectOf[f] = added[std::size_t(brepOf[f])];
    addBrepSides(committedSides, tight.sharedSides, objectOf);
    VezadApp().Print("Converted %01i Surfaces to Vezad into Layer %01i.\n",
                     static_cast<int>(breps.size()), layer);
    if (const std::string off = brepOffTheMeshLine(committedDistances, net.surfaceTolerance);
        !off.empty())
        VezadApp().Print("%s\n", off.c_str());
    if (!gaps.empty())
        VezadApp().Print("%s\n", gaps.c_str());
    // Each Brep's outer loop takes one edge a side of its region.
    VezadApp().Print("Sides per Brep:%s\n", sides.c_str());
    // What the Breps cover against what the net's lines enclose on the mesh
    // (its time printed with the switch FENWO_TIMER).
    StopUhr coverageWatch(true, "coverage check", true);
    const RegionCoverage coverage =
        checkRegionCoverage(net, committedBreps(net, breps, brepFaces), tol);
    coverageWatch.stop();
    if (isTimerEnabled())
        std::cout << coverageWatch << std::endl;
    VezadApp().Print("Areas the net encloses: %d; Brep edges from their regions' sides: %g\n",
                     coverage.areas, coverage.edgesOffSides);
    for (const std::string& fault : coverage.faults)
        VezadApp().Print("%s\n", fault.c_str());
    if (coverageFault != nullptr)
        *coverageFault = !coverage.faults.empty();
    if (progress != nullptr)
        progress->setLabel(nullptr);
    return true;
}

void CMeshwrightPlugIn::restoreCommittedSides(CVezadDoc& doc)
{
    committedSides = {};
    std::vector<const CVezadObject*> objects;
    std::vector<std::vector<EdgePoint>> breps;
    for (const CVezadObjRef& ref : objectRefs) {
        const auto* object = dynamic_cast<const CVezadBrepObject*>(doc.LookupObject(ref.m_uuid));
        if (object == nullptr || object->Brep() == nullptr)
            continue;
        objects.push_back(object);
        breps.push_back(surfaceGrid(*object->Brep()));
    }
    // The faces a commit makes Breps of: those with a NURBS surface.
    std::vector<const GB::Face*> candidates;
    std::vector<std::vector<EdgePoint>> surfaces;
    for (const GB::Face* face = net.firstFace; face != nullptr; face = face->next) {
        CParametricGeometry* surface =
            face->trimmedFace != nullptr ? face->trimmedFace->getNurbsSurf() : face->surface;
        if (dynamic_cast<Fenwo::NurbsSurf*>(surface) == nullptr)
            continue;
        candidates.push_back(face);
        surfaces.push_back(surfaceGrid(*surface));
    }
    const std::vector<int> made = matchSurfaces(breps, surfaces);
    std::vector<const GB::Face*> faces(objects.size(), nullptr);
    for (std::size_t b = 0; b < objects.size(); ++b)
        if (made[b] >= 0) {
            faces[b] = candidates[std::size_t(made[b])];
            committedSides.breps.push_back(objects[b]->ModelObjectId());
        }
    // A net read with its faces' surfaces has its loops but not yet their
    // coedges, the runs of the poly-lines the faces share: they are made
    // here, without placing the surfaces on them, which only an update of
    // the surfaces reads (and which makes them anew).
    if (!committedSides.breps.empty())
        net.rebuildCoEdges(false);
    addBrepSides(committedSides, ::sharedSides(faces), objects);
}

CMWCommitUndo::CMWCommitUndo(const Kor::List<CVezadObjRef>& refs, VezadHost::BrepSides sides,
                             std::vector<std::pair<int, FaceMeshDistance>> distances,
                             int addedLayer)
    : objectRefs(refs), committedSides(std::move(sides)), committedDistances(std::move(distances)),
      addedLayer(addedLayer)
{
}

void CMWCommitUndo::Undo()
{
    CMeshwrightPlugIn& p = MeshwrightPlugIn();
    CVezadDoc* doc = VezadApp().ActiveDoc();
    if (doc == nullptr)
        return;
    // A Brep purged since is in no document any more.
    const auto gone = [&](const ON_UUID& id) { return doc->LookupObject(id) == nullptr; };
    p.objectRefs.removeAll();
    for (const CVezadObjRef& ref : objectRefs)
        if (!gone(ref.m_uuid))
            p.objectRefs.append(ref);
    std::erase_if(committedSides.breps, gone);
    std::erase_if(committedSides.sides, [&](const VezadHost::BrepSharedSide& side) {
        return gone(side.a) || gone(side.b);
    });
    p.committedSides = committedSides;
    p.committedDistances = committedDistances;
    // The layer the commit added holds none but the Breps the undo took out.
    CVezadLayerTable& layers = doc->LayerTable();
    if (addedLayer < 1 || addedLayer != layers.LayerCount() - 1)
        return;
    CVezadObjectIterator it(*doc, CVezadObjectIterator::undeleted_objects);
    for (CVezadObject* object = it.First(); object != nullptr; object = it.Next())
        if (object->Attributes().m_layer_index == addedLayer)
            return;
    std::vector<ON_wString> names;
    for (int i = 0; i < addedLayer; ++i)
        names.push_back(layers.LayerName(i));
    layers.assign(names, std::min(layers.CurrentLayerIndex(), addedLayer - 1));
}

CVezadCommand::result CCommandMWCommit::run()
{
    CMeshwrightPlugIn& p = MeshwrightPlugIn();
    if (p.meshObjects.count == 0 || p.net.countSurfaces(nullptr) == 0) {
        sayRegionsWithoutFace(p.net);
        VezadApp().Print("MW:%s.\n", FailureMessages::kNothingToCommit);
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
    // A commit whose Breps miss what the net encloses has failed: the
    // Breps stay in the document for the user to see where.
    bool coverageFault = false;
    if (commitSurfaces) {
        if (p.convertFacesToVezad(heal, deleteOld, approx, &coverageFault))
            p.setEditGridMode(false);
    } else {
        // The mesh object's own curves stay its own; the converted ones go.
        Kor::List<ON_NurbsCurve*> curves;
        std::vector<std::unique_ptr<ON_NurbsCurve>> converted;
        for (ON_NurbsCurve* curve : p.meshObjects[0]->sectionCurves())
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
    return coverageFault ? failure : success;
}
