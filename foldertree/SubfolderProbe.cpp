#include "foldertree/SubfolderProbe.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "platform/shell/FsAccess.h"
#include "platform/shell/NetworkMounts.h"
#include "platform/util/Tasks.h"

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

// The looks waiting, shared with the pool's threads: the probe may go at any time.
struct TSubfolderProbe::Shared {
    struct Request {
        quint64 ticket;
        std::string path;
        bool includeHidden;
    };

    std::mutex mutex;
    std::vector<Request> queue; // the last is looked into first
    bool looking = false;       // a look is in the pool, and takes the next one after it
    TSubfolderProbe* owner = nullptr; // used only by what the outbox posts
    platform::tasks::Outbox outbox;

    // One look per task, so that many folders never hold a thread of the pool long.
    static void LookAtNext(const std::shared_ptr<Shared>& self)
    {
        Request request;
        {
            std::lock_guard lock(self->mutex);
            if (self->queue.empty()) {
                self->looking = false;
                return;
            }
            request = std::move(self->queue.back());
            self->queue.pop_back();
        }
        const bool found = HoldsSubfolder(request.path, request.includeHidden);
        self->outbox.Post([owner = self->owner, ticket = request.ticket, found] { emit owner->Answered(ticket, found); });
        Continue(self);
    }

    static void Continue(const std::shared_ptr<Shared>& self)
    {
        if (!platform::tasks::TaskHome::Get().RunLocal([self] { LookAtNext(self); })) {
            // Without a thread the folders keep the buttons their attributes gave them.
            std::lock_guard lock(self->mutex);
            self->queue.clear();
            self->looking = false;
        }
    }
};

TSubfolderProbe::TSubfolderProbe(QObject* parent)
    : QObject(parent),
      inbox_([this](std::function<void()> fn) { QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection); }),
      shared_(std::make_shared<Shared>())
{
    shared_->owner = this;
    shared_->outbox = inbox_.Address();
}

TSubfolderProbe::~TSubfolderProbe()
{
    inbox_.Close();
    std::lock_guard lock(shared_->mutex);
    shared_->queue.clear();
}

void TSubfolderProbe::Ask(quint64 ticket, const std::string& path, bool includeHidden)
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->queue.push_back({ticket, path, includeHidden});
        if (shared_->looking)
            return;
        shared_->looking = true;
    }
    Shared::Continue(shared_);
}

void TSubfolderProbe::ForgetQueued()
{
    std::lock_guard lock(shared_->mutex);
    shared_->queue.clear();
}
