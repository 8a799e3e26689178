#pragma once
// The shortcut list's ten columns: one letter each, and the column texts (caption,
// "=", description) that the list, the options dialog and the command-line report
// all show.
#include <array>
#include <string_view>

// Every column letter in built-in order.
inline constexpr std::string_view kAllColumns = "abcdefghij";

// The column texts in the order of kAllColumns, each "Caption=Description".
inline constexpr std::array<std::string_view, 10> kColumnDescriptions = {
    "Name=The subfolder name or shortcut filename (required).",
    "Type=The extension of the shortcut file (lnk, pif, url).",
    "Target=The file or URL the shortcut invokes.",
    "Target Path=The path to the target file.",
    "Arguments=Command line switches sent to the target.",
    "Start in Directory=The folder the target will use.",
    "Hotkey=The key combination assigned to the shortcut (if any).",
    "Window State=How the window is presented (Minimized, Maximized, or Normal).",
    "Icon Location=Path and file containing the icon displayed (if different from default).",
    "Icon Index=The index to the displayed icon within the icon location file.",
};

// The caption (text before the first "=") and the description (text after it) of a
// column letter; empty for a letter outside "a" to "j".
std::string_view ColumnCaption(char letter);
std::string_view ColumnDescription(char letter);

// A column set the program shows as it stands: "a" (the name, which cannot be left
// out) followed by distinct letters from "b" to "j".
bool IsValidColumnSet(std::string_view columnSet);
