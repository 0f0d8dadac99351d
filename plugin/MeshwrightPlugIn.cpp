#include "plugin/MeshwrightPlugIn.h"

#include "display/OpenGLEntity.h"
#include "foundation/Logging.h"
#include "foundation/MatrixThreads.h"
#include "net/FailureMessages.h"
#include "plugin/MeshObject.h"
#include "plugin/resources/MeshwrightResources.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iostream>
#include <vector>

namespace {

constexpr UINT contextMenuId = 6023;
constexpr UINT mainMenuId = 6017;
constexpr UINT activateItemId = 33023;

// The plug-in file's full path in UTF-8; empty while it is not loaded.
std::string plugInFilePath()
{
    return MeshwrightPlugIn().GetPlugInFileName().ToUtf8();
}

void forEachMeshEntity(const std::function<void(COpenGLEntity&)>& change)
{
    for (CMWMeshObject* object : MeshwrightPlugIn().meshObjects)
        if (COpenGLEntity* entity = object ? object->glEntity() : nullptr)
            change(*entity);
}

} // namespace

BOOL CMeshwrightApp::InitInstance()
{
    CWinApp::InitInstance();
    return TRUE;
}

// ---- The plug-in object ----------------------------------------------------------------------

CMeshwrightPlugIn::CMeshwrightPlugIn() : watcher(this), mouseCallback(&net)
{
    versionText = makeVersionText() + L" " + ON_wString(buildDateText());
    mouseCallback.Enable(false);
    editGrid = false;
}

CMeshwrightPlugIn::~CMeshwrightPlugIn()
{
    delete drawCallback;
}

void CMeshwrightPlugIn::netFollowsMesh(Mesh::CBaseMesh* mesh)
{
    const bool enabled = mouseCallback.IsEnabled();
    mouseCallback.Enable(false);
    net.followMesh(mesh);
    mouseCallback.Enable(enabled);
}

ON_UUID CMeshwrightPlugIn::PlugInID() const
{
    ON_UUID id;
    id.SetFromString("d1240882-9028-4ffa-b73a-7d140efc4e27");
    return id;
}

const wchar_t* CMeshwrightPlugIn::PlugInName() const
{
    return L"Meshwright";
}

const wchar_t* CMeshwrightPlugIn::PlugInVersion() const
{
    return versionText;
}

BOOL CMeshwrightPlugIn::OnLoadPlugIn()
{
    multithreadingAllowed = false;
    if (isLoggingEnabled())
        openGlobalLogs("c:/tmp/mw.txt", "c:/tmp/mw.log");
    AFX_MANAGE_STATE(AfxGetStaticModuleState());

    drawCallback = new CMWDrawCallBack;
    if (CVezadView* view = VezadApp().ActiveView(); !view || !view->AddDrawCallback(drawCallback)) {
        delete drawCallback;
        drawCallback = nullptr;
    }

    registerMeshwrightResources();
    contextMenu.LoadMenu(contextMenuId);
    mainMenu.LoadMenu(mainMenuId);
    if (mainMenu.m_hMenu != nullptr) {
        CMenu* tools = mainMenu.GetSubMenu(0);
        CMenu* localSelect = contextMenu.GetSubMenu(0);
        if (tools != nullptr && localSelect != nullptr)
            tools->AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(localSelect->m_hMenu),
                              L"local select");
        if (!InsertPlugInMenuToVezadMenu(mainMenu.m_hMenu, 0))
            VezadMessageBox(L"Menu Load failed", PlugInName());
        if (tools != nullptr)
            removeMenuItemRecursive(tools->m_hMenu, activateItemId);
    }

    infoDialog.Create(6024, nullptr);
    net.setProgress(&infoDialog);
    progressDialog.Create(6019, nullptr);
    // The host learns the lines that name what failed, and why, from the
    // system itself.
    for (const FailureMessages::FailureLineKind& kind : FailureMessages::failureLineKinds())
        VezadApp().RegisterFailureLine(kind.what, kind.causes);
    // The host's gap check measures the Breps the commits made along the
    // pieces of the net their faces share, never across a slot between
    // faces that share none.
    VezadHost::setSharedSidesQuery([this](const CVezadDoc&) { return committedSides; });
    return CVezadFileImportPlugIn::OnLoadPlugIn();
}

void CMeshwrightPlugIn::OnUnloadPlugIn()
{
    // Nothing of the plug-in may stay hooked into the host: the Delete-key
    // hook and the draw callback would call into an unloaded library.
    setEditGridMode(false);
    delete drawCallback;
    drawCallback = nullptr;
    RemovePlugInMenuFromVezad(mainMenu.m_hMenu);
    VezadHost::setSharedSidesQuery({});
    checkedRecord.reset();
    CVezadFileImportPlugIn::OnUnloadPlugIn();
}

void CMeshwrightPlugIn::OnDisplayPlugInHelp(HWND window) const
{
    HMODULE module = GetModuleHandleW(L"Meshwright.vzp");
    wchar_t file[4096] = {};
    if (module == nullptr || GetModuleFileNameW(module, file, 4096) == 0)
        return;
    const std::filesystem::path help =
        std::filesystem::path(ON_wString(file).ToUtf8()).parent_path() /
        "Meshwright/Tutorial/Tutorial_Eng.pdf";
    ShellExecuteW(window, L"open", ON_wString(help.string().c_str()), nullptr, nullptr,
                  SW_SHOWNORMAL);
}

void CMeshwrightPlugIn::AddFileType(ON_ClassArray<CVezadFileType>& fileTypes,
                                    const CVezadFileReadOptions&)
{
    fileTypes.Append(CVezadFileType(PlugInID(), L"Knotwork Files (*.out)", L"out"));
    fileTypes.Append(CVezadFileType(PlugInID(), L"STL Mesh Files (*.stl)", L"stl"));
    fileTypes.Append(CVezadFileType(PlugInID(), L"POL Mesh Files (*.pol)", L"pol"));
}

// ---- Free functions -------------------------------------------------------------------------

ON_wString makeVersionText()
{
    ON_wString text;
    text.Format("%s V%1i %1i.%1i", "Meshwright", 2, 8, 0);
    return text;
}

const char* buildDateText()
{
#ifdef MW_BUILD_DATE
    return MW_BUILD_DATE;
#else
    return __DATE__ "  " __TIME__;
#endif
}

int showToolbar(bool hide)
{
    const std::string plugInFile = plugInFilePath();
    if (plugInFile.empty())
        return 0;
    std::filesystem::path toolbarFile(plugInFile);
    toolbarFile.replace_extension(".tb");
    std::error_code error;
    if (!std::filesystem::is_regular_file(toolbarFile, error))
        return 0;
    const ON_wString fileName(toolbarFile.string().c_str());
    CVezadUiToolBarManager& manager = VezadApp().ToolBarManager();
    CVezadUiToolBarCollection* collection = manager.FindCollection(fileName);
    if (collection == nullptr) {
        if (!manager.ReadFile(fileName, true, true, true))
            return 0;
        collection = manager.FindCollection(fileName);
        if (collection == nullptr)
            return 0;
    }
    const int index = collection->FindToolBar(L"Meshwright");
    if (index < 0) {
        std::cout << "Toolbar index=" << index << std::endl;
        return 0;
    }
    const bool visible = collection->IsToolBarVisible(index);
    if (hide && visible)
        return collection->ShowToolBar(index, false) ? 1 : 0;
    if (!hide && !visible)
        return collection->ShowToolBar(index, true) ? 1 : 0;
    return 0;
}

bool removeMenuItemRecursive(HMENU menu, UINT id)
{
    CMenu* m = CMenu::FromHandle(menu);
    const int count = m ? m->GetMenuItemCount() : 0;
    for (int position = 0; position < count; ++position) {
        if (m->GetMenuItemID(position) != static_cast<UINT>(-1))
            continue;
        CMenu* sub = m->GetSubMenu(position);
        if (sub == nullptr)
            continue;
        for (int item = 0; item < sub->GetMenuItemCount(); ++item)
            if (sub->GetMenuItemID(item) == id) {
                m->RemoveMenu(static_cast<UINT>(position), MF_BYPOSITION);
                return true;
            }
        removeMenuItemRecursive(sub->m_hMenu, id);
    }
    return false;
}

void syncViewContexts()
{
    Kor::List<c_pair<CVezadView*, HGLRC>>& contexts = MeshwrightPlugIn().viewContexts;
    std::vector<bool> stale(static_cast<std::size_t>(contexts.count), true);
    CVezadDoc* doc = VezadApp().ActiveDoc();
    if (doc == nullptr)
        return;
    ON_SimpleArray<CVezadView*> views;
    doc->GetViewList(views);
    for (int v = 0; v < views.Count(); ++v) {
        bool found = false;
        for (int i = 0; i < static_cast<int>(stale.size()); ++i)
            if (contexts[i].first == views[v]) {
                stale[static_cast<std::size_t>(i)] = false;
                found = true;
            }
        if (!found)
            contexts.append({views[v], nullptr});
    }
    for (int i = static_cast<int>(stale.size()) - 1; i >= 0; --i)
        if (stale[static_cast<std::size_t>(i)])
            contexts.removeAt(i);
}

void hideMeshEntities()
{
    forEachMeshEntity([](COpenGLEntity& e) { e.hidden = true; });
}

void showMeshEntities()
{
    forEachMeshEntity([](COpenGLEntity& e) { e.hidden = false; });
}

void toggleMeshEntities()
{
    forEachMeshEntity([](COpenGLEntity& e) { e.hidden = !e.hidden; });
}
