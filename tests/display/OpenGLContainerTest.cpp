// Display entities and their container: keyed storage, removal, draw order by
// layer, hidden entities, compile errors and the life of display lists, drawn
// into an offscreen context and checked by pixels.
#include "display/OpenGLContainer.h"
#include "platform/MessageBox.h"
#include "support/GLView.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int g_destroyed = 0;

// Draws an axis-aligned rectangle in normalised device coordinates, records
// the order of its draws and counts its compiles.
struct RecordingQuad : COpenGLEntity {
    std::vector<int>* log = nullptr;
    int id = 0;
    float box[4] = {-1.f, -1.f, 1.f, 1.f};
    int compiles = 0;
    bool raiseError = false;
    int faceMode = -1;
    int faceModeCalls = 0;

    RecordingQuad(int id_, std::vector<int>* log_, std::intptr_t key_ = 0) : log(log_), id(id_)
    {
        if (key_ != 0)
            key = key_;
    }
    ~RecordingQuad() override { ++g_destroyed; }
    RecordingQuad* rgb(float r, float g, float b)
    {
        colour[0] = r;
        colour[1] = g;
        colour[2] = b;
        return this;
    }
    RecordingQuad* at(float x0, float y0, float x1, float y1)
    {
        box[0] = x0;
        box[1] = y0;
        box[2] = x1;
        box[3] = y1;
        return this;
    }
    unsigned int draw() override
    {
        if (log != nullptr)
            log->push_back(id);
        return COpenGLEntity::draw();
    }
    void setFaceDisplayMode(int mode, bool) override
    {
        faceMode = mode;
        ++faceModeCalls;
        setDirty();
    }

protected:
    void compileCommands() override
    {
        ++compiles;
        glColor3fv(colour);
        glBegin(GL_QUADS);
        glVertex2f(box[0], box[1]);
        glVertex2f(box[2], box[1]);
        glVertex2f(box[2], box[3]);
        glVertex2f(box[0], box[3]);
        glEnd();
        if (raiseError)
            glGenLists(-1); // executed at once even while compiling: GL_INVALID_VALUE
    }
};

std::string captureDestruction(COpenGLContainer* container)
{
    testing::internal::CaptureStdout();
    delete container;
    return testing::internal::GetCapturedStdout();
}

TEST(OpenGLContainer, KeyedStorageAndLookUp)
{
    auto* c = new COpenGLContainer;
    auto* a = new RecordingQuad(1, nullptr, 200);
    auto* b = new RecordingQuad(2, nullptr, 100);
    auto* unnamed = new RecordingQuad(3, nullptr, 50);
    a->setName("Face 1");
    b->setName("Face 1");
    EXPECT_EQ(c->addEntity(nullptr), nullptr);
    EXPECT_EQ(c->addEntity(a), a);
    EXPECT_EQ(a->layer, COpenGLEntity::LayerDefault);
    EXPECT_EQ(c->addEntity(b, true), b);
    EXPECT_EQ(b->layer, COpenGLEntity::LayerTop);
    EXPECT_EQ(c->addEntity(unnamed), unnamed);
    ASSERT_EQ(c->entities.getCount(), 3);
    EXPECT_EQ(c->entities[0], unnamed); // ascending keys
    EXPECT_EQ(c->entities[2], a);

    // A second entity with a stored key is not stored; the caller keeps it.
    RecordingQuad twin(4, nullptr, 200);
    EXPECT_EQ(c->addEntity(&twin), a);
    EXPECT_EQ(c->entities.getCount(), 3);

    EXPECT_EQ(c->findEntity(100), b);
    EXPECT_EQ(c->findEntity(150), nullptr);
    EXPECT_EQ(c->findEntityByName("Face 1"), b); // first in key order
    EXPECT_EQ(c->findEntityByName(""), nullptr); // unnamed entities are never found by name
    EXPECT_EQ(c->findEntityByName(nullptr), nullptr);
    EXPECT_EQ(b->getKind(), 2);

    g_destroyed = 0;
    EXPECT_TRUE(c->removeEntityByName("Face 1"));
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(c->findEntityByName("Face 1"), a);
    EXPECT_FALSE(c->removeEntityByName("Face 9"));
    EXPECT_FALSE(c->removeEntity(nullptr));

    // Stored entities renamed are found under their new names only.
    a->setName("Face 2");
    unnamed->setName("Face 2");
    EXPECT_EQ(c->findEntityByName("Face 1"), nullptr);
    EXPECT_EQ(c->findEntityByName("Face 2"), unnamed);

    // A detached entity is the caller's again.
    EXPECT_TRUE(c->detachEntity(unnamed));
    EXPECT_FALSE(c->detachEntity(unnamed));
    EXPECT_EQ(c->findEntityByName("Face 2"), a);
    EXPECT_EQ(c->entities.getCount(), 1);
    delete unnamed;
    g_destroyed = 0;
    const std::string out = captureDestruction(c);
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(out.rfind("COpenGLContainer::~COpenGLContainer() deleted OPenGLList at: ", 0), 0u);
    EXPECT_EQ(out.back(), '\n');
}

TEST(OpenGLContainer, RequestsForADifferentEntityWithAStoredKeyChangeNothing)
{
    COpenGLContainer c;
    auto* stored = new RecordingQuad(1, nullptr, 77);
    c.addEntity(stored);
    RecordingQuad impostor(2, nullptr, 77);

    std::vector<std::string> boxes;
    Platform::setMessageBoxHandler([&boxes](const std::string& text, Platform::MessageBoxButtons) {
        boxes.push_back(text);
        return Platform::MessageBoxAnswer::Ok;
    });
    EXPECT_FALSE(c.removeEntity(&impostor));
    Platform::setMessageBoxHandler(nullptr);
    EXPECT_EQ(boxes, std::vector<std::string>{"OpenGL delete request ignored"});
    EXPECT_EQ(c.findEntity(77), stored);

    // Detaching in place of the stored entity would orphan it.
    EXPECT_FALSE(c.detachEntity(&impostor));
    EXPECT_EQ(c.findEntity(77), stored);

    RecordingQuad stranger(3, nullptr, 78);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(c.removeEntity(&stranger));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(OpenGLContainer, FaceDisplayModeReachesStoredAndAddedEntities)
{
    COpenGLContainer c;
    EXPECT_EQ(c.faceDisplayMode, 0);
    EXPECT_TRUE(c.faceEdges);
    auto* first = new RecordingQuad(1, nullptr);
    c.addEntity(first);
    EXPECT_EQ(first->faceMode, 0);
    c.setFaceDisplayMode(3, false);
    EXPECT_EQ(first->faceMode, 3);
    auto* second = new RecordingQuad(2, nullptr);
    c.addEntity(second);
    EXPECT_EQ(second->faceMode, 3);
    int mode = -1;
    bool edges = true;
    EXPECT_TRUE(c.getFaceDisplayMode(mode, edges));
    EXPECT_EQ(mode, 3);
    EXPECT_FALSE(edges);
}

TEST(OpenGLEntity, DestructionDeletesTheWholeChildChain)
{
    g_destroyed = 0;
    auto* parent = new RecordingQuad(0, nullptr);
    for (int i = 1; i <= 3; ++i)
        parent->appendChild(new RecordingQuad(i, nullptr));
    parent->appendChild(nullptr);
    delete parent;
    EXPECT_EQ(g_destroyed, 4);
}

class OpenGLDrawing : public mwtest::GLView {
protected:
    std::vector<int> log;

    OpenGLDrawing() : GLView(32, 32) {}
};

TEST_F(OpenGLDrawing, LayersAreDrawnBottomOrdinaryCallListsTop)
{
    COpenGLContainer c;
    // Keys run against the layers so that key order alone would be wrong.
    auto* bottom = (new RecordingQuad(1, &log, 300))->rgb(1, 1, 0);
    auto* left = (new RecordingQuad(2, &log, 100))->rgb(1, 0, 0)->at(-1, -1, 0, 1);
    auto* hidden = (new RecordingQuad(3, &log, 150))->rgb(1, 0, 1);
    auto* top = (new RecordingQuad(4, &log, 50))->rgb(0, 0, 1)->at(-0.25f, -0.25f, 0.25f, 0.25f);
    c.addEntity(bottom);
    bottom->layer = COpenGLEntity::LayerBottom;
    c.addEntity(left);
    c.addEntity(hidden);
    hidden->hidden = true;
    c.addEntity(top, true);

    const GLuint upperHalf = glGenLists(1);
    glNewList(upperHalf, GL_COMPILE);
    glColor3f(0, 1, 0);
    glRectf(-1, 0, 1, 1);
    glEndList();
    c.callLists.append(static_cast<int>(upperHalf));

    EXPECT_TRUE(c.draw());
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(pixel(4, 4), 0xff0000u);   // ordinary layer over the bottom layer
    EXPECT_EQ(pixel(28, 4), 0xffff00u);  // bottom layer alone
    EXPECT_EQ(pixel(4, 28), 0x00ff00u);  // call lists over the ordinary layers
    EXPECT_EQ(pixel(16, 16), 0x0000ffu); // top layer over the call lists

    // The hidden entity was compiled but its list was not called.
    EXPECT_EQ(hidden->compiles, 1);
    EXPECT_FALSE(hidden->dirty);
    EXPECT_NE(hidden->listId, 0u);

    // Redraws replay the lists; a dirty entity recompiles under its name.
    const unsigned int leftList = left->listId;
    left->rgb(1, 1, 1)->setDirty();
    clear();
    c.draw();
    EXPECT_EQ(left->compiles, 2);
    EXPECT_EQ(bottom->compiles, 1);
    EXPECT_EQ(left->listId, leftList);
    EXPECT_EQ(pixel(4, 4), 0xffffffu);
    hidden->hidden = false;
    clear();
    c.draw();
    EXPECT_EQ(pixel(4, 4), 0xff00ffu); // shown again without a recompile
    EXPECT_EQ(hidden->compiles, 1);
}

TEST_F(OpenGLDrawing, CompileErrorIsReturnedAndTheListIsNotCalledInThatDraw)
{
    RecordingQuad quad(1, nullptr);
    quad.rgb(1, 0, 0);
    quad.raiseError = true;
    EXPECT_EQ(quad.draw(), static_cast<unsigned int>(GL_INVALID_VALUE));
    EXPECT_FALSE(quad.dirty);
    EXPECT_FALSE(quad.compiling);
    EXPECT_EQ(pixel(16, 16), 0u);
    EXPECT_EQ(quad.draw(), 0u);
    EXPECT_EQ(pixel(16, 16), 0xff0000u);
    EXPECT_EQ(quad.compiles, 1);
}

TEST_F(OpenGLDrawing, RemovedEntityListIsDeletedOnlyByThePendingDeletion)
{
    COpenGLContainer c;
    auto* gone = (new RecordingQuad(1, nullptr))->rgb(1, 0, 0);
    c.addEntity(gone);
    c.draw();
    const GLuint goneList = gone->listId;
    ASSERT_TRUE(glIsList(goneList));
    EXPECT_TRUE(c.removeEntity(gone));
    ASSERT_EQ(c.pendingDeletions.getCount(), 1);
    EXPECT_EQ(*c.pendingDeletions[0], goneList);
    // The name stays in use until the pending deletion: were it freed with the
    // entity, another list could take it and be deleted by the next draw.
    EXPECT_TRUE(glIsList(goneList));

    // Lists made by others before the next container draw (fonts, say) must
    // not receive the name that the pending deletion is about to delete.
    const GLuint font = glGenLists(1);
    glNewList(font, GL_COMPILE);
    glColor3f(0, 1, 0);
    glRectf(-1, -1, 1, 1);
    glEndList();
    EXPECT_NE(font, goneList);
    c.draw();
    EXPECT_EQ(c.pendingDeletions.getCount(), 0);
    EXPECT_FALSE(glIsList(goneList));
    EXPECT_TRUE(glIsList(font));
    glDeleteLists(font, 1);
}

TEST_F(OpenGLDrawing, MoveListsToPendingCollectsEveryListOnce)
{
    auto* c = new COpenGLContainer;
    auto* a = new RecordingQuad(1, nullptr);
    auto* b = new RecordingQuad(2, nullptr);
    auto* neverDrawn = new RecordingQuad(3, nullptr);
    c->addEntity(a);
    c->addEntity(b);
    c->draw();
    c->addEntity(neverDrawn);
    const GLuint la = a->listId, lb = b->listId;
    const GLuint extra = glGenLists(1);
    glNewList(extra, GL_COMPILE);
    glEndList();
    c->callLists.append(static_cast<int>(extra));
    c->callLists.append(static_cast<int>(la)); // a name already taken from an entity

    g_destroyed = 0;
    EXPECT_TRUE(c->moveListsToPending());
    EXPECT_EQ(g_destroyed, 3);
    EXPECT_EQ(c->entities.getCount(), 0);
    EXPECT_EQ(c->callLists.getCount(), 0);
    ASSERT_EQ(c->pendingDeletions.getCount(), 3);
    EXPECT_TRUE(glIsList(la) && glIsList(lb) && glIsList(extra));

    // Lists still pending at destruction are deleted with the container.
    captureDestruction(c);
    EXPECT_FALSE(glIsList(la) || glIsList(lb) || glIsList(extra));
}

} // namespace
