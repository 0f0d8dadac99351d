// Plug-ins of the host: the plug-in base with the slots the host calls, the
// file-import plug-in with its file types, the options of document reads and
// writes, the worker-thread base, and the plug-in file's exports through
// which the loader finds a plug-in.
//
// A plug-in file is a CVezadPlugInModule global: its base name (the plug-in
// file is "<plug-in folder>/<name>.vzp") and its exported functions, the
// last of which hands the loader the plug-in object. The loader calls the
// exports, refuses a plug-in built for another SDK version than
// VezadPlugInSdkVersionNeeded, then calls OnLoadPlugIn; OnUnloadPlugIn runs
// at shutdown, after the documents are closed.
//
// Ownership: plug-in objects and modules are static globals of the plug-in;
// the host only points to them. Not thread-safe, except KeepRunning.
#pragma once

#include "platform/on/OpenNurbsSubset.h"
#include "platform/win32/WindowsSubset.h"

#include <string>
#include <vector>

class CVezadDoc;

// Options of a document read (open, import) and write (save).
class CVezadFileReadOptions {
public:
    // True when the read adds to the open document (import) rather than
    // replacing it (open).
    bool ImportMode() const { return m_import; }
    void SetImportMode(bool import) { m_import = import; }

private:
    bool m_import = false;
};

class CVezadFileWriteOptions {};

class CVezadPlugIn : public ON_Object {
public:
    CVezadPlugIn() = default;
    CVezadPlugIn(const CVezadPlugIn&) = delete;
    CVezadPlugIn& operator=(const CVezadPlugIn&) = delete;
    ~CVezadPlugIn() override = default;

    virtual ON_UUID PlugInID() const = 0;
    virtual const wchar_t* PlugInName() const = 0;
    virtual const wchar_t* PlugInVersion() const = 0;

    // TRUE lets the load go on.
    virtual BOOL OnLoadPlugIn() { return TRUE; }
    virtual void OnUnloadPlugIn() {}
    virtual BOOL ShowInPluginList() const { return TRUE; }
    virtual BOOL CanUnload() const { return TRUE; }
    virtual void OnDisplayPlugInHelp(HWND hWnd) const { (void)hWnd; }
    // A command of the plug-in's menus; FALSE when the id is not the
    // plug-in's.
    virtual BOOL OnPlugInMenuCommand(WPARAM wParam)
    {
        (void)wParam;
        return FALSE;
    }

    // Document data: when CallWriteDocument answers TRUE on save, the host
    // gives WriteDocument an archive for the plug-in's record and stores it as
    // a chunk of its own; on open, the chunk reaches ReadDocument through an
    // archive that ends with it. FALSE from WriteDocument fails the save.
    virtual BOOL CallWriteDocument(const CVezadFileWriteOptions& options)
    {
        (void)options;
        return FALSE;
    }
    virtual BOOL WriteDocument(CVezadDoc& doc, ON_BinaryArchive& archive,
                               const CVezadFileWriteOptions& options);
    virtual BOOL ReadDocument(CVezadDoc& doc, ON_BinaryArchive& archive,
                              const CVezadFileReadOptions& options);
    // Open asks each loaded plug-in to check its chunk of the file before
    // the document changes: FALSE, with problem saying in a few words what
    // of the record cannot be read, refuses the whole open and leaves the
    // document as it was. A plug-in may keep what its check read for the
    // ReadDocument that follows on the same chunk once every check passed;
    // when the open is refused instead, ForgetCheckedDocument follows. The
    // default takes every chunk.
    virtual BOOL CheckDocument(ON_BinaryArchive& archive, const CVezadFileReadOptions& options,
                               ON_wString& problem);
    virtual void ForgetCheckedDocument() {}

    // Puts a menu of the plug-in into the host's menu bar at position (-1:
    // last); FALSE for a null menu. Removing answers FALSE for a menu the
    // plug-in did not insert.
    BOOL InsertPlugInMenuToVezadMenu(HMENU menu, int position = -1);
    BOOL RemovePlugInMenuFromVezad(HMENU menu);

    // The full path of the plug-in's file; empty while it is not loaded.
    ON_wString GetPlugInFileName() const;
};

// A file type offered to the host's Import: a description and an extension
// (without the dot, for example "out").
class CVezadFileType {
public:
    CVezadFileType() = default;
    CVezadFileType(const ON_UUID& plugInId, const wchar_t* description, const wchar_t* extension);

    ON_UUID FileTypePlugInID() const { return m_plugInId; }
    const ON_wString& Description() const { return m_description; }
    const ON_wString& Extension() const { return m_extension; }

private:
    ON_UUID m_plugInId;
    ON_wString m_description;
    ON_wString m_extension;
};

class CVezadFileImportPlugIn : public CVezadPlugIn {
public:
    // Appends the file types the plug-in reads.
    virtual void AddFileType(ON_ClassArray<CVezadFileType>& fileTypes,
                             const CVezadFileReadOptions& options) = 0;
    // Reads fileName, of the type at fileTypeIndex in the list AddFileType
    // made, into doc.
    virtual BOOL ReadFile(const wchar_t* fileName, int fileTypeIndex, CVezadDoc& doc,
                          const CVezadFileReadOptions& options) = 0;
};

// Work a host would run on a thread of its own. This host never starts one:
// callers run the body in the foreground, and long work polls KeepRunning.
class CVezadWorkerThread {
public:
    virtual ~CVezadWorkerThread() = default;
    // The thread's body.
    virtual void work() = 0;
    // False once the user asked long work to stop; the request is forgotten
    // when the next command starts.
    static bool KeepRunning();
    // Host side: the stop request.
    static void SetKeepRunning(bool keepRunning);
};

constexpr int VezadPlugInSdkVersionNeeded = 200612060;

// The exported functions of a plug-in file. The version and the plug-in
// object are required; the developer information may be null.
struct CVezadPlugInExports {
    int (*VezadPlugInSdkVersion)() = nullptr;
    int (*VezadPlugInSdkServiceRelease)() = nullptr;
    const wchar_t* (*VezadPlugInDeveloperOrganization)() = nullptr;
    const wchar_t* (*VezadPlugInDeveloperAddress)() = nullptr;
    const wchar_t* (*VezadPlugInDeveloperCountry)() = nullptr;
    const wchar_t* (*VezadPlugInDeveloperPhone)() = nullptr;
    const wchar_t* (*VezadPlugInDeveloperFax)() = nullptr;
    const wchar_t* (*VezadPlugInDeveloperEmail)() = nullptr;
    const wchar_t* (*VezadPlugInDeveloperWebsite)() = nullptr;
    const wchar_t* (*VezadPlugInUpdateURL)() = nullptr;
    CVezadPlugIn& (*VezadPlugInObject)() = nullptr;
};

// A plug-in file, registered under its base name while it is constructed.
class CVezadPlugInModule {
public:
    CVezadPlugInModule(const wchar_t* baseName, const CVezadPlugInExports& exports);
    CVezadPlugInModule(const CVezadPlugInModule&) = delete;
    CVezadPlugInModule& operator=(const CVezadPlugInModule&) = delete;
    ~CVezadPlugInModule();

    const std::wstring& BaseName() const { return m_baseName; }
    const CVezadPlugInExports& Exports() const { return m_exports; }

private:
    std::wstring m_baseName;
    CVezadPlugInExports m_exports;
};

namespace VezadHost {

// The module of that base name; null when none is registered.
const CVezadPlugInModule* findPlugInModule(const std::wstring& baseName);
// The base names of the registered modules, in the order they registered.
std::vector<std::wstring> plugInModuleNames();

// Loads the module named baseName from folder: calls the exports, checks
// the SDK version, calls OnLoadPlugIn and enters the plug-in among the
// loaded ones. False, with the reason on the transcript, when the module is
// missing, refused, fails to load or is loaded already.
bool loadPlugIn(const std::wstring& baseName, const std::string& folder);
// Calls OnUnloadPlugIn of every loaded plug-in, the last loaded first.
void unloadPlugIns();

} // namespace VezadHost
