#include "plugin/MeshObject.h"

#include "display/entities/OpenGLMesh.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/PolFormat.h"
#include "mesh/PrincipalSections.h"
#include "net/PointList.h"
#include "platform/Diagnostics.h"
#include "plugin/MeshwrightPlugIn.h"
#include "plugin/OpenNurbsConversion.h"

#include <cstdint>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <vector>

namespace {

// The most a mesh's POL image may inflate from its record. The images of
// real meshes deflate 2:1 to 6:1, and a regular grid with whole-number
// coordinates, the most regular valid mesh, 6:1: the coordinates and the
// corner indices change from facet to facet. An image that inflates far
// beyond that repeats itself (all-zero vertices inflate 1000 times), and
// would cost memory and work out of all proportion to the document. A few
// kilobytes are read however well they deflate.
constexpr std::size_t kPolImageInflation = 32;
constexpr std::size_t kPolImageSlack = 4096;
// A compressed buffer's record begins with its sizes and check sum.
constexpr std::size_t kBufferRecordHead = 20;

void deleteCurves(Kor::List<ON_NurbsCurve*>& curves)
{
    for (ON_NurbsCurve* curve : curves)
        delete curve;
    curves.removeAll();
}

// The kernel's section curves of the mesh, converted and kept when valid.
void computeSectionCurves(Mesh::CBaseMesh* mesh, Kor::List<ON_NurbsCurve*>& curves)
{
    Kor::List<Fenwo::NurbsSurf*> sections;
    meshPrincipalSections(mesh, sections, 25, true);
    for (Fenwo::NurbsSurf* section : sections) {
        ON_NurbsCurve* curve = toONNurbsCurve(section, true);
        if (curve != nullptr && curve->IsValid())
            curves.append(curve);
        else
            delete curve;
        delete section;
    }
}

// The grid's colours are float RGB; a host colour takes each component
// times 255, rounded down.
ON_Color hostColour(const float* rgb)
{
    auto component = [](float c) { return static_cast<int>(c * 255.0f); };
    return ON_Color(component(rgb[0]), component(rgb[1]), component(rgb[2]));
}

// The grid's colours of the wireframe drawing: poly-lines, the current
// poly-line's curve, other curves, and grid points.
constexpr int curveColour = 6;

void drawGrid(CVezadViewport& viewport, const COffset_Grid& grid)
{
    const ON_Color remembered = viewport.DrawColor();
    for (int i = 0; i < grid.getNumPointLists(); ++i) {
        COffset_PointList* pl = grid.getPointList(i);
        if (pl == nullptr)
            continue;
        viewport.SetDrawColor(hostColour(grid.colours[PointListColour]));
        if (auto* curve = dynamic_cast<Fenwo::NurbsSurf*>(pl->getCurve())) {
            const bool current = pl == grid.currentPointList;
            viewport.SetDrawColor(
                hostColour(grid.colours[current ? CurrentPointListColour : curveColour]));
            if (std::unique_ptr<ON_NurbsCurve> converted{toONNurbsCurve(curve, true)})
                viewport.DrawNurbsCurve(*converted);
        }
        viewport.SetDrawColor(hostColour(grid.colours[VertexColour]));
        for (const CVertex<float, 3>* point : pl->vertices)
            if (point != nullptr)
                viewport.DrawPoint(ON_3dPoint((*point)[0], (*point)[1], (*point)[2]));
    }
    viewport.SetDrawColor(remembered);
}

} // namespace

// ---- CMWMeshGeometry ---------------------------------------------------------------

bool CMWMeshGeometry::IsValid(ON_TextLog*) const
{
    return true;
}

int CMWMeshGeometry::dimension() const
{
    return 3;
}

bool CMWMeshGeometry::boundingBox(double* boxmin, double* boxmax, bool) const
{
    for (int d = 0; d < 3; ++d) {
        boxmin[d] = owner->cachedBox.m_min[d];
        boxmax[d] = owner->cachedBox.m_max[d];
    }
    return true;
}

bool CMWMeshGeometry::transform(const ON_Xform&)
{
    std::cout << "XTrans on Object called." << std::endl;
    return false;
}

// ---- CMWMeshObject: life --------------------------------------------------------------

CMWMeshObject::CMWMeshObject()
{
    SetGeometry(new CMWMeshGeometry(this));
}

CMWMeshObject::~CMWMeshObject()
{
    releaseMesh();
    CMeshwrightPlugIn& plugIn = MeshwrightPlugIn();
    for (int i = plugIn.meshObjects.count - 1; i >= 0; --i)
        if (plugIn.meshObjects[i] == this)
            plugIn.meshObjects.removeAt(i);
}

void CMWMeshObject::releaseMesh()
{
    CMeshwrightPlugIn& plugIn = MeshwrightPlugIn();
    if (COpenGLEntity* entity = glEntity())
        plugIn.net.displayContainer.removeEntity(entity);
    // Only the net's own mesh takes the net with it: an older object purged
    // from the undo history leaves the current work alone. A net an import
    // replaced on this mesh cannot come back.
    if (mesh != nullptr && plugIn.net.mesh == mesh) {
        plugIn.net.setMesh(nullptr);
        plugIn.net.deleteAll(false);
    }
    CMWImportUndo::forgetMesh(mesh);
    delete mesh;
    mesh = nullptr;
    deleteCurves(curves);
    curvesMade = false;
    cachedBox = ON_BoundingBox();
}

const Kor::List<ON_NurbsCurve*>& CMWMeshObject::sectionCurves() const
{
    if (!curvesMade && mesh != nullptr) {
        computeSectionCurves(mesh, curves);
        curvesMade = true;
    }
    return curves;
}

// ---- Archive ----------------------------------------------------------------------------

bool CMWMeshObject::Write(ON_BinaryArchive& archive) const
{
    std::cout << "MWMeshObject::Write called" << std::endl;
    if (mesh == nullptr)
        return true;
    char* buffer = nullptr;
    unsigned size = 0;
    if (!serializeMesh(mesh, &buffer, false, &size) || buffer == nullptr)
        return true;
    std::unique_ptr<char[]> image(buffer);
    std::cout << "obuffer size=" << size << std::endl;
    return archive.WriteCompressedBuffer(size, image.get());
}

bool CMWMeshObject::Read(ON_BinaryArchive& archive)
{
    releaseMesh();
    // The image's size is checked before anything is allocated: against the
    // 32-bit size a POL image has, and against how far a POL image deflates.
    std::size_t size = 0, packed = 0;
    if (!archive.ReadCompressedBufferSize(&size, &packed))
        return false;
    if (size > kPolImageInflation * (packed + kBufferRecordHead) + kPolImageSlack) {
        std::cout << "the mesh image of " << size << " bytes inflates from "
                  << packed + kBufferRecordHead << ", more than " << kPolImageInflation
                  << " times: a mesh image repeating itself is not read." << std::endl;
        return false;
    }
    if (size > std::numeric_limits<std::uint32_t>::max()) {
        std::cout << "the mesh image of " << size
                  << " bytes is larger than a POL image can be: it is not read." << std::endl;
        return false;
    }
    // The image's check sum is checked before anything of it is read.
    if (!ON_CompressedBufferStream::Check(archive)) {
        std::cout << "the mesh image does not inflate to its " << size
                  << " bytes and their check sum: it is not read." << std::endl;
        // The record is passed over, so the fields after it read on.
        archive.SeekFromStart(archive.CurrentPosition() + kBufferRecordHead + packed);
        return false;
    }
    // The image is read as it inflates: the POL reader takes its header and
    // blocks from the stream, so the image is never held whole beside them.
    ON_CompressedBufferStream image;
    if (!image.Open(archive))
        return false;
    auto restored = std::make_unique<CFlatMesh>();
    std::cout << "ibuffer size=" << size << std::endl;
    bool read = false, whole = false;
    {
        std::ofstream copy;
        if (Platform::openDiagnosticsStream(copy, "c:/tmp/test.pol",
                                            std::ios::binary | std::ios::trunc))
            image.CopyTo(&copy);
        std::istream in(&image);
        // Whole or not at all: the plug-in wrote the image from a mesh whose
        // records added up.
        read = restored->readPOL(in, static_cast<std::uint32_t>(size), true);
        // What the reader left is inflated too: the mesh counts only when the
        // whole image matched its size and check sum.
        whole = image.Finish();
    }
    if (read && !whole)
        std::cout << "the mesh image does not inflate to its " << size
                  << " bytes and their check sum: it is not read." << std::endl;
    if (!read || !whole)
        return false;
    restored->buildFacetHash(200.0, -1.0, nullptr);
    attachMesh(this, restored.release());
    return true;
}

ON::object_type CMWMeshObject::ObjectType() const
{
    return ON::mesh_object;
}

// ---- Display entity and grips -------------------------------------------------------

COpenGLEntity* CMWMeshObject::glEntity() const
{
    if (mesh == nullptr)
        return nullptr;
    return MeshwrightPlugIn().net.displayContainer.findEntity(displayKeyOf(*mesh));
}

void CMWMeshObject::hideGLEntity()
{
    shown = false;
    if (COpenGLEntity* entity = glEntity())
        entity->hidden = true;
}

void CMWMeshObject::showGLEntity()
{
    shown = true;
    if (mesh == nullptr)
        return;
    if (COpenGLEntity* entity = glEntity()) {
        entity->hidden = false;
        return;
    }
    GB::CSurfaceNet& net = MeshwrightPlugIn().net;
    auto* entity = new COpenGLMesh("MeshwrightMesh", mesh, 0.870588f, 0.721569f, 0.529412f, 1.0f,
                                   0.45f, 0.721569f, 0.729412f, 1.0f);
    entity->mesh = mesh;
    entity->hidden = false;
    net.displayContainer.addEntity(entity, true);
    net.setDepthTest(true);
    entity->layer = COpenGLEntity::LayerBottom;
}

bool CMWMeshObject::createGrips(bool on)
{
    CMeshwrightPlugIn& plugIn = MeshwrightPlugIn();
    if (on) {
        EnableCustomGrips(new CVezadObjectGrips(1000));
        if (!plugIn.editGrid)
            plugIn.setEditGridMode(true);
    } else {
        plugIn.setEditGridMode(false);
        EnableCustomGrips(nullptr);
    }
    return true;
}

bool CMWMeshObject::EnableCustomGrips(CVezadObjectGrips* grips)
{
    CVezadObject::EnableCustomGrips(grips);
    std::cout << "Eanble custom the grips" << std::endl;
    return true;
}

// ---- Drawing, picking, box ----------------------------------------------------------

void CMWMeshObject::draw(CVezadDisplayPipeline& pipeline) const
{
    CMeshwrightPlugIn& plugIn = MeshwrightPlugIn();
    if (CVezadView* view = VezadApp().ActiveView(); view != nullptr && !plugIn.drawCallback) {
        plugIn.drawCallback = new CMWDrawCallBack;
        if (!view->AddDrawCallback(plugIn.drawCallback)) {
            delete plugIn.drawCallback;
            plugIn.drawCallback = nullptr;
        }
    }
    COpenGLEntity* entity = glEntity();
    if (IsDeleted() || IsHidden()) {
        if (entity != nullptr)
            entity->hidden = true;
        return;
    }
    CVezadViewport* viewport = pipeline.GetVezadVP();
    if (viewport == nullptr || viewport->DisplayModeIsShaded())
        return;
    for (const ON_NurbsCurve* curve : sectionCurves())
        viewport->DrawNurbsCurve(*curve);
    drawGrid(*viewport, plugIn.net);
}

void CMWMeshObject::drawHighlightVp(CVezadViewport&) const
{
    std::cout << "DrawHighLiht vp" << std::endl;
}

void CMWMeshObject::drawHighlightPipe(CVezadDisplayPipeline&) const
{
    std::cout << "DrawHighLiht pipe" << std::endl;
}

bool CMWMeshObject::pickFilter(const CVezadGetObject& getter, bool checkSubObjects) const
{
    if (checkSubObjects)
        (void)getter.GeometryFilter();
    return true;
}

int CMWMeshObject::pick(const CVezadPickContext& context, ON_ClassArray<CVezadObjRef>& picks) const
{
    if (mesh == nullptr)
        return 0;
    const ON_Line& line = context.m_pick_line;
    const Mesh::CBaseMesh::Point from(static_cast<float>(line.from.x),
                                      static_cast<float>(line.from.y),
                                      static_cast<float>(line.from.z));
    Mesh::CBaseMesh::Direction direction(Mesh::CBaseMesh::Point(
        static_cast<float>(line.to.x - line.from.x), static_cast<float>(line.to.y - line.from.y),
        static_cast<float>(line.to.z - line.from.z)));
    direction.normalize();
    // The first hit as getFirstHit finds it, with the facet's normal.
    Kor::Set<Mesh::CBaseMesh::CBaseHitInfo> hits;
    if (!mesh->hit(from, direction, hits, true, true, false, nullptr, 0.0))
        return 0;
    const Mesh::CBaseMesh::CBaseHitInfo& hit = *hits.items[0];
    CVezadObjRef ref(this);
    ref.SetSelectionPoint(ON_3dPoint(hit[0], hit[1], hit[2]));
    ref.setSelectionNormal(ON_3dVector(hit.normal[0], hit.normal[1], hit.normal[2]));
    picks.Append(ref);
    return 1;
}

ON_BoundingBox CMWMeshObject::boundingBox() const
{
    if (mesh == nullptr)
        return ON_BoundingBox();
    const CBox<float, 3> box = mesh->getBoundingBox();
    return ON_BoundingBox(ON_3dPoint(box.min[0], box.min[1], box.min[2]),
                          ON_3dPoint(box.max[0], box.max[1], box.max[2]));
}

bool CMWMeshObject::ModifyAttributes(const ON_3dmObjectAttributes& attributes, bool bEnableUndo,
                                     bool bQuiet)
{
    if (COpenGLEntity* entity = glEntity())
        entity->hidden = !attributes.IsVisible();
    return CVezadObject::ModifyAttributes(attributes, bEnableUndo, bQuiet);
}

const wchar_t* CMWMeshObject::typeDescription() const
{
    return L"MW Large Mesh Objects";
}

// ---- Free functions --------------------------------------------------------------------

void attachMesh(CMWMeshObject* object, Mesh::CBaseMesh* mesh)
{
    if (object == nullptr)
        return;
    // The curves always belong to the mesh held: attaching the same mesh
    // again makes them anew instead of adding a second set.
    deleteCurves(object->curves);
    object->curvesMade = false;
    object->mesh = mesh;
    if (mesh != nullptr)
        object->cachedBox = object->boundingBox();
}

void markMeshEntityChanged(CMWMeshObject* object)
{
    if (object == nullptr)
        return;
    if (COpenGLEntity* entity = object->glEntity())
        entity->dirty = true;
}
