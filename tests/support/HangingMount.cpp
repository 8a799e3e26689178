#include "tests/support/HangingMount.h"

#include <fcntl.h>
#include <linux/fuse.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace testsupport {
namespace {

// A test that wrongly waits on the mount is freed after this long: the connection is
// closed, its call fails, and the request it sent fails the test's assertion. Only a
// guard against hanging the whole suite, never a measurement.
constexpr int kWatchdogMs = 20000;

bool& PrivateNamespace()
{
    static bool entered = false;
    return entered;
}

} // namespace

bool EnterPrivateMountNamespace()
{
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0)
        return false;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    PrivateNamespace() = true;
    return true;
}

std::unique_ptr<HangingMount> HangingMount::Create(const std::string& dir, std::string& whyNot,
                                                   const std::string& subtype)
{
    if (!PrivateNamespace()) {
        whyNot = "a test mount needs root and a private mount namespace";
        return nullptr;
    }
    std::unique_ptr<HangingMount> m(new HangingMount);
    m->dir_ = dir;
    m->fuseFd_ = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (m->fuseFd_ < 0) {
        whyNot = std::string("/dev/fuse: ") + std::strerror(errno);
        return nullptr;
    }
    m->stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    const std::string options = "fd=" + std::to_string(m->fuseFd_) + ",rootmode=40000,user_id=0,group_id=0";
    if (::mount("hanging-server:", dir.c_str(), ("fuse." + subtype).c_str(), MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        whyNot = "mounting FUSE: " + std::string(std::strerror(errno));
        ::close(m->fuseFd_);
        ::close(m->stopFd_);
        m->fuseFd_ = m->stopFd_ = -1;
        return nullptr;
    }
    m->server_ = std::thread([raw = m.get()] { raw->Serve(); });
    return m;
}

HangingMount::~HangingMount()
{
    Abort();
    if (server_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
        server_.join();
    }
    ::umount2(dir_.c_str(), MNT_DETACH);
    if (stopFd_ >= 0)
        ::close(stopFd_);
}

void HangingMount::Abort()
{
    std::lock_guard guard(lock_);
    if (fuseFd_ >= 0 && !aborted_.exchange(true)) {
        // The kernel ends the connection when its last descriptor closes; the server
        // thread polls a duplicate no longer.
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
    }
}

bool HangingMount::WaitForRequests(int count)
{
    while (requests_.load() < count) {
        if (aborted_.load())
            return requests_.load() >= count;
        ::usleep(2000);
    }
    return true;
}

void HangingMount::Serve()
{
    std::vector<char> buf(FUSE_MIN_READ_BUFFER + (1 << 20));
    int waited = 0;
    while (!aborted_.load()) {
        pollfd fds[2] = {{fuseFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        const int r = ::poll(fds, 2, 100);
        if (r < 0 && errno != EINTR)
            break;
        if (r == 0 && (waited += 100) >= kWatchdogMs)
            break;
        if (fds[1].revents)
            break;
        if (!(fds[0].revents & POLLIN))
            continue;
        const ssize_t n = ::read(fuseFd_, buf.data(), buf.size());
        if (n < static_cast<ssize_t>(sizeof(fuse_in_header)))
            continue;
        fuse_in_header in;
        std::memcpy(&in, buf.data(), sizeof in);
        if (in.opcode == FUSE_INIT) {
            fuse_init_in init{};
            std::memcpy(&init, buf.data() + sizeof in, std::min(sizeof init, static_cast<std::size_t>(n) - sizeof in));
            struct {
                fuse_out_header head;
                fuse_init_out body;
            } reply{};
            reply.head.len = sizeof reply;
            reply.head.unique = in.unique;
            reply.body.major = FUSE_KERNEL_VERSION;
            reply.body.minor = std::min<std::uint32_t>(init.minor, FUSE_KERNEL_MINOR_VERSION);
            reply.body.max_write = 4096;
            reply.body.time_gran = 1;
            [[maybe_unused]] ssize_t w = ::write(fuseFd_, &reply, sizeof reply);
            continue;
        }
        if (in.opcode != FUSE_INTERRUPT && in.opcode != FUSE_FORGET && in.opcode != FUSE_BATCH_FORGET)
            requests_.fetch_add(1);
    }
    aborted_.store(true);
    std::lock_guard guard(lock_);
    ::close(fuseFd_);
    fuseFd_ = -1;
}

} // namespace testsupport
