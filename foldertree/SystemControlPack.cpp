#include "foldertree/SystemControlPack.h"

#include <atomic>
#include <optional>
#include <span>

#include "platform/shell/CallNearMount.h"
#include "platform/shell/NetworkMounts.h"

namespace shell = platform::shell;

namespace {

std::atomic<long> gFolderItemDataCount{0};

constexpr int kRootCsidl[] = {
    shell::CSIDL_DESKTOP,   shell::CSIDL_BITBUCKET, shell::CSIDL_CONTROLS,  shell::CSIDL_DESKTOPDIRECTORY,
    shell::CSIDL_DRIVES,    shell::CSIDL_FAVORITES, shell::CSIDL_FONTS,     shell::CSIDL_NETWORK,
    shell::CSIDL_NETHOOD,   shell::CSIDL_PERSONAL,  shell::CSIDL_PRINTERS,  shell::CSIDL_PROGRAMS,
    shell::CSIDL_RECENT,    shell::CSIDL_SENDTO,    shell::CSIDL_STARTMENU, shell::CSIDL_STARTUP,
    shell::CSIDL_TEMPLATES, shell::CSIDL_DRIVES,
};

} // namespace

int RootFolderCsidl(TRootFolder root)
{
    if (root < rfDesktop || root >= rfCustom)
        return -1;
    return kRootCsidl[root];
}

TFolderItemData::TFolderItemData()
{
    ++gFolderItemDataCount;
}

TFolderItemData::~TFolderItemData()
{
    --gFolderItemDataCount;
}

long FolderItemDataCount()
{
    return gFolderItemDataCount.load();
}

void CheckFolderItemDataLeaks()
{
    if (FolderItemDataCount() > 0)
        throw ELeaking("Memory Leak Detected.  Not all folder data was freed.");
}

int TFolderNode::Level() const
{
    int level = 0;
    for (const TFolderNode* p = Parent; p; p = p->Parent)
        ++level;
    return level;
}

void TFolderNode::RenumberChildren(std::size_t from)
{
    for (std::size_t i = from; i < Children.size(); ++i)
        Children[i]->Row = static_cast<int>(i);
}

TFolderTreeBase::TFolderTreeBase()
{
    const shell::HResult hr = shell::GetDesktopFolder(desktopFolder_);
    if (shell::Failed(hr) || !desktopFolder_)
        throw std::runtime_error(shell::ResultMessage(hr));
}

std::string GetItemDisplayName(const ShellFolderPtr& folder, PCIdList relativeIdList, int kind)
{
    if (!folder || !relativeIdList)
        return {};
    const std::uint32_t flags = kind == gdnInFolder     ? shell::SHGDN_INFOLDER
                                : kind == gdnForParsing ? shell::SHGDN_FORPARSING
                                                        : shell::SHGDN_NORMAL;
    std::string name;
    if (shell::Failed(folder->GetDisplayNameOf(relativeIdList, flags, name)))
        return {};
    return name;
}

bool ParsePath(const ShellFolderPtr& folder, std::string_view path, IdList& out)
{
    out.Reset();
    if (!folder)
        return false;
    try {
        IdList parsed;
        if (shell::Failed(folder->ParseDisplayName(path, parsed)) || !parsed)
            return false;
        out = std::move(parsed);
        return true;
    } catch (...) {
        return false;
    }
}

std::string GetItemPath(PCIdList absoluteIdList)
{
    std::string path;
    if (!shell::GetPathFromIdList(absoluteIdList, path))
        return {};
    return path;
}

bool GetRootIdList(const TFolderTreeBase& tree, TRootFolder rootFolder, const std::string& customDir, IdList& out)
{
    out.Reset();
    if (rootFolder == rfCustom)
        return ParsePath(tree.DesktopFolder(), customDir, out);
    return shell::Succeeded(shell::GetSpecialFolderLocation(RootFolderCsidl(rootFolder), out)) && out;
}

ShellFolderPtr BindItemFolder(const TFolderTreeBase& tree, const TFolderNode& node)
{
    if (!node.Parent && tree.RootFolder() == rfDesktop)
        return tree.DesktopFolder();
    const TFolderItemData* data = node.Data.get();
    if (!data || !data->ParentFolder)
        throw EFolderBind(shell::ResultMessage(shell::E_INVALIDARG));
    ShellFolderPtr folder;
    const shell::HResult hr = data->ParentFolder->BindToObject(data->RelativeIdList.Get(), folder);
    if (shell::Failed(hr) || !folder)
        throw EFolderBind(shell::ResultMessage(shell::Failed(hr) ? hr : shell::E_FAIL));
    return folder;
}

std::uint32_t EnumerationFlags(const TFolderTreeBase& tree)
{
    std::uint32_t flags = shell::SHCONTF_FOLDERS;
    if (tree.ShowHiddenDirs())
        flags |= shell::SHCONTF_INCLUDEHIDDEN;
    if (tree.ShowFiles())
        flags |= shell::SHCONTF_NONFOLDERS;
    return flags;
}

namespace {

void AddChild(TFolderTreeBase& tree, const ShellFolderPtr& folder, TFolderNode* parentNode, IdList& relative)
{
    const PCIdList parentAbsolute =
        parentNode && parentNode->Data ? parentNode->Data->AbsoluteIdList.Get() : nullptr;
    IdList absolute = ConcatIdLists(parentAbsolute, relative.Get());
    tree.AddNode(folder, absolute, parentNode, relative);
    // Lists the new node did not take over go back to the allocator here.
    relative.Reset();
}

} // namespace

bool EnumerateChildren(TFolderTreeBase& tree, const ShellFolderPtr& folder, TFolderNode* parentNode)
{
    if (!folder)
        return false;
    std::unique_ptr<shell::EnumIdList> items;
    if (shell::Failed(folder->EnumObjects(EnumerationFlags(tree), items)) || !items)
        return false;
    bool any = false;
    IdList relative;
    while (items->Next(relative) == shell::S_OK) {
        any = true;
        AddChild(tree, folder, parentNode, relative);
    }
    return any;
}

bool AddChildren(TFolderTreeBase& tree, const ShellFolderPtr& folder, TFolderNode* parentNode,
                 std::vector<IdList>& items)
{
    if (!folder)
        return false;
    for (IdList& relative : items)
        AddChild(tree, folder, parentNode, relative);
    return !items.empty();
}

bool MakeFolderItem(const TFolderTreeBase& tree, const ShellFolderPtr& folder, IdList& absoluteIdList,
                    TFolderNode* parentNode, IdList& relativeIdList, TFolderItemInfo& out)
{
    if (!folder)
        return false;
    std::uint32_t validate = shell::SFGAO_VALIDATE;
    folder->GetAttributesOf({}, validate);

    out = TFolderItemInfo{};
    out.Name = GetItemDisplayName(folder, relativeIdList.Get(), gdnNormal);
    if (!parentNode && tree.RootFolder() == rfCustom && !tree.CustomDirCaption().empty())
        out.Name = tree.CustomDirCaption();

    std::uint32_t attributes = kFolderItemAttributeMask;
    const PCIdList item = relativeIdList.Get();
    if (shell::Failed(folder->GetAttributesOf(std::span<const PCIdList>(&item, 1), attributes)))
        attributes = 0;

    if (tree.RootFolder() == rfFileSystem &&
        !(attributes & (shell::SFGAO_FILESYSTEM | shell::SFGAO_FILESYSANCESTOR)))
        return false;

    if (!tree.FileMask().empty() && !(attributes & shell::SFGAO_FOLDER)) {
        std::string path;
        if (shell::GetPathFromIdList(absoluteIdList.Get(), path) && !MatchesMaskList(path, &tree.MaskList()))
            return false;
    }

    out.Data = std::make_unique<TFolderItemData>();
    out.Data->ParentFolder = folder;
    out.Data->Attributes = attributes;
    out.Data->RelativeIdList = std::move(relativeIdList);
    out.Data->AbsoluteIdList = std::move(absoluteIdList);

    if (attributes & shell::SFGAO_SHARE)
        out.Overlay = 0;
    if (attributes & shell::SFGAO_LINK)
        out.Overlay = 1;

    out.HasButton = (attributes & shell::SFGAO_HASSUBFOLDER) != 0;
    if (tree.ShowFiles() && !out.HasButton) {
        // A folder without subfolders still opens when it has files to show. Being
        // able to list them is taken as having some; the first expansion removes a
        // button that leads to nothing.
        ShellFolderPtr bound;
        if (folder->BindToObject(out.Data->RelativeIdList.Get(), bound) == shell::S_OK && bound) {
            std::uint32_t flags = shell::SHCONTF_NONFOLDERS;
            if (tree.ShowHiddenDirs())
                flags |= shell::SHCONTF_INCLUDEHIDDEN;
            std::unique_ptr<shell::EnumIdList> files;
            if (shell::Succeeded(bound->EnumObjects(flags, files)) && files)
                out.HasButton = true;
        }
    }
    return true;
}

int CompareFolderItems(const TFolderNode* a, const TFolderNode* b)
{
    if (a == b)
        return 0;
    if (!a)
        return -1;
    if (!b)
        return 1;
    if (!a->Data || !b->Data || !a->Data->ParentFolder)
        return 0;
    const shell::HResult hr =
        a->Data->ParentFolder->CompareIDs(0, a->Data->RelativeIdList.Get(), b->Data->RelativeIdList.Get());
    // The answer sits in the low bits of the result: 0xFFFF, 0 or 1.
    return static_cast<std::int8_t>(hr & 0xFF);
}

bool RenameItem(TFolderItemData* record, std::string_view newName, const TFolderItemData* parentRecord,
                std::string* errorMessage, std::chrono::milliseconds networkWait)
{
    if (newName.empty() || !record || !record->ParentFolder) {
        if (errorMessage)
            *errorMessage = shell::ResultMessage(shell::E_INVALIDARG);
        return false;
    }
    IdList renamed;
    shell::HResult hr = shell::E_FAIL;
    const std::string path = GetItemPath(record->AbsoluteIdList.Get());
    if ((record->Attributes & shell::SFGAO_ISSLOW) || shell::NetworkMountOf(path)) {
        // The server may be gone: the rename is asked for on the mount's queue, with
        // folder objects of its own, and waited for only so long.
        std::string silentMount;
        auto answer = shell::CallNearMount(
            path,
            [item = CopyIdList(record->AbsoluteIdList.Get()), name = std::string(newName)] {
                ShellFolderPtr desktop;
                IdList renamedItem;
                shell::HResult result = shell::GetDesktopFolder(desktop);
                if (shell::Succeeded(result))
                    result = desktop->SetNameOf(item.Get(), name, 0x20, &renamedItem);
                return std::make_pair(result, std::move(renamedItem));
            },
            networkWait, silentMount);
        if (!answer) {
            if (errorMessage)
                *errorMessage = silentMount + " does not answer";
            return false;
        }
        hr = answer->first;
        // The answer names the item from the desktop down; the record keeps its last level.
        if (shell::Succeeded(hr) && answer->second)
            renamed = CopyIdList(shell::LastItem(answer->second.Get()));
    } else {
        hr = record->ParentFolder->SetNameOf(record->RelativeIdList.Get(), newName, 0x20, &renamed);
    }
    if (shell::Failed(hr) || !renamed) {
        if (errorMessage)
            *errorMessage = shell::ResultMessage(shell::Failed(hr) ? hr : shell::E_FAIL);
        return false;
    }
    IdList absolute = parentRecord && parentRecord->AbsoluteIdList
                          ? ConcatIdLists(parentRecord->AbsoluteIdList.Get(), renamed.Get())
                          : CopyIdList(renamed.Get());
    if (!absolute)
        return false;
    record->RelativeIdList = std::move(renamed);
    record->AbsoluteIdList = std::move(absolute);
    return true;
}
