// Menus of the class-library subset: CMenu over menu handles that hold
// command items, separators and pop-ups, loaded from registered menu tables
// (platform/mfc/Resources.h) or built with AppendMenu.
//
// A pop-up item refers to its sub-menu's handle, so one sub-menu may be
// appended to several menus; RemoveMenu takes an item out without
// destroying its sub-menu, DestroyMenu destroys a menu with its sub-menus.
// Handles are never used twice: a stale handle reaches no newer menu. By
// command (MF_BYCOMMAND) the first item of that id is found, sub-menus
// included, as on Windows.
//
// TrackPopupMenu is headless: it prints the ids of its enabled command items
// and takes the answer `menu:<id>` when that is the next input; any other
// input is left for the caller and dismisses the menu. The chosen command
// goes to the owner window as WM_COMMAND (posted, for the next turn of the
// message loop) unless TPM_RETURNCMD or TPM_NONOTIFY is given.
//
// Ownership: menus live in a registry that is never destroyed; a CMenu that
// created, loaded or attached a menu destroys it with itself, the objects
// FromHandle and GetSubMenu answer belong to the registry. Not thread-safe.
#pragma once

#include "platform/mfc/Wnd.h"

class CMenu {
public:
    CMenu() = default;
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;
    virtual ~CMenu();

    HMENU m_hMenu = nullptr;
    HMENU GetSafeHmenu() const { return m_hMenu; }
    // The registry's object for a live menu; null for an unknown handle.
    static CMenu* FromHandle(HMENU menu);

    // Each FALSE when this object holds a menu already (or, for LoadMenu,
    // when no table of that id is registered).
    BOOL CreateMenu();
    BOOL CreatePopupMenu();
    BOOL LoadMenu(UINT resourceId);
    BOOL Attach(HMENU menu);
    HMENU Detach();
    BOOL DestroyMenu();

    // The sub-menu of the pop-up item at position; null for another item.
    CMenu* GetSubMenu(int position) const;
    // MF_STRING (idOrPopup the command id), MF_SEPARATOR, or MF_POPUP
    // (idOrPopup the sub-menu's HMENU); MF_GRAYED may be added. FALSE for an
    // unknown menu or sub-menu.
    BOOL AppendMenu(UINT flags, UINT_PTR idOrPopup = 0, const wchar_t* text = nullptr);
    // -1 for an unknown menu.
    int GetMenuItemCount() const;
    // The command id at position; 0 for a separator, (UINT)-1 for a pop-up
    // or a position out of range.
    UINT GetMenuItemID(int position) const;
    // The item's text; 0 (text emptied) when there is no such item.
    int GetMenuString(UINT item, CString& text, UINT flags) const;
    // MF_GRAYED, MF_DISABLED, MF_SEPARATOR and MF_POPUP bits of the item;
    // (UINT)-1 when there is no such item.
    UINT GetMenuState(UINT item, UINT flags) const;
    BOOL RemoveMenu(UINT item, UINT flags);
    // Sets the MF_GRAYED / MF_DISABLED bits; the previous ones, or (UINT)-1
    // when there is no such item.
    UINT EnableMenuItem(UINT item, UINT enable);
    // The chosen command id, or 0 when the menu was dismissed (above).
    BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, const RECT* rect = nullptr);

private:
    bool m_ownsMenu = false;
};
