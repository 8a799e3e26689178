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

bool ScratchMount::MakeReadOnly(std::string& whyNot)
{
    if (::mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) != 0) {
        whyNot = "mounting tmpfs read-only: " + std::string(std::strerror(errno));
        return false;
    }
    return true;
}

std::unique_ptr<LockedFolder> LockedFolder::Create(const std::string& dir, const std::function<void()>& fill,
                                                   std::string& whyNot)
{
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        whyNot = "mkdir " + dir + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<LockedFolder> locked(new LockedFolder);
    locked->dir_ = dir;
    // Root may write wherever the mode bits forbid it; a read-only mount it may not.
    if (::geteuid() == 0) {
        locked->mount_ = ScratchMount::Create(dir, 1 << 20, whyNot);
        if (!locked->mount_)
            return nullptr;
        fill();
        if (!locked->mount_->MakeReadOnly(whyNot))
            return nullptr;
        return locked;
    }
    fill();
    if (::chmod(dir.c_str(), 0555) != 0) {
        whyNot = "chmod " + dir + ": " + std::strerror(errno);
        return nullptr;
    }
    return locked;
}

LockedFolder::~LockedFolder()
{
    if (mount_)
        mount_.reset();
    else
        ::chmod(dir_.c_str(), 0755);
}

} // namespace testsupport
