#pragma once
// Mounts reached over a network (NFS, SMB, sshfs and the like), where any call on a
// file may wait for a server that no longer answers: a stat that never returns. The
// GUI thread must never make such a call, so it asks here first. Every answer comes
// from the mount table and from the local file systems alone; nothing here ever
// touches a file on a network mount.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::shell {

// Whether a file-system type, as the mount table names it ("nfs4", "fuse.sshfs"), is
// reached over a network.
bool IsNetworkFileSystem(std::string_view fsType);

struct NetworkMount {
    std::string MountPoint; // host path, no trailing "/" (except the root "/")
    std::string FsType;
    std::string Source;     // the share: "server:/export", "//server/share", "user@host:"

    bool operator==(const NetworkMount&) const = default;
};

// The network mounts of a mount table in the mountinfo format, wherever they are
// mounted, ordered by mount point.
std::vector<NetworkMount> ParseNetworkMounts(std::string_view mountInfo);

// The network mounts of the mount table now (MountTablePath(), Volumes.h). The table
// is read again only when it changed: the kernel flags /proc/self/mountinfo when a
// mount comes or goes, so asking costs one poll() call. A test's own table (a path
// set with SetMountTablePath) is read again at every call. Safe on any thread.
std::shared_ptr<const std::vector<NetworkMount>> CurrentNetworkMounts();

// The innermost mount of `mounts` that `path` (absolute, as text) is at or below;
// nothing is looked up on disk.
const NetworkMount* MountHolding(const std::vector<NetworkMount>& mounts, std::string_view path);

// Where a host path leads, found without touching a network mount.
struct PathOnMounts {
    // The mount the path reaches, itself or through symbolic links; none when the
    // path stays on local file systems.
    std::optional<NetworkMount> Network;
    // The path with symbolic links and ".." resolved as far as the walk went: up to
    // and including the first component on a network mount, or the whole path.
    std::string Resolved;
    // 0, or the errno of the component that could not be looked up (the path is then
    // local as far as it exists).
    int Error = 0;
};

// Follows `path` (absolute) component by component: a component is looked up (lstat,
// never triggering an automount) only while the folder it lies in is local, symbolic
// links are read and followed (at most 40), ".." goes to the parent of the folder
// reached so far. The walk stops at the first component that lies on a network mount.
// With no network mount in the table the answer is immediate and nothing is looked up.
PathOnMounts ResolveOnMounts(const std::string& path);
PathOnMounts ResolveOnMounts(const std::string& path, const std::vector<NetworkMount>& mounts);

// The network mount `path` reaches, or none (ResolveOnMounts(path).Network).
std::optional<NetworkMount> NetworkMountOf(const std::string& path);

} // namespace platform::shell
