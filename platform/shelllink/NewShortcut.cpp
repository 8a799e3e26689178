#include "platform/shelllink/NewShortcut.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "platform/drivemap/DriveMap.h"
#include "platform/util/Tasks.h"
#include "platform/util/Text.h"

extern char** environ;

namespace platform {
namespace {

std::string_view Trim(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "scheme:" of two or more characters: one letter is a drive.
bool HasUrlScheme(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon < 2 || !IsLetter(text[0]))
        return false;
    for (std::size_t i = 1; i < colon; ++i)
        if (!IsLetter(text[i]) && !(text[i] >= '0' && text[i] <= '9') && text[i] != '+' && text[i] != '-' &&
            text[i] != '.')
            return false;
    return true;
}

std::string LastWindowsSegment(std::string_view path)
{
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
        path.remove_suffix(1);
    const std::size_t cut = path.find_last_of("\\/");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

bool ProgramIs(std::string_view word, std::string_view name)
{
    const std::size_t cut = word.find_last_of("\\/");
    if (cut != std::string_view::npos)
        word.remove_prefix(cut + 1);
    if (word.size() > 4 && EqualsIgnoreAsciiCase(word.substr(word.size() - 4), ".exe"))
        word.remove_suffix(4);
    return EqualsIgnoreAsciiCase(word, name);
}

} // namespace

ShortcutLocation ClassifyLocation(std::string_view typed, const DriveMap& drives, const WinEnvironment& env)
{
    ShortcutLocation loc;
    std::string text(Trim(typed));
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    if (text.empty()) {
        loc.problem = "Type the location of the item.";
        return loc;
    }
    if (text.starts_with("www.") || (HasUrlScheme(text) && !EqualsIgnoreAsciiCase(text.substr(0, 5), "file:"))) {
        loc.kind = ShortcutKind::InternetShortcut;
        loc.target = text.starts_with("www.") ? "http://" + text : text;
        if (std::string problem = UrlProblem(loc.target); !problem.empty())
            loc.problem = problem;
        return loc;
    }
    if (text.starts_with("~/") || text == "~") {
        const char* home = std::getenv("HOME");
        text = std::string(home ? home : "") + text.substr(1);
    }
    if (text.front() == '/') {
        loc.hostPath = text;
    } else {
        // The editor's rule: a full path, or a program the shell finds by its name.
        std::string problem;
        const std::optional<std::string> target = LinkTargetFromInput(text, drives, env, problem);
        if (!target) {
            loc.problem = "\"" + text + "\": " + problem;
            return loc;
        }
        loc.target = *target;
        if (const auto host = drives.ToHostPath(env.Expand(loc.target)))
            loc.hostPath = *host;
    }
    if (!loc.hostPath.empty()) {
        struct stat st {};
        if (::stat(loc.hostPath.c_str(), &st) != 0) {
            loc.problem = "The item \"" + text + "\" cannot be found.";
            return loc;
        }
        loc.isFolder = S_ISDIR(st.st_mode);
    }
    if (loc.target.empty()) {
        std::string problem;
        const auto windows = WindowsPathFromInput(loc.hostPath, drives, problem);
        if (!windows) {
            loc.problem = "\"" + text + "\": " + problem;
            return loc;
        }
        loc.target = *windows;
    }
    return loc;
}

std::string SuggestShortcutName(const ShortcutLocation& loc)
{
    if (loc.kind == ShortcutKind::InternetShortcut) {
        std::string_view url = loc.target;
        const std::size_t start = url.find("://");
        if (start != std::string_view::npos) {
            url.remove_prefix(start + 3);
            url = url.substr(0, url.find_first_of("/?#"));
            if (const std::size_t at = url.rfind('@'); at != std::string_view::npos)
                url.remove_prefix(at + 1);
            if (!url.empty() && url.find('/') == std::string_view::npos)
                return std::string(url);
        }
        return "New Internet Shortcut";
    }
    std::string name = LastWindowsSegment(loc.target);
    if (name.size() == 2 && name[1] == ':')
        return "Drive " + name.substr(0, 1);
    if (!loc.isFolder) {
        const std::size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0)
            name.resize(dot);
    }
    std::replace(name.begin(), name.end(), '/', '_');
    return name.empty() ? "New Shortcut" : name;
}

std::string ShortcutFileName(std::string_view typed, ShortcutKind kind)
{
    const std::string name(Trim(typed));
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return {};
    const std::string_view ext = kind == ShortcutKind::InternetShortcut ? ".url" : ".lnk";
    if (name.size() > ext.size() && EqualsIgnoreAsciiCase(std::string_view(name).substr(name.size() - ext.size()), ext))
        return name;
    return name + std::string(ext);
}

std::string FreeShortcutName(const std::string& folder, const std::string& fileName)
{
    const std::string dir = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    struct stat st {};
    if (::lstat((dir + fileName).c_str(), &st) != 0)
        return fileName;
    const std::size_t dot = fileName.rfind('.');
    std::string stem = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : fileName.substr(dot);
    // "Name (3)" goes on as "Name (4)", not "Name (3) (2)".
    int first = 2;
    if (const std::size_t open = stem.rfind(" ("); open != std::string::npos && stem.back() == ')' &&
                                                   stem.size() - open > 3 && stem.size() - open < 9) {
        const std::string digits = stem.substr(open + 2, stem.size() - open - 3);
        if (digits.find_first_not_of("0123456789") == std::string::npos && digits[0] != '0') {
            first = std::stoi(digits) + 1;
            stem.resize(open);
        }
    }
    for (int n = first; n < first + 10000; ++n) {
        const std::string candidate = stem + " (" + std::to_string(n) + ")" + ext;
        if (::lstat((dir + candidate).c_str(), &st) != 0)
            return candidate;
    }
    return fileName;
}

EditResult CreateShortcut(const std::string& linkPath, const ShortcutLocation& loc, const DriveMap& drives,
                          const WinEnvironment& env)
{
    if (!loc.problem.empty())
        return {EditStatus::Invalid, loc.problem};
    LinkEditor editor(linkPath, drives, env);
    if (editor.Kind() != loc.kind)
        return {EditStatus::Invalid, loc.kind == ShortcutKind::InternetShortcut
                                         ? "a URL needs an Internet shortcut (.url)"
                                         : "a path needs a shell link (.lnk)"};
    editor.StartNew();
    ShortcutEdits edits;
    edits.target = loc.target;
    if (loc.kind == ShortcutKind::ShellLink && !loc.isFolder) {
        // The program starts where it lives, as the shell's wizard sets it up.
        const std::size_t cut = loc.target.find_last_of('\\');
        if (cut != std::string::npos && cut >= 2)
            edits.workingDirectory = loc.target.substr(0, cut == 2 && loc.target[1] == ':' ? 3 : cut);
    }
    if (EditResult r = editor.Apply(edits); !r.Ok())
        return r;
    return editor.Save(SaveMode::CreateNew);
}

bool ParseNewLinkHereCommand(std::string_view line, std::string& folder)
{
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    const std::size_t blank = line.find_first_of(" \t");
    if (blank == std::string_view::npos || !ProgramIs(line.substr(0, blank), "rundll32"))
        return false;
    line.remove_prefix(blank);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    constexpr std::string_view entry = "AppWiz.Cpl,NewLinkHere ";
    if (line.size() <= entry.size() || !EqualsIgnoreAsciiCase(line.substr(0, entry.size()), entry))
        return false;
    folder.assign(line.substr(entry.size()));
    return true;
}

bool SpawnDetached(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args) {
        if (a.find('\0') != std::string::npos)
            return false;
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0)
        return false;
    // The child must not inherit what this process did to its signals (the main
    // window blocks the shutdown signals to wait for them itself), nor die with
    // this process's terminal group.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGUSR1, SIGUSR2})
        sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (error != 0)
        return false;
    // Reaped when it ends, so it never lingers as a zombie of ours; it may run as
    // long as the user likes, so the wait has a thread of its own.
    tasks::TaskHome::Get().RunLong([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    });
    return true;
}

bool StartNewShortcutWizard(const std::string& folderBytes)
{
    return SpawnDetached("/proc/self/exe", {"quillmere", "--new-shortcut", folderBytes});
}

} // namespace platform
