// The host's toolbar manager: collections of toolbars read from ".tb"
// files, toolbars found by name, their visibility, shown and hidden.
//
// A ".tb" file is text, one toolbar a line:
//   toolbar <name> visible=<0|1>
// with the name double-quoted when it holds blanks; blank lines and lines
// starting with # are skipped. A file that cannot be read or holds another
// line gives no collection. Headless, a toolbar is only its name and
// visibility. Not thread-safe.
#pragma once

#include "platform/on/OpenNurbsSubset.h"

#include <memory>
#include <string>
#include <vector>

class CVezadUiToolBarCollection {
public:
    const ON_wString& FileName() const { return m_fileName; }
    int ToolBarCount() const { return static_cast<int>(m_toolBars.size()); }
    // The index of the toolbar of that name, -1 when there is none.
    int FindToolBar(const wchar_t* name) const;
    // False for an index out of range.
    bool IsToolBarVisible(int index) const;
    // Shows or hides a toolbar; false for an index out of range.
    bool ShowToolBar(int index, bool show);

private:
    friend class CVezadUiToolBarManager;
    struct ToolBar {
        std::wstring name;
        bool visible = false;
    };
    ON_wString m_fileName;
    std::vector<ToolBar> m_toolBars;
};

class CVezadUiToolBarManager {
public:
    // The collection read from that file; null when it was not read.
    CVezadUiToolBarCollection* FindCollection(const wchar_t* fileName);
    // Reads a ".tb" file into a collection (a file read before keeps its
    // collection). The three switches are those a windowed host uses for
    // its toolbar windows; they change nothing here. False, with the reason
    // on the transcript, for a file that is missing or malformed.
    bool ReadFile(const wchar_t* fileName, bool, bool, bool);

private:
    std::vector<std::unique_ptr<CVezadUiToolBarCollection>> m_collections;
};
