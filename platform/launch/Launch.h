#pragma once
// Opening files, folders and addresses as the shell's "open" verb does, on the
// desktop's own applications (GIO's GAppInfo). Nothing here ever builds a shell
// command string: programs get an argument vector.
//
//   folder            the desktop's file manager (the default for inode/directory)
//   document          its default application
//   host program      started directly (an executable with an ELF or "#!" header)
//   Windows program   .exe, .bat, .cmd, .com, .msi, .pif: "wine start /unix PATH"
//   shell link        its resolved target by the rules above; one that leads to a
//                     Windows program runs as "wine start /unix LINK" in the link's
//                     working directory, with WINEPREFIX set to the prefix holding
//                     the link; a host program gets the link's Arguments split by
//                     the Windows command-line rules
//   Internet shortcut its URL (OpenUrl)
//
// What cannot be opened is said in a message box owned by `owner`; the calls then
// answer false.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace platform::launch {

bool OpenPath(const std::string& path, QWidget* owner);
bool OpenFolder(const std::string& path, QWidget* owner);
// A place of the file manager that is no path ("trash:///").
bool OpenFolderUri(const std::string& uri, QWidget* owner);

// Web and mail addresses (http, https, ftp, mailto) open at once in the default
// application for their scheme. Anything else (file:, smb:, a custom scheme, a bare
// path) may start a program the user never meant to start, so it opens only after
// the user confirms a question that shows where it leads.
bool OpenUrl(const std::string& url, QWidget* owner);
bool IsWebOrMailUrl(std::string_view url);

// The applications that can open all of these files (one type for all), for the
// "Open With" menu: the desktop entry's id, its name and its icon (a theme name or
// a file path).
struct AppChoice {
    std::string id;
    std::string name;
    std::string icon;
};
std::vector<AppChoice> AppsForPaths(const std::vector<std::string>& paths);
bool OpenWith(const std::string& appId, const std::vector<std::string>& paths, QWidget* owner);

// Names Windows runs as programs: .exe, .bat, .cmd, .com, .msi, .pif (any case).
bool IsWindowsProgramName(std::string_view name);
// The Wine prefix a path lies in: the nearest folder above it holding "system.reg"
// and "dosdevices".
std::optional<std::string> WinePrefixHolding(const std::string& path);

} // namespace platform::launch
