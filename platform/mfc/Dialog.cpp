#include "platform/mfc/Dialog.h"

#include "platform/RegularFile.h"
#include "platform/mfc/AnswerSource.h"
#include "platform/on/WideString.h"

#include <cmath>
#include <cstdlib>
#include <cwctype>

namespace {

using AfxSubset::ControlResource;

std::string utf8(const std::wstring& text)
{
    return OnSubset::wideToUtf8(text);
}

std::wstring wide(const std::string& text)
{
    return OnSubset::utf8ToWide(text.data(), text.size());
}

// A caption as scripts write it: no '&', blanks as underscores, lower case.
std::wstring scriptName(const std::wstring& caption)
{
    std::wstring name;
    for (wchar_t c : caption) {
        if (c == L'&')
            continue;
        name += c == L' ' ? L'_' : static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    return name;
}

bool isClickable(ControlResource::Kind kind)
{
    return kind == ControlResource::pushButton || kind == ControlResource::checkBox ||
           kind == ControlResource::radioButton;
}

// The template positions of the radio group that starts at first.
std::vector<std::size_t> radioGroup(const AfxSubset::DialogResource& dialog, std::size_t first)
{
    std::vector<std::size_t> group;
    for (std::size_t i = first; i < dialog.controls.size(); ++i) {
        const ControlResource& c = dialog.controls[i];
        if (c.kind != ControlResource::radioButton || (i != first && c.groupStart))
            break;
        group.push_back(i);
    }
    return group;
}

// The group holding position (its start is the nearest earlier group start
// or the first radio of the run).
std::vector<std::size_t> groupHolding(const AfxSubset::DialogResource& dialog, std::size_t position)
{
    std::size_t first = position;
    while (first > 0 && !dialog.controls[first].groupStart &&
           dialog.controls[first - 1].kind == ControlResource::radioButton)
        --first;
    return radioGroup(dialog, first);
}

std::size_t positionOfId(const AfxSubset::DialogResource& dialog, int id)
{
    for (std::size_t i = 0; i < dialog.controls.size(); ++i)
        if (dialog.controls[i].id == id)
            return i;
    return dialog.controls.size();
}

bool exchangeFails(CDataExchange* pDX, int id, const char* what)
{
    const auto* dialog = dynamic_cast<CDialog*>(pDX->m_pDlgWnd);
    const auto* resource = dialog ? dialog->Resource() : nullptr;
    const bool missing = !resource || positionOfId(*resource, id) == resource->controls.size() ||
                         !pDX->m_pDlgWnd->GetDlgItem(id);
    if (missing) {
        AfxSubset::print("Data exchange: dialog " + std::to_string(resource ? resource->id : 0) +
                         " has no " + what + " " + std::to_string(id) + "\n");
        pDX->m_failed = true;
    }
    return missing;
}

// The entry of the combo box with the text value, or, for "~number", the
// entry whose text is the number nearest to it (the first of equals); -1
// when none.
int comboEntry(CComboBox& combo, const std::wstring& value)
{
    const bool nearest = !value.empty() && value[0] == L'~';
    double wanted = 0.0;
    if (nearest) {
        const std::string number = utf8(value.substr(1));
        char* end = nullptr;
        wanted = std::strtod(number.c_str(), &end);
        if (number.empty() || *end != '\0' || !std::isfinite(wanted))
            return -1;
    }
    int chosen = -1;
    double best = 0.0;
    for (int i = 0; i < combo.GetCount(); ++i) {
        CString entry;
        combo.GetLBText(i, entry);
        if (!nearest) {
            if (entry.str() == value)
                return i;
            continue;
        }
        const std::string text = utf8(entry.str());
        char* end = nullptr;
        const double number = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0')
            continue;
        if (chosen < 0 || std::fabs(number - wanted) < best) {
            chosen = i;
            best = std::fabs(number - wanted);
        }
    }
    return chosen;
}

} // namespace

// Applies the input tokens of a modal run.
struct DialogInput {
    CDialog& dialog;
    const AfxSubset::DialogResource& resource;

    // Clicks the control at a template position as the user would.
    void click(std::size_t position)
    {
        const ControlResource& c = resource.controls[position];
        HWND window = dialog.m_controls[position]->m_hWnd;
        if (c.kind == ControlResource::checkBox) {
            const LRESULT checked = SendMessageW(window, BM_GETCHECK, 0, 0);
            SendMessageW(window, BM_SETCHECK, checked == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED,
                         0);
        } else if (c.kind == ControlResource::radioButton) {
            for (std::size_t i : groupHolding(resource, position))
                SendMessageW(dialog.m_controls[i]->m_hWnd, BM_SETCHECK,
                             i == position ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        dialog.SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(c.id), BN_CLICKED),
                           reinterpret_cast<LPARAM>(window));
    }

    // The position of the control a script names; size() when none.
    std::size_t find(const std::string& name) const
    {
        const std::wstring wanted = scriptName(wide(name));
        std::wstring label;
        for (std::size_t i = 0; i < resource.controls.size(); ++i) {
            const ControlResource& c = resource.controls[i];
            if (c.kind == ControlResource::label) {
                label = c.text;
                continue;
            }
            const bool labelled =
                c.kind == ControlResource::comboBox || c.kind == ControlResource::readout;
            const std::wstring caption = labelled ? label : c.text;
            label.clear();
            if (c.id != IDC_STATIC &&
                (scriptName(caption) == wanted || std::to_wstring(c.id) == wanted))
                return i;
        }
        return resource.controls.size();
    }

    // False, with the reason, for input the dialog cannot take.
    bool apply(const std::string& token, std::string& reason)
    {
        const std::size_t equals = token.find('=');
        const std::string name = token.substr(0, equals);
        const std::size_t position = find(name);
        if (position == resource.controls.size()) {
            reason = "no control \"" + name + "\"";
            return false;
        }
        const ControlResource& c = resource.controls[position];
        HWND window = dialog.m_controls[position]->m_hWnd;
        if (!Win32Subset::windowSettings(window)->enabled) {
            reason = "\"" + name + "\" is disabled";
            return false;
        }
        if (equals == std::string::npos) {
            if (!isClickable(c.kind)) {
                reason = "\"" + name + "\" needs a value";
                return false;
            }
            click(position);
            return true;
        }
        const std::wstring value = wide(token.substr(equals + 1));
        const std::wstring v = scriptName(value);
        const bool yes = v == L"yes" || v == L"1", no = v == L"no" || v == L"0";
        if (c.kind == ControlResource::comboBox) {
            CComboBox& combo = static_cast<CComboBox&>(*dialog.m_controls[position]);
            const int chosen = comboEntry(combo, value);
            if (chosen < 0) {
                reason = "\"" + name + "\" has no entry " + utf8(value);
                return false;
            }
            combo.SetCurSel(chosen);
            if (value[0] == L'~') {
                CString entry;
                combo.GetLBText(chosen, entry);
                AfxSubset::print("\"" + name + "\" takes the entry " + utf8(entry.str()) + "\n");
            }
            dialog.SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(c.id), CBN_SELCHANGE),
                               reinterpret_cast<LPARAM>(window));
            return true;
        }
        if (c.kind == ControlResource::checkBox && (yes || no)) {
            if ((SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED) != yes)
                click(position);
            return true;
        }
        if (c.kind == ControlResource::radioButton && yes) {
            click(position);
            return true;
        }
        reason = "\"" + name + "\" does not take the value " + utf8(value);
        return false;
    }
};

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog()
{
    destroyControls();
    CWnd::DestroyWindow();
}

const AfxSubset::DialogResource* CDialog::Resource() const
{
    return AfxSubset::findDialogResource(m_templateId);
}

void CDialog::destroyControls()
{
    for (auto& control : m_controls)
        if (CWnd::FromHandle(control->m_hWnd) == control.get())
            AfxSubset::unregisterWindowObject(control->m_hWnd);
    m_controls.clear();
}

bool CDialog::makeWindow(UINT templateId, CWnd* parent)
{
    const AfxSubset::DialogResource* resource = AfxSubset::findDialogResource(templateId);
    if (!resource || (m_hWnd && IsWindow(m_hWnd)))
        return false;
    m_templateId = templateId;
    m_parent = parent;
    destroyControls();
    Win32Subset::WindowSettings settings;
    settings.className = L"#32770";
    settings.text = resource->caption;
    settings.parent = parent ? parent->m_hWnd : nullptr;
    createWindow(settings);
    for (const ControlResource& c : resource->controls) {
        std::unique_ptr<CWnd> control;
        switch (c.kind) {
        case ControlResource::pushButton:
        case ControlResource::checkBox:
        case ControlResource::radioButton:
            control = std::make_unique<CButton>();
            break;
        case ControlResource::comboBox:
            control = std::make_unique<CComboBox>();
            break;
        case ControlResource::progressBar:
            control = std::make_unique<CProgressCtrl>();
            break;
        default:
            control = std::make_unique<CWnd>();
            break;
        }
        Win32Subset::WindowSettings child;
        child.text = c.text;
        child.parent = m_hWnd;
        child.id = c.id;
        child.visible = true;
        HWND window = Win32Subset::createWindow(child, AfxSubset::controlProcedure(c.kind));
        control->Attach(window);
        if (c.id != IDC_STATIC)
            AfxSubset::registerWindowObject(window, control.get());
        if (c.kind == ControlResource::comboBox)
            for (const std::wstring& entry : c.entries)
                static_cast<CComboBox&>(*control).AddString(entry.c_str());
        m_controls.push_back(std::move(control));
    }
    return true;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    if (!makeWindow(templateId, parent))
        return FALSE;
    OnInitDialog();
    return TRUE;
}

INT_PTR CDialog::DoModal()
{
    if (!makeWindow(m_templateId, m_parent))
        return -1;
    const AfxSubset::DialogResource& resource = *Resource();
    HWND previousActive = GetActiveWindow();
    ShowWindow(SW_SHOW);
    Win32Subset::setActiveWindow(m_hWnd);
    m_modalRunning = true;
    m_modalResult = IDCANCEL;
    OnInitDialog();
    DialogInput input{*this, resource};
    const std::string prompt = "Dialog \"" + utf8(resource.caption) + "\"";
    while (m_modalRunning) {
        std::string token;
        if (!AfxSubset::takeAnswer(prompt, token)) {
            OnCancel();
            break;
        }
        std::string reason;
        const std::wstring word = scriptName(wide(token));
        if (word == L"cancel" || word == L"enter") {
            SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        } else if (word == L"ok") {
            HWND ok = Win32Subset::childWithId(m_hWnd, IDOK);
            SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
        } else if (!input.apply(token, reason)) {
            AfxSubset::print("Dialog \"" + utf8(resource.caption) + "\" refused " + token + ": " +
                             reason + "\n");
            AfxSubset::logUnanswered(prompt + ": " + token + " refused");
        }
    }
    m_modalRunning = false;
    Win32Subset::setActiveWindow(previousActive == Win32Subset::mainWindow() ? nullptr
                                                                             : previousActive);
    destroyControls();
    CWnd::DestroyWindow();
    return m_modalResult;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int result)
{
    if (m_modalRunning) {
        m_modalResult = result;
        m_modalRunning = false;
    } else {
        ShowWindow(SW_HIDE);
    }
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange exchange(this, bSaveAndValidate);
    DoDataExchange(&exchange);
    return exchange.m_failed ? FALSE : TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::MapCommand(UINT id, std::function<void()> handler, UINT notification)
{
    m_handlers[{id, notification}] = std::move(handler);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        OnCancel();
        return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM)
{
    const UINT id = LOWORD(wParam);
    const UINT notification = HIWORD(wParam);
    auto handler = m_handlers.find({id, notification});
    if (handler != m_handlers.end()) {
        // Copied: the handler may rebind itself.
        auto run = handler->second;
        run();
        return TRUE;
    }
    if (notification != BN_CLICKED)
        return FALSE;
    if (id == IDOK) {
        OnOK();
        return TRUE;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if ((control.m_hWnd && IsWindow(control.m_hWnd)) || exchangeFails(pDX, id, "control"))
        return;
    // A control of an earlier run of the dialog is gone: bind the new one.
    control.Detach();
    control.Attach(pDX->m_pDlgWnd->GetDlgItem(id)->m_hWnd);
}

void DDX_Check(CDataExchange* pDX, int id, int& value)
{
    if (exchangeFails(pDX, id, "check box"))
        return;
    HWND window = pDX->m_pDlgWnd->GetDlgItem(id)->m_hWnd;
    if (pDX->m_bSaveAndValidate)
        value = SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    else
        SendMessageW(window, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

void DDX_Radio(CDataExchange* pDX, int id, int& value)
{
    if (exchangeFails(pDX, id, "radio button"))
        return;
    const auto& dialog = static_cast<CDialog&>(*pDX->m_pDlgWnd);
    const AfxSubset::DialogResource& resource = *dialog.Resource();
    const std::vector<std::size_t> group = radioGroup(resource, positionOfId(resource, id));
    if (pDX->m_bSaveAndValidate)
        value = -1;
    for (std::size_t k = 0; k < group.size(); ++k) {
        HWND window = dialog.GetDlgItem(resource.controls[group[k]].id)->m_hWnd;
        if (!pDX->m_bSaveAndValidate)
            SendMessageW(window, BM_SETCHECK,
                         static_cast<int>(k) == value ? BST_CHECKED : BST_UNCHECKED, 0);
        else if (value < 0 && SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED)
            value = static_cast<int>(k);
    }
}

CFileDialog::CFileDialog(BOOL openFileDialog, const wchar_t*, const wchar_t*, DWORD flags,
                         const wchar_t* filter, CWnd*)
    : m_open(openFileDialog != FALSE), m_flags(flags), m_filter(filter ? filter : L"")
{
}

INT_PTR CFileDialog::DoModal()
{
    m_path = CString();
    const std::string prompt = std::string(m_open ? "File to open" : "File to save") +
                               (m_filter.empty() ? "" : " (" + utf8(m_filter) + ")");
    std::string token;
    if (!AfxSubset::takeAnswer(prompt, token))
        return IDCANCEL;
    if (scriptName(wide(token)) == L"cancel")
        return IDCANCEL;
    if (token.rfind("file:", 0) != 0 || token.size() == 5) {
        AfxSubset::print("File dialog refused " + token + ": answer file:<path> or cancel\n");
        AfxSubset::logUnanswered(prompt + ": " + token + " refused");
        return IDCANCEL;
    }
    const std::string path = token.substr(5);
    // A file to open must be a regular file that can be read: a folder, a
    // FIFO or a device is refused here, naming which, before any road reads.
    std::string problem;
    if (m_open && (m_flags & OFN_FILEMUSTEXIST) && !Platform::isRegularFile(path, &problem)) {
        AfxSubset::print("File " + problem + ": " + path + "; the file dialog is cancelled\n");
        return IDCANCEL;
    }
    m_path = CString(Platform::wideFileName(path));
    return IDOK;
}
