#pragma once
// The shell-folder keys of our registry: "Explorer\Shell Folders" and
// "GrpConv\MapGroups" under HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and
// HKEY_USERS\.DEFAULT. Nothing on Linux writes them, so the platform fills in the
// values that are missing, as host paths: from the Wine prefix when there is one
// (its user.reg, system.reg and userdef.reg, through the drive map), else from the
// XDG user directories. A value that has no counterpart stays absent; a value that
// is there is never changed.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/Registry.h"

namespace platform {

class DriveMap;

inline constexpr std::string_view kShellFoldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr std::string_view kUserShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
inline constexpr std::string_view kMapGroupsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\GrpConv\\MapGroups";

// One value the seeding gives: keyPath is relative to the hive (".DEFAULT\..." under
// HKEY_USERS), hostPath is bytes.
struct ShellFolderValue {
    registry::Hive hive = registry::Hive::CurrentUser;
    std::string keyPath;
    std::string name;
    std::string hostPath;
};

// What the seeding would write where nothing is there yet; reads only. With a
// prefix: its shell folders (User Shell Folders expanded with the prefix's
// environment before Shell Folders) and MapGroups, mapped to host paths; the user's
// part comes from the XDG user directories when the prefix has no user.reg.
// Without one: the XDG user directories that exist, for the current user only.
std::vector<ShellFolderValue> ShellFolderSources(const std::optional<std::string>& winePrefix, const DriveMap& drives);

// Writes the values of ShellFolderSources that our registry lacks and returns how
// many it wrote. When none is missing, no hive file is written. Called once at
// start-up: LocateWinePrefix() and DriveMap::Default().
int SeedShellFolders();
int SeedShellFolders(const std::optional<std::string>& winePrefix, const DriveMap& drives);

} // namespace platform
