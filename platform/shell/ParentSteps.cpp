#include "platform/shell/ParentSteps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "platform/shell/FsAccess.h"
#include "platform/shell/NetworkMounts.h"

namespace platform::shell::fs {
namespace {

// As many links as the kernel follows in one path.
constexpr int kMaxLinks = 40;

std::string Joined(const std::vector<std::string>& parts)
{
    std::string path;
    for (const std::string& part : parts)
        path += "/" + part;
    return path.empty() ? "/" : path;
}

int ReadLink(const std::string& path, std::string& target)
{
    std::vector<char> buf(PATH_MAX);
    ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
    if (n < 0 && errno == ENAMETOOLONG) {
        UniqueFd parent;
        if (const int e = OpenDirectory(std::string(ParentOf(path)), parent))
            return e;
        n = ::readlinkat(parent.Get(), std::string(BaseName(path)).c_str(), buf.data(), buf.size());
    }
    if (n < 0)
        return errno;
    target.assign(buf.data(), static_cast<std::size_t>(n));
    return 0;
}

// Pushes the components of `path` so that the first is taken first.
void PushReversed(std::string_view path, std::vector<std::string>& todo)
{
    std::vector<std::string> names;
    std::size_t pos = 0;
    for (std::string_view name = NextName(path, pos); !name.empty(); name = NextName(path, pos))
        names.emplace_back(name);
    todo.insert(todo.end(), names.rbegin(), names.rend());
}

// Whether looking at `path` itself would ask a network file system: it lies in a
// folder on a network mount, or is the root of one. A link in a local folder that
// leads into a mount is read locally.
bool AsksANetwork(const std::string& path)
{
    const auto mounts = CurrentNetworkMounts();
    if (!mounts || mounts->empty())
        return false;
    const PathOnMounts folder = ResolveOnMounts(std::string(ParentOf(path)), *mounts);
    if (folder.Network)
        return true;
    const std::string entry = JoinPath(folder.Resolved, BaseName(path));
    const NetworkMount* holding = MountHolding(*mounts, entry);
    return holding && holding->MountPoint == entry;
}

} // namespace

bool HasParentStep(std::string_view path)
{
    std::size_t pos = 0;
    for (std::string_view name = NextName(path, pos); !name.empty(); name = NextName(path, pos))
        if (name == "..")
            return true;
    return false;
}

int ResolveParentSteps(std::string_view path, std::string& out)
{
    if (path.empty() || path[0] != '/')
        return EINVAL;
    std::vector<std::string> parts; // the folder reached, as typed
    std::vector<std::string> todo;  // the steps still to take, the next one last
    PushReversed(path, todo);
    int links = 0;
    while (!todo.empty()) {
        std::string name = std::move(todo.back());
        todo.pop_back();
        if (name == ".")
            continue;
        if (name != "..") {
            parts.push_back(std::move(name));
            continue;
        }
        if (parts.empty())
            continue;
        const std::string at = Joined(parts);
        // On a share the step is taken by name: a server that went away would hold
        // the caller, and its folders are taken as folders without asking.
        if (AsksANetwork(at)) {
            parts.pop_back();
            continue;
        }
        struct stat st {};
        if (const int e = Stat(at, st, false))
            return e;
        if (S_ISLNK(st.st_mode)) {
            // The link's target takes its place, and the ".." is taken again from there.
            if (++links > kMaxLinks)
                return ELOOP;
            std::string target;
            if (const int e = ReadLink(at, target))
                return e;
            parts.pop_back();
            if (!target.empty() && target[0] == '/')
                parts.clear();
            todo.push_back("..");
            PushReversed(target, todo);
            continue;
        }
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
        parts.pop_back();
    }
    out = Joined(parts);
    return 0;
}

} // namespace platform::shell::fs
