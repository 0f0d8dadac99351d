#include "net/SurfaceNet.h"

#include "display/ViewProjection.h"
#include "curves/CurveOnSurface.h"
#include "display/entities/OpenGLSasSurf.h"
#include "foundation/Logging.h"
#include "geometry/NurbsSurf.h"
#include "healing/SkinTopology.h"
#include "net/Face.h"
#include "net/OpenGLFace.h"
#include "net/OpenGLPointList.h"
#include "platform/InputState.h"
#include "platform/RegularFile.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <set>
#include <vector>

namespace GB {

void releaseTrimmedFace(Face* face)
{
    if (face == nullptr || face->trimmedFace == nullptr)
        return;
    if (face->surface != nullptr && face->surface == face->trimmedFace->surface)
        face->surface = nullptr;
    delete face->trimmedFace;
    face->trimmedFace = nullptr;
}

CSurfaceNet::CSurfaceNet() : COffset_Grid(nullptr), faceColorCoding(new CColorCoding())
{
    faceColorCoding->mode = 1;
    faceColorCoding->hueCarried = 0;
    faceColorCoding->hueLow = 0;
    faceColorCoding->count = 360;
    faceColorCoding->setRange(-0.1, 0.1);
    displayContainer.addEntity(this);
}

CSurfaceNet::~CSurfaceNet()
{
    ++faceRecordsHeld;
    deleteCoEdges();
    while (firstFace != nullptr)
        removeFace(firstFace);
    displayContainer.removeEntityByName("geometry-errors");
    displayContainer.detachEntity(this);
}

// ---- Operations of the grid ------------------------------------------------------------

bool CSurfaceNet::setCurrentPointList(COffset_PointList* pl)
{
    setDirty();
    return COffset_Grid::setCurrentPointList(pl);
}

int CSurfaceNet::getSurfaces(Kor::List<Fenwo::NurbsSurf*>& list)
{
    int appended = 0;
    for (Face* f = firstFace; f != nullptr; f = f->next) {
        if (f->requestedState == Ribbon)
            continue;
        if (auto* s = dynamic_cast<Fenwo::NurbsSurf*>(f->surface)) {
            list.append(s);
            ++appended;
        }
    }
    return appended;
}

bool CSurfaceNet::hasSurfaces()
{
    for (Face* f = firstFace; f != nullptr; f = f->next)
        if (f->surface != nullptr)
            return true;
    return false;
}

bool CSurfaceNet::readFile(const char* name)
{
    std::unique_ptr<CSurfaceNet> replaced;
    return importFile(name, replaced);
}

bool CSurfaceNet::importFile(const char* name, std::unique_ptr<CSurfaceNet>& replaced)
{
    std::ifstream in;
    std::string problem = "not found";
    if (name == nullptr || !Platform::openRegularStream(in, name, std::ios::in, &problem)) {
        std::cout << "cannot open the net file " << (name != nullptr ? name : "(none)") << ": file "
                  << problem << std::endl;
        return false;
    }
    // The text goes into a net of its own, on this net's mesh with its
    // switches and settings (a text without a Topology section keeps them);
    // only a whole read takes this net's place, so that a text refused, cut
    // short or losing a face leaves the user's net as it was, its undo
    // items with it.
    CSurfaceNet read;
    read.setMesh(mesh);
    read.copyReadSettings(*this);
    read.junctionsAtCrossingsOnRead = true;
    if (!read.read(in))
        return false;
    replaced = std::make_unique<CSurfaceNet>();
    replaced->setMesh(mesh);
    moveContentsInto(*replaced);
    deleteAll(false);
    takeContents(read);
    return true;
}

void CSurfaceNet::moveContentsInto(CSurfaceNet& into)
{
    // The grid's own displays go as deleteAll takes them; the poly-lines
    // are shown again when they come back.
    showAllPointLists(false);
    while (displayContainer.removeEntityByName("PointList Curve")) {
    }
    while (displayContainer.removeEntityByName("PointList")) {
    }
    for (const char* marker : {"SelectedPoint", "HighlightPoint", "SelectedPointOnSegment"})
        displayContainer.removeEntityByName(marker);
    const bool topologyCurrent = topologyEditCount == editCount;
    const bool surfacesCurrent = surfaceEditCount == editCount;
    for (Face* f = firstFace; f != nullptr; f = f->next)
        if (COpenGLEntity* display = findFaceDisplay(f)) {
            const int layer = display->layer;
            displayContainer.detachEntity(display);
            if (into.displayContainer.addEntity(display, layer == LayerTop) != display)
                delete display;
            else
                display->layer = layer;
        }
    into.firstFace = firstFace;
    firstFace = nullptr;
    into.coedges = coedges;
    coedges.removeAll();
    COffset_PointList* current = currentPointList;
    into.takePointLists(*this);
    into.currentPointList = current;
    into.undoList = undoList;
    undoList.removeAll();
    into.undoMarks = undoMarks;
    undoMarks.removeAll();
    into.examinedCycles = examinedCycles;
    examinedCycles.removeAll();
    into.regionsWithoutFace = std::move(regionsWithoutFace);
    into.topologyPending = topologyPending;
    into.copyFittingSettings(*this);
    into.depthTest = depthTest;
    into.mode = mode;
    into.topologyEditCount = topologyCurrent ? into.editCount : into.editCount - 1;
    into.surfaceEditCount = surfacesCurrent ? into.editCount : into.editCount - 1;
    deleteAll(false);
}

void CSurfaceNet::restoreContents(CSurfaceNet& from)
{
    deleteAll(false);
    const bool topologyCurrent = from.topologyEditCount == from.editCount;
    const bool surfacesCurrent = from.surfaceEditCount == from.editCount;
    COffset_PointList* current = from.currentPointList;
    from.currentPointList = nullptr;
    takeContents(from);
    undoList = from.undoList;
    from.undoList.removeAll();
    undoMarks = from.undoMarks;
    from.undoMarks.removeAll();
    topologyEditCount = topologyCurrent ? editCount : editCount - 1;
    surfaceEditCount = surfacesCurrent ? editCount : editCount - 1;
    if (showPointLists)
        showAllPointLists(true);
    if (indexOfPointList(current) >= 0)
        setCurrentPointList(current);
    notify();
}

void CSurfaceNet::copyReadSettings(const CSurfaceNet& from)
{
    topologySwitch = from.topologySwitch;
    fittingOff = from.fittingOff;
    surfaceMeshDistance = from.surfaceMeshDistance;
    wireframe = from.wireframe;
    depthTest = from.depthTest;
    mode = from.mode;
    constrainedStart = from.constrainedStart;
    directCoons = from.directCoons;
    copyFittingSettings(from);
}

void CSurfaceNet::copyFittingSettings(const CSurfaceNet& from)
{
    sideCount = from.sideCount;
    numCtrlPts = from.numCtrlPts;
    surfaceTolerance = from.surfaceTolerance;
    draftOnly = from.draftOnly;
    surfaceQuality = from.surfaceQuality;
    std::copy(from.tolerances, from.tolerances + 3, tolerances);
    faceColorCoding->setRange(from.faceColorCoding->minimum, from.faceColorCoding->maximum);
}

void CSurfaceNet::takeContents(CSurfaceNet& read)
{
    const bool topologyCurrent = read.topologyEditCount == read.editCount;
    const bool surfacesCurrent = read.surfaceEditCount == read.editCount;
    takePointLists(read);
    firstFace = read.firstFace;
    read.firstFace = nullptr;
    coedges = read.coedges;
    read.coedges.removeAll();
    examinedCycles = read.examinedCycles;
    regionsWithoutFace = std::move(read.regionsWithoutFace);
    topologyPending = read.topologyPending;
    // The read net's drawables (its faces' displays) come along; the read
    // net's own drawable stays with it. A face display colours its error
    // points by the colour coding of its net: this net's from now on, for
    // the read net's goes with that net.
    std::vector<COpenGLEntity*> drawables;
    for (COpenGLEntity* entity : read.displayContainer.entities)
        if (entity != &read)
            drawables.push_back(entity);
    // Taken out from the last on, so the read container's array is not
    // shifted once for every entity; they go in from the first on, in
    // ascending keys.
    for (auto entity = drawables.rbegin(); entity != drawables.rend(); ++entity)
        read.displayContainer.detachEntity(*entity);
    for (COpenGLEntity* entity : drawables) {
        const CColorCoding* readCoding = read.faceColorCoding.get();
        if (auto* face = dynamic_cast<COpenGLFace*>(entity); face && face->colourMap == readCoding)
            face->colourMap = faceColorCoding.get();
        if (auto* sas = dynamic_cast<COpenGLSasSurf*>(entity); sas && sas->colourMap == readCoding)
            sas->colourMap = faceColorCoding.get();
        const int layer = entity->layer;
        if (displayContainer.addEntity(entity, layer == LayerTop) != entity)
            delete entity;
        else
            entity->layer = layer;
    }
    // The settings the text carried, set as the reader sets them.
    copyFittingSettings(read);
    setDepthTest(read.depthTest);
    setMode(read.mode);
    // The faces taken are those of the poly-lines taken as far as they were
    // in the read net.
    topologyEditCount = topologyCurrent ? editCount : editCount - 1;
    surfaceEditCount = surfacesCurrent ? editCount : editCount - 1;
    setDirty();
}

int CSurfaceNet::deleteAll(bool ask)
{
    const int count = pointLists.count;
    if (ask && count == 0)
        return 0;
    deleteCoEdges();
    // The undo items go with the grid: the faces leave no record.
    ++faceRecordsHeld;
    while (firstFace != nullptr)
        removeFace(firstFace);
    --faceRecordsHeld;
    regionsWithoutFace.clear();
    COffset_Grid::deleteAll(false);
    return count;
}

bool CSurfaceNet::onRButtonDown(const CGridMouseEvent& event, int flags)
{
    if (busy)
        return false;
    const bool edited = COffset_Grid::onRButtonDown(event, flags);
    if (edited) {
        Platform::WaitCursor wait;
        putJunctionsAtNewCrossings();
        if (buildTopology(false))
            computeSurfaces(draftOnly, true, nullptr);
        else
            log() << "RButtonDown::now new topology" << std::endl;
        setDirty();
    } else {
        int x = 0, y = 0;
        float depth = 0.f;
        if (!projectToWindow(event.point, x, y, depth))
            std::cout << "to World failed." << std::endl;
        else if (!pickFaceSurfaces(x, y))
            std::cout << "no pick at" << x << " " << y << std::endl;
    }
    notify();
    return edited;
}

bool CSurfaceNet::update()
{
    if (busy)
        return false;
    if (Platform::isKeyDown("Y"))
        return true;
    Platform::WaitCursor wait;
    if (buildTopology(false))
        computeSurfaces(draftOnly, true, nullptr);
    return COffset_Grid::update();
}

bool CSurfaceNet::updateAfterEdit(bool afterUndo)
{
    if (busy || !topologySwitch ||
        (topologyEditCount == editCount && surfaceEditCount == editCount))
        return false;
    Platform::WaitCursor wait;
    // The topology of the net as it stands, without the point the mouse is
    // placing (the surface update would take it back after the step). An
    // edit's lines that cross others meet them at junctions; what an undo
    // gave back is the net as it was, junctions and all.
    for (COffset_PointList* pl : pointLists)
        pl->RollBack();
    if (afterUndo)
        takeStretchesAsSeen();
    else
        putJunctionsAtNewCrossings();
    if (topologyEditCount != editCount) {
        keepingFaceStates = afterUndo;
        facesKept.clear();
        buildTopology(false);
        keepingFaceStates = false;
    }
    // After an undo the faces take back the states it handed over, and a
    // face that kept its surface through the undo is the face it was: a new
    // fit would only give it a new surface object, or another surface.
    giveBackFaceStates();
    if (afterUndo)
        for (Face* f = firstFace; f != nullptr; f = f->next)
            if (f->surface != nullptr || f->trimmedFace != nullptr)
                facesGivenBack.insert(f->serial);
    computeSurfaces(draftOnly, true, nullptr);
    facesGivenBack.clear();
    return true;
}

bool CSurfaceNet::followMesh(Mesh::CBaseMesh* m)
{
    setMesh(m);
    // An empty net has nothing to follow.
    if (pointLists.count == 0 && retiredPointLists.count == 0 && firstFace == nullptr)
        return false;
    // A curve is pulled onto the mesh it was fitted on; those of poly-lines
    // an undo may bring back are fitted anew when they come back.
    for (Kor::List<COffset_PointList*>* lists : {&pointLists, &retiredPointLists})
        for (COffset_PointList* pl : *lists)
            pl->dropCurve();
    // Every surface was fitted to facets the net no longer lies on, and a
    // fit that failed there is tried on these.
    for (Face* f = firstFace; f != nullptr; f = f->next) {
        f->computedState = Naked;
        for (Loop* l = f->firstLoop; l != nullptr; l = l->next)
            l->failed = false;
    }
    ++editCount;
    if (busy || !topologySwitch || mesh == nullptr)
        return false;
    Platform::WaitCursor wait;
    for (COffset_PointList* pl : pointLists)
        pl->RollBack();
    // The faces leave no records here: their states were fitted on another
    // mesh, which only an undo of a load brings back, and a load that
    // replaces the mesh records them before it (recordFaceStates).
    ++faceRecordsHeld;
    buildTopology(false);
    computeSurfaces(draftOnly, false, nullptr);
    --faceRecordsHeld;
    return true;
}

bool CSurfaceNet::setDepthTest(bool on)
{
    if (!COffset_Grid::setDepthTest(on)) {
        std::cout.flush();
        return false;
    }
    for (Face* f = firstFace; f != nullptr; f = f->next)
        if (COpenGLEntity* display = findFaceDisplay(f);
            display != nullptr && display->isFaceDisplay())
            display->applyDepthTest(on);
    for (COpenGLEntity* entity : displayContainer.entities)
        if (dynamic_cast<COpenGLPointList*>(entity) != nullptr ||
            dynamic_cast<COpenGLVertexList*>(entity) != nullptr)
            entity->applyDepthTest(on);
    notify();
    std::cout.flush();
    return true;
}

void CSurfaceNet::setWireframe(bool on)
{
    wireframe = on;
    for (Face* f = firstFace; f != nullptr; f = f->next)
        if (auto* display = dynamic_cast<COpenGLSasSurf*>(findFaceDisplay(f))) {
            display->shaded = !on;
            display->setDirty();
        }
    notify();
}

int CSurfaceNet::setSurfaceQuality(int quality)
{
    if (quality != surfaceQuality)
        resetFaces(0, false);
    surfaceQuality = quality;
    return quality;
}

bool CSurfaceNet::removePointList(COffset_PointList* pl, bool rebuild)
{
    if (pl != nullptr && pl->curveLocked && pl->getCurve() != nullptr)
        for (Face* f = firstFace; f != nullptr; f = f->next)
            if (f->surface == pl->getCurve()) {
                removeFace(f);
                break;
            }
    const bool removed = COffset_Grid::removePointList(pl, rebuild);
    if (buildTopology(false) && removed && rebuild)
        computeSurfaces(true, true, nullptr);
    return removed;
}

// ---- Operations the net adds -------------------------------------------------------------

void CSurfaceNet::showPointListPlain(COffset_PointList* pl, bool show)
{
    showPointList(pl, show, false);
}

// The skin lends the trimmed faces: they stay the net's when it goes.
bool CSurfaceNet::healFaces()
{
    FENWO_SKIN::CSkinTopology skin;
    Kor::List<CParametricGeometry*> curves;
    for (Face* f = firstFace; f != nullptr; f = f->next) {
        if (f->trimmedFace == nullptr)
            continue;
        skin.lend(f->trimmedFace);
        for (CCONS* c : f->trimmedFace->getAllCONS(false, true))
            curves.append(c);
    }
    FENWO_SKIN::buildSkin(curves, &skin, 2.0, progress);
    skin.healFaces(0.005, nullptr, 2);
    return true;
}

void CSurfaceNet::resetFaces(int newMode, bool recompute)
{
    setMode(newMode);
    for (Face* f = firstFace; f != nullptr; f = f->next)
        f->computedState = Naked;
    if (recompute && topologySwitch) {
        Platform::WaitCursor wait;
        computeSurfaces(draftOnly, false, nullptr);
        notify();
    }
}

// ---- Drawing -----------------------------------------------------------------------------------

unsigned int CSurfaceNet::draw()
{
    layer = LayerTop;
    glDisable(GL_DEPTH_TEST);
    if (currentPointList == nullptr)
        return glGetError();
    Kor::List<COffset_PointList*> polyLines;
    for (Face* f = firstFace; f != nullptr; f = f->next) {
        const COpenGLEntity* display = findFaceDisplay(f);
        if ((display != nullptr && display->hidden) || f->surface == nullptr ||
            f->firstLoop == nullptr)
            continue;
        f->firstLoop->getPolyLineRanges(polyLines);
        auto* surface = dynamic_cast<Fenwo::NurbsSurf*>(f->surface);
        if (surface != nullptr && polyLines.contains(currentPointList))
            surface->render(1, 1, 1, 8, 0.9f, 0.9f, 0.0f, 0.5f);
    }
    return glGetError();
}

// ---- Further operations ---------------------------------------------------------------------

int CSurfaceNet::countSurfaces(Kor::Set<HistogramItem>* histogram)
{
    int withSurface = 0;
    for (Face* f = firstFace; f != nullptr; f = f->next) {
        if (f->surface != nullptr)
            ++withSurface;
        if (histogram == nullptr)
            continue;
        std::set<const COffset_PointList*> polyLines;
        if (f->firstLoop != nullptr)
            for (int i = 0; i < f->firstLoop->cycle.count; ++i)
                if (const GraphAlgorithm::CHalfEdge* h = f->firstLoop->cycle[i];
                    h != nullptr && h->polyLine != nullptr)
                    polyLines.insert(h->polyLine);
        countInHistogram(*histogram, static_cast<int>(polyLines.size()));
    }
    return withSurface;
}

bool CSurfaceNet::onMouseDown(const CGridMouseEvent& event, int flags)
{
    if (busy)
        return false;
    const bool result = editAtMouseDown(event, flags);
    // A click that joined poly-lines may have closed or opened a region.
    if ((surfacesPending || topologyChanged) && topologySwitch) {
        Platform::WaitCursor wait;
        if (topologyChanged) {
            putJunctionsAtNewCrossings();
            buildTopology(false);
        }
        topologyChanged = false;
        computeSurfaces(draftOnly, true, nullptr);
        surfacesPending = false;
    }
    return result;
}

bool CSurfaceNet::removeFace(Face* face)
{
    if (face == nullptr)
        return false;
    recordFaceState(face);
    if (firstFace == face) {
        firstFace = face->next;
    } else {
        Face* before = firstFace;
        while (before != nullptr && before->next != face)
            before = before->next;
        if (before == nullptr)
            return false;
        before->next = face->next;
    }
    face->next = nullptr;
    displayContainer.removeEntity(findFaceDisplay(face));
    const bool trimmed = face->requestedState == Trimmed;
    if (trimmed && face->firstLoop != nullptr) {
        Loop* loop = face->firstLoop;
        for (CCoEdge* coedge : loop->coedges) {
            if (coedge == nullptr)
                continue;
            if (coedge->leftLoop == loop)
                coedge->setLeftSurface(nullptr);
            if (coedge->rightLoop == loop)
                coedge->setRightSurface(nullptr);
        }
    }
    releaseTrimmedFace(face);
    if (trimmed || face->requestedState == Ribbon) {
        // The surface belongs to the poly-line or to the trimmed face.
        face->surface = nullptr;
        face->errorPoints.removeAll();
    }
    delete face;
    return true;
}

void CSurfaceNet::showGridEntities(bool show)
{
    for (COpenGLEntity* entity : displayContainer.entities)
        if (dynamic_cast<COpenGLPointList*>(entity) != nullptr ||
            dynamic_cast<COpenGLVertexList*>(entity) != nullptr)
            entity->hidden = !show;
}

bool CSurfaceNet::pickFaceSurfaces(int, int)
{
    Kor::List<Fenwo::NurbsSurf*> surfaces;
    getSurfaces(surfaces);
    return false;
}

void CSurfaceNet::getFaceDisplayName(const Face* face, char* buffer, std::size_t size)
{
    if (face == nullptr || buffer == nullptr || size == 0)
        return;
    std::snprintf(buffer, size, "Face %1li", face->serial);
}

COpenGLEntity* CSurfaceNet::findFaceDisplay(const Face* face) const
{
    char name[32] = "";
    getFaceDisplayName(face, name, sizeof name);
    return name[0] != '\0' ? displayContainer.findEntityByName(name) : nullptr;
}

std::ostream& CSurfaceNet::log()
{
    if (!netLogOpened) {
        netLogOpened = true;
        openLogStream(netLog, "c:/tmp/SurfaceNet.log");
    }
    return netLog;
}

} // namespace GB
