#include "platform/shell/Volumes.h"

#include "platform/shell/NetworkMounts.h"

#include <algorithm>
#include <cstdio>
#include <array>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace platform::shell {
namespace {

constexpr std::array kPseudoFileSystems = {
    "proc", "sysfs", "cgroup", "cgroup2", "tmpfs", "overlay", "squashfs", "autofs",
    "devtmpfs", "devpts", "mqueue", "debugfs", "tracefs", "securityfs", "pstore", "bpf",
    "configfs", "fusectl", "hugetlbfs", "binfmt_misc", "ramfs", "nsfs", "efivarfs",
    "rpc_pipefs", "nfsd", "selinuxfs", "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs",
};

template <std::size_t N>
bool OneOf(std::string_view value, const std::array<const char*, N>& set)
{
    return std::any_of(set.begin(), set.end(), [&](const char* s) { return value == s; });
}

bool AtOrBelow(std::string_view path, std::string_view folder)
{
    return path == folder || (path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
                              path[folder.size()] == '/');
}

std::vector<std::string_view> SplitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

std::string& MountTablePathStorage()
{
    // Never destroyed: workers read it, and may still at exit (NetworkMounts.cpp).
    static std::string& path = *new std::string("/proc/self/mountinfo");
    return path;
}

} // namespace

std::string UnescapeMountPath(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool BlockDeviceIsRemovable(unsigned major, unsigned minor)
{
    const std::string dev = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    // A partition's flag is on its disk, one folder up.
    for (const char* rel : {"/removable", "/../removable"}) {
        std::ifstream in(dev + rel);
        int flag = 0;
        if (in >> flag)
            return flag != 0;
    }
    return false;
}

std::vector<MountEntry> ParseMountTable(std::string_view mountInfo)
{
    std::vector<MountEntry> entries;
    std::size_t pos = 0;
    while (pos < mountInfo.size()) {
        std::size_t end = mountInfo.find('\n', pos);
        if (end == std::string_view::npos)
            end = mountInfo.size();
        const std::string_view line = mountInfo.substr(pos, end - pos);
        pos = end + 1;

        const auto fields = SplitFields(line);
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 7 || dash == fields.end() || dash - fields.begin() < 6 || fields.end() - dash < 3)
            continue;
        entries.push_back({std::string(fields[2]), UnescapeMountPath(fields[3]), UnescapeMountPath(fields[4]),
                           std::string(dash[1]), UnescapeMountPath(dash[2])});
    }
    return entries;
}

std::vector<Volume> ParseVolumes(std::string_view mountInfo, const RemovableProbe& removable)
{
    struct Mount {
        Volume volume;
        std::string device; // major:minor
        unsigned major = 0, minor = 0;
        bool candidate = false;
    };
    std::vector<Mount> mounts;
    std::string rootDevice;

    for (MountEntry& e : ParseMountTable(mountInfo)) {
        Mount m;
        m.device = std::move(e.Device);
        if (std::sscanf(m.device.c_str(), "%u:%u", &m.major, &m.minor) != 2)
            continue;
        m.volume.MountPoint = std::move(e.MountPoint);
        m.volume.FsType = std::move(e.FsType);
        m.volume.Source = std::move(e.Source);
        if (m.volume.MountPoint == "/")
            rootDevice = m.device;

        const std::string_view mp = m.volume.MountPoint;
        const bool placed = AtOrBelow(mp, "/media") || AtOrBelow(mp, "/run/media") || AtOrBelow(mp, "/mnt");
        m.volume.Network = IsNetworkFileSystem(m.volume.FsType);
        const bool block = m.volume.Source.rfind("/dev/", 0) == 0;
        m.candidate = placed && e.Root == "/" && !OneOf(m.volume.FsType, kPseudoFileSystems) && (block || m.volume.Network);
        if (m.candidate && block && !m.volume.Network) {
            m.volume.Removable = AtOrBelow(mp, "/media") || AtOrBelow(mp, "/run/media") ||
                                 (removable && removable(m.major, m.minor));
        }
        // A later mount on the same point hides the earlier one.
        std::erase_if(mounts, [&](const Mount& o) { return o.volume.MountPoint == m.volume.MountPoint; });
        mounts.push_back(std::move(m));
    }

    std::vector<Volume> volumes;
    std::set<std::string> seenDevices;
    if (!rootDevice.empty())
        seenDevices.insert(rootDevice);
    // In the table's order, so that of two mounts of one device the first is kept.
    for (Mount& m : mounts) {
        if (!m.candidate || !seenDevices.insert(m.device).second)
            continue;
        volumes.push_back(std::move(m.volume));
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume& a, const Volume& b) { return a.MountPoint < b.MountPoint; });
    return volumes;
}

const std::string& MountTablePath()
{
    return MountTablePathStorage();
}

void SetMountTablePath(std::string path)
{
    MountTablePathStorage() = path.empty() ? std::string("/proc/self/mountinfo") : std::move(path);
}

std::vector<Volume> ReadVolumes()
{
    std::ifstream in(MountTablePath(), std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return ParseVolumes(text.str());
}

} // namespace platform::shell
