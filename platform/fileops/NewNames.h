#pragma once
// The names the shell gives to what it makes: a copy in its own folder, a copy kept
// beside one of the same name, a shortcut. Names are bytes; the extension is what
// follows the last "." of a file's name unless that "." begins it (".profile" has
// none); folders have none.
#include <string>
#include <string_view>

namespace platform::fileops {

// A name a job may create inside its destination: not empty, no "/", not "." or "..",
// no NUL.
bool IsSafeName(std::string_view name);

// Each makes the n-th candidate, n >= 1; n == 1 is the plain form. Results longer
// than a file name may be (255 bytes) lose the end of their stem, never part of a
// UTF-8 character.
// "NAME.EXT" -> "NAME - Copy.EXT", then "NAME - Copy (2).EXT".
std::string CopyName(std::string_view name, bool isFolder, int n);
// "NAME.EXT" itself, then "NAME (2).EXT".
std::string NumberedName(std::string_view name, bool isFolder, int n);
// The shortcut to `name`, whose whole name stays in it: "notes.txt - Shortcut.lnk",
// then "notes.txt - Shortcut (2).lnk". A shortcut to a shortcut file is a copy of it,
// so it keeps that file's extension instead: "Tool.lnk" -> "Tool - Shortcut.lnk".
std::string ShortcutName(std::string_view name, bool isFolder, int n);
// ".lnk", ".pif" and ".url" in any letter case.
bool IsShortcutFile(std::string_view name);

} // namespace platform::fileops
