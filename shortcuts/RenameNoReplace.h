#pragma once
// Renaming a file or folder of the list without ever replacing what is already at
// the new name: an accepted edit must not destroy another shortcut.
#include <string>

// Moves from to to (host paths). False, with nothing changed, when something exists
// at to (errno EEXIST), unless it is from itself under another letter case on a
// case-insensitive file system (a mounted Windows disk); false with the system's
// errno when the rename itself fails.
bool RenameNoReplace(const std::string& from, const std::string& to);
