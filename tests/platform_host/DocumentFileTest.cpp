#include "TestHost.h"

#include "platform/Uuid.h"
#include "platform/host/DocumentFile.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/stat.h>

using hosttest::passes;
using hosttest::transcript;

namespace {

std::vector<std::string> g_events;

class EventLog : public CVezadEventWatcher {
public:
    EventLog()
    {
        Register();
        Enable(true);
    }
    void OnCloseDocument(CVezadDoc&) override { g_events.push_back("close"); }
    void OnNewDocument(CVezadDoc& doc) override
    {
        g_events.push_back("new " + std::to_string(doc.ObjectCount()));
    }
    void OnAddObject(CVezadDoc&, CVezadObject& o) override
    {
        g_events.push_back("add " + o.Attributes().m_name.ToUtf8());
    }
} g_eventLog;

ON_Mesh triangleMesh()
{
    ON_Mesh mesh;
    mesh.SetVertex(0, ON_3dPoint(0, 0, 0));
    mesh.SetVertex(1, ON_3dPoint(1, 0, 0.5));
    mesh.SetVertex(2, ON_3dPoint(0, 1, 0.25));
    mesh.SetVertex(3, ON_3dPoint(1, 1, 0));
    mesh.SetTriangle(0, 0, 1, 2);
    mesh.SetQuad(1, 1, 3, 2, 0);
    return mesh;
}

// A document with every built-in kind, attributes of every sort, a second
// layer, a deleted object and a custom object (neither is saved).
void fillDocument(CVezadDoc& doc)
{
    doc.SetAbsoluteTolerance(0.02);
    const int layer = doc.LayerTable().AddLayer(false);
    ON_3dmObjectAttributes a;
    a.m_name = L"mesh \u00e4";
    a.m_color = ON_Color(222, 184, 135);
    a.SetColorSource(ON::color_from_object);
    a.m_layer_index = layer;
    a.SetUserString(L"key", L"value");
    ASSERT_TRUE(doc.AddMeshObject(triangleMesh(), &a));
    ON_NurbsCurve arc(3, true, 3, 3); // a rational quarter circle
    arc.SetCV(0, ON_4dPoint(1, 0, 0, 1));
    arc.SetCV(1, ON_4dPoint(std::sqrt(0.5), std::sqrt(0.5), 0, std::sqrt(0.5)));
    arc.SetCV(2, ON_4dPoint(0, 1, 0, 1));
    for (int k = 0; k < 4; ++k)
        arc.SetKnot(k, k < 2 ? 0.0 : 1.0);
    a = ON_3dmObjectAttributes();
    a.m_name = L"arc";
    a.SetVisible(false);
    ASSERT_TRUE(doc.AddCurveObject(arc, &a));
    a = ON_3dmObjectAttributes();
    a.m_name = L"line";
    ASSERT_TRUE(doc.AddCurveObject(ON_LineCurve(ON_3dPoint(0, 0, 0), ON_3dPoint(3, 4, 0)), &a));
    a.m_name = L"surface";
    ASSERT_TRUE(doc.AddSurfaceObject(*hosttest::squareBrep().m_S[0], &a));
    a.m_name = L"brep";
    ASSERT_TRUE(doc.AddBrepObject(hosttest::squareBrep(), &a));
    a.m_name = L"deleted";
    ASSERT_TRUE(doc.DeleteObject(CVezadObjRef(doc.AddMeshObject(triangleMesh(), &a))));
    auto* custom = new CVezadObject;
    ASSERT_TRUE(doc.AddObject(custom));
}

std::vector<unsigned char> bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes, std::size_t n)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(n));
}

} // namespace

TEST(HostDocumentFile, SaveAndOpenKeepObjectsIdsAttributesAndReferences)
{
    HeadlessHost host;
    ASSERT_TRUE(host.start(hosttest::settings()));
    CVezadDoc& doc = host.doc();
    fillDocument(doc);
    // References stored the way a plug-in stores them: a Brep edge and a face.
    ON_MemoryArchive refs;
    const CVezadObject* brep = doc.ObjectAt(4);
    ASSERT_TRUE(CVezadObjRef(brep, ON_ObjRef::brep_edge, 2).Write(refs));
    ASSERT_TRUE(CVezadObjRef(brep, ON_ObjRef::brep_face, 0).Write(refs));
    std::vector<const CVezadObject*> before;
    for (int i = 0; i < 5; ++i)
        before.push_back(doc.ObjectAt(i));
    std::vector<ON_UUID> ids;
    std::vector<ON_3dmObjectAttributes> attributes;
    for (const CVezadObject* o : before) {
        ids.push_back(o->ModelObjectId());
        attributes.push_back(o->Attributes());
    }
    const ON_3dPoint arcMiddle = CVezadObjRef(before[1]).Curve()->PointAt(0.5);

    const std::string path = mwtest::scratchPath("model.vzd");
    ASSERT_TRUE(passes(host.runScript("_Save \"" + path + "\"\n!expect-result 0")));
    g_events.clear();
    ASSERT_TRUE(passes(host.runScript("_Open \"" + path + "\"\n!expect-result 0")));
    // Both document events come before the first object of the file.
    EXPECT_EQ(g_events, (std::vector<std::string>{"close", "new 0", "add mesh \u00e4", "add arc",
                                                  "add line", "add surface", "add brep"}));

    ASSERT_EQ(doc.ObjectCount(), 5);
    EXPECT_EQ(doc.AbsoluteTolerance(), 0.02);
    EXPECT_EQ(doc.LayerTable().LayerCount(), 2);
    EXPECT_EQ(doc.LayerTable().LayerName(1), L"Layer 01");
    for (int i = 0; i < 5; ++i) {
        const CVezadObject* o = doc.ObjectAt(i);
        EXPECT_EQ(o->ModelObjectId(), ids[i]);
        EXPECT_EQ(o->Attributes().m_name, attributes[i].m_name);
        EXPECT_EQ(o->Attributes().m_color, attributes[i].m_color);
        EXPECT_EQ(o->Attributes().ColorSource(), attributes[i].ColorSource());
        EXPECT_EQ(o->Attributes().m_layer_index, attributes[i].m_layer_index);
        EXPECT_EQ(o->IsHidden(), !attributes[i].IsVisible());
    }
    ON_wString value;
    EXPECT_TRUE(doc.ObjectAt(0)->Attributes().GetUserString(L"key", value));
    const ON_Mesh* mesh = CVezadObjRef(doc.ObjectAt(0)).Mesh();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->m_V[1], ON_3fPoint(1, 0, 0.5f));
    EXPECT_TRUE(mesh->m_F[1].IsQuad());
    EXPECT_LT(CVezadObjRef(doc.ObjectAt(1)).Curve()->PointAt(0.5).DistanceTo(arcMiddle), 1e-15);
    EXPECT_NE(ON_LineCurve::Cast(CVezadObjRef(doc.ObjectAt(2)).Curve()), nullptr);
    EXPECT_EQ(CVezadObjRef(doc.ObjectAt(3)).Surface()->PointAt(1, 1), ON_3dPoint(1, 1, 1));

    ON_MemoryArchive in(refs.Buffer());
    CVezadObjRef edge, face;
    ASSERT_TRUE(edge.Read(in) && face.Read(in));
    ASSERT_NE(ON_BrepEdge::Cast(edge.Curve()), nullptr);
    EXPECT_EQ(edge.Curve()->PointAtStart(), ON_3dPoint(1, 1, 1));
    const ON_BrepFace* brepFace = ON_BrepFace::Cast(face.Surface());
    ASSERT_NE(brepFace, nullptr);
    EXPECT_EQ(brepFace->LoopCount(), 1);
    EXPECT_TRUE(edge.Brep()->IsValid());
}

// A folder aborted the open, a FIFO held it forever and an endless device
// filled the memory: what is not a regular file is refused unread, naming
// what it is, like a missing, cut or foreign file.
TEST(HostDocumentFile, MissingTruncatedForeignOrIrregularFilesLeaveTheDocumentAlone)
{
    HeadlessHost host;
    ASSERT_TRUE(host.start(hosttest::settings()));
    CVezadDoc& doc = host.doc();
    fillDocument(doc);
    const std::string good = mwtest::scratchPath("good.vzd");
    std::string error;
    ::umask(022);
    ASSERT_TRUE(VezadHost::saveDocument(doc, good, error)) << error;
    // Saved like any other new file, not owner-only as a temporary file.
    EXPECT_EQ(std::filesystem::status(good).permissions(), std::filesystem::perms(0644));
    const std::vector<unsigned char> bytes = bytesOf(good);
    const std::string bad = mwtest::scratchPath("bad.vzd");
    g_events.clear();

    // Every cut of the file, in the first format (no check sums) as in the
    // current one, is refused before the document changes; so is every
    // flipped bit of the current format (a flip in a Brep's record opened).
    const std::string first = mwtest::scratchPath("first.vzd");
    ASSERT_TRUE(VezadHost::saveDocument(doc, first, error, 1)) << error;
    for (const std::vector<unsigned char>& saved : {bytes, bytesOf(first)})
        for (std::size_t n = 0; n < saved.size(); n += saved == bytes ? 1 : 5) {
            writeBytes(bad, saved, n);
            ASSERT_EQ(VezadHost::openDocument(doc, bad, error), VezadHost::OpenResult::refused)
                << n;
        }
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        std::vector<unsigned char> flipped = bytes;
        flipped[n] ^= static_cast<unsigned char>(1u << (n % 8));
        writeBytes(bad, flipped, flipped.size());
        ASSERT_EQ(VezadHost::openDocument(doc, bad, error), VezadHost::OpenResult::refused) << n;
    }
    std::vector<unsigned char> longer = bytes;
    longer.push_back(0);
    writeBytes(bad, longer, longer.size());
    EXPECT_EQ(VezadHost::openDocument(doc, bad, error), VezadHost::OpenResult::refused);
    EXPECT_EQ(error, "unknown bytes follow the document (it declares " +
                         std::to_string(bytes.size()) + " bytes, the file holds " +
                         std::to_string(longer.size()) + ")");
    std::ofstream(bad) << "solid cube\nendsolid\n";
    const std::string fifo = mwtest::scratchPath("fifo.vzd"), link = mwtest::scratchPath("l.vzd");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory_symlink(mwtest::scratchDir(), link);
    const std::pair<std::string, std::string> refusals[] = {
        {bad, "not a Vezad document"},
        {bad + ".none", "file not found"},
        {mwtest::scratchDir(), "file is a folder"},
        {link, "file is a folder"},
        {fifo, "file is not a regular file (a FIFO)"},
        {"/dev/zero", "file is not a regular file (a device)"},
    };
    for (const auto& [path, cause] : refusals)
        EXPECT_TRUE(
            passes(host.runScript("_Open \"" + path + "\"\n!expect-result 3\n" +
                                  "!expect-print \"" + path + " not opened: " + cause + "\"")));
    EXPECT_TRUE(g_events.empty());
    EXPECT_EQ(doc.ObjectCount(), 7);
    EXPECT_EQ(doc.AbsoluteTolerance(), 0.02);

    // A save that cannot complete leaves nothing behind.
    const std::string folder = mwtest::scratchPath("folder");
    std::filesystem::create_directory(folder);
    EXPECT_TRUE(passes(host.runScript("_Save \"" + folder +
                                      "/none/x.vzd\"\n!expect-result 3\n"
                                      "_Save \"" +
                                      folder + "\"\n!expect-result 3")));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    for (const auto& entry : std::filesystem::directory_iterator(mwtest::scratchDir()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    EXPECT_NE(transcript().find("not saved"), std::string::npos);
    // The first format opens as before.
    EXPECT_EQ(VezadHost::openDocument(doc, first, error), VezadHost::OpenResult::opened) << error;
    EXPECT_EQ(doc.ObjectCount(), 5);
}

// Every run makes the same ids in the same order, so a document of another
// run holds ids this process makes later. An added object that drew an id
// the document holds drew again until the id was free, not just once; a
// file opened, and a reference read, mark their ids taken. No two objects
// come to share an id, and a reference to an object the file lacks never
// resolves to a new one.
TEST(HostDocumentFile, NewIdsPassOverTheIdsOfAnotherRunsDocument)
{
    HeadlessHost host;
    ASSERT_TRUE(host.start(hosttest::settings()));
    CVezadDoc& doc = host.doc();
    std::uint64_t next = Platform::nextUuidPosition();
    const auto idAhead = [&next](std::uint64_t k) {
        ON_UUID id;
        id.SetFromString(Platform::uuidAt(next + k).c_str());
        return id;
    };
    const auto addLine = [&doc](double x) {
        return doc.AddCurveObject(ON_LineCurve(ON_3dPoint(x, 0, 0), ON_3dPoint(x, 1, 0)));
    };
    const auto expectDistinctIds = [&doc](int count) {
        ASSERT_EQ(doc.ObjectCount(), count);
        std::set<ON_UUID> ids;
        for (int i = 0; i < count; ++i) {
            const CVezadObject* object = doc.ObjectAt(i);
            ids.insert(object->ModelObjectId());
            EXPECT_EQ(doc.LookupObject(object->ModelObjectId()), object) << i;
        }
        EXPECT_EQ(ids.size(), static_cast<std::size_t>(count));
    };

    // Objects taken over with the next ids but one of the stream: the add
    // draws two taken ids, the replace one.
    for (std::uint64_t k : {0, 1, 3})
        ASSERT_TRUE(doc.addStoredObject(new CVezadCurveObject(new ON_LineCurve(
                                            ON_3dPoint(0, 0, 0), ON_3dPoint(double(k), 1, 0))),
                                        idAhead(k), ON_3dmObjectAttributes()));
    CVezadCurveObject* added = addLine(5.0);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->ModelObjectId(), idAhead(2));
    auto* replacement =
        new CVezadCurveObject(new ON_LineCurve(ON_3dPoint(6, 0, 0), ON_3dPoint(6, 1, 0)));
    ASSERT_TRUE(doc.ReplaceObject(CVezadObjRef(added), replacement));
    EXPECT_EQ(replacement->ModelObjectId(), idAhead(2));
    EXPECT_EQ(added->ModelObjectId(), idAhead(4));
    expectDistinctIds(5);

    // A file of another run with two objects at the ids ahead, and a
    // reference to a third that the file does not hold.
    ASSERT_TRUE(passes(host.runScript("_New\n!expect-result 0")));
    next = Platform::nextUuidPosition();
    for (std::uint64_t k : {0, 1})
        ASSERT_TRUE(doc.addStoredObject(new CVezadCurveObject(new ON_LineCurve(
                                            ON_3dPoint(0, 0, 0), ON_3dPoint(double(k), 1, 0))),
                                        idAhead(k), ON_3dmObjectAttributes()));
    const std::string path = mwtest::scratchPath("another-run.vzd");
    ASSERT_TRUE(passes(host.runScript("_Save \"" + path + "\"\n!expect-result 0\n_New\n_Open \"" +
                                      path + "\"\n!expect-result 0")));
    ON_MemoryArchive refs;
    CVezadObjRef dangling;
    dangling.m_uuid = idAhead(2);
    ASSERT_TRUE(dangling.Write(refs));
    ON_MemoryArchive in(refs.Buffer());
    ASSERT_TRUE(dangling.Read(in));
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(addLine(2.0 + i), nullptr);
    expectDistinctIds(5);
    EXPECT_EQ(dangling.Object(), nullptr);
    ASSERT_TRUE(passes(host.runScript("_Save \"" + path + "\"\n!expect-result 0\n_New\n_Open \"" +
                                      path + "\"\n!expect-result 0")));
    expectDistinctIds(5);
}
