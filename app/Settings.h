#pragma once
// The main window's settings under HKCU "Software\Tarnwick\Quillmere": read once at
// start, written once at shutdown.
#include <cstdint>
#include <string>

inline constexpr const char* kSettingsKey = "Software\\Tarnwick\\Quillmere";

struct TWindowSettings {
    bool defAct = false; // double-click runs the default verb rather than Properties
    std::int32_t top = 0, left = 0, height = 0, width = 0, treeWidth = 0;
    std::string colShow;
    std::string lastDir;
    bool menuShow = true; // at start: show the menu bar; at shutdown: it is shown
};

enum class TSettingsRead {
    srNoKey,   // the key could not be opened: nothing was read
    srDamaged, // a number or flag was missing or mistyped: the strings read before it are kept
    srComplete,
};

// The values in their reading order; reading stops at the first value that is
// missing or of the wrong type.
TSettingsRead ReadWindowSettings(TWindowSettings& out);

// Writes the values in their order, stopping at the first failure. The place is left
// out where the window system keeps it to itself, place and size while maximized;
// "MenuShow" follows the menu rule ("MenuSave").
void WriteWindowSettings(const TWindowSettings& settings, bool writePlace, bool writeSize);

// The user's Start Menu folder from the shell-folder keys (seeded at start); empty
// when unknown.
std::string StartMenuFolder();
