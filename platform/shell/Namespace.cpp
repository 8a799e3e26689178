// The folders of the namespace: the desktop, Computer, file-system folders and Trash.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/shell/EntryAttributes.h"
#include "platform/shell/FsAccess.h"
#include "platform/shell/NameOrder.h"
#include "platform/shell/NetworkMounts.h"
#include "platform/shell/ParentSteps.h"
#include "platform/shell/ShellFolder.h"
#include "platform/shell/Volumes.h"

namespace platform::shell {
namespace {

constexpr std::uint32_t kMoveRights = SFGAO_CANMOVE | SFGAO_CANRENAME | SFGAO_CANDELETE;
constexpr std::uint32_t kFacilityErrno = 0x07FF;

HResult CompareResult(int c)
{
    return c < 0 ? static_cast<HResult>(0xFFFF) : (c > 0 ? 1 : 0);
}

// Splits "a/b//c/", a path below the folder `base`, into its parts, dropping "."
// and taking ".." as the file system does (after a symbolic link: the parent of its
// target). False when ".." would leave the folder, and for a zero byte, which no name
// holds (the system would read the path only up to it, and parse another one).
bool SplitRelative(std::string_view base, std::string_view path, std::vector<std::string>& parts)
{
    if (path.find('\0') != std::string_view::npos)
        return false;
    std::string resolved;
    if (fs::HasParentStep(path)) {
        if (fs::ResolveParentSteps(fs::JoinPath(base, path), resolved) != 0)
            return false;
        const std::string_view below = base == "/" ? std::string_view() : base;
        if (resolved.compare(0, below.size(), below) != 0 ||
            (resolved.size() > below.size() && resolved[below.size()] != '/'))
            return false;
        path = std::string_view(resolved).substr(below.size());
    }
    std::size_t pos = 0;
    for (std::string_view part = fs::NextName(path, pos); !part.empty(); part = fs::NextName(path, pos))
        if (part != ".")
            parts.emplace_back(part);
    return true;
}

// --- enumerators ---------------------------------------------------------------------

class ListEnum : public EnumIdList {
public:
    explicit ListEnum(std::vector<IdList> items) : items_(std::move(items)) {}
    HResult Next(IdList& item) override
    {
        if (at_ >= items_.size())
            return S_FALSE;
        item = std::move(items_[at_++]);
        return S_OK;
    }

private:
    std::vector<IdList> items_;
    std::size_t at_ = 0;
};

class EntryEnum : public EnumIdList {
public:
    EntryEnum(UniqueDir dir, std::string path, std::uint32_t flags)
        : dir_(std::move(dir)), path_(std::move(path)), flags_(flags)
    {
    }

    HResult Next(IdList& item) override
    {
        while (const dirent* e = ::readdir(dir_.get())) {
            const std::string_view name = e->d_name;
            if (name == "." || name == "..")
                continue;
            if (name[0] == '.' && !(flags_ & SHCONTF_INCLUDEHIDDEN))
                continue;
            bool folder = e->d_type == DT_DIR;
            if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
                // What leads into a network mount from here is taken for a folder
                // unasked. Inside one, whoever reads the folder waits on it anyway.
                const NetworkReach reach = mounts_.Reach(path_, name);
                struct stat st {};
                folder = reach == NetworkReach::MountRoot || reach == NetworkReach::ThroughLink ||
                         (::fstatat(::dirfd(dir_.get()), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode));
            }
            if (folder ? !(flags_ & SHCONTF_FOLDERS) : !(flags_ & SHCONTF_NONFOLDERS))
                continue;
            item = MakeEntryItem(folder, name);
            if (!item)
                continue;
            return S_OK;
        }
        return S_FALSE;
    }

private:
    UniqueDir dir_;
    std::string path_;
    std::uint32_t flags_;
    MountProbe mounts_;
};

// Items first from a list, then from another enumerator, then from a second list.
class ChainEnum : public EnumIdList {
public:
    ChainEnum(std::vector<IdList> head, std::unique_ptr<EnumIdList> middle, std::vector<IdList> tail)
        : head_(std::move(head)), middle_(std::move(middle)), tail_(std::move(tail))
    {
    }
    HResult Next(IdList& item) override
    {
        if (head_.Next(item) == S_OK)
            return S_OK;
        if (middle_ && middle_->Next(item) == S_OK)
            return S_OK;
        middle_.reset();
        return tail_.Next(item);
    }

private:
    ListEnum head_;
    std::unique_ptr<EnumIdList> middle_;
    ListEnum tail_;
};

HResult OpenEntries(const std::string& path, std::uint32_t flags, std::unique_ptr<EnumIdList>& out)
{
    fs::UniqueFd fd;
    if (const int e = fs::OpenDirectory(path, fd))
        return ResultFromErrno(e);
    UniqueDir dir(::fdopendir(fd.Get()));
    if (!dir)
        return ResultFromErrno(errno);
    fd.Release(); // the stream owns it now
    out = std::make_unique<EntryEnum>(std::move(dir), path, flags);
    return S_OK;
}

// Whether the entry folderPath/name exists, and whether it is a folder (a symbolic
// link counts as what it leads to; one that leads nowhere is no folder). On a
// network mount nothing is asked: a level the path goes on through is a folder, and
// so is its last one, unless its name says it is a shortcut file.
bool ProbeEntry(MountProbe& mounts, const std::string& folderPath, std::string_view name, bool last, bool& isFolder)
{
    if (const NetworkReach reach = mounts.Reach(folderPath, name); reach != NetworkReach::None) {
        isFolder = reach != NetworkReach::Inside || !last || !IsShortcutFileName(name);
        return true;
    }
    const std::string path = fs::JoinPath(folderPath, name);
    struct stat st {};
    if (fs::Stat(path, st, true) == 0) {
        isFolder = S_ISDIR(st.st_mode);
        return true;
    }
    if (fs::Stat(path, st, false) == 0) {
        isFolder = false;
        return true;
    }
    return false;
}

// --- the common part of every folder ----------------------------------------------------

class FolderBase : public ShellFolder {
public:
    HResult BindToObject(PCIdList relative, ShellFolderPtr& out) override
    {
        out.reset();
        ItemView item;
        if (!DecodeItem(relative, item))
            return E_INVALIDARG;
        ShellFolderPtr child;
        if (const HResult hr = BindItem(item, child); Failed(hr))
            return hr;
        const PCIdList rest = SkipItem(relative);
        if (ItemSize(rest) == 0) {
            out = std::move(child);
            return S_OK;
        }
        return child->BindToObject(rest, out);
    }

    HResult GetAttributesOf(std::span<const PCIdList> items, std::uint32_t& inOut) override
    {
        if (items.empty()) {
            if (inOut & SFGAO_VALIDATE)
                Validate();
            return S_OK;
        }
        std::uint32_t all = inOut;
        for (PCIdList list : items) {
            std::uint32_t attrs = inOut;
            if (const HResult hr = AttributesOfOne(list, attrs); Failed(hr))
                return hr;
            all &= attrs;
        }
        inOut = all;
        return S_OK;
    }

    HResult GetDisplayNameOf(PCIdList relative, std::uint32_t flags, std::string& name) override
    {
        name.clear();
        if (IsEmptyList(relative))
            return OwnDisplayName(flags, name);
        ItemView item;
        if (!DecodeItem(relative, item))
            return E_INVALIDARG;
        if (ItemSize(SkipItem(relative)) == 0)
            return ItemDisplayName(item, flags, name);

        ShellFolderPtr parent;
        const std::size_t count = ItemCount(relative);
        if (const HResult hr = BindToObject(CopyItems(relative, count - 1).Get(), parent); Failed(hr))
            return hr;
        const PCIdList last = LastItem(relative);
        if (flags == SHGDN_NORMAL) {
            // Reached through several levels, a file-system item is named by its path.
            ItemView lastItem;
            if (DecodeItem(last, lastItem) && lastItem.IsFileSystemEntry() &&
                Succeeded(parent->GetDisplayNameOf(last, SHGDN_FORPARSING, name)))
                return S_OK;
        }
        return parent->GetDisplayNameOf(last, flags, name);
    }

    HResult CompareIDs(std::uint32_t column, PCIdList a, PCIdList b) override
    {
        if (!a || !b)
            return E_INVALIDARG;
        if (ItemSize(a) == 0 || ItemSize(b) == 0)
            return CompareResult(ItemSize(a) == 0 ? (ItemSize(b) == 0 ? 0 : -1) : 1);
        ItemView ia, ib;
        const bool okA = DecodeItem(a, ia), okB = DecodeItem(b, ib);
        if (!okA || !okB) {
            // Not ours: ordered after ours, by their bytes.
            if (okA != okB)
                return CompareResult(okA ? -1 : 1);
            const std::size_t la = ItemSize(a), lb = ItemSize(b);
            const int c = std::memcmp(a, b, std::min(la, lb));
            return CompareResult(c != 0 ? c : (la < lb ? -1 : (la > lb ? 1 : 0)));
        }
        if (const int c = CompareItems(ia, ib); c != 0)
            return CompareResult(c);
        const PCIdList ra = SkipItem(a), rb = SkipItem(b);
        if (ItemSize(ra) == 0 || ItemSize(rb) == 0)
            return CompareResult(ItemSize(ra) == 0 ? (ItemSize(rb) == 0 ? 0 : -1) : 1);
        ShellFolderPtr child;
        if (Failed(BindItem(ia, child)))
            return E_FAIL;
        return child->CompareIDs(column, ra, rb);
    }

    HResult SetNameOf(PCIdList relative, std::string_view newName, std::uint32_t flags, IdList* newItem) override
    {
        ItemView item;
        if (!DecodeItem(relative, item))
            return E_INVALIDARG;
        if (ItemSize(SkipItem(relative)) == 0)
            return RenameItem(item, newName, newItem);
        const std::size_t count = ItemCount(relative);
        IdList prefix = CopyItems(relative, count - 1);
        ShellFolderPtr parent;
        if (const HResult hr = BindToObject(prefix.Get(), parent); Failed(hr))
            return hr;
        IdList renamed;
        if (const HResult hr = parent->SetNameOf(LastItem(relative), newName, flags, &renamed); Failed(hr))
            return hr;
        if (newItem)
            *newItem = JoinLists(prefix.Get(), renamed.Get());
        return S_OK;
    }

protected:
    virtual HResult BindItem(const ItemView& item, ShellFolderPtr& out) = 0;
    virtual HResult ItemAttributes(const ItemView& item, std::uint32_t& inOut) = 0;
    virtual HResult ItemDisplayName(const ItemView& item, std::uint32_t flags, std::string& name) = 0;
    virtual int CompareItems(const ItemView& a, const ItemView& b) = 0;
    virtual HResult RenameItem(const ItemView&, std::string_view, IdList*) { return E_FAIL; }
    virtual HResult OwnDisplayName(std::uint32_t, std::string&) { return E_INVALIDARG; }
    virtual HResult OwnAttributes(std::uint32_t&) { return E_INVALIDARG; }
    virtual void Validate() {}

private:
    HResult AttributesOfOne(PCIdList list, std::uint32_t& inOut)
    {
        if (IsEmptyList(list))
            return OwnAttributes(inOut);
        ItemView item;
        if (!DecodeItem(list, item))
            return E_INVALIDARG;
        if (ItemSize(SkipItem(list)) == 0)
            return ItemAttributes(item, inOut);
        ShellFolderPtr parent;
        if (const HResult hr = BindToObject(CopyItems(list, ItemCount(list) - 1).Get(), parent); Failed(hr))
            return hr;
        const PCIdList last = LastItem(list);
        return parent->GetAttributesOf(std::span<const PCIdList>(&last, 1), inOut);
    }
};

// --- file-system folders ---------------------------------------------------------------

class FsFolder : public FolderBase {
public:
    explicit FsFolder(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }

    HResult ParseDisplayName(std::string_view name, IdList& out) override
    {
        out.Reset();
        std::string_view rest = name;
        if (!rest.empty() && rest[0] == '/') {
            // A full path inside this folder parses relative to it.
            const std::string_view base = path_ == "/" ? std::string_view() : std::string_view(path_);
            if (rest.substr(0, base.size()) != base || (rest.size() > base.size() && rest[base.size()] != '/'))
                return ResultFromErrno(ENOENT);
            rest.remove_prefix(base.size());
        }
        std::vector<std::string> parts;
        if (!SplitRelative(path_, rest, parts) || parts.empty())
            return E_INVALIDARG;
        IdList list = IdList::Allocate(2);
        std::string folder = path_;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            bool isFolder = false;
            if (!ProbeEntry(mounts_, folder, parts[i], i + 1 == parts.size(), isFolder))
                return ResultFromErrno(ENOENT);
            if (i + 1 < parts.size() && !isFolder)
                return ResultFromErrno(ENOTDIR);
            IdList item = MakeEntryItem(isFolder, parts[i]);
            if (!item)
                return E_INVALIDARG;
            list = JoinLists(list.Get(), item.Get());
            folder = fs::JoinPath(folder, parts[i]);
        }
        out = std::move(list);
        return S_OK;
    }

    HResult EnumObjects(std::uint32_t flags, std::unique_ptr<EnumIdList>& out) override
    {
        out.reset();
        return OpenEntries(path_, flags, out);
    }

    HResult EntryAttributesOf(std::string_view name, bool typeIsFolder, std::uint32_t& inOut)
    {
        std::uint32_t attrs = 0;
        if (const NetworkReach reach = mounts_.Reach(path_, name); reach != NetworkReach::None) {
            attrs = NetworkEntryAttributes(name, typeIsFolder || reach != NetworkReach::Inside,
                                           reach == NetworkReach::ThroughLink);
        } else if (!EntryAttributes(path_, name, rights_, inOut, attrs)) {
            // Gone or out of reach: what the item itself tells.
            attrs = SFGAO_FILESYSTEM | (typeIsFolder ? SFGAO_FOLDER | SFGAO_FILESYSANCESTOR : 0) |
                    (name[0] == '.' ? SFGAO_GHOSTED : 0);
        }
        inOut &= attrs;
        return S_OK;
    }

    HResult EntryRename(std::string_view oldName, bool isFolder, std::string_view newName, IdList* newItem)
    {
        if (!IsValidEntryName(newName))
            return E_INVALIDARG;
        if (newName != oldName) {
            if (const int e = fs::RenameNoReplace(path_, std::string(oldName), std::string(newName)))
                return ResultFromErrno(e);
        }
        if (newItem)
            *newItem = MakeEntryItem(isFolder, newName);
        return S_OK;
    }

protected:
    HResult BindItem(const ItemView& item, ShellFolderPtr& out) override
    {
        if (item.type != ItemType::Folder)
            return ResultFromErrno(ENOTDIR);
        out = std::make_shared<FsFolder>(fs::JoinPath(path_, item.text));
        return S_OK;
    }

    HResult ItemAttributes(const ItemView& item, std::uint32_t& inOut) override
    {
        if (!item.IsFileSystemEntry())
            return E_INVALIDARG;
        return EntryAttributesOf(item.text, item.type == ItemType::Folder, inOut);
    }

    HResult ItemDisplayName(const ItemView& item, std::uint32_t flags, std::string& name) override
    {
        if (!item.IsFileSystemEntry())
            return E_INVALIDARG;
        if ((flags & SHGDN_FORPARSING) && !(flags & SHGDN_INFOLDER))
            name = fs::JoinPath(path_, item.text);
        else
            name = std::string(item.text);
        return S_OK;
    }

    int CompareItems(const ItemView& a, const ItemView& b) override { return CompareEntries(a, b); }

    HResult RenameItem(const ItemView& item, std::string_view newName, IdList* newItem) override
    {
        if (!item.IsFileSystemEntry())
            return E_INVALIDARG;
        return EntryRename(item.text, item.type == ItemType::Folder, newName, newItem);
    }

    HResult OwnDisplayName(std::uint32_t flags, std::string& name) override
    {
        name = (flags & SHGDN_FORPARSING) ? path_ : std::string(fs::BaseName(path_));
        if (name.empty())
            name = path_;
        return S_OK;
    }

    // Asked before every item: the folder's rights are looked at again when they are
    // older than a moment, and read again only when the folder changed since.
    void Validate() override
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - validated_ > std::chrono::milliseconds(100)) {
            rights_.stale = true;
            mounts_.Forget();
            validated_ = now;
        }
    }

public:
    static int CompareEntries(const ItemView& a, const ItemView& b)
    {
        if (a.text == b.text)
            return 0;
        if (a.type != b.type && (a.type == ItemType::Folder || b.type == ItemType::Folder))
            return a.type == ItemType::Folder ? -1 : 1;
        return CompareNames(a.text, b.text);
    }

private:
    std::string path_;
    FolderRights rights_;
    MountProbe mounts_;
    std::chrono::steady_clock::time_point validated_{};
};

// --- Trash -------------------------------------------------------------------------------

class TrashFolder : public FolderBase {
public:
    HResult ParseDisplayName(std::string_view, IdList& out) override
    {
        out.Reset();
        return E_INVALIDARG;
    }
    HResult EnumObjects(std::uint32_t, std::unique_ptr<EnumIdList>& out) override
    {
        out = std::make_unique<ListEnum>(std::vector<IdList>{});
        return S_OK;
    }

protected:
    HResult BindItem(const ItemView&, ShellFolderPtr&) override { return E_INVALIDARG; }
    HResult ItemAttributes(const ItemView&, std::uint32_t&) override { return E_INVALIDARG; }
    HResult ItemDisplayName(const ItemView&, std::uint32_t, std::string&) override { return E_INVALIDARG; }
    int CompareItems(const ItemView&, const ItemView&) override { return 0; }
};

// --- Computer ------------------------------------------------------------------------------

class ComputerFolder : public FolderBase {
public:
    HResult ParseDisplayName(std::string_view name, IdList& out) override
    {
        out.Reset();
        if (name.empty() || name[0] != '/')
            return E_INVALIDARG;
        IdList root = MakeVolumeItem(kVolumeRoot, "/");
        std::vector<std::string> parts;
        if (!SplitRelative("/", name, parts))
            return E_INVALIDARG;
        if (parts.empty()) {
            out = std::move(root);
            return S_OK;
        }
        FsFolder fsRoot("/");
        IdList rest;
        if (const HResult hr = fsRoot.ParseDisplayName(name, rest); Failed(hr))
            return hr;
        out = JoinLists(root.Get(), rest.Get());
        return S_OK;
    }

    HResult EnumObjects(std::uint32_t flags, std::unique_ptr<EnumIdList>& out) override
    {
        std::vector<IdList> items;
        if (flags & SHCONTF_FOLDERS) {
            items.push_back(MakeVolumeItem(kVolumeRoot, "/"));
            for (const Volume& v : ReadVolumes()) {
                const std::uint8_t vflags = (v.Removable ? kVolumeRemovable : 0) | (v.Network ? kVolumeNetwork : 0);
                if (IdList item = MakeVolumeItem(vflags, v.MountPoint))
                    items.push_back(std::move(item));
            }
        }
        out = std::make_unique<ListEnum>(std::move(items));
        return S_OK;
    }

protected:
    HResult BindItem(const ItemView& item, ShellFolderPtr& out) override
    {
        if (item.type != ItemType::Volume)
            return E_INVALIDARG;
        out = std::make_shared<FsFolder>(std::string(item.text));
        return S_OK;
    }

    HResult ItemAttributes(const ItemView& item, std::uint32_t& inOut) override
    {
        if (item.type != ItemType::Volume)
            return E_INVALIDARG;
        const std::string mount(item.text);
        std::uint32_t attrs = 0;
        FolderRights none;
        none.known = true; // a volume is never renamed, moved or deleted from here
        const std::string parent(fs::ParentOf(mount));
        if ((item.flags & kVolumeNetwork) || MountProbe().Reach(mount) != NetworkReach::None)
            attrs = NetworkEntryAttributes(fs::BaseName(mount), true, false);
        else if (!EntryAttributes(parent.empty() ? "/" : parent, mount == "/" ? "." : fs::BaseName(mount), none,
                                  inOut & ~kMoveRights, attrs))
            attrs = SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER;
        attrs &= ~(kMoveRights | SFGAO_GHOSTED | SFGAO_LINK);
        attrs |= SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR;
        if (item.flags & kVolumeRemovable)
            attrs |= SFGAO_REMOVABLE;
        inOut &= attrs;
        return S_OK;
    }

    HResult ItemDisplayName(const ItemView& item, std::uint32_t flags, std::string& name) override
    {
        if (item.type != ItemType::Volume)
            return E_INVALIDARG;
        if ((flags & SHGDN_FORPARSING) || item.text == "/")
            name = std::string(item.text);
        else
            name = std::string(fs::BaseName(item.text));
        return S_OK;
    }

    int CompareItems(const ItemView& a, const ItemView& b) override
    {
        const bool ra = a.text == "/", rb = b.text == "/";
        if (ra || rb)
            return ra == rb ? 0 : (ra ? -1 : 1);
        if (const int c = CompareNames(fs::BaseName(a.text), fs::BaseName(b.text)); c != 0)
            return c;
        const int c = a.text.compare(b.text);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }

    HResult OwnDisplayName(std::uint32_t flags, std::string& name) override
    {
        name = (flags & SHGDN_FORPARSING) ? "::Computer" : "Computer";
        return S_OK;
    }
};

// --- the desktop ---------------------------------------------------------------------------

// No property sheet: the property window shows files and folders, and these have
// no path of their own.
constexpr std::uint32_t kComputerAttributes = SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR;
constexpr std::uint32_t kTrashAttributes = SFGAO_FOLDER;

class DesktopFolder : public FolderBase {
public:
    HResult ParseDisplayName(std::string_view name, IdList& out) override
    {
        out.Reset();
        if (name.empty())
            return E_INVALIDARG;
        if (name == "::Computer")
            return out = MakeDesktopItem(DesktopItem::Computer), S_OK;
        if (name == "::Home")
            return out = MakeDesktopItem(DesktopItem::Home), S_OK;
        if (name == "::Trash")
            return out = MakeDesktopItem(DesktopItem::Trash), S_OK;
        if (name[0] == '/') {
            ComputerFolder computer;
            IdList rest;
            if (const HResult hr = computer.ParseDisplayName(name, rest); Failed(hr))
                return hr;
            out = JoinLists(MakeDesktopItem(DesktopItem::Computer).Get(), rest.Get());
            return S_OK;
        }
        const std::string dir = DesktopDirectory();
        if (dir.empty())
            return ResultFromErrno(ENOENT);
        return FsFolder(dir).ParseDisplayName(name, out);
    }

    HResult EnumObjects(std::uint32_t flags, std::unique_ptr<EnumIdList>& out) override
    {
        std::vector<IdList> head, tail;
        if (flags & SHCONTF_FOLDERS) {
            head.push_back(MakeDesktopItem(DesktopItem::Computer));
            struct stat st {};
            const std::string home = HomeDirectory();
            if (!home.empty() && (MountProbe().Reach(home) != NetworkReach::None ||
                                  (fs::Stat(home, st, true) == 0 && S_ISDIR(st.st_mode))))
                head.push_back(MakeDesktopItem(DesktopItem::Home));
            tail.push_back(MakeDesktopItem(DesktopItem::Trash));
        }
        std::unique_ptr<EnumIdList> entries;
        const std::string dir = DesktopDirectory();
        if (!dir.empty() && Failed(OpenEntries(dir, flags, entries)))
            entries.reset();
        out = std::make_unique<ChainEnum>(std::move(head), std::move(entries), std::move(tail));
        return S_OK;
    }

protected:
    HResult BindItem(const ItemView& item, ShellFolderPtr& out) override
    {
        if (item.type == ItemType::DesktopItem) {
            switch (item.which) {
            case DesktopItem::Computer:
                out = std::make_shared<ComputerFolder>();
                return S_OK;
            case DesktopItem::Home: {
                const std::string home = HomeDirectory();
                if (home.empty())
                    return ResultFromErrno(ENOENT);
                out = std::make_shared<FsFolder>(home);
                return S_OK;
            }
            case DesktopItem::Trash:
                out = std::make_shared<TrashFolder>();
                return S_OK;
            }
            return E_INVALIDARG;
        }
        if (item.type == ItemType::Folder) {
            const std::string dir = DesktopDirectory();
            if (dir.empty())
                return ResultFromErrno(ENOENT);
            out = std::make_shared<FsFolder>(fs::JoinPath(dir, item.text));
            return S_OK;
        }
        return item.type == ItemType::File ? ResultFromErrno(ENOTDIR) : E_INVALIDARG;
    }

    HResult ItemAttributes(const ItemView& item, std::uint32_t& inOut) override
    {
        if (item.type == ItemType::DesktopItem) {
            switch (item.which) {
            case DesktopItem::Computer:
                inOut &= kComputerAttributes;
                return S_OK;
            case DesktopItem::Trash:
                inOut &= kTrashAttributes;
                return S_OK;
            case DesktopItem::Home: {
                const std::string home = HomeDirectory();
                std::string parent(fs::ParentOf(home));
                FsFolder folder(parent.empty() ? "/" : parent);
                std::uint32_t attrs = inOut & ~kMoveRights;
                folder.EntryAttributesOf(fs::BaseName(home).empty() ? "." : fs::BaseName(home), true, attrs);
                inOut &= (attrs & ~(kMoveRights | SFGAO_GHOSTED | SFGAO_LINK)) | SFGAO_FOLDER | SFGAO_FILESYSTEM |
                         SFGAO_FILESYSANCESTOR;
                return S_OK;
            }
            }
            return E_INVALIDARG;
        }
        if (!item.IsFileSystemEntry())
            return E_INVALIDARG;
        const std::string dir = DesktopDirectory();
        if (dir.empty()) {
            inOut &= SFGAO_FILESYSTEM | (item.type == ItemType::Folder ? SFGAO_FOLDER : 0);
            return S_OK;
        }
        return DesktopEntries(dir).EntryAttributesOf(item.text, item.type == ItemType::Folder, inOut);
    }

    HResult ItemDisplayName(const ItemView& item, std::uint32_t flags, std::string& name) override
    {
        const bool parsing = (flags & SHGDN_FORPARSING) && !(flags & SHGDN_INFOLDER);
        if (item.type == ItemType::DesktopItem) {
            switch (item.which) {
            case DesktopItem::Computer:
                name = parsing ? "::Computer" : "Computer";
                return S_OK;
            case DesktopItem::Home:
                name = parsing ? HomeDirectory() : "Home";
                return S_OK;
            case DesktopItem::Trash:
                name = parsing ? "::Trash" : "Trash";
                return S_OK;
            }
            return E_INVALIDARG;
        }
        if (!item.IsFileSystemEntry())
            return E_INVALIDARG;
        name = parsing ? fs::JoinPath(DesktopDirectory(), item.text) : std::string(item.text);
        return S_OK;
    }

    int CompareItems(const ItemView& a, const ItemView& b) override
    {
        const int ra = Rank(a), rb = Rank(b);
        if (ra != rb)
            return ra < rb ? -1 : 1;
        if (ra == 2)
            return FsFolder::CompareEntries(a, b);
        return 0;
    }

    HResult RenameItem(const ItemView& item, std::string_view newName, IdList* newItem) override
    {
        if (!item.IsFileSystemEntry())
            return E_FAIL;
        const std::string dir = DesktopDirectory();
        if (dir.empty())
            return ResultFromErrno(ENOENT);
        return DesktopEntries(dir).EntryRename(item.text, item.type == ItemType::Folder, newName, newItem);
    }

    HResult OwnDisplayName(std::uint32_t flags, std::string& name) override
    {
        if (flags & SHGDN_FORPARSING) {
            name = DesktopDirectory();
            if (name.empty())
                name = "::Desktop";
        } else {
            name = "Desktop";
        }
        return S_OK;
    }

    HResult OwnAttributes(std::uint32_t& inOut) override
    {
        std::uint32_t attrs = SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR;
        const std::string dir = DesktopDirectory();
        if (!dir.empty()) {
            attrs |= SFGAO_FILESYSTEM | SFGAO_HASPROPSHEET;
            if (MountProbe().Reach(dir) != NetworkReach::None)
                attrs |= SFGAO_DROPTARGET | SFGAO_ISSLOW;
            else if (fs::Access(dir, W_OK | X_OK) == 0)
                attrs |= SFGAO_DROPTARGET;
        }
        inOut &= attrs;
        return S_OK;
    }

    void Validate() override { entries_.reset(); }

private:
    // Computer, Home, the desktop directory's entries, Trash.
    static int Rank(const ItemView& item)
    {
        if (item.type != ItemType::DesktopItem)
            return 2;
        switch (item.which) {
        case DesktopItem::Computer:
            return 0;
        case DesktopItem::Home:
            return 1;
        case DesktopItem::Trash:
            return 3;
        }
        return 4;
    }

    FsFolder& DesktopEntries(const std::string& dir)
    {
        if (!entries_ || entries_->Path() != dir)
            entries_ = std::make_unique<FsFolder>(dir);
        return *entries_;
    }

    std::unique_ptr<FsFolder> entries_;
};

} // namespace

HResult ResultFromErrno(int error)
{
    if (error == 0)
        return S_OK;
    return static_cast<HResult>(0x80000000u | (kFacilityErrno << 16) | (static_cast<std::uint32_t>(error) & 0xFFFF));
}

std::string ResultMessage(HResult hr)
{
    const auto u = static_cast<std::uint32_t>(hr);
    if (((u >> 16) & 0x7FFF) == kFacilityErrno)
        return std::strerror(static_cast<int>(u & 0xFFFF));
    switch (hr) {
    case S_OK:
    case S_FALSE:
        return "The operation completed successfully.";
    case E_FAIL:
        return "Unspecified error";
    case E_INVALIDARG:
        return "The parameter is incorrect.";
    case E_NOTIMPL:
        return "Not implemented";
    case E_OUTOFMEMORY:
        return "Not enough memory resources are available to complete this operation.";
    }
    char text[32];
    std::snprintf(text, sizeof text, "Error 0x%08X", u);
    return text;
}

HResult GetDesktopFolder(ShellFolderPtr& out)
{
    out = std::make_shared<DesktopFolder>();
    return S_OK;
}

bool GetPathFromIdList(PCIdList absolute, std::string& path)
{
    path.clear();
    if (!absolute)
        return false;
    if (IsEmptyList(absolute)) {
        path = DesktopDirectory();
        return !path.empty();
    }
    std::string at;
    bool hasPath = false;
    bool first = true;
    for (PCIdList p = absolute; ItemSize(p) != 0; p = SkipItem(p), first = false) {
        ItemView item;
        if (!DecodeItem(p, item))
            return false;
        switch (item.type) {
        case ItemType::DesktopItem:
            if (!first || item.which == DesktopItem::Trash)
                return false;
            if (item.which == DesktopItem::Home) {
                at = HomeDirectory();
                hasPath = !at.empty();
                if (!hasPath)
                    return false;
            }
            break;
        case ItemType::Volume:
            if (first || hasPath)
                return false;
            at = std::string(item.text);
            hasPath = true;
            break;
        case ItemType::Folder:
        case ItemType::File:
            if (first) {
                at = DesktopDirectory();
                if (at.empty())
                    return false;
            } else if (!hasPath) {
                return false;
            }
            at = fs::JoinPath(at, item.text);
            hasPath = true;
            break;
        }
    }
    if (!hasPath)
        return false;
    path = std::move(at);
    return true;
}

bool GetItemIconSource(PCIdList absolute, ItemIcon& out)
{
    out = ItemIcon{};
    if (!absolute)
        return false;
    if (IsEmptyList(absolute)) {
        out.source = IconSource::Desktop;
        return true;
    }
    ItemView item;
    if (!DecodeItem(LastItem(absolute), item))
        return false;
    switch (item.type) {
    case ItemType::DesktopItem:
        out.source = item.which == DesktopItem::Computer ? IconSource::Computer
                     : item.which == DesktopItem::Home   ? IconSource::Home
                                                         : IconSource::Trash;
        return true;
    case ItemType::Volume:
        out.source = (item.flags & kVolumeNetwork)     ? IconSource::NetworkDrive
                     : (item.flags & kVolumeRemovable) ? IconSource::RemovableDrive
                                                       : IconSource::Drive;
        return true;
    case ItemType::Folder:
    case ItemType::File:
        out.source = IconSource::Path;
        out.isFolder = item.type == ItemType::Folder;
        return GetPathFromIdList(absolute, out.path);
    }
    return false;
}

bool IsValidEntryName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

} // namespace platform::shell
