#include "foldertree/SubfolderProbe.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/shell/FsAccess.h"
#include "platform/shell/NetworkMounts.h"

namespace fs = platform::shell::fs;

namespace {

// A folder with more entries than this is taken at its attributes' word: past it a
// look costs the time of reading a large folder of files, for a link to a folder
// that is rarely there.
constexpr int kEntriesLookedAt = 4096;

} // namespace

bool HoldsSubfolder(const std::string& path, bool includeHidden)
{
    // Nothing on a network mount is looked at: a server that went away would hold
    // this look, and every look queued after it, for good.
    platform::shell::MountProbe mounts;
    if (mounts.Reach(path) != platform::shell::NetworkReach::None)
        return false;
    fs::UniqueFd fd;
    if (fs::OpenDirectory(path, fd) != 0)
        return false;
    DIR* dir = ::fdopendir(fd.Get());
    if (!dir)
        return false;
    fd.Release(); // the stream owns the descriptor now
    bool found = false;
    for (int looked = 0; !found && looked < kEntriesLookedAt; ++looked) {
        const dirent* e = ::readdir(dir);
        if (!e)
            break;
        const char* name = e->d_name;
        if (name[0] == '.' && (!includeHidden || name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        if (e->d_type == DT_DIR) {
            found = true;
        } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            // What leads into a network mount is listed as a folder, unasked.
            struct stat st {};
            found = mounts.Reach(path, name) != platform::shell::NetworkReach::None ||
                    (::fstatat(::dirfd(dir), name, &st, 0) == 0 && S_ISDIR(st.st_mode));
        }
    }
    ::closedir(dir);
    return found;
}

struct TSubfolderProbe::Shared {
    struct Request {
        quint64 ticket;
        std::string path;
        bool includeHidden;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::vector<Request> queue; // the last is looked into first
    bool started = false;
    // Set when the probe goes; the worker then posts nothing more. Read and set
    // under the mutex, so the probe is alive whenever the worker posts to it.
    TSubfolderProbe* owner = nullptr;

    static void Work(const std::shared_ptr<Shared>& self)
    {
        std::unique_lock lock(self->mutex);
        while (true) {
            self->wake.wait(lock, [&] { return !self->owner || !self->queue.empty(); });
            if (!self->owner)
                return;
            Request request = std::move(self->queue.back());
            self->queue.pop_back();
            lock.unlock();
            const bool found = HoldsSubfolder(request.path, request.includeHidden);
            lock.lock();
            if (!self->owner)
                return;
            TSubfolderProbe* owner = self->owner;
            QMetaObject::invokeMethod(
                owner, [owner, ticket = request.ticket, found] { emit owner->Answered(ticket, found); },
                Qt::QueuedConnection);
        }
    }
};

TSubfolderProbe::TSubfolderProbe(QObject* parent) : QObject(parent), shared_(std::make_shared<Shared>())
{
    shared_->owner = this;
}

TSubfolderProbe::~TSubfolderProbe()
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->owner = nullptr;
        shared_->queue.clear();
    }
    shared_->wake.notify_all();
}

void TSubfolderProbe::Ask(quint64 ticket, const std::string& path, bool includeHidden)
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->queue.push_back({ticket, path, includeHidden});
        if (!shared_->started) {
            // Detached: the worker holds what it shares with the probe, and nobody
            // ever waits for it. Without a thread the folders keep the buttons
            // their attributes gave them.
            try {
                std::thread([shared = shared_] { Shared::Work(shared); }).detach();
                shared_->started = true;
            } catch (const std::system_error&) {
                shared_->queue.clear();
                return;
            }
        }
    }
    shared_->wake.notify_one();
}

void TSubfolderProbe::ForgetQueued()
{
    std::lock_guard lock(shared_->mutex);
    shared_->queue.clear();
}
