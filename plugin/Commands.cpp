#include "plugin/Commands.h"

#include "foundation/Histogram.h"
#include "platform/RegularFile.h"
#include "plugin/Callbacks.h"
#include "plugin/MeshwrightPlugIn.h"
#include "plugin/OptionsDialog.h"

#include <iostream>
#include <memory>
#include <string>

namespace {

constexpr const char* underConstruction = "The \"%s\" command is under construction.\n";

CMeshwrightPlugIn& plugIn()
{
    return MeshwrightPlugIn();
}

void redrawActiveView()
{
    if (CVezadView* view = VezadApp().ActiveView())
        view->Redraw();
}

} // namespace

// ---- The frame ------------------------------------------------------------------------------

CMWCommand::CMWCommand(const char* id, const wchar_t* name, const char* refusal)
    : m_name(name), m_refusal(refusal)
{
    m_id.SetFromString(id);
}

CVezadCommand::result CMWCommand::RunCommand(const CVezadCommandContext& context)
{
    if (m_refusal != nullptr && !context.IsInteractive()) {
        VezadApp().Print(m_refusal, ON_wString(m_name).ToUtf8().c_str());
        return failure;
    }
    return run();
}

// ---- The commands -----------------------------------------------------------------------------

CCommandMeshwright::CCommandMeshwright()
    : CMWCommand("1ff7a72b-b01d-4642-aaed-a93293f87ea7", L"Meshwright", underConstruction)
{
}

CVezadCommand::result CCommandMeshwright::run()
{
    ON_wString text;
    text.Format("The \"%s\" command is deprecated in Vezad4. Please use "
                "MWLoadMesh/MWEditGrid/MWOptions and so on.\n",
                "Meshwright");
    VezadMessageBox(text, plugIn().PlugInName());
    return failure;
}

CCommandMWLoadMesh::CCommandMWLoadMesh()
    : CMWCommand("4009d427-e120-48c3-8984-19896c1d8373", L"MWLoadMesh", underConstruction)
{
}

CCommandMWCommit::CCommandMWCommit()
    : CMWCommand("da79996c-57dc-4475-bae1-42fb3f5f5628", L"MWCommit", nullptr)
{
}

CCommandMWEditGrid::CCommandMWEditGrid()
    : CMWCommand("8eff1d82-2e30-4add-8750-1844141d0cbe", L"MWEditGrid",
                 "The \"%s\" command not available in non-interactive modes.\n")
{
}

CVezadCommand::result CCommandMWEditGrid::run()
{
    CMeshwrightPlugIn& p = plugIn();
    const bool wanted = !p.editGrid;
    p.setEditGridMode(wanted);
    if (wanted && !p.editGrid)
        return failure;
    p.net.setDepthTest(true);
    return success;
}

CCommandMWPatch::CCommandMWPatch()
    : CMWCommand("97eb4cac-fe43-4abf-a370-a67ae5a265c9", L"MWPatch", underConstruction)
{
}

CCommandMWOptions::CCommandMWOptions()
    : CMWCommand("89c1cf8e-4bd7-4143-8687-b0c5b681f2b3", L"MWOptions", underConstruction)
{
}

CVezadCommand::result CCommandMWOptions::run()
{
    CMeshwrightPlugIn& p = plugIn();
    if (!p.editGrid) {
        p.setEditGridMode(true);
        redrawAllViews();
    }
    CDlgMWOptions dialog(&p.net);
    if (dialog.DoModal() != 0)
        redrawAllViews();
    return success;
}

CCommandMWHeal::CCommandMWHeal()
    : CMWCommand("11e19acb-3b53-4fc7-a9b5-bb1b68eb81ec", L"MWHeal", underConstruction)
{
}

CCommandMWImportGridV1::CCommandMWImportGridV1()
    : CMWCommand("e77185c9-dc6e-4d86-8434-bd2a91275032", L"MWImportGridV1", underConstruction)
{
}

CVezadCommand::result CCommandMWImportGridV1::run()
{
    CFileDialog dialog(TRUE, L"Poly-Lines", nullptr, OFN_EXPLORER | OFN_FILEMUSTEXIST,
                       L"Grid-Files (Ascii) (*.grid)|*.grid|All Files (*.*)|*.*||", nullptr);
    if (dialog.DoModal() != IDOK)
        return cancel;
    GB::CSurfaceNet& net = plugIn().net;
    const std::string path = Platform::narrowFileName(dialog.GetPathName().GetString());
    // The grid read takes the net's place only when it was read whole; a
    // refused file leaves the user's net, and its undo, as they were. The
    // import is one undo step: the command's undo record takes the net it
    // replaced, which its undo gives back with that net's undo items.
    std::unique_ptr<GB::CSurfaceNet> replaced;
    if (!net.importFile(path.c_str(), replaced)) {
        VezadMessageBox(L"failed to read the grid.", L"MWImportGridV1");
        return failure;
    }
    if (CVezadDoc* doc = VezadApp().ActiveDoc()) {
        const unsigned int record = doc->BeginUndoRecord(L"MWImportGridV1");
        if (record != 0) {
            doc->AddCustomUndoEvent(new CMWImportUndo(std::move(replaced)));
            doc->EndUndoRecord(record);
        }
    }
    redrawActiveView();
    net.showAllPointLists(true);
    // The net updates as after an edit: a text without a topology section
    // (version 2) leaves the net without faces until its next topology
    // step, and the faces read without a surface have none until the next
    // surface update; so the imported net's regions become faces and are
    // fitted, whatever the text's version. No mouse event reaches the grid
    // meanwhile.
    CMWMouseCallback& callback = plugIn().mouseCallback;
    const bool enabled = callback.IsEnabled();
    callback.Enable(false);
    net.update();
    callback.Enable(enabled);
    redrawActiveView();
    return success;
}

CCommandMWHideMesh::CCommandMWHideMesh()
    : CMWCommand("3f9c9ff2-442c-4734-9b0a-24506b0a4e84", L"MWHideMesh", underConstruction)
{
}

CVezadCommand::result CCommandMWHideMesh::run()
{
    toggleMeshEntities();
    redrawAllViews();
    return success;
}

CCommandMWRelief::CCommandMWRelief()
    : CMWCommand("b8a00631-4b9e-4cf9-bfab-8b3b54febb87", L"MWRelief", underConstruction)
{
}

CVezadCommand::result CCommandMWRelief::run()
{
    CMeshwrightPlugIn& p = plugIn();
    GB::CSurfaceNet& net = p.net;
    if (net.mesh == nullptr)
        return failure;
    CVezadGetObject getter;
    getter.SetCommandPrompt(L"MWRelief");
    getter.EnablePressEnterWhenDonePrompt();
    getter.AcceptNothing();
    Kor::Set<HistogramItem> sides;
    net.countSurfaces(&sides);
    std::cout << sides << std::flush;
    const int fourSided = histogramCount(sides, 4);
    if (!p.editGrid) {
        p.setEditGridMode(true);
        redrawAllViews();
    }
    if (fourSided == 0) {
        VezadMessageBox(L"Please sketch 4 sideded regions, using MWEditGrid.", L"MWRelief");
        return failure;
    }
    int numCtrlPts = 100;
    getter.AddCommandOptionInteger(L"NumCtrlPts", &numCtrlPts, 10, 750);
    CVezadGet::result answer;
    while ((answer = getter.GetObjects(0, 0)) == CVezadGet::option) {
    }
    if (answer == CVezadGet::cancel)
        return cancel;
    std::cout << "starting MWRelief with numCtrlPts = " << numCtrlPts << std::endl;
    net.setNumCtrlPts(numCtrlPts);
    net.automaticCount = false;
    net.resetFaces(3, false);
    const bool committed = p.convertFacesToVezad(false, true, false);
    net.resetFaces(0, false);
    p.setEditGridMode(false);
    redrawAllViews();
    return committed ? success : failure;
}

CCommandgetStringList::CCommandgetStringList()
    : CMWCommand("190099ad-e524-4754-9d2c-9e52747a27bd", L"getStringList", underConstruction)
{
}

CVezadCommand::result CCommandgetStringList::run()
{
    CVezadGetObject getter;
    getter.SetCommandPrompt(L"select some objects");
    // Nothing picked lists nothing: the command has done its work.
    if (getter.GetObjects(1, 0) != CVezadGet::object)
        return success;
    CVezadDoc& doc = *VezadApp().ActiveDoc();
    for (int i = 0; i < getter.ObjectCount(); ++i) {
        const CVezadObjRef& ref = getter.Object(i);
        const CVezadObject* object = ref.Object();
        if (object == nullptr)
            continue;
        ON_3dmObjectAttributes attributes = object->Attributes();
        ON_ClassArray<ON_wString> keys;
        if (object->GetUserStringKeys(keys) == 0)
            attributes.GetUserStringKeys(keys);
        for (int k = 0; k < keys.Count(); ++k) {
            std::cout << "Key=" << keys[k].ToUtf8() << std::endl;
            ON_wString value;
            if (attributes.GetUserString(keys[k], value)) {
                std::cout << "value=" << value.ToUtf8() << std::endl;
                attributes.SetUserString(keys[k], L"new text item");
            }
        }
        doc.ModifyObjectAttributes(ref, attributes, false);
    }
    return success;
}
