#pragma once
// A FUSE file system that never answers: what a network mount looks like once its
// server went away. It answers the kernel's handshake, then records every request it
// is sent and answers none, so a call on it waits until the mount is closed (the call
// then fails with ENOTCONN). A test asserts that code which must never wait on such a
// mount sent it no request at all; that needs no clock.
//
// Mounting needs root and a private mount namespace, so that no other process on the
// machine ever sees the mount: the test programs enter one at start
// (EnterPrivateMountNamespace). Elsewhere Create fails and the test skips.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/util/Tasks.h"

namespace testsupport {

// While it lives, the program's task home judges at once a mount whose call was
// given up (TaskHome::SetPatience), as if the user had come back to it much later.
struct NoPatience {
    NoPatience() { platform::tasks::TaskHome::Get().SetPatience(std::chrono::milliseconds(0)); }
    ~NoPatience() { platform::tasks::TaskHome::Get().SetPatience(platform::tasks::TaskHome::kPatience); }
    NoPatience(const NoPatience&) = delete;
    NoPatience& operator=(const NoPatience&) = delete;
};

// Makes this process's mounts private to it and its children. Call at the very start
// of main, before any thread exists. Answers whether it did.
bool EnterPrivateMountNamespace();

class HangingMount {
public:
    // Mounts at `dir` (an existing folder) with the file-system type "fuse." + subtype,
    // as the mount table shows sshfs. On failure answers null and says why.
    static std::unique_ptr<HangingMount> Create(const std::string& dir, std::string& whyNot,
                                                const std::string& subtype = "sshfs");
    // Closes the connection (every waiting call fails) and unmounts.
    ~HangingMount();
    HangingMount(const HangingMount&) = delete;
    HangingMount& operator=(const HangingMount&) = delete;

    const std::string& Path() const { return dir_; }
    // Requests received after the handshake.
    int RequestCount() const { return requests_.load(); }
    // Waits until `count` requests came, or the watchdog closed the mount.
    bool WaitForRequests(int count);
    // Closes the connection now: waiting calls fail with ENOTCONN, later calls too.
    void Abort();

private:
    HangingMount() = default;
    void Serve();

    std::string dir_;
    int fuseFd_ = -1;
    int stopFd_ = -1;
    std::atomic<int> requests_{0};
    std::atomic<bool> aborted_{false};
    std::mutex lock_;
    std::thread server_;
};

// A network volume whose server is gone, mounted where the desktop keeps volumes:
// a tmpfs is laid over /media for this process only, the hanging mount goes on
// /media/share, and a mount table of the test's own (SetMountTablePath) lists it as
// sshfs. All undone on destruction.
class HangingVolume {
public:
    static std::unique_ptr<HangingVolume> Create(std::string& whyNot);
    ~HangingVolume();
    HangingVolume(const HangingVolume&) = delete;
    HangingVolume& operator=(const HangingVolume&) = delete;

    const std::string& Path() const { return mount_->Path(); }
    int RequestCount() const { return mount_->RequestCount(); }

private:
    HangingVolume() = default;
    std::unique_ptr<HangingMount> mount_;
};

} // namespace testsupport
