#include "shortcuts/ShellVerbs.h"

#include <dirent.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QStatusTipEvent>
#include <QWidget>

#include "platform/shell/ContextMenu.h"
#include "platform/shell/FsAccess.h"
#include "platform/verbs/MenuTracking.h"
#include "platform/verbs/ShellContextMenu.h"

namespace shell = platform::shell;

namespace {

constexpr std::uint32_t kFirstCommand = 1;
constexpr std::uint32_t kLastCommand = 0x7FFF;
constexpr std::uint32_t kRenameCommand = kFirstCommand + platform::verbs::kCommandRename;
// Every attribute: what the items are asked for before a menu is made for them.
constexpr std::uint32_t kAllAttributes = ~shell::SFGAO_VALIDATE;

bool renameRequested = false;

// The hourglass for the length of a call; the cursor that was there comes back.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Windows' wildcards, ignoring ASCII letter case: "*" any run, "?" one character.
bool MatchesWildcard(std::string_view name, std::string_view pattern)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    auto oneChar = [&](std::size_t at) {
        std::size_t n = 1;
        while (at + n < name.size() && (static_cast<unsigned char>(name[at + n]) & 0xC0) == 0x80)
            ++n;
        return n;
    };
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            n += oneChar(n);
            ++p;
        } else if (p < pattern.size() && lower(pattern[p]) == lower(name[n])) {
            ++n;
            ++p;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            starN += oneChar(starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// FindFirstFile on "folder/pattern": every entry that matches, hidden ones and
// folders included. A name without a dot also matches as if it ended in one, so
// "*.*" takes every name.
std::vector<std::string> FindMatches(const std::string& folder, std::string_view pattern)
{
    std::vector<std::string> names;
    shell::fs::UniqueFd fd;
    if (shell::fs::OpenDirectory(folder, fd) != 0)
        return names;
    DIR* dir = ::fdopendir(fd.Get());
    if (!dir)
        return names;
    fd.Release();
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..")
            continue;
        if (MatchesWildcard(name, pattern) ||
            (name.find('.') == std::string_view::npos && MatchesWildcard(std::string(name) + ".", pattern)))
            names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

// Parses `path` in the desktop and binds to it: the folder the names are in.
bool BindFolderPath(const shell::ShellFolderPtr& desktop, const std::string& path, shell::ShellFolderPtr& out)
{
    shell::IdList folderId;
    return shell::Succeeded(desktop->ParseDisplayName(path, folderId)) &&
           shell::Succeeded(desktop->BindToObject(folderId.Get(), out));
}

bool MenuForOne(QWidget* owner, const shell::ShellFolderPtr& folder, const shell::IdList& item, ShellCommandKind kind,
                const std::string& verb, const QPoint& point)
{
    const shell::PCIdList items[1] = {item.Get()};
    std::uint32_t attributes = kAllAttributes;
    if (shell::Failed(folder->GetAttributesOf(items, attributes)))
        return false;
    return GetContextMenu(owner, folder, items, attributes, kind, verb, point);
}

// What the status line shows while a command is highlighted: the part after "|" of
// "verb|help text" (the long hint).
void ShowHint(QWidget* owner, const QString& hint)
{
    if (!owner)
        return;
    QStatusTipEvent tip(hint.mid(hint.indexOf(QLatin1Char('|')) + 1));
    QCoreApplication::sendEvent(owner, &tip);
}

} // namespace

bool RenameRequested()
{
    return renameRequested;
}

bool ShowPathProperties(const std::string& path, QWidget* owner)
{
    renameRequested = false;
    return ShellCommandOnPath(path, nullptr, {}, 0, QPoint(), owner, "properties", ckProperties);
}

bool ShowFilesProperties(const std::string& folder, const std::vector<std::string>& names, QWidget* owner)
{
    renameRequested = false;
    return ShellCommandOnFiles(folder, names, owner, "properties", ckProperties, QPoint());
}

bool ShowFilesContextMenu(const std::string& folder, const std::vector<std::string>& names, QWidget* owner,
                          bool& rename, const QPoint& screenPoint)
{
    renameRequested = false;
    const bool result = ShellCommandOnFiles(folder, names, owner, "", ckContextMenu, screenPoint);
    rename = renameRequested;
    return result;
}

bool ShowItemsContextMenu(shell::ShellFolderPtr folder, shell::PCIdList item, std::uint32_t attributes, bool& rename,
                          const QPoint& screenPoint, QWidget* owner)
{
    renameRequested = false;
    const shell::PCIdList items[1] = {item};
    const bool result = ShellCommandOnPath("", folder, items, attributes, screenPoint, owner, "", ckContextMenu);
    rename = renameRequested;
    return result;
}

bool RunDefaultVerbOnFiles(const std::string& folder, const std::vector<std::string>& names, QWidget* owner)
{
    renameRequested = false;
    return ShellCommandOnFiles(folder, names, owner, "", ckDefaultVerb, QPoint());
}

bool RunVerbOnPath(const std::string& verb, const std::string& path, QWidget* owner)
{
    renameRequested = false;
    return ShellCommandOnPath(path, nullptr, {}, 0, QPoint(), owner, verb, ckNamedVerb);
}

bool RunVerbOnFiles(const std::string& verb, const std::string& folder, const std::vector<std::string>& names,
                    QWidget* owner)
{
    renameRequested = false;
    return ShellCommandOnFiles(folder, names, owner, verb, ckNamedVerb, QPoint());
}

bool RunVerbOnItem(const std::string& verb, shell::ShellFolderPtr folder, shell::PCIdList item,
                   std::uint32_t attributes, QWidget* owner)
{
    renameRequested = false;
    if (!folder || !item)
        return false;
    const shell::PCIdList items[1] = {item};
    return ShellCommandOnPath("", folder, items, attributes, QPoint(), owner, verb, ckNamedVerb);
}

bool ShowItemProperties(shell::ShellFolderPtr folder, shell::PCIdList item, std::uint32_t attributes,
                        QWidget* owner)
{
    renameRequested = false;
    if (!folder || !item)
        return false;
    const shell::PCIdList items[1] = {item};
    return ShellCommandOnPath("", folder, items, attributes, QPoint(), owner, "properties", ckProperties);
}

std::uint32_t CommonAttributesOfFiles(const std::vector<std::string>& paths, std::uint32_t mask)
{
    shell::ShellFolderPtr desktop;
    if (paths.empty() || shell::Failed(shell::GetDesktopFolder(desktop)) || !desktop)
        return 0;
    std::uint32_t common = mask;
    for (const std::string& path : paths) {
        shell::IdList id;
        if (shell::Failed(desktop->ParseDisplayName(path, id)))
            return 0;
        const shell::PCIdList one[1] = {id.Get()};
        std::uint32_t attributes = common;
        if (shell::Failed(desktop->GetAttributesOf(one, attributes)))
            return 0;
        common &= attributes;
        if (!common)
            break;
    }
    return common;
}

bool ShellCommandOnPath(const std::string& path, const shell::ShellFolderPtr& folder,
                        std::span<const shell::PCIdList> items, std::uint32_t attributes, const QPoint& screenPoint,
                        QWidget* owner, const std::string& verb, ShellCommandKind kind)
{
    const WaitCursor wait;
    if (folder && !items.empty() && items.front())
        return GetContextMenu(owner, folder, items, attributes, kind, verb, screenPoint);

    shell::ShellFolderPtr desktop;
    if (shell::Failed(shell::GetDesktopFolder(desktop)) || !desktop)
        return false;
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return false;
    const std::string folderPart = path.substr(0, slash + 1);
    const std::string namePart = path.substr(slash + 1);
    shell::ShellFolderPtr bound;
    if (!BindFolderPath(desktop, folderPart, bound))
        return false;

    if (namePart.find_first_of("*?") != std::string::npos) {
        std::vector<shell::IdList> parsed;
        for (const std::string& name : FindMatches(folderPart, namePart)) {
            shell::IdList id;
            if (shell::Succeeded(bound->ParseDisplayName(name, id)))
                parsed.push_back(std::move(id));
        }
        if (parsed.empty())
            return false;
        std::vector<shell::PCIdList> ids;
        for (const shell::IdList& id : parsed)
            ids.push_back(id.Get());
        std::uint32_t common = kAllAttributes;
        if (shell::Failed(bound->GetAttributesOf(ids, common)))
            return false;
        return GetContextMenu(owner, bound, ids, common, kind, verb, screenPoint);
    }

    shell::IdList item;
    if (!namePart.empty() && shell::Succeeded(bound->ParseDisplayName(namePart, item)))
        return MenuForOne(owner, bound, item, kind, verb, screenPoint);

    // A folder path ("/data/"), or a name its folder would not parse: the desktop's
    // first folder, Computer, parses any full path.
    std::unique_ptr<shell::EnumIdList> children;
    shell::IdList first;
    shell::ShellFolderPtr computer;
    if (shell::Failed(desktop->EnumObjects(shell::SHCONTF_FOLDERS, children)) || !children ||
        children->Next(first) != shell::S_OK || shell::Failed(desktop->BindToObject(first.Get(), computer)) ||
        shell::Failed(computer->ParseDisplayName(path, item)))
        return false;
    return MenuForOne(owner, computer, item, kind, verb, screenPoint);
}

bool ShellCommandOnFiles(const std::string& folder, const std::vector<std::string>& names, QWidget* owner,
                         const std::string& verb, ShellCommandKind kind, const QPoint& screenPoint)
{
    if (names.empty())
        return false;
    shell::ShellFolderPtr desktop;
    if (shell::Failed(shell::GetDesktopFolder(desktop)) || !desktop)
        return false;
    // No folder: the names are full paths, which the desktop parses itself.
    shell::ShellFolderPtr bound = desktop;
    if (!folder.empty() && !BindFolderPath(desktop, folder, bound))
        return false;

    std::vector<shell::IdList> parsed;
    std::uint32_t common = kAllAttributes;
    for (const std::string& name : names) {
        shell::IdList id;
        if (shell::Failed(bound->ParseDisplayName(name, id)))
            continue;
        const shell::PCIdList one[1] = {id.Get()};
        std::uint32_t attributes = common;
        if (shell::Failed(bound->GetAttributesOf(one, attributes)))
            continue;
        common = attributes;
        parsed.push_back(std::move(id));
    }
    if (parsed.empty())
        return false;
    std::vector<shell::PCIdList> ids;
    for (const shell::IdList& id : parsed)
        ids.push_back(id.Get());
    return ShellCommandOnPath("", bound, ids, common, screenPoint, owner, verb, kind);
}

bool GetContextMenu(QWidget* owner, const shell::ShellFolderPtr& folder, std::span<const shell::PCIdList> items,
                    std::uint32_t attributes, ShellCommandKind kind, const std::string& verb, const QPoint& screenPoint)
{
    platform::verbs::InstallContextMenus();
    std::unique_ptr<shell::ContextMenu> menu;
    if (!folder || shell::Failed(folder->GetUIObjectOf(owner, items, menu)) || !menu)
        return false;
    return InvokeOnContextMenu(*menu, attributes, kind, verb, screenPoint, owner);
}

bool InvokeOnContextMenu(shell::ContextMenu& menu, std::uint32_t attributes, ShellCommandKind kind,
                         const std::string& verb, const QPoint& screenPoint, QWidget* owner)
{
    shell::InvokeCommandInfo info;
    info.owner = owner;
    switch (kind) {
    case ckContextMenu: {
        shell::PopupMenu popup;
        if (shell::Failed(menu.QueryContextMenu(popup, 0, kFirstCommand, kLastCommand,
                                                shell::CMF_EXPLORE | shell::CMF_CANRENAME)))
            return false;
        // The menu's own nested event loop may outlive the owner: hints go only to an
        // owner that is still there.
        const QPointer<QWidget> hintTarget(owner);
        const std::uint32_t chosen = platform::verbs::TrackPopupMenu(
            popup, screenPoint, owner, [&menu, hintTarget](std::uint32_t id, bool closed) {
                if (closed) {
                    ShowHint(hintTarget.data(), QString());
                    return;
                }
                std::string verbText, help;
                menu.GetCommandString(id - kFirstCommand, shell::GCS_VERB, verbText);
                menu.GetCommandString(id - kFirstCommand, shell::GCS_HELPTEXT, help);
                ShowHint(hintTarget.data(), QString::fromStdString(verbText + "|" + help));
            });
        if (chosen == kRenameCommand) {
            renameRequested = true;
            return true;
        }
        if (chosen != 0) {
            info.offset = chosen - kFirstCommand;
            return shell::Succeeded(menu.InvokeCommand(info));
        }
        return true;
    }
    case ckProperties:
        if (!(attributes & shell::SFGAO_HASPROPSHEET))
            return false;
        info.verb = "properties";
        return shell::Succeeded(menu.InvokeCommand(info));
    case ckDefaultVerb: {
        shell::PopupMenu popup;
        if (shell::Failed(menu.QueryContextMenu(popup, 0, kFirstCommand, kLastCommand, shell::CMF_DEFAULTONLY)))
            return false;
        const std::int64_t id = popup.DefaultItem();
        if (id == -1)
            return false;
        info.offset = static_cast<std::uint32_t>(id) - kFirstCommand;
        return shell::Succeeded(menu.InvokeCommand(info));
    }
    case ckNamedVerb:
        info.verb = verb;
        return shell::Succeeded(menu.InvokeCommand(info));
    }
    return false;
}
