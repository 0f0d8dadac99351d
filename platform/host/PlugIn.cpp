#include "platform/host/PlugIn.h"

#include "platform/host/App.h"
#include "platform/host/HostText.h"
#include "platform/win32/Win32Host.h"

#include <algorithm>

BOOL CVezadPlugIn::WriteDocument(CVezadDoc&, ON_BinaryArchive&, const CVezadFileWriteOptions&)
{
    return TRUE;
}

BOOL CVezadPlugIn::ReadDocument(CVezadDoc&, ON_BinaryArchive&, const CVezadFileReadOptions&)
{
    return TRUE;
}

BOOL CVezadPlugIn::CheckDocument(ON_BinaryArchive&, const CVezadFileReadOptions&, ON_wString&)
{
    return TRUE;
}

BOOL CVezadPlugIn::InsertPlugInMenuToVezadMenu(HMENU menu, int position)
{
    if (!menu)
        return FALSE;
    VezadApp().addPlugInMenu({menu, position, this});
    return TRUE;
}

BOOL CVezadPlugIn::RemovePlugInMenuFromVezad(HMENU menu)
{
    return VezadApp().removePlugInMenu(menu, this) ? TRUE : FALSE;
}

ON_wString CVezadPlugIn::GetPlugInFileName() const
{
    const CVezadApp::LoadedPlugIn* loaded = VezadApp().findLoadedPlugIn(this);
    return loaded ? ON_wString(loaded->fileName) : ON_wString();
}

CVezadFileType::CVezadFileType(const ON_UUID& plugInId, const wchar_t* description,
                               const wchar_t* extension)
    : m_plugInId(plugInId), m_description(description), m_extension(extension)
{
}

bool CVezadWorkerThread::KeepRunning()
{
    return VezadApp().keepRunning();
}

void CVezadWorkerThread::SetKeepRunning(bool keepRunning)
{
    VezadApp().setKeepRunning(keepRunning);
}

namespace {

std::vector<CVezadPlugInModule*>& modules()
{
    static std::vector<CVezadPlugInModule*> registered;
    return registered;
}

} // namespace

CVezadPlugInModule::CVezadPlugInModule(const wchar_t* baseName, const CVezadPlugInExports& exports)
    : m_baseName(baseName ? baseName : L""), m_exports(exports)
{
    modules().push_back(this);
}

CVezadPlugInModule::~CVezadPlugInModule()
{
    auto& registered = modules();
    registered.erase(std::remove(registered.begin(), registered.end(), this), registered.end());
}

namespace VezadHost {

std::vector<std::wstring> plugInModuleNames()
{
    std::vector<std::wstring> names;
    for (const CVezadPlugInModule* module : modules())
        names.push_back(module->BaseName());
    return names;
}

const CVezadPlugInModule* findPlugInModule(const std::wstring& baseName)
{
    for (const CVezadPlugInModule* module : modules())
        if (module->BaseName() == baseName)
            return module;
    return nullptr;
}

bool loadPlugIn(const std::wstring& baseName, const std::string& folder)
{
    CVezadApp& app = VezadApp();
    const std::string name = toUtf8(baseName);
    const CVezadPlugInModule* module = findPlugInModule(baseName);
    if (!module) {
        app.Print("Plug-in %s not found\n", name.c_str());
        return false;
    }
    const CVezadPlugInExports& exports = module->Exports();
    if (!exports.VezadPlugInSdkVersion || !exports.VezadPlugInObject) {
        app.Print("Plug-in %s not loaded: it lacks the SDK version or plug-in object export\n",
                  name.c_str());
        return false;
    }
    const int version = exports.VezadPlugInSdkVersion();
    if (version != VezadPlugInSdkVersionNeeded) {
        app.Print("Plug-in %s not loaded: built for SDK version %d, the host needs %d\n",
                  name.c_str(), version, VezadPlugInSdkVersionNeeded);
        return false;
    }
    CVezadPlugIn& plugIn = exports.VezadPlugInObject();
    if (app.findLoadedPlugIn(&plugIn)) {
        app.Print("Plug-in %s is loaded already\n", name.c_str());
        return false;
    }
    // The developer information is only asked for, as a host shows it in its
    // plug-in list.
    for (auto query :
         {exports.VezadPlugInDeveloperOrganization, exports.VezadPlugInDeveloperAddress,
          exports.VezadPlugInDeveloperCountry, exports.VezadPlugInDeveloperPhone,
          exports.VezadPlugInDeveloperFax, exports.VezadPlugInDeveloperEmail,
          exports.VezadPlugInDeveloperWebsite, exports.VezadPlugInUpdateURL})
        if (query)
            query();
    if (exports.VezadPlugInSdkServiceRelease)
        exports.VezadPlugInSdkServiceRelease();
    std::string file = folder.empty() ? name + ".vzp" : folder + "/" + name + ".vzp";
    // The plug-in knows its file while it loads, through the host and as a
    // module of the process.
    app.addLoadedPlugIn({&plugIn, baseName, toWide(file)});
    Win32Subset::registerModule(toWide(file));
    if (!plugIn.OnLoadPlugIn()) {
        app.removeLoadedPlugIn(&plugIn);
        app.Print("Plug-in %s failed to load\n", name.c_str());
        return false;
    }
    return true;
}

void unloadPlugIns()
{
    CVezadApp& app = VezadApp();
    std::vector<CVezadApp::LoadedPlugIn> loaded = app.LoadedPlugIns();
    for (auto it = loaded.rbegin(); it != loaded.rend(); ++it)
        it->plugIn->OnUnloadPlugIn();
    app.clearLoadedPlugIns();
}

} // namespace VezadHost
