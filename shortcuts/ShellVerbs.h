#pragma once
// The shell-verb library: hands files to the shell's context-menu verbs. Given a
// path, a folder with names in it, or namespace items, it obtains the items' context
// menu and then shows it, runs its default command, runs "properties", or runs a
// verb given by name ("delete", "cut", "copy", "paste", "pastelink", ...; letter case
// does not matter). The list, the tree and the main window use it.
//
// Paths are host paths (bytes); a folder path ends with "/". The owner window owns
// whatever the verbs open (menus, messages, progress) and receives the menu's hints:
// while a command of the menu is highlighted, the owner gets a QStatusTipEvent with
// that command's help text, which reaches the main window's status bar; an empty one
// when the menu closes. The hourglass cursor shows while a call works, and the
// cursor is back as it was when the call returns, whatever road it took.
//
// GUI thread only, and not reentrant: RenameRequested() belongs to the last call.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <QPoint>

#include "platform/shell/ShellFolder.h"

class QWidget;

namespace platform::shell {
class ContextMenu;
}

enum ShellCommandKind {
    ckContextMenu = 0, // show the items' menu at a screen point, run what the user picks
    ckProperties = 1,  // "properties", only for items that have a property sheet
    ckDefaultVerb = 2, // the menu's default command (what a double-click does)
    ckNamedVerb = 3,   // the command of a canonical verb
};

// Entry points. Each clears RenameRequested() first; the two menu entries hand it
// to the caller, who then renames the item in place (the list its first selected
// row, the tree its node).
bool ShowPathProperties(const std::string& path, QWidget* owner);
bool ShowFilesProperties(const std::string& folder, const std::vector<std::string>& names, QWidget* owner);
bool ShowFilesContextMenu(const std::string& folder, const std::vector<std::string>& names, QWidget* owner,
                          bool& renameRequested, const QPoint& screenPoint);
bool ShowItemsContextMenu(platform::shell::ShellFolderPtr folder, platform::shell::PCIdList item,
                          std::uint32_t attributes, bool& renameRequested, const QPoint& screenPoint, QWidget* owner);
bool RunDefaultVerbOnFiles(const std::string& folder, const std::vector<std::string>& names, QWidget* owner);
bool RunVerbOnPath(const std::string& verb, const std::string& path, QWidget* owner);
bool RunVerbOnFiles(const std::string& verb, const std::string& folder, const std::vector<std::string>& names,
                    QWidget* owner);
// One namespace item as its folder enumerated it (the tree's node): the verbs see
// that item alone, with its own attributes, whatever characters its name holds.
bool RunVerbOnItem(const std::string& verb, platform::shell::ShellFolderPtr folder, platform::shell::PCIdList item,
                   std::uint32_t attributes, QWidget* owner);
bool ShowItemProperties(platform::shell::ShellFolderPtr folder, platform::shell::PCIdList item,
                        std::uint32_t attributes, QWidget* owner);
// The attributes in `mask` that every one of these full paths has; 0 for an empty
// list or a path the namespace does not parse.
std::uint32_t CommonAttributesOfFiles(const std::vector<std::string>& paths, std::uint32_t mask);

// One path: the items a "*" or "?" pattern in its last part matches, or the one item
// it names; a path ending in "/" names that folder. Or, when `folder` and items are
// given, those items of that folder with their common attributes.
bool ShellCommandOnPath(const std::string& path, const platform::shell::ShellFolderPtr& folder,
                        std::span<const platform::shell::PCIdList> items, std::uint32_t attributes,
                        const QPoint& screenPoint, QWidget* owner, const std::string& verb, ShellCommandKind kind);
// Names inside a folder path; with an empty folder path, full paths. Names that do
// not exist are skipped; false when none is left.
bool ShellCommandOnFiles(const std::string& folder, const std::vector<std::string>& names, QWidget* owner,
                         const std::string& verb, ShellCommandKind kind, const QPoint& screenPoint);
bool GetContextMenu(QWidget* owner, const platform::shell::ShellFolderPtr& folder,
                    std::span<const platform::shell::PCIdList> items, std::uint32_t attributes, ShellCommandKind kind,
                    const std::string& verb, const QPoint& screenPoint);
bool InvokeOnContextMenu(platform::shell::ContextMenu& menu, std::uint32_t attributes, ShellCommandKind kind,
                         const std::string& verb, const QPoint& screenPoint, QWidget* owner);

// Whether the user picked Rename in the menu of the current (or last) call.
bool RenameRequested();
