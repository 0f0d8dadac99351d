// Dialog controls of the class-library subset. A control is a window whose
// procedure keeps its state (check mark, combo entries and selection,
// progress range and position) and answers the control messages of
// WindowsSubset.h; CButton, CComboBox and CProgressCtrl send those messages
// to the window they are bound to, so every object bound to one control
// sees the same state.
//
// Not thread-safe: controls belong to the host's user-interface thread.
#pragma once

#include "platform/mfc/Resources.h"
#include "platform/mfc/Wnd.h"

class CButton : public CWnd {
public:
    // BST_CHECKED or BST_UNCHECKED; 0 without a window.
    int GetCheck() const;
    void SetCheck(int check);
};

class CComboBox : public CWnd {
public:
    // The new entry's index, CB_ERR without a window.
    int AddString(const wchar_t* text);
    int GetCount() const;
    // The selected index; CB_ERR when nothing is selected.
    int GetCurSel() const;
    // Selects index (-1 clears the selection); CB_ERR for an index out of
    // range (the selection is then cleared, as on Windows).
    int SetCurSel(int index);
    // The entry's text; empty (and CB_ERR) for an index out of range.
    int GetLBText(int index, CString& text) const;
    void ResetContent();
};

class CProgressCtrl : public CWnd {
public:
    void SetRange32(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    // The previous position; the position is kept within the range.
    int SetPos(int position);
    int GetPos() const;
};

namespace AfxSubset {

// The procedure of a new control of that kind, with its state.
Win32Subset::WindowProcedure controlProcedure(ControlResource::Kind kind);

} // namespace AfxSubset
