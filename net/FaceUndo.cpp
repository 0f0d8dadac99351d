// The undo of the net's faces (see the header).
#include "net/FaceUndo.h"

#include "display/entities/OpenGLSasSurf.h"
#include "geometry/NurbsSurf.h"
#include "mesh/BaseMesh.h"
#include "net/Face.h"
#include "net/SurfaceNet.h"

#include <algorithm>
#include <map>

namespace GB {

namespace {

// The walk of the loop's cycle along the pieces (loopPieces). An undo gives
// the poly-lines back as they stood, entries and all, so the walk of a
// region then is the walk it had when its face was recorded.
std::vector<std::int64_t> piecesOf(const Loop& loop)
{
    return loopPieces(loop.cycle);
}

} // namespace

std::vector<std::int64_t> loopPieces(const GraphAlgorithm::Cycle& cycle)
{
    constexpr std::size_t kFields = 4;
    std::vector<std::int64_t> walk;
    for (int i = 0; i < cycle.count; ++i) {
        const GraphAlgorithm::CHalfEdge* h = cycle.items[i];
        walk.push_back(h != nullptr && h->polyLine != nullptr ? h->polyLine->creation.value() : -1);
        walk.push_back(h != nullptr ? h->sourceEntry : -1);
        walk.push_back(h != nullptr ? h->targetEntry : -1);
        walk.push_back(h != nullptr && h->target != nullptr ? h->target->getId() : -1);
    }
    std::vector<std::int64_t> least = walk;
    for (std::size_t k = kFields; k < walk.size(); k += kFields) {
        std::vector<std::int64_t> turned(walk.begin() + std::ptrdiff_t(k), walk.end());
        turned.insert(turned.end(), walk.begin(), walk.begin() + std::ptrdiff_t(k));
        least = std::min(least, turned);
    }
    return least;
}

FaceStateRecord::FaceStateRecord() = default;
FaceStateRecord::~FaceStateRecord() = default;

std::unique_ptr<FaceStateRecord> recordFaceState(const Face& face, Mesh::CBaseMesh* mesh)
{
    if (face.firstLoop == nullptr || face.requestedState == Ribbon)
        return nullptr;
    auto r = std::make_unique<FaceStateRecord>();
    r->pieces = piecesOf(*face.firstLoop);
    if (mesh != nullptr) {
        r->meshCreation = mesh->creation.value();
        r->meshFacets = mesh->getFacetCount();
    }
    r->requested = face.requestedState;
    r->computed = face.computedState;
    r->imprint[0] = face.imprint[0];
    r->imprint[1] = face.imprint[1];
    // Copies as they stand, ids and all: the face given back holds the
    // objects it held, and a save after the undo writes what a save before
    // the edit wrote.
    if (face.trimmedFace != nullptr)
        r->trimmed.reset(copyFace(face.trimmedFace, true));
    if (r->trimmed == nullptr && face.surface != nullptr)
        r->surface.reset(copyAsItStands(*face.surface));
    r->statistics = face.statistics;
    r->failed = face.firstLoop->failed;
    r->id = face.id;
    r->name = face.name;
    r->layer = face.layer;
    return r;
}

void CUndoFaceState::undo(COffset_Grid* grid)
{
    if (auto* net = dynamic_cast<CSurfaceNet*>(grid); net != nullptr && record != nullptr)
        net->faceStatesToGiveBack.push_back(std::move(record));
}

void CSurfaceNet::recordFaceState(Face* face)
{
    if (face != nullptr && keepingFaceStates) {
        if (facesKept.insert(face->serial).second)
            if (std::unique_ptr<FaceStateRecord> r = GB::recordFaceState(*face, mesh))
                faceStatesAsTheyStood.push_back(std::move(r));
        return;
    }
    if (face == nullptr || faceRecordsHeld > 0 || undoMarks.count == 0)
        return;
    if (recordedStretch != undoStretch) {
        facesRecorded.clear();
        recordedStretch = undoStretch;
    }
    if (!facesRecorded.insert(face->serial).second)
        return;
    if (std::unique_ptr<FaceStateRecord> r = GB::recordFaceState(*face, mesh))
        // Not an edit of the grid: the edit count stays.
        undoList.append(new CUndoFaceState(std::move(r)));
}

void CSurfaceNet::recordFaceStates()
{
    for (Face* f = firstFace; f != nullptr; f = f->next)
        recordFaceState(f);
}

int CSurfaceNet::giveBackFaceStates()
{
    std::vector<std::unique_ptr<FaceStateRecord>> records = std::move(faceStatesToGiveBack);
    std::vector<std::unique_ptr<FaceStateRecord>> stood = std::move(faceStatesAsTheyStood);
    faceStatesToGiveBack.clear();
    faceStatesAsTheyStood.clear();
    facesGivenBack.clear();
    if (mesh == nullptr || (records.empty() && stood.empty()))
        return 0;
    const auto onTheMesh = [&](const FaceStateRecord& r) {
        return r.meshCreation == mesh->creation.value() && r.meshFacets == mesh->getFacetCount();
    };
    // The oldest record of each region: its state before every edit undone
    // (a face removed and made again by those edits was recorded twice);
    // a region without one takes the state its face had as the undo's
    // topology step found it.
    std::map<std::vector<std::int64_t>, FaceStateRecord*> oldest;
    for (std::unique_ptr<FaceStateRecord>& r : records)
        if (onTheMesh(*r))
            oldest[r->pieces] = r.get();
    for (std::unique_ptr<FaceStateRecord>& r : stood)
        if (onTheMesh(*r))
            oldest.emplace(r->pieces, r.get());
    std::map<std::vector<std::int64_t>, Face*> faces;
    for (Face* f = firstFace; f != nullptr; f = f->next)
        if (f->firstLoop != nullptr && f->requestedState != Ribbon)
            faces.emplace(piecesOf(*f->firstLoop), f);
    int given = 0;
    for (const auto& [key, r] : oldest) {
        const auto at = faces.find(key);
        if (at == faces.end() || facesGivenBack.count(at->second->serial) > 0)
            continue;
        Face* face = at->second;
        facesGivenBack.insert(face->serial);
        ++given;
        clearFaceSurface(face);
        face->requestedState = r->requested;
        face->computedState = r->computed;
        face->imprint[0] = r->imprint[0];
        face->imprint[1] = r->imprint[1];
        face->statistics = r->statistics;
        face->firstLoop->failed = r->failed;
        face->id = r->id;
        face->name = r->name;
        face->layer = r->layer;
        if (r->trimmed != nullptr) {
            restoreTrimmedFace(face, r->trimmed.release());
        } else if (auto* surface = dynamic_cast<Fenwo::NurbsSurf*>(r->surface.get())) {
            r->surface.release();
            setFaceSurface(face, surface);
            if (!fittingOff)
                if (auto* display = dynamic_cast<COpenGLSasSurf*>(findFaceDisplay(face))) {
                    float rgba[4];
                    faceStateColour(face->requestedState, false, rgba);
                    display->setColour(rgba[0], rgba[1], rgba[2], rgba[3]);
                }
        } else {
            face->surface = r->surface.release();
        }
    }
    return given;
}

} // namespace GB
