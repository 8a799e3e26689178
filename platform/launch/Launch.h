#pragma once
// Opening files, folders and addresses as the shell's "open" verb does, on the
// desktop's own applications (GIO's GAppInfo). Nothing here ever builds a shell
// command string: programs get an argument vector.
//
//   folder            the desktop's file manager (the default for inode/directory)
//   document          its default application
//   host program      started directly (an executable with an ELF or "#!" header)
//   Windows program   .exe, .bat, .cmd, .com, .msi, .pif: "wine start /unix PATH"
//   desktop entry     (.desktop) its default application, like a document
//   shell link        its target, resolved here through the drive map of the Wine
//                     prefix holding the link, opened by the rules above: a host
//                     program gets the link's Arguments split by the Windows
//                     command-line rules; a Windows program runs as "wine start
//                     /unix TARGET ARGUMENTS..." (Wine never reads the link itself),
//                     with WINEPREFIX set to the prefix holding the link; both start
//                     in the link's working directory
//   Internet shortcut its URL (OpenUrl)
//
// A program (host, Windows or desktop entry) starts only after a question naming
// what really runs, unless it is trusted (LaunchTrust.h) and the shortcut hands it
// no arguments and no working directory of its own. A shortcut whose program differs
// from the target it shows asks whatever the trust. One Open of several items asks
// once, before anything opens; Cancel opens none of them.
//
// What cannot be opened is said in a message box owned by `owner`; the calls then
// answer false.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QWidget;

namespace platform::launch {

bool OpenPath(const std::string& path, QWidget* owner);
// The items of one Open: one question for all the programs they start.
bool OpenPaths(const std::vector<std::string>& paths, QWidget* owner);
bool OpenFolder(const std::string& path, QWidget* owner);
// A place of the file manager that is no path ("trash:///").
bool OpenFolderUri(const std::string& uri, QWidget* owner);

// Web and mail addresses (http, https, ftp, mailto) open at once in the default
// application for their scheme. Anything else (file:, smb:, a custom scheme, a bare
// path) may start a program the user never meant to start, so it opens only after
// the user confirms a question that shows where it leads; so does a mail address
// that asks the mail program to attach files (MailUrlAttachesFiles).
bool OpenUrl(const std::string& url, QWidget* owner);
bool IsWebOrMailUrl(std::string_view url);
// A mailto: address whose query names "attach" or "attachment" (any case, also
// percent-encoded): some mail programs attach the local file it names.
bool MailUrlAttachesFiles(std::string_view url);

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

// What starts a program: g_spawn_async with the arguments, in the working directory
// (empty: this process's), with the variables set on top of this process's
// environment. A test puts a recorder in its place; nullptr restores it.
using EnvVars = std::vector<std::pair<std::string, std::string>>;
using ProgramStarter =
    std::function<bool(const std::vector<std::string>& argv, const std::string& workingDir, const EnvVars& env)>;
void SetProgramStarter(ProgramStarter starter);

} // namespace platform::launch
