// Icon indexes of items, from the application's system icon list.
#include "foldertree/SystemControlPack.h"
#include "platform/icons/SystemIconList.h"

namespace shell = platform::shell;

namespace {

constexpr unsigned kOpenIcon = 0x0002; // SHGFI_OPENICON

platform::ShellIconKind KindOf(shell::IconSource source)
{
    switch (source) {
    case shell::IconSource::Desktop:
        return platform::ShellIconKind::Desktop;
    case shell::IconSource::Computer:
        return platform::ShellIconKind::Computer;
    case shell::IconSource::Drive:
        return platform::ShellIconKind::Drive;
    case shell::IconSource::RemovableDrive:
        return platform::ShellIconKind::RemovableDrive;
    case shell::IconSource::NetworkDrive:
        return platform::ShellIconKind::NetworkDrive;
    case shell::IconSource::Home:
        return platform::ShellIconKind::Home;
    case shell::IconSource::Trash:
        return platform::ShellIconKind::Trash;
    case shell::IconSource::Path:
        break;
    }
    return platform::ShellIconKind::Folder;
}

} // namespace

int GetItemIconIndex(PCIdList absoluteIdList, unsigned flags)
{
    shell::ItemIcon icon;
    if (!shell::GetItemIconSource(absoluteIdList, icon))
        return -1;
    auto& list = platform::SystemIconList::Instance();
    if (icon.source == shell::IconSource::Path)
        return list.IndexForPath(icon.path, (flags & kOpenIcon) != 0, icon.isFolder);
    return list.IndexForKind(KindOf(icon.source));
}

std::pair<int, int> GetItemIcons(PCIdList absoluteIdList)
{
    const int normal = GetItemIconIndex(absoluteIdList, 0x4009);
    int open = GetItemIconIndex(absoluteIdList, 0x400B);
    if (open == 0 && normal != 0)
        open = normal;
    return {normal, open};
}
