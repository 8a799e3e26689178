#include "platform/verbs/ShellContextMenu.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "platform/clipboard/Clipboard.h"
#include "platform/fileops/DisplayPath.h"
#include "platform/shell/FsAccess.h"
#include "platform/ui/PropertySheet.h"
#include "platform/util/Text.h"
#include "platform/verbs/FileWork.h"
#include "platform/verbs/PasteFiles.h"
#include "platform/verbs/VerbMessages.h"

namespace platform::verbs {
namespace {

using shell::HResult;

struct CommandText {
    MenuCommand offset;
    const char* verb;
    const char* caption;
    const char* help;
};

constexpr std::array<CommandText, 9> kCommands{{
    {kCommandOpen, "open", "&Open", "Opens the selected items."},
    {kCommandCut, "cut", "Cu&t", "Puts the selected items on the Clipboard, to be moved where you paste them."},
    {kCommandCopy, "copy", "&Copy", "Copies the selected items to the Clipboard."},
    {kCommandPaste, "paste", "&Paste", "Puts the items on the Clipboard into this folder."},
    {kCommandPasteLink, "pastelink", "Paste &Shortcut",
     "Makes shortcuts in this folder to the items on the Clipboard."},
    {kCommandLink, "link", "Create &Shortcut", "Makes shortcuts to the selected items."},
    {kCommandDelete, "delete", "&Delete", "Moves the selected items to the Trash."},
    {kCommandRename, "rename", "Rena&me", "Renames the selected item."},
    {kCommandProperties, "properties", "P&roperties", "Shows the properties of the selected items."},
}};

const CommandText* FindCommand(std::uint32_t offset)
{
    for (const CommandText& c : kCommands)
        if (c.offset == offset)
            return &c;
    return nullptr;
}

const CommandText* FindVerb(std::string_view verb)
{
    for (const CommandText& c : kCommands)
        if (EqualsIgnoreAsciiCase(c.verb, verb))
            return &c;
    return nullptr;
}

HResult CountResult(std::uint32_t count)
{
    return static_cast<HResult>(count & 0xFFFF);
}

// Where Open leads for items of the namespace with no path of their own.
constexpr const char* kTrashName = "::Trash";

// How many items a refusal names; the rest are counted.
constexpr std::size_t kNamedInRefusal = 10;

constexpr std::uint32_t kMoveRights = shell::SFGAO_CANMOVE | shell::SFGAO_CANRENAME | shell::SFGAO_CANDELETE;

std::string ShownName(const shell::ContextMenuItem& item)
{
    if (!item.path.empty())
        return fileops::DisplayPath(item.path);
    std::string_view name = item.parsingName;
    if (name.starts_with("::"))
        name.remove_prefix(2);
    return std::string(name);
}

// Why an item lacks a right, as the system words it. Moving and deleting are what
// the item's folder allows: write and search permission on a file system mounted
// writable, and in a sticky folder owning the item; the items of the namespace's
// own (the desktop itself, the root) are fixed.
std::string WhyNot(const shell::ContextMenuItem& item, std::uint32_t right)
{
    if (item.path.empty())
        return "it is not a file or folder";
    if (right & kMoveRights) {
        const std::string folder(shell::fs::ParentOf(item.path));
        if (!folder.empty() && folder != item.path)
            if (const int error = shell::fs::Access(folder, W_OK | X_OK))
                return std::strerror(error);
    }
    return std::strerror(EPERM);
}

} // namespace

ShellContextMenu::ShellContextMenu(std::vector<shell::ContextMenuItem> items, bool background)
    : items_(std::move(items)), background_(background)
{
}

bool ShellContextMenu::AllHave(std::uint32_t attributes) const
{
    return !items_.empty() && std::all_of(items_.begin(), items_.end(), [attributes](const shell::ContextMenuItem& i) {
               return (i.attributes & attributes) == attributes;
           });
}

bool ShellContextMenu::OnFileSystem() const
{
    return !items_.empty() &&
           std::all_of(items_.begin(), items_.end(), [](const shell::ContextMenuItem& i) { return !i.path.empty(); });
}

const std::string* ShellContextMenu::PasteFolder() const
{
    if (items_.size() != 1 || items_.front().path.empty() || !(items_.front().attributes & shell::SFGAO_FOLDER))
        return nullptr;
    return &items_.front().path;
}

std::vector<std::string> ShellContextMenu::Paths() const
{
    std::vector<std::string> paths;
    for (const shell::ContextMenuItem& item : items_)
        paths.push_back(item.path);
    return paths;
}

HResult ShellContextMenu::QueryContextMenu(shell::PopupMenu& menu, std::size_t index, std::uint32_t idFirst,
                                           std::uint32_t idLast, std::uint32_t flags)
{
    std::vector<shell::PopupMenuItem> entries;
    std::uint32_t used = 0;
    auto fits = [&](std::uint32_t offset) { return idFirst + offset >= idFirst && idFirst + offset <= idLast; };
    auto add = [&](MenuCommand offset, bool enabled, bool isDefault = false) {
        if (!fits(offset))
            return;
        shell::PopupMenuItem item;
        item.id = idFirst + offset;
        item.text = FindCommand(offset)->caption;
        item.enabled = enabled;
        item.isDefault = isDefault;
        entries.push_back(std::move(item));
        used = std::max(used, offset + 1);
    };
    auto separate = [&] {
        if (!entries.empty() && !entries.back().separator) {
            shell::PopupMenuItem item;
            item.separator = true;
            entries.push_back(std::move(item));
        }
    };

    const bool fileSystem = OnFileSystem();
    const bool isTrash = items_.size() == 1 && items_.front().parsingName == kTrashName;
    const bool canOpen = !background_ && (fileSystem || isTrash);
    if (canOpen)
        add(kCommandOpen, true, true);
    if (!(flags & shell::CMF_DEFAULTONLY)) {
        apps_.clear();
        if (canOpen && fileSystem) {
            apps_ = launch::AppsForPaths(Paths());
            auto submenu = std::make_shared<shell::PopupMenu>();
            for (std::size_t i = 0; i < apps_.size() && kCommandOpenWithFirst + i <= kCommandOpenWithLast; ++i) {
                const auto offset = static_cast<std::uint32_t>(kCommandOpenWithFirst + i);
                if (!fits(offset))
                    break;
                shell::PopupMenuItem app;
                app.id = idFirst + offset;
                app.text = apps_[i].name;
                app.iconName = apps_[i].icon;
                submenu->Insert(submenu->Items().size(), std::move(app));
                used = std::max(used, offset + 1);
            }
            if (!submenu->Items().empty()) {
                shell::PopupMenuItem openWith;
                openWith.text = "Open Wit&h";
                openWith.submenu = std::move(submenu);
                entries.push_back(std::move(openWith));
            }
        }
        separate();
        if (fileSystem && !background_) {
            add(kCommandCut, AllHave(shell::SFGAO_CANMOVE));
            add(kCommandCopy, AllHave(shell::SFGAO_CANCOPY));
        }
        if (PasteFolder()) {
            clipboard::FileList held;
            const bool hasFiles = clipboard::ReadFiles(held) && !held.paths.empty();
            add(kCommandPaste, hasFiles);
            add(kCommandPasteLink, hasFiles);
        }
        separate();
        if (fileSystem && !background_) {
            add(kCommandLink, AllHave(shell::SFGAO_CANLINK));
            add(kCommandDelete, AllHave(shell::SFGAO_CANDELETE));
            if ((flags & shell::CMF_CANRENAME) && AllHave(shell::SFGAO_CANRENAME))
                add(kCommandRename, true);
        }
        separate();
        if (AllHave(shell::SFGAO_HASPROPSHEET))
            add(kCommandProperties, true);
        if (!entries.empty() && entries.back().separator)
            entries.pop_back();
    }
    for (shell::PopupMenuItem& item : entries)
        menu.Insert(index++, std::move(item));
    return CountResult(used);
}

HResult ShellContextMenu::InvokeCommand(const shell::InvokeCommandInfo& info)
{
    if (info.offset)
        return Run(*info.offset, info.owner);
    const CommandText* command = FindVerb(info.verb);
    if (!command)
        return shell::E_INVALIDARG;
    return Run(command->offset, info.owner);
}

HResult ShellContextMenu::GetCommandString(std::uint32_t offset, std::uint32_t kind, std::string& out)
{
    out.clear();
    if (kind != shell::GCS_VERB && kind != shell::GCS_HELPTEXT)
        return shell::E_INVALIDARG;
    if (offset >= kCommandOpenWithFirst && offset - kCommandOpenWithFirst < apps_.size()) {
        const std::string& app = apps_[offset - kCommandOpenWithFirst].name;
        out = kind == shell::GCS_VERB ? "openwith" : "Opens the selected items with " + app + ".";
        return shell::S_OK;
    }
    const CommandText* command = FindCommand(offset);
    if (!command)
        return shell::E_INVALIDARG;
    out = kind == shell::GCS_VERB ? command->verb : command->help;
    return shell::S_OK;
}

HResult ShellContextMenu::Run(std::uint32_t offset, QWidget* owner)
{
    const bool items = !background_ && OnFileSystem();
    switch (offset) {
    case kCommandOpen: {
        if (background_ || items_.empty())
            return shell::E_FAIL;
        if (!OnFileSystem()) {
            const bool trash = items_.size() == 1 && items_.front().parsingName == kTrashName;
            return trash && launch::OpenFolderUri("trash:///", owner) ? shell::S_OK : shell::E_FAIL;
        }
        // One Open, one question for whatever programs the items start.
        return launch::OpenPaths(Paths(), owner) ? shell::S_OK : shell::E_FAIL;
    }
    case kCommandCut:
    case kCommandCopy: {
        const bool cut = offset == kCommandCut;
        const std::uint32_t right = cut ? shell::SFGAO_CANMOVE : shell::SFGAO_CANCOPY;
        if (!items || !AllHave(right))
            return Refuse(cut ? "move" : "copy", right, owner);
        clipboard::WriteFiles(Paths(), cut);
        return shell::S_OK;
    }
    case kCommandPaste:
    case kCommandPasteLink:
        return Paste(offset == kCommandPasteLink, owner);
    case kCommandLink:
        if (!items || !AllHave(shell::SFGAO_CANLINK))
            return Refuse("create a shortcut to", shell::SFGAO_CANLINK, owner);
        return CurrentFileWork()->CreateShortcuts(Paths(), owner) ? shell::S_OK : shell::E_FAIL;
    case kCommandDelete:
        if (!items || !AllHave(shell::SFGAO_CANDELETE))
            return Refuse("delete", shell::SFGAO_CANDELETE, owner);
        return CurrentFileWork()->Trash(Paths(), owner) ? shell::S_OK : shell::E_FAIL;
    case kCommandRename:
        // Renaming happens in place, in the view that shows the item.
        return shell::E_NOTIMPL;
    case kCommandProperties:
        // The window shows files and folders; items with no path have no sheet.
        return OnFileSystem() && AllHave(shell::SFGAO_HASPROPSHEET) &&
                       ShowProperties(Paths(), owner, CurrentPropertyCallbacks())
                   ? shell::S_OK
                   : shell::E_FAIL;
    default:
        break;
    }
    if (offset >= kCommandOpenWithFirst && offset - kCommandOpenWithFirst < apps_.size() && items)
        return launch::OpenWith(apps_[offset - kCommandOpenWithFirst].id, Paths(), owner) ? shell::S_OK : shell::E_FAIL;
    return shell::E_INVALIDARG;
}

HResult ShellContextMenu::Refuse(const char* doing, std::uint32_t right, QWidget* owner) const
{
    // The items' own menu has no such command: nothing was asked of the user's items.
    if (background_)
        return shell::E_FAIL;
    std::string message;
    std::size_t named = 0, unnamed = 0;
    for (const shell::ContextMenuItem& item : items_) {
        if (!item.path.empty() && (item.attributes & right) == right)
            continue;
        if (named == kNamedInRefusal) {
            ++unnamed;
            continue;
        }
        message += (named++ ? "\n" : "") + std::string("Cannot ") + doing + " '" + ShownName(item) +
                   "': " + WhyNot(item, right) + ".";
    }
    if (unnamed)
        message += "\n(and " + std::to_string(unnamed) + " more)";
    if (!message.empty())
        TellUser(message, owner);
    return shell::E_FAIL;
}

HResult ShellContextMenu::Paste(bool asShortcuts, QWidget* owner)
{
    const std::string* folder = PasteFolder();
    clipboard::FileList held;
    if (!(PendingPasteFiles(held) || clipboard::ReadFiles(held)) || held.paths.empty())
        return shell::E_FAIL;
    if (!folder) {
        if (!background_ && items_.size() == 1) {
            const shell::ContextMenuItem& item = items_.front();
            const std::string why = item.path.empty() ? "it is not a file or folder" : std::strerror(ENOTDIR);
            TellUser("Cannot paste into '" + ShownName(item) + "': " + why + ".", owner);
        }
        return shell::E_FAIL;
    }
    const PasteMode mode = asShortcuts ? PasteMode::Shortcuts : held.cut ? PasteMode::Move : PasteMode::Copy;
    std::vector<std::string> sources = held.paths;
    auto finished = [sources, mode](bool complete) {
        if (mode == PasteMode::Move && complete)
            clipboard::ClearIfHolds(sources);
    };
    return CurrentFileWork()->Paste(held.paths, *folder, mode, owner, finished) ? shell::S_OK : shell::E_FAIL;
}

void InstallContextMenus()
{
    static const bool installed = [] {
        shell::SetContextMenuFactory([](std::vector<shell::ContextMenuItem> items, bool background) {
            return std::make_unique<ShellContextMenu>(std::move(items), background);
        });
        return true;
    }();
    (void)installed;
}

} // namespace platform::verbs
