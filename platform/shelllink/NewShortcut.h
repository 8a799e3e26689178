#pragma once
// Making a new shortcut from what a user typed as its location, for the new-shortcut
// wizard (and how the wizard is started: the shell's command line for it, and a
// separate process of our own program).
#include <string>
#include <string_view>
#include <vector>

#include "platform/shelllink/LinkEditor.h"

namespace platform {

class DriveMap;
class WinEnvironment;

// The location of the item a new shortcut leads to.
struct ShortcutLocation {
    ShortcutKind kind = ShortcutKind::ShellLink; // InternetShortcut for a URL
    std::string target;                          // the URL, or the Windows path
    std::string hostPath; // the target on this machine, when the drive map reaches it
    bool isFolder = false;
    std::string problem; // why it cannot be used; empty when it can
};

// A URL ("https://...", "mailto:...", "www.example.com" taken as http), a host path
// ("/...", "~/..."), or a Windows path ("C:\...", "%VAR%\...", "\\server\share\...").
// A path must exist where the drive map reaches it.
ShortcutLocation ClassifyLocation(std::string_view text, const DriveMap& drives, const WinEnvironment& env);

// The name offered for the shortcut: the target's name without its extension, the
// folder's name, the URL's host.
std::string SuggestShortcutName(const ShortcutLocation& location);
// A name as typed, with ".lnk" or ".url" added unless it ends so already. Empty when
// the name cannot be a file's ("", ".", "..", a "/" or NUL in it).
std::string ShortcutFileName(std::string_view name, ShortcutKind kind);
// fileName when folder/fileName is free, else "Name (2).lnk", "Name (3).lnk", ...;
// a name already numbered goes on from its number.
std::string FreeShortcutName(const std::string& folder, const std::string& fileName);

// Writes the new shortcut, never in place of an existing file: a shell link with the
// target and the target's folder as its working directory, or an Internet shortcut.
EditResult CreateShortcut(const std::string& linkPath, const ShortcutLocation& location, const DriveMap& drives,
                          const WinEnvironment& env);

// The shell's command line for the wizard, "RunDLL32 AppWiz.Cpl,NewLinkHere " followed
// by the folder: true, and the folder (the rest of the line after that one blank,
// blanks included, exactly), when commandLine is one. The program and entry names
// ignore letter case; the program may carry a folder and ".exe".
bool ParseNewLinkHereCommand(std::string_view commandLine, std::string& folder);

// Starts the wizard for the folder as a process of its own (this program's
// executable, "--new-shortcut FOLDER"); the folder's bytes reach it unchanged. False
// when it could not be started. Not waited for.
bool StartNewShortcutWizard(const std::string& folderBytes);

// Runs program with the argument vector (argv[0] included) as a process of its own,
// in its own process group, with default signal handling; reaped when it ends.
bool SpawnDetached(const std::string& program, const std::vector<std::string>& argv);

} // namespace platform
