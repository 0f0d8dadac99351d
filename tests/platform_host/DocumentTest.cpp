#include "TestHost.h"

using hosttest::passes;
using hosttest::transcript;

namespace {

std::vector<std::string> g_log;

std::string nameOf(const CVezadObject& object)
{
    return object.Attributes().m_name.ToUtf8();
}

class LoggingWatcher : public CVezadEventWatcher {
public:
    LoggingWatcher()
    {
        Register();
        Enable(true);
    }
    void OnCloseDocument(CVezadDoc& doc) override
    {
        g_log.push_back("close " + std::to_string(doc.ObjectCount()));
    }
    void OnNewDocument(CVezadDoc& doc) override
    {
        g_log.push_back("new " + std::to_string(doc.ObjectCount()));
    }
    void OnAddObject(CVezadDoc&, CVezadObject& o) override { g_log.push_back("add " + nameOf(o)); }
    void OnDeleteObject(CVezadDoc&, CVezadObject& o) override
    {
        g_log.push_back("delete " + nameOf(o));
    }
    void OnReplaceObject(CVezadDoc&, CVezadObject& a, CVezadObject& b) override
    {
        g_log.push_back("replace " + nameOf(a) + " " + nameOf(b));
    }
    void OnUndeleteObject(CVezadDoc&, CVezadObject& o) override
    {
        g_log.push_back("undelete " + nameOf(o));
    }
} g_watcher;

// A custom object that reports the host's calls of its visibility slots
// and its destruction.
class TestObject : public CVezadObject {
public:
    explicit TestObject(const char* name)
    {
        ON_3dmObjectAttributes a;
        a.m_name = name;
        ModifyAttributes(a, false, true);
    }
    ~TestObject() override { g_log.push_back("destroyed " + nameOf(*this)); }
    void showGLEntity() override { g_log.push_back("show " + nameOf(*this)); }
    void hideGLEntity() override { g_log.push_back("hide " + nameOf(*this)); }
};

class CountingUndo : public CVezadUndoEventHandler {
public:
    CountingUndo(int& undone, bool& destroyed) : m_undone(undone), m_destroyed(destroyed) {}
    ~CountingUndo() override { m_destroyed = true; }
    void Undo() override
    {
        ++m_undone;
        // It runs after the record's object changes are reverted.
        g_log.push_back("custom undo with " +
                        std::to_string(VezadApp().ActiveDoc()->ObjectAt(0)->IsDeleted()));
    }

private:
    int& m_undone;
    bool& m_destroyed;
};

int g_undone = 0;
bool g_destroyed = false;

ON_NurbsCurve lineCurve(double x)
{
    ON_NurbsCurve c(3, false, 2, 2);
    c.SetKnot(0, 0.0);
    c.SetKnot(1, 1.0);
    c.SetCV(0, ON_3dPoint(x, 0, 0));
    c.SetCV(1, ON_3dPoint(x, 1, 0));
    return c;
}

ON_3dmObjectAttributes named(const char* name, int layer = 0)
{
    ON_3dmObjectAttributes a;
    a.m_name = name;
    a.m_layer_index = layer;
    return a;
}

CVezadCurveObject* addCurve(CVezadDoc& doc, const char* name, double x = 0.0, int layer = 0)
{
    ON_3dmObjectAttributes a = named(name, layer);
    return doc.AddCurveObject(lineCurve(x), &a);
}

// Changes the document in every way a command can: adds, deletes, changes
// attributes, hides, and adds a custom undo step to its own record.
class TestEditCommand : public CVezadCommand {
public:
    ON_UUID CommandUUID() override { return ON_UUID(); }
    const wchar_t* EnglishCommandName() override { return L"TestEdit"; }
    result RunCommand(const CVezadCommandContext&) override
    {
        CVezadDoc& doc = *VezadApp().ActiveDoc();
        addCurve(doc, "added", 5.0);
        doc.DeleteObject(CVezadObjRef(doc.ObjectAt(0)));
        doc.ModifyObjectAttributes(CVezadObjRef(doc.ObjectAt(1)),
                                   named("renamed", doc.LayerTable().AddLayer(false)));
        doc.HideObject(CVezadObjRef(doc.ObjectAt(2)));
        unsigned int record = doc.BeginUndoRecord(L"MW delete");
        doc.AddCustomUndoEvent(new CountingUndo(g_undone, g_destroyed));
        doc.EndUndoRecord(record);
        return success;
    }
} g_edit;

} // namespace

TEST(HostDocument, WatchersAndSlotsSeeChangesInOrder)
{
    HeadlessHost host;
    ASSERT_TRUE(host.start(hosttest::settings()));
    CVezadDoc& doc = host.doc();
    auto* a = new TestObject("A");
    ASSERT_TRUE(doc.AddObject(a));
    EXPECT_FALSE(doc.AddObject(a)); // in the document already
    const CVezadObjRef refToA(a);
    auto* b = new TestObject("B");
    ASSERT_TRUE(doc.ReplaceObject(refToA, b));
    // References to the replaced object reach its replacement.
    EXPECT_EQ(refToA.Object(), b);
    EXPECT_TRUE(a->IsDeleted());
    EXPECT_TRUE(doc.DeleteObject(CVezadObjRef(b)));
    EXPECT_FALSE(doc.DeleteObject(CVezadObjRef(b)));
    CVezadObjectIterator deleted(doc, CVezadObjectIterator::deleted_objects);
    std::vector<std::string> found;
    for (CVezadObject* o = deleted.First(); o; o = deleted.Next())
        found.push_back(nameOf(*o));
    EXPECT_EQ(found, (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(doc.UndeleteObject(b));
    EXPECT_TRUE(doc.HideObject(CVezadObjRef(b)));
    EXPECT_TRUE(doc.ShowObject(CVezadObjRef(b)));
    EXPECT_TRUE(doc.PurgeObject(a));
    g_log.push_back("purged");
    EXPECT_TRUE(passes(host.runScript("_New")));

    const std::vector<std::string> expected = {
        "show A", "add A",       "replace A B", "hide A",  "delete A",    "show B",
        "add B",  "hide B",      "delete B",    "show B",  "undelete B",  "hide B",
        "show B", "destroyed A", "purged",      "close 1", "destroyed B", "new 0"};
    EXPECT_EQ(g_log, expected);
    EXPECT_EQ(doc.LayerTable().LayerCount(), 1);
    EXPECT_EQ(doc.LayerTable().CurrentLayerIndex(), 0);
    EXPECT_EQ(doc.LayerTable().AddLayer(false), 1);
}

TEST(HostDocument, UndoRevertsACommandsChangesThenItsCustomSteps)
{
    HeadlessHost host;
    ASSERT_TRUE(host.start(hosttest::settings()));
    CVezadDoc& doc = host.doc();
    for (const char* name : {"first", "second", "third"})
        ASSERT_TRUE(addCurve(doc, name));
    g_log.clear();

    ASSERT_TRUE(passes(host.runScript("_TestEdit\n!dump-doc")));
    EXPECT_NE(transcript().find("doc: layer 0 curve normal 1\n"
                                "doc: layer 0 curve hidden 1\n"
                                "doc: layer 0 curve deleted 1\n"
                                "doc: layer 1 curve normal 1\n"),
              std::string::npos)
        << transcript();
    // The plug-in's record inside the command joined the command's record.
    EXPECT_EQ(doc.undoRecordCount(), 1);
    g_log.clear();
    ASSERT_TRUE(passes(host.runScript("_Undo\n!expect-print \"Undo TestEdit\"")));
    EXPECT_EQ(g_undone, 1);
    EXPECT_TRUE(g_destroyed);
    EXPECT_EQ(doc.undoRecordCount(), 0);
    EXPECT_EQ(g_log,
              (std::vector<std::string>{"undelete first", "delete added", "custom undo with 0"}));
    EXPECT_TRUE(doc.ObjectAt(3)->IsDeleted());
    EXPECT_EQ(nameOf(*doc.ObjectAt(1)), "second");
    EXPECT_EQ(doc.ObjectAt(1)->Attributes().m_layer_index, 0);
    EXPECT_FALSE(doc.ObjectAt(2)->IsHidden());

    // A plug-in's own record outside commands is undone the same way, once.
    g_undone = 0;
    g_destroyed = false;
    doc.BeginUndoRecord(L"MW delete");
    doc.AddCustomUndoEvent(new CountingUndo(g_undone, g_destroyed));
    doc.EndUndoRecord();
    EXPECT_FALSE(doc.AddCustomUndoEvent(new CountingUndo(g_undone, g_destroyed))); // no record
    EXPECT_TRUE(passes(host.runScript("_Undo\n!expect-print \"Undo MW delete\"\n"
                                      "_Undo\n!expect-result 3")));
    EXPECT_EQ(g_undone, 1);

    // A purged object leaves the history: undoing its addition skips it.
    ASSERT_TRUE(passes(host.runScript("_TestEdit")));
    doc.PurgeObject(doc.ObjectAt(4));
    EXPECT_TRUE(passes(host.runScript("_Undo\n!expect-result 0")));
    EXPECT_FALSE(doc.ObjectAt(0)->IsDeleted());
}

TEST(HostDocument, WrongInputFailsAndLeavesTheDocumentAsItWas)
{
    HeadlessHost host;
    ASSERT_TRUE(host.start(hosttest::settings()));
    CVezadDoc& doc = host.doc();
    EXPECT_EQ(doc.AbsoluteTolerance(), 0.001);
    EXPECT_EQ(addCurve(doc, "far", 0.0, 5), nullptr);
    EXPECT_EQ(doc.AddCurveObject(ON_NurbsCurve()), nullptr);
    EXPECT_FALSE(doc.AddObject(nullptr));
    TestObject orphan("orphan");
    EXPECT_FALSE(doc.ReplaceObject(CVezadObjRef(), &orphan));
    EXPECT_EQ(doc.ObjectCount(), 0);
    EXPECT_TRUE(passes(host.runScript("_Tolerance abc\n!expect-result 3\n"
                                      "_Tolerance -1\n!expect-result 3\n"
                                      "_Tolerance 0.01\n!expect-result 0")));
    EXPECT_EQ(doc.AbsoluteTolerance(), 0.01);

    // Geometry is copied: a proxy's curve may die after the add.
    auto* curve = new ON_NurbsCurve(lineCurve(2));
    ON_CurveProxy proxy(curve);
    CVezadCurveObject* object = doc.AddCurveObject(proxy);
    delete curve;
    ASSERT_NE(object, nullptr);
    ASSERT_NE(ON_NurbsCurve::Cast(object->Curve()), nullptr);
    EXPECT_EQ(object->Curve()->PointAtEnd(), ON_3dPoint(2, 1, 0));
    EXPECT_EQ(CVezadObjRef(object).Curve(), object->Curve());
    EXPECT_EQ(CVezadObjRef(object).Surface(), nullptr);
}
