// Headless dialogs of the class-library subset: CDialog built from a
// registered dialog template (platform/mfc/Resources.h), dialog data
// exchange, and the file dialog.
//
// A dialog's window holds one child window per control of its template, in
// template order; GetDlgItem finds them by id. Modeless dialogs (Create) are
// made hidden and shown with ShowWindow. A modal dialog (DoModal) takes its
// input from the answer source (platform/mfc/AnswerSource.h), one token at
// a time, until it ends:
//   Name=Value   sets a control: a check box Yes/No (1/0), a combo box the
//                entry with that text (with ~number: the entry whose text
//                is the number nearest it), a radio button Yes clicks it;
//   Name         clicks a button, check box or radio button;
//   OK           clicks button 1 (IDOK): OnOK, which ends the dialog unless
//                the dialog overrides it;
//   Cancel, Enter  close the dialog as its close box does (OnCancel).
// Name is a control's caption (its own text, or the text of the label just
// before a combo box or read-out) without '&' and with blanks written as
// underscores, compared without case, or its control id. A click checks a
// check box or radio button as Windows does (a radio unchecks the rest of
// its group) and sends the dialog WM_COMMAND with BN_CLICKED (CBN_SELCHANGE
// for a combo box), which reaches the handler MapCommand bound to the id;
// IDOK and IDCANCEL go to OnOK and OnCancel. Wrong input is refused with a
// message and logged as a failure of the script. Without input the dialog
// closes through OnCancel and the question counts as unanswered.
//
// Not thread-safe: dialogs belong to the host's user-interface thread.
#pragma once

#include "platform/mfc/Controls.h"
#include "platform/mfc/Resources.h"
#include "platform/mfc/Wnd.h"

#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

class CDataExchange;

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId = 0, CWnd* parent = nullptr);
    ~CDialog() override;

    // Makes the modeless dialog's window (hidden) with its controls and runs
    // OnInitDialog. FALSE when the template is not registered or the window
    // exists already.
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    // Runs the dialog modally (above) and answers the code EndDialog was
    // given; -1 when the template is not registered.
    virtual INT_PTR DoModal();

    // Moves the members into the controls (UpdateData(FALSE)); TRUE.
    virtual BOOL OnInitDialog();
    // Controls into members, then EndDialog(IDOK) when that succeeded.
    virtual void OnOK();
    virtual void OnCancel();
    // Ends a modal run with result; a modeless dialog is hidden.
    void EndDialog(int result);

    // Runs DoDataExchange: controls into members with bSaveAndValidate,
    // members into controls without. FALSE when an exchange failed.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // The template of the dialog; null before it is created or when its id
    // is not registered.
    const AfxSubset::DialogResource* Resource() const;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    // The handler of a control's notification (in place of a message-map
    // entry); a later binding of the same id and code replaces it.
    void MapCommand(UINT id, std::function<void()> handler, UINT notification = BN_CLICKED);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    friend struct DialogInput;
    bool makeWindow(UINT templateId, CWnd* parent);
    void destroyControls();

    UINT m_templateId;
    CWnd* m_parent;
    std::vector<std::unique_ptr<CWnd>> m_controls; // in template order
    std::map<std::pair<UINT, UINT>, std::function<void()>> m_handlers;
    bool m_modalRunning = false;
    int m_modalResult = IDCANCEL;
};

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog)
    {
    }

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    // Set by an exchange that could not be made (a missing control); a
    // message says which.
    bool m_failed = false;
};

// Binds control to the dialog's control id, once per window of the dialog.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
// A check box as 0 / 1.
void DDX_Check(CDataExchange* pDX, int id, int& value);
// A radio group that starts at id, in template order: the checked button's
// index (-1 when none is checked), or check the button at value (any other
// value unchecks them all).
void DDX_Radio(CDataExchange* pDX, int id, int& value);

class CFileDialog {
public:
    // An open or save dialog; the filter is "description|patterns|...||".
    explicit CFileDialog(BOOL openFileDialog, const wchar_t* defaultExtension = nullptr,
                         const wchar_t* fileName = nullptr,
                         DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                         const wchar_t* filter = nullptr, CWnd* parent = nullptr);
    virtual ~CFileDialog() = default;

    // Takes `file:<path>` (IDOK) or `cancel` (IDCANCEL). Under
    // OFN_FILEMUSTEXIST a missing file is reported and counts as cancel;
    // other input is refused as a failure of the script and cancels.
    virtual INT_PTR DoModal();
    // The chosen path; empty until DoModal answered IDOK.
    CString GetPathName() const { return m_path; }

private:
    bool m_open;
    DWORD m_flags;
    std::wstring m_filter;
    CString m_path;
};
