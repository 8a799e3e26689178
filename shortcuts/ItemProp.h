#pragma once
// The shortcut record and its two readers, and the check behind the shortcut test.
// The readers only read: the program never writes a shortcut file. The library's
// shell verbs, which need the GUI, are in ShellVerbs.h.
//
// The record's strings are UTF-8 text as read from the file (Windows paths stay as
// written: "\" separators, %VARS% unexpanded). File names are host paths (bytes).
#include <cstdint>
#include <optional>
#include <string>

struct TwekShortcutInfo {
    std::string Target;
    std::string TargetPath;
    std::string StartIn;
    std::string Arguments;
    std::string Description;
    std::int32_t ShowCommand = 1;
    std::string WindowState;
    std::uint16_t Hotkey = 0;
    std::string HotkeyText;
    std::string IconLocation;
    std::int32_t IconIndex = 0;
};

bool ClearShortcutInfo(TwekShortcutInfo& info);
// Clears the record, reads it with the reader its extension chooses (".url" in any
// letter case: Internet shortcut; anything else: shell link), then sets WindowState,
// turns Hotkey into its key-code form and sets HotkeyText, whatever the result.
bool ReadShortcut(const std::string& fileName, TwekShortcutInfo& info);
bool ReadShellLink(const std::string& fileName, TwekShortcutInfo& info);
bool ReadInternetShortcut(const std::string& fileName, TwekShortcutInfo& info);

// The text form of a show command ("Normal", "Minimized", ... "abNormal").
std::string WindowStateText(std::int32_t showCommand);
// The stored hotkey form (HOTKEYF_ flags in the high byte) to the key-code form
// (Shift 0x2000, Ctrl 0x4000, Alt 0x8000; the extended flag is lost).
std::uint16_t HotkeyToKeyCode(std::uint16_t stored);
// "Shift+Ctrl+Alt+" as set, then the key's name; empty when the key has no name.
std::string HotkeyText(std::uint16_t keyCode);

// True when the shell link at that path resolves (no user interface, no search).
bool TestShellLink(const std::string& path);
// The mount point of the network mount that TestShellLink (path) would look at (the
// link file itself, its target, or the target by its relative path), found from the
// mount table and the local file systems alone; none when the test stays local.
// Such a test may wait for ever on a server that went away.
std::optional<std::string> LinkTestNetworkMount(const std::string& path);
