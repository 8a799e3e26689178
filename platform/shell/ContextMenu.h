#pragma once
// The context menu of shell items (IContextMenu): it fills a pop-up menu with its
// commands, runs a command given by its offset or by its canonical verb, and tells
// a command's verb and help text.
//
// Command identifiers are the caller's: QueryContextMenu numbers the commands from
// the first identifier it is given, and the caller hands back the offset (identifier
// minus that first one). The menu holds what it works on as paths (bytes), never as
// references into a view, so it stays valid whatever happens to the view while the
// menu is open.
//
// The menus themselves are the platform's GUI (platform/verbs); this library has no
// widgets and only declares them, so that the namespace can hand them out.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shell/ShellFolder.h"

class QWidget;

namespace platform::shell {

// QueryContextMenu flags (CMF_...).
inline constexpr std::uint32_t CMF_NORMAL = 0x0;
inline constexpr std::uint32_t CMF_DEFAULTONLY = 0x1;
inline constexpr std::uint32_t CMF_EXPLORE = 0x4;
inline constexpr std::uint32_t CMF_CANRENAME = 0x10;

// GetCommandString kinds (GCS_...): the canonical verb and the help text.
inline constexpr std::uint32_t GCS_VERB = 0;
inline constexpr std::uint32_t GCS_HELPTEXT = 1;

// SW_SHOWNORMAL, the show state of an invoke.
inline constexpr int SW_SHOWNORMAL = 1;

class PopupMenu;

// One entry of a pop-up menu (a command, a separator or a submenu).
struct PopupMenuItem {
    std::uint32_t id = 0; // 0 for separators and submenus
    std::string text;     // "&" marks the mnemonic
    bool separator = false;
    bool enabled = true;
    bool isDefault = false; // drawn bold; the double-click command
    std::string iconName;   // a theme icon name, or empty
    std::shared_ptr<PopupMenu> submenu;
};

// A pop-up menu as data (HMENU), shown by the platform's GUI.
class PopupMenu {
public:
    // Inserts before position `index` (at the end when past it).
    void Insert(std::size_t index, PopupMenuItem item);
    const std::vector<PopupMenuItem>& Items() const { return items_; }
    // GetMenuDefaultItem by command: the default command's identifier, or -1.
    std::int64_t DefaultItem() const;
    // The command of that identifier, in this menu or a submenu.
    const PopupMenuItem* FindCommand(std::uint32_t id) const;

private:
    std::vector<PopupMenuItem> items_;
};

// What InvokeCommand runs: a command offset, or a canonical verb ("open", "copy",
// ...) matched ignoring letter case.
struct InvokeCommandInfo {
    std::optional<std::uint32_t> offset;
    std::string verb;
    QWidget* owner = nullptr; // owns any window the command opens
    int show = SW_SHOWNORMAL;
};

class ContextMenu {
public:
    virtual ~ContextMenu() = default;
    // Inserts the commands at `index`, numbered from idFirst; a command whose
    // identifier would pass idLast is left out. Answers the largest offset used
    // plus one (a success code), or a failure.
    virtual HResult QueryContextMenu(PopupMenu& menu, std::size_t index, std::uint32_t idFirst,
                                     std::uint32_t idLast, std::uint32_t flags) = 0;
    virtual HResult InvokeCommand(const InvokeCommandInfo& info) = 0;
    // GCS_VERB or GCS_HELPTEXT of a command offset; fails for offsets that name no
    // command (and for submenus).
    virtual HResult GetCommandString(std::uint32_t offset, std::uint32_t kind, std::string& out) = 0;
};

// One item a context menu is made for, as the namespace knows it.
struct ContextMenuItem {
    std::string path;        // the full host path; empty for items without one
    std::string parsingName; // "::Trash", "::Computer" for items without a path
    std::uint32_t attributes = 0;
};

// What makes the menus. The platform's GUI installs it; until then GetUIObjectOf
// answers E_NOTIMPL. `background` is the folder's own menu (no item selected): items
// then holds the folder alone.
using ContextMenuFactory =
    std::function<std::unique_ptr<ContextMenu>(std::vector<ContextMenuItem> items, bool background)>;
void SetContextMenuFactory(ContextMenuFactory factory);
HResult CreateContextMenu(std::vector<ContextMenuItem> items, bool background, std::unique_ptr<ContextMenu>& out);

} // namespace platform::shell
