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
#include <vector>

namespace platform {

class WineRegistry;

class DriveMap {
public:
    // The map of this process: QUILLMERE_DRIVES when set and not empty ("C:=/mnt/win;D:=/media/data"),
    // else the Wine prefix's dosdevices/ ($WINEPREFIX, else ~/.wine when it exists),
    // plus Z: as "/" unless a drive Z: is given. Built on first use, then kept.
    static const DriveMap& Default();
    // The same, built afresh from the environment now (tests).
    static DriveMap FromEnvironment();
    // "X:=/host/folder" pairs separated by ";". A pair with an empty folder ("Z:=")
    // takes the drive away; pairs that do not parse, or whose folder is not an
    // absolute path, are skipped.
    static DriveMap FromText(std::string_view text);
    static DriveMap FromPrefix(const std::string& prefixDir);

    // Host folder of a drive letter ('C' or 'c'), without a trailing "/" unless it is "/".
    std::optional<std::string> DriveFolder(char letter) const;
    // An empty folder takes the drive away; a letter that is not A to Z is ignored.
    void SetDrive(char letter, std::string hostFolder);
    const std::map<char, std::string>& Drives() const { return drives_; }

    // "C:\Program Files\x.exe" to a host path. Each segment matches the host entry
    // of that exact name, else one that differs only in letter case. Segments that
    // match nothing stay as written, so the result names a path that does not exist.
    // "/" separates as "\" does; empty and "." segments drop out, ".." goes up (never
    // above the drive's folder); a trailing separator is kept. "\\?\" before the
    // drive is accepted. No value for paths without a mapped drive letter (UNC,
    // relative, empty). Segments on a network mount are looked up only when asked
    // to, off the GUI thread: a server that is gone makes the lookup wait; otherwise
    // they stay as written.
    enum class OnNetworkMounts { KeepAsWritten, LookUp };
    std::optional<std::string> ToHostPath(std::string_view windowsPath,
                                          OnNetworkMounts network = OnNetworkMounts::KeepAsWritten) const;
    // A host path to "C:\..." through the longest matching drive folder (matching
    // whole components, by the path as written or as the links in it lead). Bytes
    // that are not UTF-8 pass unchanged. No value for relative paths and for names
    // holding a "\", which Windows would read as a separator.
    std::optional<std::string> ToWindowsPath(std::string_view hostPath) const;

private:
    std::map<char, std::string> drives_;    // upper-case letter -> host folder
    std::map<char, std::string> canonical_; // the same folders with their links resolved
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
    // From a prefix's system.reg and user.reg read by the caller, who must have
    // read (at least) the keys SystemKeys() and UserKeys() name.
    static WinEnvironment FromWineRegistry(const std::string& prefixDir, const WineRegistry& system,
                                           const WineRegistry& user);
    static std::vector<std::string> SystemKeys();
    static std::vector<std::string> UserKeys();

    // The same variables with the per-user ones of the default user's profile
    // (HKEY_USERS\.DEFAULT): USERPROFILE in the profiles folder's "Default".
    WinEnvironment ForDefaultUser() const;

    std::optional<std::string> Get(std::string_view name) const; // name ignores case
    void Set(std::string_view name, std::string value);
    // ExpandEnvironmentStrings: every %NAME% that names a variable is replaced by
    // its value; unknown ones, "%%" and a lone "%" stay as written, and so does one
    // whose value would take the text past 32767 bytes. Values are not expanded again.
    std::string Expand(std::string_view text) const;

private:
    void SetProfile(const std::string& profileDir);

    std::map<std::string, std::pair<std::string, std::string>> vars_; // folded name -> (name, value)
    std::string profilesDir_ = "C:\\users"; // where the user profiles live
};

// The Wine prefix of this user: $WINEPREFIX when set (a relative one is taken from
// the current folder), else ~/.wine; either only when it is a folder. A $WINEPREFIX
// that names no folder means no prefix: the user chose another one than ~/.wine.
std::optional<std::string> LocateWinePrefix();

} // namespace platform
