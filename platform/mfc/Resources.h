// Resource tables of the class-library subset: the menus and dialog
// templates a plug-in would compile into its resource file, as data.
//
// A plug-in registers its tables once (registerResources); CMenu::LoadMenu
// and the dialogs find them by id. Ids are unique per kind: a menu and a
// dialog may share an id, two menus may not (a later table replaces the
// earlier one of that id).
//
// Ownership: the registry copies the tables and is never destroyed, so
// plug-in globals may use it during static destruction. Not thread-safe.
#pragma once

#include "platform/win32/WindowsSubset.h"

#include <string>
#include <vector>

namespace AfxSubset {

// A menu item: a command (id, text), a separator, or a pop-up with items.
struct MenuItemResource {
    enum Kind { command, separator, popup };
    Kind kind = command;
    UINT id = 0;
    std::wstring text;
    std::vector<MenuItemResource> items; // pop-ups only
};

struct MenuResource {
    UINT id = 0;
    std::vector<MenuItemResource> items;
};

// A dialog control. Captions address controls in scripts: a label's text
// names the control that follows it (a read-out or a combo box), a button
// names itself. Radio buttons form a group from the one marked groupStart
// (or the first radio) to the next control marked groupStart or the next
// control that is not a radio button.
struct ControlResource {
    enum Kind {
        label,
        readout,
        pushButton,
        checkBox,
        radioButton,
        comboBox,
        progressBar,
        groupBox
    };
    Kind kind = label;
    int id = IDC_STATIC;
    std::wstring text;
    bool groupStart = false;
    // Entries a combo box is filled with when its dialog is created.
    std::vector<std::wstring> entries;
};

struct DialogResource {
    UINT id = 0;
    std::wstring caption;
    std::vector<ControlResource> controls;
};

void registerResources(const std::vector<MenuResource>& menus,
                       const std::vector<DialogResource>& dialogs);
// The registered table of that id; null when none.
const MenuResource* findMenuResource(UINT id);
const DialogResource* findDialogResource(UINT id);

} // namespace AfxSubset
