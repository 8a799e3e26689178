#include "platform/notify/ChangeWatch.h"

#include <errno.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/notify/ChangeKinds.h"
#include "platform/notify/FolderWatches.h"
#include "platform/shell/FsAccess.h"
#include "platform/shell/NetworkMounts.h"
#include "platform/util/Tasks.h"

namespace platform::notify {
namespace fs = platform::shell::fs;
namespace {

// File systems whose folders are the kernel's own views: nothing below them is
// worth a watch, and some hold a great many folders.
bool IsPseudoFileSystem(long type)
{
    static constexpr std::array<long, 17> kTypes = {
        PROC_SUPER_MAGIC,   SYSFS_MAGIC,    CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC, DEBUGFS_MAGIC,
        TRACEFS_MAGIC,      SECURITYFS_MAGIC, DEVPTS_SUPER_MAGIC, BPF_FS_MAGIC,      PSTOREFS_MAGIC,
        EFIVARFS_MAGIC,     SELINUX_MAGIC,  NSFS_MAGIC,         BINFMTFS_MAGIC,     HUGETLBFS_MAGIC,
        AUTOFS_SUPER_MAGIC, 0x19800202 /* mqueue */,
    };
    for (const long t : kTypes)
        if (type == t)
            return true;
    return false;
}

void Signal(int eventFd)
{
    const std::uint64_t one = 1;
    while (::write(eventFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

std::string Absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? fs::JoinPath(cwd, path) : path;
}

// The one watch of a folder on a network mount, added on the mount's queue: the
// lookup may wait for a server that never answers, and then the call is simply left
// behind, holding the inotify descriptor until it returns.
struct NetworkRootAdd {
    std::shared_ptr<fs::UniqueFd> inotify;
    fs::UniqueFd done; // eventfd, signalled when the call returned
    std::atomic<int> wd{-1};
    std::atomic<int> error{0};
};

} // namespace

struct ChangeWatch::Impl {
    std::shared_ptr<fs::UniqueFd> inotify;
    fs::UniqueFd stopEvent;
    std::atomic<bool> interrupted{false};
    std::string folder; // as given
    std::string base;   // absolute; with the links resolved once the walk starts
    std::uint32_t kinds = 0;
    std::uint32_t mask = 0;
    bool subtree = false;
    bool onNetwork = false;
    bool setUp = false;
    bool idle = false;
    int rootWd = -1;
    int pendingError = 0;
    std::string mountPoint; // of the network mount the folder lies on
    std::shared_ptr<NetworkRootAdd> rootAdd;
    tasks::CancelToken rootAddWanted;
    std::unique_ptr<FolderWatches> watches;

    void SetUp();
    void FinishNetworkAdd();
    void Handle(const inotify_event& ev, RearmResult& result, bool& rescan);
    void GoIdle(RearmResult& result)
    {
        result.Changed = true;
        idle = true;
        watches->Clear();
        inotify.reset();
    }
};

ChangeWatch::ChangeWatch(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ChangeWatch::~ChangeWatch() { impl_->rootAddWanted.Cancel(); }

std::unique_ptr<ChangeWatch> ChangeWatch::Open(const std::string& folder, bool subtree, std::uint32_t kinds, int& error)
{
    error = 0;
    if (folder.empty()) {
        error = ENOENT;
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->folder = folder;
    impl->base = Absolute(folder);
    impl->kinds = kinds;
    impl->mask = InotifyMask(kinds, subtree);
    impl->subtree = subtree;

    impl->inotify = std::make_shared<fs::UniqueFd>(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    impl->stopEvent = fs::UniqueFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!*impl->inotify || !impl->stopEvent) {
        error = errno;
        return nullptr;
    }
    impl->watches = std::make_unique<FolderWatches>(impl->inotify->Get(), impl->mask, kinds, impl->interrupted);

    // The window never waits on the network: a folder there is not touched here.
    // ResolveOnMounts looks up local components only.
    const platform::shell::PathOnMounts where = platform::shell::ResolveOnMounts(impl->base);
    if (where.Network) {
        impl->onNetwork = true;
        impl->mountPoint = where.Network->MountPoint;
        if (where.Error == 0)
            impl->base = where.Resolved;
        return std::unique_ptr<ChangeWatch>(new ChangeWatch(std::move(impl)));
    }

    int wd = -1;
    if (folder.size() < PATH_MAX) {
        wd = ::inotify_add_watch(impl->inotify->Get(), folder.c_str(), impl->mask | IN_ONLYDIR);
    } else {
        fs::UniqueFd dir;
        if (const int e = fs::OpenDirectory(impl->base, dir)) {
            errno = e;
        } else {
            const std::string self = "/proc/self/fd/" + std::to_string(dir.Get());
            wd = ::inotify_add_watch(impl->inotify->Get(), self.c_str(), impl->mask | IN_ONLYDIR);
        }
    }
    if (wd < 0) {
        error = errno;
        return nullptr;
    }
    impl->rootWd = wd;
    impl->watches->Add(wd, impl->base);
    return std::unique_ptr<ChangeWatch>(new ChangeWatch(std::move(impl)));
}

void ChangeWatch::Impl::SetUp()
{
    setUp = true;
    if (onNetwork) {
        // One watch, no walk: every folder below would be a wait on the server.
        rootAdd = std::make_shared<NetworkRootAdd>();
        rootAdd->inotify = inotify;
        rootAdd->done = fs::UniqueFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
        if (!rootAdd->done) {
            pendingError = errno;
            rootAdd.reset();
            idle = true;
            return;
        }
        tasks::MountTask task;
        task.Token = rootAddWanted;
        task.Run = [add = rootAdd, path = folder, mask = mask] {
            const int wd = ::inotify_add_watch(add->inotify->Get(), path.c_str(), mask | IN_ONLYDIR);
            add->error.store(wd < 0 ? errno : 0);
            add->wd.store(wd);
            Signal(add->done.Get());
        };
        // A mount that does not answer fails the watch as a call that timed out would.
        task.NotAnswering = [add = rootAdd] {
            add->error.store(ETIMEDOUT);
            Signal(add->done.Get());
        };
        if (tasks::TaskHome::Get().RunOnMount(mountPoint, task) != tasks::MountAnswer::Queued)
            task.NotAnswering();
        return;
    }
    if (!subtree)
        return;
    if (char* real = ::realpath(base.c_str(), nullptr)) {
        base = real;
        std::free(real);
    }
    struct statfs st {};
    if (::statfs(base.c_str(), &st) == 0 && IsPseudoFileSystem(st.f_type))
        return;
    watches->Walk(base, false);
}

void ChangeWatch::Impl::FinishNetworkAdd()
{
    const int wd = rootAdd->wd.load();
    if (wd >= 0) {
        rootWd = wd;
        watches->Add(wd, base);
    } else {
        pendingError = rootAdd->error.load();
        idle = true;
    }
    rootAdd.reset();
}

WaitResult ChangeWatch::Wait(int timeoutMs)
{
    Impl& w = *impl_;
    if (!w.setUp)
        w.SetUp();
    if (w.interrupted.load())
        return WaitResult::Interrupted;
    if (w.pendingError)
        return WaitResult::Signalled;

    std::array<pollfd, 3> fds{};
    nfds_t n = 0;
    fds[n++] = {w.stopEvent.Get(), POLLIN, 0};
    const nfds_t inotifyAt = n;
    if (!w.idle && w.inotify)
        fds[n++] = {w.inotify->Get(), POLLIN, 0};
    const nfds_t rootAddAt = n;
    if (w.rootAdd)
        fds[n++] = {w.rootAdd->done.Get(), POLLIN, 0};

    if (::poll(fds.data(), n, timeoutMs) <= 0)
        return WaitResult::TimedOut;
    if (fds[0].revents)
        return WaitResult::Interrupted;
    if (rootAddAt < n && fds[rootAddAt].revents) {
        w.FinishNetworkAdd();
        if (w.pendingError)
            return WaitResult::Signalled;
    }
    if (inotifyAt < rootAddAt && fds[inotifyAt].revents)
        return WaitResult::Signalled;
    return WaitResult::TimedOut;
}

void ChangeWatch::Impl::Handle(const inotify_event& ev, RearmResult& result, bool& rescan)
{
    if (ev.mask & IN_Q_OVERFLOW) {
        result.Changed = true;
        rescan = subtree && !onNetwork;
        return;
    }
    const std::string* path = watches->PathOf(ev.wd);
    if (!path)
        return; // a watch already given up; its last events are of no interest
    if (ev.wd == rootWd && (ev.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED))) {
        GoIdle(result);
        return;
    }
    if (ev.mask & IN_IGNORED) {
        watches->Forget(ev.wd);
        return;
    }
    if (ev.len == 0 || ev.name[0] == '\0')
        return;
    if (IsChangeOf(kinds, ev.mask))
        result.Changed = true;
    if (!subtree || onNetwork || !(ev.mask & IN_ISDIR))
        return;
    const std::string child = fs::JoinPath(*path, ev.name);
    if (ev.mask & IN_MOVED_FROM)
        watches->RemoveTree(child);
    else if ((ev.mask & (IN_CREATE | IN_MOVED_TO)) && watches->Walk(child, ev.mask & IN_CREATE))
        result.Changed = true;
}

RearmResult ChangeWatch::Rearm()
{
    Impl& w = *impl_;
    RearmResult result;
    result.Error = std::exchange(w.pendingError, 0);
    bool rescan = false;
    alignas(inotify_event) char buf[64 * 1024];
    while (!w.idle && w.inotify) {
        const ssize_t n = ::read(w.inotify->Get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && !result.Error)
                result.Error = errno;
            break;
        }
        for (ssize_t at = 0; at < n && !w.idle;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
            w.Handle(*ev, result, rescan);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
    if (rescan && !w.idle) {
        w.watches->Rescan(w.base);
        if (!w.watches->PathOf(w.rootWd) && !w.interrupted.load())
            w.GoIdle(result);
    }
    if (const int e = w.watches->TakeError(); e && !result.Error)
        result.Error = e;
    return result;
}

void ChangeWatch::Interrupt()
{
    impl_->interrupted.store(true);
    Signal(impl_->stopEvent.Get());
}

std::string ChangeErrorMessage(int code)
{
    switch (code) {
    case ENOSPC:
        return "The system's limit on watched folders is reached; raise it with the setting "
               "fs.inotify.max_user_watches (sysctl)";
    case EMFILE:
        return std::string(std::strerror(EMFILE)) +
               " (or the system's limit on folder watches, fs.inotify.max_user_instances, is reached)";
    default: {
        char buf[256];
        return ::strerror_r(code, buf, sizeof buf);
    }
    }
}

} // namespace platform::notify
