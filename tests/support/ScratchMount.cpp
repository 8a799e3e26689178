#include "tests/support/ScratchMount.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace testsupport {
namespace {

// A mount made outside a private namespace would show on the whole machine. The test
// programs leave the namespace of the process that started them.
bool InPrivateMountNamespace()
{
    struct stat own {}, parent {};
    const std::string parentNs = "/proc/" + std::to_string(::getppid()) + "/ns/mnt";
    return ::stat("/proc/self/ns/mnt", &own) == 0 && ::stat(parentNs.c_str(), &parent) == 0 &&
           own.st_ino != parent.st_ino;
}

} // namespace

std::unique_ptr<ScratchMount> ScratchMount::Create(const std::string& dir, std::size_t bytes, std::string& whyNot)
{
    if (::geteuid() != 0 || !InPrivateMountNamespace()) {
        whyNot = "a test mount needs root and a private mount namespace";
        return nullptr;
    }
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    if (::mount("qmtest", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        whyNot = "mounting tmpfs: " + std::string(std::strerror(errno));
        return nullptr;
    }
    return std::unique_ptr<ScratchMount>(new ScratchMount(dir));
}

ScratchMount::~ScratchMount() { ::umount2(dir_.c_str(), MNT_DETACH); }

std::unique_ptr<LockedFolder> LockedFolder::Create(const std::string& dir, const std::function<void()>& fill,
                                                   std::string& whyNot)
{
    std::unique_ptr<LockedFolder> locked(new LockedFolder);
    locked->dir_ = dir;
    ::mkdir(dir.c_str(), 0755);
    // Root writes wherever the mode bits forbid it, but on a read-only mount it may not.
    if (::geteuid() == 0 && !(locked->mount_ = ScratchMount::Create(dir, 1 << 20, whyNot)))
        return nullptr;
    fill();
    if ((locked->mount_ ? ::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr)
                        : ::chmod(dir.c_str(), 0555)) != 0) {
        whyNot = "locking " + dir + ": " + std::strerror(errno);
        return nullptr;
    }
    return locked;
}

LockedFolder::~LockedFolder()
{
    if (!mount_)
        ::chmod(dir_.c_str(), 0755);
}

} // namespace testsupport
