#pragma once
// The folder command of the shell-integration keys, offered to the desktop's file
// managers: a desktop entry $XDG_DATA_HOME/applications/quillmere-open-folder.desktop
// that opens a folder in the program, added to the associations of inode/directory
// in $XDG_CONFIG_HOME/mimeapps.list. It is offered ("Open With"), never made the
// default: the user's default folder handler stays what it was, under this desktop
// and under any other.
//
// The entry is built from the program's own path (bytes), never from the text of
// the registry's command line.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::string_view kFolderHandlerId = "quillmere-open-folder.desktop";
inline constexpr std::string_view kFolderMimeType = "inode/directory";

// A desktop entry is UTF-8 text with one line per key: a program path that is not
// UTF-8 or holds a control character cannot be written into one, and gets neither
// the entry nor the registry's command.
bool IsOfferableProgramPath(std::string_view programPath);

// The registry's command line: the path in double quotes (a path with blanks would
// otherwise let another program run in its place), a blank, and "%1" in quotes.
std::string FolderCommandLine(std::string_view programPath);

// The Exec value of the entry: "PATH" %f, with ", `, $ and \ escaped inside the
// quotes, every \ doubled again for the string value, and % written %%. A path
// holding "%" is handed to /bin/sh, which runs it: GIO would not load the entry.
std::string DesktopExecValue(std::string_view programPath);

// The whole entry. recordedDefault: the default folder handler's line this entry
// wrote, and recordedIn the name of the list it went into (none: mimeapps.list),
// kept so that removal takes away only that.
std::string FolderHandlerEntry(std::string_view programPath, std::string_view recordedDefault = {},
                               std::string_view recordedIn = {});

// $XDG_DATA_HOME/applications/quillmere-open-folder.desktop and
// $XDG_CONFIG_HOME/mimeapps.list (~/.local/share and ~/.config when the variables
// are unset or not absolute).
std::string FolderHandlerPath();
std::string MimeAppsListPath();
// The list only the current desktop reads, as GLib names it: "NAME-mimeapps.list"
// beside mimeapps.list, NAME the first of XDG_CURRENT_DESKTOP's colon-separated
// names in ASCII lower case. mimeapps.list itself when the variable names no
// desktop, or a name holding "/".
std::string DesktopMimeAppsListName();
std::string DesktopMimeAppsListPath();

// The desktop's current default application for folders (its desktop-file ID), as
// GIO answers; nothing when there is none.
std::optional<std::string> DefaultFolderHandler();

// Writes the entry and adds it to the added associations of inode/directory in
// mimeapps.list. Where neither that list nor the desktop's own names a default for
// folders, the current default is written into the desktop's own list first: the
// most preferred added association would otherwise become the default. (Written into
// mimeapps.list, it would outrank every other desktop's default.) Each file is
// replaced atomically; every other line stays as it was.
bool AddFolderHandler(std::string_view programPath);
bool AddFolderHandler(std::string_view programPath, const std::optional<std::string>& currentDefault);

// Removes the entry and its association, and the default's line, from the list it
// went into, only while it is still the one the entry recorded. Nothing else
// changes. True when nothing is left.
bool RemoveFolderHandler();

} // namespace platform
