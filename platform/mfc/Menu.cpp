#include "platform/mfc/Menu.h"

#include "platform/mfc/AnswerSource.h"
#include "platform/mfc/Resources.h"

#include <map>
#include <memory>
#include <vector>

namespace {

struct MenuItem {
    UINT id = 0; // 0 for separators and pop-ups
    std::wstring text;
    UINT state = 0; // MF_GRAYED | MF_DISABLED
    bool separator = false;
    HMENU popup = nullptr;
};

struct MenuRecord {
    std::vector<MenuItem> items;
    std::unique_ptr<CMenu> object; // what FromHandle answers
};

struct MenuRegistry {
    std::uintptr_t lastHandle = 0;
    std::map<HMENU, MenuRecord> menus;
};

// Never destroyed: plug-in globals destroy their menus at exit.
MenuRegistry& registry()
{
    static auto* r = new MenuRegistry;
    return *r;
}

MenuRecord* find(HMENU menu)
{
    auto& menus = registry().menus;
    auto it = menus.find(menu);
    return it == menus.end() ? nullptr : &it->second;
}

HMENU newMenu()
{
    MenuRegistry& r = registry();
    HMENU handle = reinterpret_cast<HMENU>(++r.lastHandle * 16);
    MenuRecord& record = r.menus[handle];
    record.object = std::make_unique<CMenu>();
    record.object->m_hMenu = handle;
    return handle;
}

void destroyMenu(HMENU menu)
{
    MenuRecord* record = find(menu);
    if (!record)
        return;
    std::vector<HMENU> popups;
    for (const MenuItem& item : record->items)
        if (item.popup)
            popups.push_back(item.popup);
    // The object the registry handed out must not destroy the menu again.
    record->object->m_hMenu = nullptr;
    registry().menus.erase(menu);
    for (HMENU popup : popups)
        destroyMenu(popup);
}

HMENU buildMenu(const std::vector<AfxSubset::MenuItemResource>& items)
{
    HMENU menu = newMenu();
    for (const auto& resource : items) {
        MenuItem item;
        item.text = resource.text;
        item.separator = resource.kind == AfxSubset::MenuItemResource::separator;
        if (resource.kind == AfxSubset::MenuItemResource::popup)
            item.popup = buildMenu(resource.items);
        else if (!item.separator)
            item.id = resource.id;
        find(menu)->items.push_back(item);
    }
    return menu;
}

// The item an (item, flags) pair names: by position in this menu, or the
// first command of that id in the menu tree.
MenuItem* findItem(HMENU menu, UINT item, UINT flags, HMENU* holder = nullptr)
{
    MenuRecord* record = find(menu);
    if (!record)
        return nullptr;
    if (flags & MF_BYPOSITION) {
        if (item >= record->items.size())
            return nullptr;
        if (holder)
            *holder = menu;
        return &record->items[item];
    }
    for (MenuItem& candidate : record->items) {
        if (!candidate.popup && !candidate.separator && candidate.id == item) {
            if (holder)
                *holder = menu;
            return &candidate;
        }
        if (candidate.popup)
            if (MenuItem* inner = findItem(candidate.popup, item, flags, holder))
                return inner;
    }
    return nullptr;
}

void enabledCommands(HMENU menu, std::vector<UINT>& ids)
{
    MenuRecord* record = find(menu);
    if (!record)
        return;
    for (const MenuItem& item : record->items) {
        if (item.state & (MF_GRAYED | MF_DISABLED))
            continue;
        if (item.popup)
            enabledCommands(item.popup, ids);
        else if (!item.separator)
            ids.push_back(item.id);
    }
}

} // namespace

CMenu::~CMenu()
{
    if (m_ownsMenu)
        DestroyMenu();
}

CMenu* CMenu::FromHandle(HMENU menu)
{
    MenuRecord* record = find(menu);
    return record ? record->object.get() : nullptr;
}

BOOL CMenu::CreateMenu()
{
    if (m_hMenu)
        return FALSE;
    m_hMenu = newMenu();
    m_ownsMenu = true;
    return TRUE;
}

BOOL CMenu::CreatePopupMenu()
{
    return CreateMenu();
}

BOOL CMenu::LoadMenu(UINT resourceId)
{
    const AfxSubset::MenuResource* resource = AfxSubset::findMenuResource(resourceId);
    if (m_hMenu || !resource)
        return FALSE;
    m_hMenu = buildMenu(resource->items);
    m_ownsMenu = true;
    return TRUE;
}

BOOL CMenu::Attach(HMENU menu)
{
    if (m_hMenu || !find(menu))
        return FALSE;
    m_hMenu = menu;
    m_ownsMenu = true;
    return TRUE;
}

HMENU CMenu::Detach()
{
    HMENU menu = m_hMenu;
    m_hMenu = nullptr;
    m_ownsMenu = false;
    return menu;
}

BOOL CMenu::DestroyMenu()
{
    HMENU menu = m_hMenu;
    m_hMenu = nullptr;
    m_ownsMenu = false;
    if (!find(menu))
        return FALSE;
    destroyMenu(menu);
    return TRUE;
}

CMenu* CMenu::GetSubMenu(int position) const
{
    MenuRecord* record = find(m_hMenu);
    if (!record || position < 0 || position >= static_cast<int>(record->items.size()))
        return nullptr;
    return FromHandle(record->items[static_cast<std::size_t>(position)].popup);
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR idOrPopup, const wchar_t* text)
{
    MenuItem item;
    item.text = text ? text : L"";
    item.state = flags & (MF_GRAYED | MF_DISABLED);
    item.separator = (flags & MF_SEPARATOR) != 0;
    if (flags & MF_POPUP) {
        item.popup = reinterpret_cast<HMENU>(idOrPopup);
        if (!find(item.popup) || item.popup == m_hMenu) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
    } else if (!item.separator) {
        item.id = static_cast<UINT>(idOrPopup);
    }
    MenuRecord* record = find(m_hMenu);
    if (!record) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    record->items.push_back(item);
    return TRUE;
}

int CMenu::GetMenuItemCount() const
{
    MenuRecord* record = find(m_hMenu);
    return record ? static_cast<int>(record->items.size()) : -1;
}

UINT CMenu::GetMenuItemID(int position) const
{
    MenuItem* item =
        position < 0 ? nullptr : findItem(m_hMenu, static_cast<UINT>(position), MF_BYPOSITION);
    return !item || item->popup ? static_cast<UINT>(-1) : item->id;
}

int CMenu::GetMenuString(UINT item, CString& text, UINT flags) const
{
    MenuItem* found = findItem(m_hMenu, item, flags);
    text = found ? CString(found->text) : CString();
    return text.GetLength();
}

UINT CMenu::GetMenuState(UINT item, UINT flags) const
{
    MenuItem* found = findItem(m_hMenu, item, flags);
    if (!found)
        return static_cast<UINT>(-1);
    return found->state | (found->separator ? MF_SEPARATOR : 0) | (found->popup ? MF_POPUP : 0);
}

BOOL CMenu::RemoveMenu(UINT item, UINT flags)
{
    HMENU holder = nullptr;
    MenuItem* found = findItem(m_hMenu, item, flags, &holder);
    if (!found)
        return FALSE;
    auto& items = find(holder)->items;
    items.erase(items.begin() + (found - items.data()));
    return TRUE;
}

UINT CMenu::EnableMenuItem(UINT item, UINT enable)
{
    MenuItem* found = findItem(m_hMenu, item, enable);
    if (!found)
        return static_cast<UINT>(-1);
    const UINT previous = found->state;
    found->state = enable & (MF_GRAYED | MF_DISABLED);
    return previous;
}

BOOL CMenu::TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, const RECT*)
{
    std::vector<UINT> ids;
    enabledCommands(m_hMenu, ids);
    std::string line =
        "[context menu] at " + std::to_string(x) + "," + std::to_string(y) + ", enabled:";
    for (UINT id : ids)
        line.append(" ").append(std::to_string(id));
    const std::string* next = AfxSubset::peekAnswer();
    if (!next || next->rfind("menu:", 0) != 0) {
        AfxSubset::print(line + " -> dismissed\n");
        return 0;
    }
    const std::string answer = *next;
    AfxSubset::dropAnswer();
    UINT chosen = 0;
    for (UINT id : ids)
        if (answer == "menu:" + std::to_string(id))
            chosen = id;
    if (chosen == 0) {
        AfxSubset::print(line + " -> " + answer + " is no enabled item; dismissed\n");
        AfxSubset::logUnanswered("context menu: " + answer + " is no enabled item");
        return 0;
    }
    AfxSubset::print(line + " -> " + std::to_string(chosen) + "\n");
    if (owner && !(flags & (TPM_RETURNCMD | TPM_NONOTIFY)))
        owner->PostMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(chosen), 0), 0);
    return static_cast<BOOL>(chosen);
}
