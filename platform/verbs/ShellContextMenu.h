#pragma once
// The context menu of file-system items and of a folder's background, as the
// namespace's GetUIObjectOf gives it.
//
//   one file         Open (default), Open With >, -, Cut, Copy, -, Create Shortcut,
//                    Delete, Rename, -, Properties
//   one folder       the same with Paste and Paste Shortcut after Copy
//   several items    Open, Open With > (when they share a type), -, Cut, Copy, -,
//                    Create Shortcut, Delete, Rename, -, Properties
//   background       Paste, Paste Shortcut, -, Properties
//
// Paste and Paste Shortcut are enabled only while the clipboard holds files. Rename
// is offered only to a caller that can rename (CMF_CANRENAME) and when every item can
// be renamed, Properties only when every item has a property sheet; Cut, Copy, Create
// Shortcut and Delete are greyed for items that cannot be moved, copied, linked or
// deleted. Items without a file-system path have no property sheet: Trash gets Open
// alone, Computer nothing.
//
// A command refused up front (Cut or Delete of an item its folder does not let go,
// Copy of an item with no path, Paste into an item that is no folder) says so:
// one message naming each item and the reason (platform/verbs/VerbMessages.h).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/launch/Launch.h"
#include "platform/shell/ContextMenu.h"

namespace platform::verbs {

// Command offsets. Rename stays at 18: callers catch that pick and rename in place.
enum MenuCommand : std::uint32_t {
    kCommandOpen = 0,
    kCommandCut = 10,
    kCommandCopy = 11,
    kCommandPaste = 12,
    kCommandPasteLink = 13,
    kCommandLink = 16,
    kCommandDelete = 17,
    kCommandRename = 18,
    kCommandProperties = 19,
    kCommandOpenWithFirst = 32, // then one per application
    kCommandOpenWithLast = 95,
};

class ShellContextMenu : public shell::ContextMenu {
public:
    ShellContextMenu(std::vector<shell::ContextMenuItem> items, bool background);

    shell::HResult QueryContextMenu(shell::PopupMenu& menu, std::size_t index, std::uint32_t idFirst,
                                    std::uint32_t idLast, std::uint32_t flags) override;
    shell::HResult InvokeCommand(const shell::InvokeCommandInfo& info) override;
    shell::HResult GetCommandString(std::uint32_t offset, std::uint32_t kind, std::string& out) override;

private:
    bool AllHave(std::uint32_t attributes) const;
    bool OnFileSystem() const;
    // The folder a paste goes into: the background's folder, or the one folder item.
    const std::string* PasteFolder() const;
    std::vector<std::string> Paths() const;
    shell::HResult Run(std::uint32_t offset, QWidget* owner);
    shell::HResult Paste(bool asShortcuts, QWidget* owner);
    // Says which items lack the right `doing` needs, and why, in one message; fails.
    shell::HResult Refuse(const char* doing, std::uint32_t right, QWidget* owner) const;

    std::vector<shell::ContextMenuItem> items_;
    bool background_;
    std::vector<launch::AppChoice> apps_; // the Open With entries, as last shown
};

// Makes GetUIObjectOf of the namespace hand out these menus. Safe to call again.
void InstallContextMenus();

} // namespace platform::verbs
