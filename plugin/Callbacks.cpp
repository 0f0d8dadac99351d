// The draw callback, the per-view contexts and the helpers the two
// callbacks share. The mouse callback is in plugin/MouseEditing.cpp.
#include "plugin/Callbacks.h"

#include "display/Fonts.h"
#include "display/entities/OpenGLMesh.h"
#include "foundation/Logging.h"
#include "mesh/GridPoint.h"
#include "plugin/MeshObject.h"
#include "plugin/MeshwrightPlugIn.h"

#include <GL/gl.h>

#include <algorithm>

namespace {

// The outline draws at most about this many facets of a mesh.
constexpr int kOutlineFacets = 5000;
constexpr int kOutlineMinimumStep = 5;
// The highlight flag of the mesh's facet drawing.
constexpr int kHighlightFacets = 256;

// The rubber band's colours: in views that are not shaded one pale green,
// in shaded views a stronger green line with a cyan point at the cursor.
const ON_Color kRubberBandPale(152, 251, 152);
const float kRubberBandLine[3] = {0.596078f, 0.984314f, 0.196078f};

void printLastError()
{
    VezadApp().Print("failed to share lists expect display problems\n");
    VezadApp().Print(L"%ls", getLastErrorText().c_str());
    VezadApp().Print("\n");
}

// Whether a picked object of the running getter is the plug-in's first mesh
// object, for which the outline is drawn.
bool pickedInGetter(CVezadDoc& doc, const CMWMeshObject* first)
{
    const CVezadGetObject* getter = doc.InGetObject();
    if (getter == nullptr || first == nullptr)
        return false;
    for (int i = 0; i < getter->ObjectCount(); ++i)
        if (getter->Object(i).Object() == first)
            return true;
    return false;
}

void drawRubberBand(CVezadViewport& vp, const CVertex<float, 3>& from, const CVertex<float, 3>& to)
{
    if (!vp.DisplayModeIsShaded()) {
        vp.SetDrawColor(kRubberBandPale);
        vp.SetShadeColor(kRubberBandPale);
        vp.DrawLine(ON_3dPoint(from[0], from[1], from[2]), ON_3dPoint(to[0], to[1], to[2]));
        return;
    }
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glLineWidth(3.0f);
    glColor3fv(kRubberBandLine);
    glBegin(GL_LINES);
    glVertex3fv(from.data);
    glVertex3fv(to.data);
    glEnd();
    glLineWidth(1.0f);
    glPointSize(5.0f);
    glColor3f(0.0f, 1.0f, 1.0f);
    glBegin(GL_POINTS);
    glVertex3fv(to.data);
    glEnd();
    glPointSize(1.0f);
}

} // namespace

// ---- Shared helpers -------------------------------------------------------------------------

void redrawAllViews()
{
    CVezadDoc* doc = VezadApp().ActiveDoc();
    if (doc == nullptr)
        return;
    ON_SimpleArray<CVezadView*> views;
    doc->GetViewList(views);
    for (int i = 0; i < views.Count(); ++i)
        views[i]->Redraw();
}

void storeGridHit(GB::CSurfaceNet* net, const Mesh::CBaseMesh::CBaseHitInfo& hit)
{
    if (net == nullptr)
        return;
    if (net->lastMouseHit != nullptr)
        static_cast<Mesh::CBaseMesh::CBaseHitInfo&>(*net->lastMouseHit) = hit;
    else
        net->lastMouseHit = new Gridbench::CGridPoint(hit);
}

c_pair<CVezadView*, HGLRC>* findViewContext(CMeshwrightPlugIn& plugIn, const CVezadView* view)
{
    Kor::List<c_pair<CVezadView*, HGLRC>>& contexts = plugIn.viewContexts;
    for (c_pair<CVezadView*, HGLRC>& entry : contexts)
        if (entry.first == view)
            return &entry;
    return contexts.count > 0 ? &contexts[0] : nullptr;
}

HGLRC firstSharedContext(CMeshwrightPlugIn& plugIn)
{
    for (const c_pair<CVezadView*, HGLRC>& entry : plugIn.viewContexts)
        if (entry.second != nullptr)
            return entry.second;
    return nullptr;
}

Kor::List<int> outlineFacets(int facetCount)
{
    Kor::List<int> facets;
    const int step = std::max(facetCount / kOutlineFacets, kOutlineMinimumStep);
    if (step < facetCount)
        for (int i = 0; i < facetCount; i += step)
            facets.append(i);
    return facets;
}

// ---- The draw callback ----------------------------------------------------------------------

void CMWDrawCallBack::drawGLEntities(CVezadViewport& vp, CVezadDoc&)
{
    if (!vp.DisplayModeIsShaded())
        return;
    CMeshwrightPlugIn& plugIn = MeshwrightPlugIn();
    syncViewContexts();
    c_pair<CVezadView*, HGLRC>* entry = findViewContext(plugIn, vp.ParentView());
    if (entry == nullptr)
        return;
    const HGLRC current = wglGetCurrentContext();

    // A view drawing for the first time shares the lists compiled so far
    // when its context can; the very first context, and one that cannot
    // share, has none of them and compiles every list anew.
    bool fresh = false;
    if (entry->second == nullptr) {
        const HGLRC shared = firstSharedContext(plugIn);
        fresh = shared == nullptr;
        if (shared != nullptr && !wglShareLists(shared, current)) {
            printLastError();
            fresh = true;
        }
    } else {
        fresh = entry->second != current;
    }
    if (fresh && isLoggingEnabled() && !createFontDisplayLists(wglGetCurrentDC(), 1000))
        VezadApp().Print("MW init text subsystem failed.");
    entry->second = current;

    const Kor::List<CMWMeshObject*>& objects = plugIn.meshObjects;
    if (objects.count > 0 && !plugIn.editGrid && !objects[0]->IsHidden())
        showMeshEntities();
    GB::CSurfaceNet& net = plugIn.net;
    if (fresh)
        for (COpenGLEntity* entity : net.displayContainer.entities) {
            entity->listId = 0;
            entity->dirty = true;
        }
    if (objects.count > 0 && objects[0]->IsHidden())
        plugIn.applyEditDisplay(false);
    net.displayContainer.draw();
}

void CMWDrawCallBack::drawFeedback(CVezadViewport& vp, CVezadDoc& doc)
{
    CMeshwrightPlugIn& plugIn = MeshwrightPlugIn();
    const Kor::List<CMWMeshObject*>& objects = plugIn.meshObjects;
    GB::CSurfaceNet& net = plugIn.net;

    Kor::List<CMWMeshObject*> outlined;
    if (objects.count > 0 && pickedInGetter(doc, objects[0]))
        outlined.append(objects[0]);
    for (COpenGLEntity* entity : net.displayContainer.entities)
        if (dynamic_cast<COpenGLMesh*>(entity) != nullptr)
            for (CMWMeshObject* object : objects)
                if (object->IsHighlighted(false) > 0 && !object->IsHidden())
                    outlined.append(object);
    for (CMWMeshObject* object : outlined) {
        if (object->mesh == nullptr)
            continue;
        const Kor::List<int> facets = outlineFacets(object->mesh->getFacetCount());
        glDisable(GL_DEPTH_TEST);
        object->mesh->drawFacetList(kHighlightFacets, facets);
    }

    if (plugIn.editGrid && net.liveEdit && net.lastSnappedPoint != nullptr &&
        net.lastMouseHit != nullptr)
        drawRubberBand(vp, *net.lastSnappedPoint, *net.lastMouseHit);
}

bool CMWDrawCallBack::testBoundingBox(ON_BoundingBox)
{
    return false;
}
