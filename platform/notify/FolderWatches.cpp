#include "platform/notify/FolderWatches.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <deque>
#include <memory>
#include <unordered_set>

#include "platform/notify/ChangeKinds.h"
#include "platform/notify/ChangeWatch.h"
#include "platform/shell/FsAccess.h"
#include "platform/shell/Volumes.h"

namespace platform::notify {
namespace fs = platform::shell::fs;
namespace {

bool StrictlyBelow(std::string_view path, std::string_view folder)
{
    if (folder == "/")
        return path.size() > 1 && path[0] == '/';
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// The mount points strictly below `top`. A walk never enters one: it is another file
// system (possibly a network share or a pseudo file system), and even a stat of it
// may wait on a server.
std::unordered_set<std::string> MountPointsBelow(const std::string& top)
{
    std::unordered_set<std::string> points;
    fs::UniqueFd fd(::open(platform::shell::MountTablePath().c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return points;
    std::string text;
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    for (auto& e : platform::shell::ParseMountTable(text))
        if (StrictlyBelow(e.MountPoint, top))
            points.insert(std::move(e.MountPoint));
    return points;
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

DirPtr OpenListing(const std::string& path)
{
    fs::UniqueFd fd;
    if (path.size() < PATH_MAX)
        fd = fs::UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    else
        fs::OpenDirectory(path, fd);
    if (!fd)
        return nullptr;
    DIR* d = ::fdopendir(fd.Get());
    if (d)
        fd.Release();
    return DirPtr(d);
}

void SayCapReached(const std::string& top)
{
    static std::atomic<bool> said{false};
    if (said.exchange(true))
        return;
    std::fprintf(stderr,
                 "%s: watching only the first %zu folders below \"%s\" and the levels nearest it; "
                 "changes deeper down are not seen\n",
                 program_invocation_short_name, kSubtreeFolderCap, top.c_str());
    std::fflush(stderr);
}

void SayLimitReached()
{
    static std::atomic<bool> said{false};
    if (said.exchange(true))
        return;
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, ChangeErrorMessage(ENOSPC).c_str());
    std::fflush(stderr);
}

} // namespace

FolderWatches::FolderWatches(int inotifyFd, std::uint32_t mask, std::uint32_t kinds, const std::atomic<bool>& stop)
    : fd_(inotifyFd), mask_(mask), kinds_(kinds), stop_(stop)
{
}

int FolderWatches::AddWatch(const std::string& path)
{
    if (path.size() < PATH_MAX)
        return ::inotify_add_watch(fd_, path.c_str(), mask_ | IN_ONLYDIR | IN_DONT_FOLLOW);
    // Too long for the kernel in one piece: watch the folder through a descriptor.
    fs::UniqueFd dir;
    if (const int e = fs::OpenDirectory(path, dir)) {
        errno = e;
        return -1;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(dir.Get());
    return ::inotify_add_watch(fd_, self.c_str(), mask_ | IN_ONLYDIR);
}

bool FolderWatches::Walk(const std::string& top, bool countContents)
{
    bool found = false;
    const std::unordered_set<std::string> mountPoints = MountPointsBelow(top);
    std::unordered_set<int> seen;
    std::deque<std::string> queue{top};
    while (!queue.empty() && !stop_.load(std::memory_order_relaxed)) {
        const std::string dir = std::move(queue.front());
        queue.pop_front();
        if (paths_.size() >= kSubtreeFolderCap) {
            SayCapReached(top);
            break;
        }
        // The watch comes before the listing: whatever is made after it raises an
        // event, whatever was made before it is listed.
        const int wd = AddWatch(dir);
        if (wd < 0) {
            if (errno == ENOSPC) {
                if (!error_)
                    error_ = ENOSPC;
                SayLimitReached();
                break;
            }
            continue; // gone, or not readable: nothing to watch there
        }
        if (!seen.insert(wd).second)
            continue;
        paths_[wd] = dir;

        DirPtr listing = OpenListing(dir);
        if (!listing)
            continue;
        while (const dirent* e = ::readdir(listing.get())) {
            const std::string_view name = e->d_name;
            if (name == "." || name == "..")
                continue;
            bool isDir = e->d_type == DT_DIR;
            if (e->d_type == DT_UNKNOWN) {
                struct stat st {};
                isDir = ::fstatat(::dirfd(listing.get()), e->d_name, &st, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) == 0 &&
                        S_ISDIR(st.st_mode);
            }
            if (countContents && IsChangeOf(kinds_, IN_CREATE | (isDir ? IN_ISDIR : 0)))
                found = true;
            if (!isDir)
                continue;
            std::string child = fs::JoinPath(dir, name);
            if (!mountPoints.contains(child))
                queue.push_back(std::move(child));
        }
    }
    return found;
}

void FolderWatches::RemoveTree(const std::string& path)
{
    for (auto it = paths_.begin(); it != paths_.end();) {
        const std::string& p = it->second;
        if (p == path || StrictlyBelow(p, path)) {
            ::inotify_rm_watch(fd_, it->first);
            it = paths_.erase(it);
        } else {
            ++it;
        }
    }
}

void FolderWatches::Rescan(const std::string& top)
{
    std::unordered_map<int, std::string> before = std::move(paths_);
    paths_.clear();
    Walk(top, false);
    for (const auto& [wd, path] : before)
        if (!paths_.contains(wd))
            ::inotify_rm_watch(fd_, wd);
}

const std::string* FolderWatches::PathOf(int wd) const
{
    const auto it = paths_.find(wd);
    return it == paths_.end() ? nullptr : &it->second;
}

int FolderWatches::TakeError()
{
    if (!error_ || errorTaken_)
        return 0;
    errorTaken_ = true;
    return error_;
}

} // namespace platform::notify
