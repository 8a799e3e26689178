#pragma once
// Drive letters to host folders, and Windows environment variables.
//
// Windows paths are text (UTF-8 here) as read from shortcut files; host paths are
// bytes. Only resolving, icons and the shell-folder seeding turn the one into the
// other, through this map.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class WinePrefix;

class DriveMap {
public:
    // The map of this process: QUILLMERE_DRIVES when set ("C:=/mnt/win;D:=/media/data"),
    // else the Wine prefix's dosdevices/ ($WINEPREFIX, else ~/.wine when it exists),
    // plus Z: as "/" unless a drive Z: is given. Built on first use, then kept.
    static const DriveMap& Default();
    // The same, built afresh from the environment now (tests).
    static DriveMap FromEnvironment();
    static DriveMap FromSpec(std::string_view spec);
    static DriveMap FromPrefix(const std::string& prefixDir);

    // Host folder of a drive letter ('C' or 'c'), without a trailing "/" unless it is "/".
    std::optional<std::string> DriveFolder(char letter) const;
    void SetDrive(char letter, std::string hostFolder);
    const std::map<char, std::string>& Drives() const { return drives_; }

    // "C:\Program Files\x.exe" to a host path. Each segment matches the host entry
    // of that exact name, else one that differs only in letter case. Segments that
    // match nothing stay as written, so the result names a path that does not exist.
    // No value for paths without a mapped drive letter (UNC, relative, empty).
    std::optional<std::string> ToHostPath(std::string_view windowsPath) const;
    // A host path to "C:\..." through the longest matching drive folder.
    std::optional<std::string> ToWindowsPath(std::string_view hostPath) const;

private:
    std::map<char, std::string> drives_; // upper-case letter -> host folder
};

// Windows environment variables: those the Wine prefix's registry files hold, the
// per-user ones Wine derives (USERNAME, USERPROFILE, APPDATA, LOCALAPPDATA, TEMP, ...),
// else fixed Windows defaults.
class WinEnvironment {
public:
    static const WinEnvironment& Default(); // from the environment, built on first use
    static WinEnvironment FromEnvironment();
    static WinEnvironment FromPrefix(const std::string& prefixDir);
    static WinEnvironment Defaults();        // no prefix: fixed Windows defaults

    std::optional<std::string> Get(std::string_view name) const; // name ignores case
    void Set(std::string_view name, std::string value);
    // ExpandEnvironmentStrings: every %NAME% that names a variable is replaced by
    // its value; unknown ones stay as written.
    std::string Expand(std::string_view text) const;

private:
    std::map<std::string, std::pair<std::string, std::string>> vars_; // upper-case name -> (name, value)
};

// The Wine prefix of this user: $WINEPREFIX, else ~/.wine when it is a folder.
std::optional<std::string> LocateWinePrefix();

} // namespace platform
