#include "platform/shell/NetworkMounts.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <deque>
#include <mutex>

#include "platform/shell/FsAccess.h"
#include "platform/shell/Volumes.h"

namespace platform::shell {
namespace {

constexpr std::string_view kSystemMountTable = "/proc/self/mountinfo";

// Kernel clients of remote servers, and FUSE clients of remote servers (their type is
// "fuse." + the program's name). gvfs's FUSE bridge serves SMB, SFTP and WebDAV
// shares as well as local ones: it counts as remote.
constexpr std::array<std::string_view, 17> kNetworkTypes = {
    "nfs",  "nfs4",    "cifs",  "smb3",      "smbfs", "ncpfs",  "ceph", "glusterfs", "afs",
    "9p",   "davfs",   "lustre", "gpfs",     "beegfs", "orangefs", "coda", "pvfs2",
};
constexpr std::array<std::string_view, 14> kNetworkFuseTypes = {
    "sshfs", "rclone", "s3fs", "curlftpfs", "glusterfs", "gvfsd-fuse", "davfs2", "ceph-fuse",
    "smbnetfs", "httpfs2", "httpdirfs", "gcsfuse", "goofys", "afpfs",
};

bool AtOrBelow(std::string_view path, std::string_view folder)
{
    if (folder == "/")
        return !path.empty() && path[0] == '/';
    return path.size() >= folder.size() && path.substr(0, folder.size()) == folder &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

std::string ReadAll(int fd)
{
    std::string text;
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    return text;
}

// The cached table of the system's mounts. The descriptor stays open: the kernel
// flags it (POLLPRI) when the table changes.
struct SystemTable {
    std::mutex lock;
    fs::UniqueFd fd;
    std::shared_ptr<const std::vector<NetworkMount>> mounts;
};

std::shared_ptr<const std::vector<NetworkMount>> ReadSystemTable()
{
    // Never destroyed: a worker left on a mount that does not answer may ask for the
    // table while the program's statics are destroyed at exit.
    static SystemTable& table = *new SystemTable;
    std::lock_guard guard(table.lock);
    if (!table.fd) {
        table.fd = fs::UniqueFd(::open(std::string(kSystemMountTable).c_str(), O_RDONLY | O_CLOEXEC));
        if (!table.fd)
            return std::make_shared<const std::vector<NetworkMount>>();
    } else {
        pollfd p{table.fd.Get(), POLLPRI, 0};
        const bool changed = ::poll(&p, 1, 0) > 0 && (p.revents & (POLLPRI | POLLERR));
        if (!changed && table.mounts)
            return table.mounts;
    }
    ::lseek(table.fd.Get(), 0, SEEK_SET);
    table.mounts = std::make_shared<const std::vector<NetworkMount>>(ParseNetworkMounts(ReadAll(table.fd.Get())));
    return table.mounts;
}

// Splits a path into its names, in order, for the walk's queue (front = next).
void PushNamesInFront(std::deque<std::string>& queue, std::string_view path)
{
    std::vector<std::string> names;
    std::size_t pos = 0;
    for (std::string_view name = fs::NextName(path, pos); !name.empty(); name = fs::NextName(path, pos))
        names.emplace_back(name);
    queue.insert(queue.begin(), names.begin(), names.end());
}

std::string Rest(std::string resolved, const std::deque<std::string>& queue)
{
    for (const std::string& name : queue)
        resolved = fs::JoinPath(resolved, name);
    return resolved;
}

int ReadLinkAt(int dir, const std::string& name, std::string& target)
{
    std::string buf(256, '\0');
    for (;;) {
        const ssize_t n = ::readlinkat(dir, name.c_str(), buf.data(), buf.size());
        if (n < 0)
            return errno;
        if (static_cast<std::size_t>(n) < buf.size()) {
            buf.resize(static_cast<std::size_t>(n));
            target = std::move(buf);
            return 0;
        }
        if (buf.size() > (1u << 20))
            return ENAMETOOLONG;
        buf.resize(buf.size() * 2);
    }
}

} // namespace

bool IsNetworkFileSystem(std::string_view fsType)
{
    if (std::find(kNetworkTypes.begin(), kNetworkTypes.end(), fsType) != kNetworkTypes.end())
        return true;
    constexpr std::string_view fuse = "fuse.";
    return fsType.substr(0, fuse.size()) == fuse &&
           std::find(kNetworkFuseTypes.begin(), kNetworkFuseTypes.end(), fsType.substr(fuse.size())) !=
               kNetworkFuseTypes.end();
}

std::vector<NetworkMount> ParseNetworkMounts(std::string_view mountInfo)
{
    std::vector<NetworkMount> mounts;
    for (MountEntry& e : ParseMountTable(mountInfo)) {
        // A later mount on the same point hides the earlier one, network or not.
        std::erase_if(mounts, [&](const NetworkMount& m) { return m.MountPoint == e.MountPoint; });
        if (IsNetworkFileSystem(e.FsType))
            mounts.push_back({std::move(e.MountPoint), std::move(e.FsType), std::move(e.Source)});
    }
    std::sort(mounts.begin(), mounts.end(),
              [](const NetworkMount& a, const NetworkMount& b) { return a.MountPoint < b.MountPoint; });
    return mounts;
}

std::shared_ptr<const std::vector<NetworkMount>> CurrentNetworkMounts()
{
    const std::string& path = MountTablePath();
    if (path == kSystemMountTable)
        return ReadSystemTable();
    fs::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return std::make_shared<const std::vector<NetworkMount>>(fd ? ParseNetworkMounts(ReadAll(fd.Get()))
                                                                : std::vector<NetworkMount>{});
}

const NetworkMount* MountHolding(const std::vector<NetworkMount>& mounts, std::string_view path)
{
    const NetworkMount* best = nullptr;
    for (const NetworkMount& m : mounts) {
        if (AtOrBelow(path, m.MountPoint) && (!best || m.MountPoint.size() > best->MountPoint.size()))
            best = &m;
    }
    return best;
}

PathOnMounts ResolveOnMounts(const std::string& path)
{
    return ResolveOnMounts(path, *CurrentNetworkMounts());
}

PathOnMounts ResolveOnMounts(const std::string& path, const std::vector<NetworkMount>& mounts)
{
    PathOnMounts out;
    if (mounts.empty() || path.empty() || path[0] != '/') {
        out.Resolved = path;
        return out;
    }
    // Descriptors of the folders reached so far, "/" first: ".." pops one, so it goes
    // where the file system says, and a long path never goes to the kernel whole.
    std::vector<fs::UniqueFd> folders;
    folders.emplace_back(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folders.back()) {
        out.Resolved = path;
        out.Error = errno;
        return out;
    }
    std::string resolved = "/";
    if (const NetworkMount* m = MountHolding(mounts, resolved)) {
        out.Network = *m;
        out.Resolved = resolved;
        return out;
    }
    std::deque<std::string> queue;
    PushNamesInFront(queue, path);
    int linksFollowed = 0;
    while (!queue.empty()) {
        std::string name = std::move(queue.front());
        queue.pop_front();
        if (name == ".")
            continue;
        if (name == "..") {
            if (folders.size() > 1) {
                folders.pop_back();
                resolved = std::string(fs::ParentOf(resolved));
            }
            continue;
        }
        const std::string candidate = fs::JoinPath(resolved, name);
        if (const NetworkMount* m = MountHolding(mounts, candidate)) {
            out.Network = *m;
            out.Resolved = Rest(candidate, queue);
            return out;
        }
        struct stat st {};
        if (::fstatat(folders.back().Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) != 0) {
            out.Error = errno;
            out.Resolved = Rest(candidate, queue);
            return out;
        }
        if (S_ISLNK(st.st_mode)) {
            std::string target;
            if (++linksFollowed > 40) {
                out.Error = ELOOP;
            } else {
                out.Error = ReadLinkAt(folders.back().Get(), name, target);
            }
            if (out.Error) {
                out.Resolved = Rest(candidate, queue);
                return out;
            }
            if (!target.empty() && target[0] == '/') {
                folders.resize(1);
                resolved.assign(1, '/');
            }
            PushNamesInFront(queue, target);
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            out.Error = queue.empty() ? 0 : ENOTDIR;
            out.Resolved = Rest(candidate, queue);
            return out;
        }
        fs::UniqueFd next(::openat(folders.back().Get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next) {
            out.Error = errno;
            out.Resolved = Rest(candidate, queue);
            return out;
        }
        folders.push_back(std::move(next));
        resolved = candidate;
    }
    out.Resolved = resolved;
    return out;
}

std::optional<NetworkMount> NetworkMountOf(const std::string& path)
{
    return ResolveOnMounts(path).Network;
}

bool MountProbe::AnyMounts()
{
    auto now = CurrentNetworkMounts();
    if (mounts_ && now != mounts_ && *now != *mounts_)
        Forget();
    mounts_ = std::move(now);
    return !mounts_->empty();
}

void MountProbe::Forget()
{
    folder_.clear();
    next_.clear();
    place_ = {};
}

void MountProbe::Follow(const std::string& folder)
{
    if (!folder_.empty() && folder == folder_)
        return;
    folder_ = folder;
    if (!next_.empty() && folder == next_)
        place_ = {std::nullopt, nextResolved_, 0};
    else
        place_ = ResolveOnMounts(folder, *mounts_);
}

NetworkReach MountProbe::Reach(const std::string& folder, std::string_view name)
{
    if (!AnyMounts())
        return NetworkReach::None;
    if (name.empty() || name == "." || name == ".." || folder.empty() || folder[0] != '/')
        return ResolveOnMounts(fs::JoinPath(folder, name), *mounts_).Network ? NetworkReach::Inside
                                                                             : NetworkReach::None;
    Follow(folder);
    if (place_.Network)
        return NetworkReach::Inside;
    if (place_.Error)
        return NetworkReach::None; // no folder to hold the entry
    const std::string entry = fs::JoinPath(place_.Resolved, name);
    // The folder is local, so only a mount point itself lies on a mount.
    if (MountHolding(*mounts_, entry))
        return NetworkReach::MountRoot;
    struct stat st {};
    if (fs::Stat(entry, st, false) != 0)
        return NetworkReach::None;
    std::string resolved = entry;
    if (S_ISLNK(st.st_mode)) {
        PathOnMounts target = ResolveOnMounts(entry, *mounts_);
        if (target.Network)
            return NetworkReach::ThroughLink;
        if (target.Error)
            return NetworkReach::None;
        resolved = std::move(target.Resolved);
    } else if (!S_ISDIR(st.st_mode)) {
        return NetworkReach::None;
    }
    next_ = fs::JoinPath(folder, name);
    nextResolved_ = std::move(resolved);
    return NetworkReach::None;
}

NetworkReach MountProbe::Reach(const std::string& path)
{
    return Reach(std::string(fs::ParentOf(path)), fs::BaseName(path));
}

} // namespace platform::shell
