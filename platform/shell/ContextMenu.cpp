#include "platform/shell/ContextMenu.h"

#include <algorithm>
#include <utility>

namespace platform::shell {
namespace {

ContextMenuFactory& Factory()
{
    static ContextMenuFactory factory;
    return factory;
}

} // namespace

void PopupMenu::Insert(std::size_t index, PopupMenuItem item)
{
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(std::min(index, items_.size())), std::move(item));
}

std::int64_t PopupMenu::DefaultItem() const
{
    for (const PopupMenuItem& item : items_)
        if (item.isDefault && item.id != 0 && !item.separator)
            return item.id;
    return -1;
}

const PopupMenuItem* PopupMenu::FindCommand(std::uint32_t id) const
{
    for (const PopupMenuItem& item : items_) {
        if (item.submenu) {
            if (const PopupMenuItem* found = item.submenu->FindCommand(id))
                return found;
        } else if (!item.separator && item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

void SetContextMenuFactory(ContextMenuFactory factory)
{
    Factory() = std::move(factory);
}

HResult ShellFolder::GetUIObjectOf(QWidget*, std::span<const PCIdList> items, std::unique_ptr<ContextMenu>& out)
{
    out.reset();
    std::vector<ContextMenuItem> described;
    if (items.empty()) {
        static const std::uint8_t kSelf[2] = {0, 0};
        ContextMenuItem self;
        if (const HResult hr = GetDisplayNameOf(kSelf, SHGDN_FORPARSING, self.parsingName); Failed(hr))
            return hr;
        if (!self.parsingName.empty() && self.parsingName[0] == '/')
            self.path = self.parsingName;
        self.attributes = SFGAO_FOLDER | (self.path.empty() ? 0 : SFGAO_FILESYSTEM | SFGAO_HASPROPSHEET);
        described.push_back(std::move(self));
        return CreateContextMenu(std::move(described), true, out);
    }
    for (PCIdList item : items) {
        if (!item)
            return E_INVALIDARG;
        ContextMenuItem one;
        if (const HResult hr = GetDisplayNameOf(item, SHGDN_FORPARSING, one.parsingName); Failed(hr))
            return hr;
        if (!one.parsingName.empty() && one.parsingName[0] == '/')
            one.path = one.parsingName;
        one.attributes = ~SFGAO_VALIDATE;
        if (const HResult hr = GetAttributesOf(std::span<const PCIdList>(&item, 1), one.attributes); Failed(hr)) {
            // The folder itself (the empty list, as the tree's root is), where it
            // cannot tell its own attributes.
            if (!IsEmptyList(item))
                return hr;
            one.attributes = SFGAO_FOLDER | (one.path.empty() ? 0 : SFGAO_FILESYSTEM | SFGAO_HASPROPSHEET);
        }
        described.push_back(std::move(one));
    }
    return CreateContextMenu(std::move(described), false, out);
}

HResult CreateContextMenu(std::vector<ContextMenuItem> items, bool background, std::unique_ptr<ContextMenu>& out)
{
    out.reset();
    if (!Factory())
        return E_NOTIMPL;
    out = Factory()(std::move(items), background);
    return out ? S_OK : E_FAIL;
}

} // namespace platform::shell
