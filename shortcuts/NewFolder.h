#pragma once
// The list's New Folder: "New Folder", or "New Folder (2)", "New Folder (3)" ...
// when the name is taken, as the shell names what it makes.
#include <string>
#include <string_view>

// Makes the folder `name` in `folder` (a host path ending in "/"), or the first
// numbered name that is free, trying at most `tries` names. Answers 0 with the name
// made in `made`, or an errno value: EEXIST when every name tried was taken. The
// system's own refusal (mkdir never takes an existing name) decides what is free, so
// two makers at once never end up with the same folder.
int MakeNumberedFolder(const std::string& folder, std::string_view name, std::string& made, int tries = 9999);
