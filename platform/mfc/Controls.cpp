#include "platform/mfc/Controls.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct ControlState {
    int check = BST_UNCHECKED;
    std::vector<std::wstring> entries;
    int selection = CB_ERR;
    int lower = 0;
    int upper = 100;
    int position = 0;
};

LRESULT comboMessage(ControlState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    const int count = static_cast<int>(s.entries.size());
    const int index = static_cast<int>(static_cast<std::intptr_t>(wParam));
    switch (message) {
    case CB_ADDSTRING:
        s.entries.emplace_back(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"");
        return count;
    case CB_GETCOUNT:
        return count;
    case CB_GETCURSEL:
        return s.selection;
    case CB_SETCURSEL:
        s.selection = index >= 0 && index < count ? index : CB_ERR;
        return index == -1 ? CB_ERR : s.selection;
    case CB_GETLBTEXTLEN:
        return index >= 0 && index < count
                   ? static_cast<LRESULT>(s.entries[static_cast<std::size_t>(index)].size())
                   : CB_ERR;
    case CB_GETLBTEXT: {
        // lParam is a buffer of CB_GETLBTEXTLEN + 1 characters.
        if (index < 0 || index >= count || !lParam)
            return CB_ERR;
        const std::wstring& entry = s.entries[static_cast<std::size_t>(index)];
        auto* out = reinterpret_cast<wchar_t*>(lParam);
        std::copy(entry.begin(), entry.end(), out);
        out[entry.size()] = L'\0';
        return static_cast<LRESULT>(entry.size());
    }
    case CB_RESETCONTENT:
        s.entries.clear();
        s.selection = CB_ERR;
        return 0;
    default:
        return 0;
    }
}

LRESULT progressMessage(ControlState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case PBM_SETRANGE32: {
        const int previous = (s.lower & 0xFFFF) | (s.upper << 16);
        s.lower = static_cast<int>(wParam);
        s.upper = static_cast<int>(lParam);
        s.position = std::clamp(s.position, std::min(s.lower, s.upper), std::max(s.lower, s.upper));
        return previous;
    }
    case PBM_GETRANGE:
        return wParam ? s.lower : s.upper;
    case PBM_SETPOS: {
        const int previous = s.position;
        s.position = std::clamp(static_cast<int>(wParam), std::min(s.lower, s.upper),
                                std::max(s.lower, s.upper));
        return previous;
    }
    case PBM_GETPOS:
        return s.position;
    default:
        return 0;
    }
}

} // namespace

namespace AfxSubset {

Win32Subset::WindowProcedure controlProcedure(ControlResource::Kind kind)
{
    auto state = std::make_shared<ControlState>();
    return [state, kind](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        switch (kind) {
        case ControlResource::checkBox:
        case ControlResource::radioButton:
            if (message == BM_GETCHECK)
                return state->check;
            if (message == BM_SETCHECK)
                state->check = wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
            return 0;
        case ControlResource::comboBox:
            return comboMessage(*state, message, wParam, lParam);
        case ControlResource::progressBar:
            return progressMessage(*state, message, wParam, lParam);
        default:
            return 0;
        }
    };
}

} // namespace AfxSubset

int CButton::GetCheck() const
{
    return static_cast<int>(SendMessageW(m_hWnd, BM_GETCHECK, 0, 0));
}

void CButton::SetCheck(int check)
{
    SendMessageW(m_hWnd, BM_SETCHECK, static_cast<WPARAM>(check), 0);
}

int CComboBox::AddString(const wchar_t* text)
{
    if (!IsWindow(m_hWnd))
        return CB_ERR;
    return static_cast<int>(SendMessageW(m_hWnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

int CComboBox::GetCount() const
{
    return static_cast<int>(SendMessageW(m_hWnd, CB_GETCOUNT, 0, 0));
}

int CComboBox::GetCurSel() const
{
    return IsWindow(m_hWnd) ? static_cast<int>(SendMessageW(m_hWnd, CB_GETCURSEL, 0, 0)) : CB_ERR;
}

int CComboBox::SetCurSel(int index)
{
    return static_cast<int>(SendMessageW(m_hWnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0));
}

int CComboBox::GetLBText(int index, CString& text) const
{
    text = CString();
    LRESULT length = SendMessageW(m_hWnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (!IsWindow(m_hWnd) || length < 0)
        return CB_ERR;
    std::wstring entry(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(m_hWnd, CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(entry.data()));
    entry.resize(static_cast<std::size_t>(length));
    text = CString(entry);
    return static_cast<int>(length);
}

void CComboBox::ResetContent()
{
    SendMessageW(m_hWnd, CB_RESETCONTENT, 0, 0);
}

void CProgressCtrl::SetRange32(int lower, int upper)
{
    SendMessageW(m_hWnd, PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
}

void CProgressCtrl::GetRange(int& lower, int& upper) const
{
    lower = static_cast<int>(SendMessageW(m_hWnd, PBM_GETRANGE, TRUE, 0));
    upper = static_cast<int>(SendMessageW(m_hWnd, PBM_GETRANGE, FALSE, 0));
}

int CProgressCtrl::SetPos(int position)
{
    return static_cast<int>(SendMessageW(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(position), 0));
}

int CProgressCtrl::GetPos() const
{
    return static_cast<int>(SendMessageW(m_hWnd, PBM_GETPOS, 0, 0));
}
