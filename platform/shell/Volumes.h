#pragma once
// The user's volumes, as Computer shows them beside the file-system root "/":
// mounts of block devices and network file systems below /media, /run/media and
// /mnt, read from the mount table (/proc/self/mountinfo).
//
// They are shortcuts for browsing. A full path always parses through "/", so every
// folder has one item ID list whatever volume it lies on.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::shell {

struct Volume {
    std::string MountPoint; // host path, no trailing "/"
    std::string Source;     // the device or the network share
    std::string FsType;
    bool Removable = false;
    bool Network = false;

    bool operator==(const Volume&) const = default;
};

// One line of a mount table in the mountinfo format, its paths unescaped.
struct MountEntry {
    std::string Device;     // major:minor
    std::string Root;       // the folder of the file system that is mounted ("/" for all of it)
    std::string MountPoint;
    std::string FsType;
    std::string Source;
};
// The well-formed lines of a mountinfo table, in the table's order.
std::vector<MountEntry> ParseMountTable(std::string_view mountInfo);

// Whether the block device major:minor is removable media (sysfs says so).
using RemovableProbe = std::function<bool(unsigned major, unsigned minor)>;
bool BlockDeviceIsRemovable(unsigned major, unsigned minor);

// The volumes of a mount table in the mountinfo format, ordered by mount point.
// Kept: block devices and network file systems mounted at or below /media,
// /run/media or /mnt, of their file system's root (bind mounts of a folder are not
// volumes), not the device "/" lives on, each device once, and of several mounts on
// one mount point only the one on top. Pseudo file systems (proc, sysfs, cgroup,
// tmpfs, overlay, squashfs, autofs and the like) are never volumes. Removable: the
// device says so, or the mount point is below /media or /run/media, where desktops
// mount media as they arrive.
std::vector<Volume> ParseVolumes(std::string_view mountInfo, const RemovableProbe& removable = BlockDeviceIsRemovable);

// The mount table this process reads: /proc/self/mountinfo, unless a test points it
// elsewhere (an empty path restores the default).
const std::string& MountTablePath();
void SetMountTablePath(std::string path);

// The volumes of the mount table now (none when it cannot be read).
std::vector<Volume> ReadVolumes();

// Decodes the octal escapes (\040 and the like) of a mountinfo path field.
std::string UnescapeMountPath(std::string_view field);

} // namespace platform::shell
