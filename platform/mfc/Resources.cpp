#include "platform/mfc/Resources.h"

#include <map>

namespace {

struct ResourceRegistry {
    std::map<UINT, AfxSubset::MenuResource> menus;
    std::map<UINT, AfxSubset::DialogResource> dialogs;
};

// Never destroyed: plug-in globals load menus and dialogs until they die.
ResourceRegistry& registry()
{
    static auto* r = new ResourceRegistry;
    return *r;
}

} // namespace

namespace AfxSubset {

void registerResources(const std::vector<MenuResource>& menus,
                       const std::vector<DialogResource>& dialogs)
{
    for (const MenuResource& menu : menus)
        registry().menus[menu.id] = menu;
    for (const DialogResource& dialog : dialogs)
        registry().dialogs[dialog.id] = dialog;
}

const MenuResource* findMenuResource(UINT id)
{
    auto it = registry().menus.find(id);
    return it == registry().menus.end() ? nullptr : &it->second;
}

const DialogResource* findDialogResource(UINT id)
{
    auto it = registry().dialogs.find(id);
    return it == registry().dialogs.end() ? nullptr : &it->second;
}

} // namespace AfxSubset
