#include "shortcuts/FolderContents.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/shell/NetworkMounts.h"
#include "platform/util/Text.h"

namespace {

// The kinds of shortcut file, in the order the list enumerates them.
constexpr std::string_view kShortcutExtensions[] = {".lnk", ".pif", ".url"};
constexpr int kNotAShortcut = -1;
constexpr unsigned kAllKinds = 7;

int ShortcutKind(std::string_view name)
{
    const std::string_view ext = NameExtension(name);
    for (int i = 0; i < 3; ++i)
        if (platform::EqualsIgnoreAsciiCase(ext, kShortcutExtensions[i]))
            return i;
    return kNotAShortcut;
}

std::string WithSlash(const std::string& dir)
{
    return !dir.empty() && dir.back() == '/' ? dir : dir + "/";
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// One pass over a folder's entries. Folders are what the entry leads to: a symbolic
// link to a folder is a folder, a dangling one is a file. The file type is asked of
// the file system only where the entry itself does not tell it and the answer
// matters, so a folder of ordinary files costs no stat at all.
struct Enumeration {
    std::vector<std::string> folders;           // visible ones, in enumeration order
    std::vector<std::string> shortcuts[3];      // by kind, in enumeration order
    std::vector<std::string> networkFolders;    // links into network mounts, unseen
    int error = 0;
};

// kinds: a bit per shortcut kind wanted (1 << kind).
Enumeration Enumerate(const std::string& dir, bool wantFolders, unsigned kinds,
                      TNetworkLinks networkLinks = TNetworkLinks::Follow)
{
    Enumeration result;
    const std::unique_ptr<DIR, DirCloser> d(::opendir(dir.c_str()));
    if (!d) {
        result.error = errno;
        return result;
    }
    const int dfd = ::dirfd(d.get());
    std::shared_ptr<const std::vector<platform::shell::NetworkMount>> networkMounts;
    if (networkLinks == TNetworkLinks::TakeAsFolders) {
        networkMounts = platform::shell::CurrentNetworkMounts();
        if (networkMounts->empty())
            networkMounts.reset();
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(d.get());
        if (!entry)
            break; // the end, or a folder that went away under us: keep what was found
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const int kind = ShortcutKind(name);
        const bool wantAsFolder = wantFolders && name.front() != '.';
        const bool wantAsShortcut = kind != kNotAShortcut && (kinds & (1u << kind)) != 0;
        if (!wantAsFolder && !wantAsShortcut)
            continue;
        bool isFolder;
        if (entry->d_type == DT_DIR) {
            isFolder = true;
        } else if ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) && networkMounts &&
                   platform::shell::ResolveOnMounts(dir + std::string(name), *networkMounts).Network) {
            if (wantAsFolder)
                result.networkFolders.emplace_back(name);
            continue;
        } else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st;
            isFolder = ::fstatat(dfd, entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        } else {
            isFolder = false;
        }
        if (isFolder) {
            if (wantAsFolder)
                result.folders.emplace_back(name);
        } else if (wantAsShortcut) {
            result.shortcuts[kind].emplace_back(name);
        }
    }
    return result;
}

TShortcutListItem ReadItem(const std::string& dirWithSlash, std::string name)
{
    TShortcutListItem item;
    // The name as found: trimming blanks here, as a Windows file system would allow,
    // would read another file (or none) on a file system where " a.lnk" is a name.
    item.ReadOk = ReadShortcut(dirWithSlash + name, item.Info);
    item.Name = std::move(name);
    return item;
}

TShortcutListItem FolderItem(std::string name)
{
    TShortcutListItem item;
    item.Name = std::move(name);
    item.IsFolder = true;
    return item;
}

} // namespace

bool ReadFolderContents(const std::string& dir, TFolderContents& contents, TNetworkLinks networkLinks)
{
    contents.Items.clear();
    contents.FolderCount = 0;
    contents.Error = 0;
    const std::string base = WithSlash(dir);
    Enumeration found = Enumerate(base, true, kAllKinds, networkLinks);
    const std::vector<std::string> networkFolders = found.networkFolders;
    found.folders.insert(found.folders.end(), found.networkFolders.begin(), found.networkFolders.end());
    if (found.error != 0) {
        contents.Error = found.error;
        return false;
    }
    // Names are sorted before the rows are made: moving a name costs far less than
    // moving a row with its record.
    const auto byName = [](const std::string& a, const std::string& b) { return CompareListText(a, b) < 0; };
    std::stable_sort(found.folders.begin(), found.folders.end(), byName);
    std::vector<std::string> shortcuts;
    for (auto& names : found.shortcuts)
        shortcuts.insert(shortcuts.end(), std::make_move_iterator(names.begin()), std::make_move_iterator(names.end()));
    std::stable_sort(shortcuts.begin(), shortcuts.end(), byName);

    contents.Items.reserve(found.folders.size() + shortcuts.size());
    for (auto& name : found.folders) {
        TShortcutListItem item = FolderItem(std::move(name));
        item.OnNetwork = std::find(networkFolders.begin(), networkFolders.end(), item.Name) != networkFolders.end();
        contents.Items.push_back(std::move(item));
    }
    contents.FolderCount = static_cast<int>(contents.Items.size());
    for (auto& name : shortcuts)
        contents.Items.push_back(ReadItem(base, std::move(name)));
    return true;
}

TShortcutListItem ReadShortcutItem(const std::string& path)
{
    const auto slash = path.rfind('/');
    TShortcutListItem item;
    item.ReadOk = ReadShortcut(path, item.Info);
    item.Name = slash == std::string::npos ? path : path.substr(slash + 1);
    return item;
}

void SortItemsByName(std::vector<TShortcutListItem>::iterator first, std::vector<TShortcutListItem>::iterator last)
{
    std::stable_sort(first, last, [](const TShortcutListItem& a, const TShortcutListItem& b) {
        return CompareListText(a.Name, b.Name) < 0;
    });
}

std::vector<TShortcutListItem> ListSubfolderItems(const std::string& dir)
{
    Enumeration found = Enumerate(WithSlash(dir), true, 0);
    std::vector<TShortcutListItem> items;
    items.reserve(found.folders.size());
    for (auto& name : found.folders)
        items.push_back(FolderItem(std::move(name)));
    return items;
}

std::vector<TShortcutListItem> ListShortcutItems(const std::string& dir, std::string_view ext)
{
    int kind = kNotAShortcut;
    for (int i = 0; i < 3; ++i)
        if (platform::EqualsIgnoreAsciiCase(ext, kShortcutExtensions[i].substr(1)))
            kind = i;
    if (kind == kNotAShortcut)
        return {};
    const std::string base = WithSlash(dir);
    Enumeration found = Enumerate(base, false, 1u << kind);
    std::vector<TShortcutListItem> items;
    items.reserve(found.shortcuts[kind].size());
    for (auto& name : found.shortcuts[kind])
        items.push_back(ReadItem(base, std::move(name)));
    return items;
}

std::string ShortcutColumnText(const TShortcutListItem& item, char letter)
{
    std::string scratch;
    return std::string(ShortcutColumnView(item, letter, scratch));
}

std::string_view ShortcutColumnView(const TShortcutListItem& item, char letter, std::string& scratch)
{
    if (letter == 'a')
        return item.Name;
    if (item.IsFolder)
        return letter == 'b' ? "Dir" : "";
    const TwekShortcutInfo& info = item.Info;
    switch (letter) {
    case 'b': return NameExtension(item.Name);
    case 'c': return item.ReadOk ? std::string_view(info.Target) : "(special)";
    case 'd': return info.TargetPath;
    case 'e': return info.Arguments;
    case 'f': return info.StartIn;
    case 'g': return info.HotkeyText;
    case 'h': return info.WindowState;
    case 'i': return info.IconLocation;
    case 'j': return scratch = std::to_string(info.IconIndex);
    default: return {};
    }
}

int CompareListText(std::string_view a, std::string_view b)
{
    const auto upper = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 'a' && u <= 'z' ? u - 'a' + 'A' : u;
    };
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned x = upper(a[i]), y = upper(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string_view NameExtension(std::string_view name)
{
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
}
