// Test fixture of the plug-in's host-level tests: the headless host with the
// Meshwright plug-in loaded, and a grid mesh taken into the document as a
// mesh object the way a load takes it in.
#pragma once

#include "foundation/Progress.h"
#include "mesh/FlatMesh.h"
#include "platform_host/TestHost.h"
#include "plugin/MeshObject.h"
#include "plugin/MeshwrightPlugIn.h"
#include "support/GridFixtures.h"
#include "support/HostFixture.h"
#include "support/ScratchDir.h"
#include "support/TestMeshes.h"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

// Cancels the first step of the Brep conversion of a commit.
class CancelConversion : public CSimpleProgress {
public:
    CancelConversion() { setPrint(false); }
    void step(int n) override
    {
        CSimpleProgress::step(n);
        if (std::string(getLabel() ? getLabel() : "").rfind("convert ", 0) == 0)
            setCancelled(true);
    }
};

// One class for every test file of the folder (a test suite has one
// fixture class).
class MeshwrightHost : public HostFixture {
protected:
    std::vector<std::wstring> plugIns() const override { return {L"Meshwright"}; }

    CMeshwrightPlugIn& plugIn() { return MeshwrightPlugIn(); }

    // Runs script; the result of its last command.
    int command(const std::string& script)
    {
        EXPECT_TRUE(hosttest::passes(run(script))) << script;
        return VezadApp().LastCommandResult();
    }

    // A grid mesh of cells x cells triangulated cells over [-1, 1]^2 (by
    // default 25 vertices, 32 triangles) as a mesh object of the document,
    // with its id known to the watcher; listed, it is also the net's mesh
    // and in the plug-in's list.
    CMWMeshObject* addMeshObject(bool listed = true, int cells = 4)
    {
        const double size = 2.0 / cells;
        return addMeshObject(mwtest::gridSoup(cells, cells, size, size, true, -1.0, -1.0), listed);
    }
    // The same with the mesh of the soup.
    CMWMeshObject* addMeshObject(const mwtest::MeshSoup& soup, bool listed = true)
    {
        auto* mesh = new CFlatMesh;
        mwtest::fillFlatMesh(soup, *mesh);
        auto* object = new CMWMeshObject;
        attachMesh(object, mesh);
        if (listed)
            plugIn().net.setMesh(mesh);
        EXPECT_TRUE(doc().AddObject(object));
        plugIn().watcher.AddUuid(object->ModelObjectId());
        if (listed)
            plugIn().meshObjects.append(object);
        return object;
    }

    // A "#" of three rows and three columns of poly-lines through x, y in
    // {-half, 0, half} at the given height (0 by default; normals +z), with
    // its topology: four faces.
    void addHashNet(float half, const std::function<double(double, double)>& height = {})
    {
        Gridbench::CGridPoint* p[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                const float x = half * float(i - 1), y = half * float(j - 1);
                p[i][j] = mwtest::gridPoint(x, y, height ? float(height(x, y)) : 0.f);
                p[i][j]->normal.data[2] = 1.f;
            }
        GB::CSurfaceNet& net = plugIn().net;
        for (int k = 0; k < 3; ++k) {
            mwtest::polyLine(net, {p[0][k], p[1][k], p[2][k]})->interpolate();
            mwtest::polyLine(net, {p[k][0], p[k][1], p[k][2]})->interpolate();
        }
        net.buildTopology(false);
    }

    // A bump z = h exp(-r^2 / w^2) over n x n triangulated cells of [-1, 1]^2
    // written as a binary STL file in the test's folder; its path.
    static std::string writeBumpStl(const std::string& name, int n, double h, double w)
    {
        mwtest::MeshSoup soup = mwtest::gridSoup(n, n, 2.0 / n, 2.0 / n, true, -1.0, -1.0);
        for (int k = 0; k < soup.pointCount(); ++k) {
            const double x = soup.xyz[3 * k], y = soup.xyz[3 * k + 1];
            soup.xyz[3 * k + 2] = h * std::exp(-(x * x + y * y) / (w * w));
        }
        return writeStl(name, soup);
    }
    // The soup's mesh as a binary STL file in the test's folder; its path.
    static std::string writeStl(const std::string& name, const mwtest::MeshSoup& soup)
    {
        CFlatMesh mesh;
        mwtest::fillFlatMesh(soup, mesh);
        const std::string path = mwtest::scratchPath(name);
        EXPECT_TRUE(mesh.writeBinarySTL(path.c_str(), nullptr, -1));
        return path;
    }

    // The text of a control of a plug-in dialog.
    static std::wstring itemText(const CWnd& dialog, int id)
    {
        CString text;
        if (const CWnd* item = dialog.GetDlgItem(id))
            item->GetWindowText(text);
        return text.str();
    }

    bool boxShown(const std::string& text, const std::string& title) const
    {
        for (const CVezadMessageBoxRecord& box : boxes())
            if (box.text == text && box.title == title)
                return true;
        return false;
    }
};
