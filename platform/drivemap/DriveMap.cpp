#include "platform/drivemap/DriveMap.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/shell/NetworkMounts.h"
#include "platform/util/Text.h"
#include "platform/util/UniqueFd.h"

namespace platform {
namespace {

char DriveLetter(char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z')
        return c;
    return 0;
}

std::string_view CutAtNul(std::string_view s)
{
    const size_t nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

std::string JoinHost(const std::string& folder, std::string_view name)
{
    std::string out = folder;
    if (out.empty() || out.back() != '/')
        out += '/';
    out.append(name);
    return out;
}

// The names of a path split at any of the separators, with empty names and "."
// dropped and ".." taking away the name before it (never going above the start).
// ".." is taken as written, not through links.
std::vector<std::string_view> ResolvedNames(std::string_view path, std::string_view separators)
{
    std::vector<std::string_view> names;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t end = path.find_first_of(separators, pos);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view name = path.substr(pos, end - pos);
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        pos = end + 1;
    }
    return names;
}

// An absolute host path without empty, "." and ".." components and without a
// trailing "/" (except for "/" itself).
std::string NormalizeHostPath(std::string_view path)
{
    const std::vector<std::string_view> parts = ResolvedNames(path, "/");
    if (parts.empty())
        return "/";
    std::string out;
    for (const std::string_view part : parts) {
        out += '/';
        out.append(part);
    }
    return out;
}

std::optional<std::string> RealPath(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real)
        return std::nullopt;
    return std::string(real.get());
}

// The path with the links in its existing part resolved; the part that does not
// exist follows as written. A network mount is not looked into.
std::string CanonicalPath(const std::string& normalized)
{
    if (shell::PathOnMounts place = shell::ResolveOnMounts(normalized); place.Network)
        return std::move(place.Resolved);
    std::string head = normalized;
    std::string tail;
    for (;;) {
        if (std::optional<std::string> real = RealPath(head))
            return tail.empty() ? *real : JoinHost(*real, tail);
        const size_t slash = head.rfind('/');
        if (slash == std::string::npos || head == "/")
            return normalized;
        tail = tail.empty() ? head.substr(slash + 1) : head.substr(slash + 1) + "/" + tail;
        head = slash == 0 ? "/" : head.substr(0, slash);
    }
}

// Length of folder when it is path or a leading run of whole components of it, else 0
// ("/" matches every absolute path with length 1).
size_t MatchLength(std::string_view path, std::string_view folder)
{
    if (folder == "/")
        return 1;
    if (path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0)
        return 0;
    if (path.size() > folder.size() && path[folder.size()] != '/')
        return 0;
    return folder.size();
}

// The entry of folder whose name equals name ignoring letter case; of several, the
// first in byte order, so the answer does not depend on the directory's order.
std::optional<std::string> FindIgnoringCase(const std::string& folder, std::string_view name)
{
    const UniqueDir dir(::opendir(folder.c_str()));
    if (!dir)
        return std::nullopt;
    const std::string wanted = FoldCase(name);
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view entryName = entry->d_name;
        if (entryName == "." || entryName == "..")
            continue;
        if (FoldCase(entryName) == wanted && (!found || entryName < *found))
            found = std::string(entryName);
    }
    return found;
}

// A path made absolute against the current folder, then normalized.
std::optional<std::string> AbsoluteHostPath(const std::string& path)
{
    if (!path.empty() && path.front() == '/')
        return NormalizeHostPath(path);
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    if (!cwd)
        return std::nullopt;
    return NormalizeHostPath(JoinHost(cwd.get(), path));
}

std::string HomeDir()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder a dosdevices entry leads to, spelled through the prefix rather than
// with every link resolved, so host paths under the prefix map back to the drive as
// the user writes them.
std::optional<std::string> DosDeviceFolder(const std::string& dosdevices, const std::string& entryPath)
{
    // A drive on a network share is taken for a folder unasked, so that a server
    // that is gone does not hold up the program's start.
    const shell::PathOnMounts place = shell::ResolveOnMounts(entryPath);
    struct stat entry {};
    if (!place.Network && (::stat(entryPath.c_str(), &entry) != 0 || !S_ISDIR(entry.st_mode)))
        return std::nullopt; // dangling, or a file or device
    std::string target;
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = ::readlink(entryPath.c_str(), buf.data(), buf.size());
        if (n < 0) {
            target = entryPath; // a folder in its own right
            break;
        }
        if (static_cast<size_t>(n) < buf.size()) {
            target.assign(buf.data(), static_cast<size_t>(n));
            break;
        }
        buf.resize(buf.size() * 2);
    }
    if (target.empty())
        return std::nullopt;
    std::string folder = NormalizeHostPath(target.front() == '/' ? target : JoinHost(dosdevices, target));
    // ".." taken as written is wrong when dosdevices itself is a link: then the
    // spelled folder is another one, and only the resolved path is right.
    if (place.Network) {
        if (shell::ResolveOnMounts(folder).Resolved != place.Resolved)
            folder = place.Resolved;
        return folder;
    }
    struct stat spelled {};
    if (::stat(folder.c_str(), &spelled) != 0 || spelled.st_dev != entry.st_dev || spelled.st_ino != entry.st_ino) {
        if (std::optional<std::string> real = RealPath(entryPath))
            folder = *real;
    }
    return folder;
}

} // namespace

const DriveMap& DriveMap::Default()
{
    // Never destroyed: workers map paths with it, and may still at exit.
    static const DriveMap& map = *new DriveMap(FromEnvironment());
    return map;
}

DriveMap DriveMap::FromEnvironment()
{
    if (const char* text = std::getenv("QUILLMERE_DRIVES"); text && *text)
        return FromText(text);
    if (const std::optional<std::string> prefix = LocateWinePrefix())
        return FromPrefix(*prefix);
    DriveMap map;
    map.SetDrive('Z', "/");
    return map;
}

DriveMap DriveMap::FromText(std::string_view text)
{
    DriveMap map;
    bool zGiven = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(';', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view pair = text.substr(pos, end - pos);
        pos = end + 1;
        while (!pair.empty() && (pair.front() == ' ' || pair.front() == '\t'))
            pair.remove_prefix(1);
        // "C:=/x", also "C=/x".
        const size_t eq = pair.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string_view letterPart = pair.substr(0, eq);
        while (!letterPart.empty() && (letterPart.back() == ' ' || letterPart.back() == '\t'))
            letterPart.remove_suffix(1);
        if (letterPart.size() == 2 && letterPart[1] == ':')
            letterPart.remove_suffix(1);
        if (letterPart.size() != 1 || DriveLetter(letterPart[0]) == 0)
            continue;
        const char letter = DriveLetter(letterPart[0]);
        const std::string_view folder = pair.substr(eq + 1);
        if (!folder.empty() && folder.front() != '/')
            continue;
        map.SetDrive(letter, std::string(folder));
        if (letter == 'Z')
            zGiven = true;
    }
    if (!zGiven)
        map.SetDrive('Z', "/");
    return map;
}

DriveMap DriveMap::FromPrefix(const std::string& prefixDir)
{
    DriveMap map;
    const std::string dosdevices = JoinHost(AbsoluteHostPath(prefixDir).value_or(prefixDir), "dosdevices");
    if (const UniqueDir dir(::opendir(dosdevices.c_str())); dir) {
        while (const dirent* entry = ::readdir(dir.get())) {
            // Drives are named "c:"; "d::" stands for the raw device under a drive,
            // and "com1", "lpt1" and the like are ports.
            const std::string_view name = entry->d_name;
            if (name.size() != 2 || name[1] != ':' || DriveLetter(name[0]) == 0)
                continue;
            if (std::optional<std::string> folder = DosDeviceFolder(dosdevices, JoinHost(dosdevices, name)))
                map.SetDrive(DriveLetter(name[0]), std::move(*folder));
        }
    }
    if (!map.drives_.contains('Z'))
        map.SetDrive('Z', "/");
    return map;
}

std::optional<std::string> DriveMap::DriveFolder(char letter) const
{
    const auto it = drives_.find(DriveLetter(letter));
    if (it == drives_.end())
        return std::nullopt;
    return it->second;
}

void DriveMap::SetDrive(char letter, std::string hostFolder)
{
    letter = DriveLetter(letter);
    if (letter == 0)
        return;
    hostFolder = std::string(CutAtNul(hostFolder));
    if (hostFolder.empty()) {
        drives_.erase(letter);
        canonical_.erase(letter);
        return;
    }
    std::string folder = hostFolder.front() == '/' ? NormalizeHostPath(hostFolder) : hostFolder;
    canonical_[letter] = folder.front() == '/' ? CanonicalPath(folder) : folder;
    drives_[letter] = std::move(folder);
}

std::optional<std::string> DriveMap::ToHostPath(std::string_view windowsPath, OnNetworkMounts network) const
{
    std::string_view path = CutAtNul(windowsPath);
    // The long-path forms "\\?\C:\..." and "\??\C:\..." name the same file.
    for (const std::string_view longForm : {"\\\\?\\", "\\??\\", "//?/"}) {
        if (path.substr(0, longForm.size()) == longForm) {
            path.remove_prefix(longForm.size());
            break;
        }
    }
    if (path.size() < 2 || path[1] != ':' || DriveLetter(path[0]) == 0)
        return std::nullopt;
    const std::optional<std::string> folder = DriveFolder(path[0]);
    if (!folder)
        return std::nullopt;
    path.remove_prefix(2);

    // Windows reads "." and ".." as written, before looking at the disk.
    const std::vector<std::string_view> segments = ResolvedNames(path, "\\/");
    const bool trailingSeparator = !path.empty() && (path.back() == '\\' || path.back() == '/');

    std::string host = *folder;
    bool onDisk = true; // the folder so far exists, so its entries can be looked at
    const bool keepOnNetwork = network == OnNetworkMounts::KeepAsWritten && !shell::CurrentNetworkMounts()->empty();
    shell::MountProbe mounts;
    for (const std::string_view segment : segments) {
        std::string next = JoinHost(host, segment);
        if (onDisk && keepOnNetwork && mounts.Reach(host, segment) != shell::NetworkReach::None)
            onDisk = false;
        if (onDisk) {
            struct stat st {};
            if (::lstat(next.c_str(), &st) != 0) {
                if (std::optional<std::string> name = FindIgnoringCase(host, segment))
                    next = JoinHost(host, *name);
                else
                    onDisk = false;
            }
        }
        host = std::move(next);
    }
    if (trailingSeparator && host.back() != '/')
        host += '/';
    return host;
}

std::optional<std::string> DriveMap::ToWindowsPath(std::string_view hostPath) const
{
    const std::string_view path = CutAtNul(hostPath);
    if (path.empty() || path.front() != '/')
        return std::nullopt;
    const std::string normalized = NormalizeHostPath(path);
    if (normalized.find('\\') != std::string::npos)
        return std::nullopt;

    struct Match {
        char letter = 0;
        size_t length = 0;
        const std::string* path = nullptr;
        size_t folderLength = 0;
    };
    auto bestOf = [this](const std::string& candidate, Match best) {
        for (const auto& [letter, folder] : drives_) {
            for (const std::string* spelling : {&folder, &canonical_.at(letter)}) {
                const size_t length = MatchLength(candidate, *spelling);
                if (length > best.length) {
                    const size_t folderLength = *spelling == "/" ? 0 : spelling->size();
                    best = Match{letter, length, &candidate, folderLength};
                }
            }
        }
        return best;
    };
    Match best = bestOf(normalized, Match{});
    std::string canonical;
    if (best.length <= 1) {
        // Only a drive for "/" (or none) matched: the path may reach a drive's
        // folder through links, or the drive's folder be spelled through them.
        canonical = CanonicalPath(normalized);
        if (canonical != normalized && canonical.find('\\') == std::string::npos)
            best = bestOf(canonical, best);
    }
    if (best.letter == 0)
        return std::nullopt;

    std::string rest = best.path->substr(best.folderLength);
    std::string out(1, best.letter);
    out += ":";
    for (char c : rest)
        out += c == '/' ? '\\' : c;
    if (out.size() == 2)
        out += '\\';
    if (path.back() == '/' && out.back() != '\\')
        out += '\\';
    return out;
}

std::optional<std::string> LocateWinePrefix()
{
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) {
        const std::optional<std::string> dir = AbsoluteHostPath(prefix);
        return dir && IsFolder(*dir) ? dir : std::nullopt;
    }
    const std::string dir = NormalizeHostPath(JoinHost(HomeDir(), ".wine"));
    return IsFolder(dir) ? std::optional<std::string>(dir) : std::nullopt;
}

} // namespace platform
