#include "platform/util/Tasks.h"

#include <algorithm>
#include <deque>
#include <map>
#include <system_error>
#include <thread>
#include <vector>

namespace platform::tasks {

// --- the way back to a receiver ---------------------------------------------------

struct Outbox::State {
    std::mutex lock;
    PostFunction post;
    bool closed = false;
};

void Outbox::Post(std::function<void()> fn) const
{
    if (!state_)
        return;
    // Posted under the lock, so the receiver is there whenever something is posted
    // to it; closed on its thread between posting and running, the state says so.
    std::lock_guard guard(state_->lock);
    if (state_->closed)
        return;
    state_->post([state = state_, fn = std::move(fn)] {
        {
            std::lock_guard guard(state->lock);
            if (state->closed)
                return;
        }
        fn();
    });
}

bool Outbox::IsClosed() const
{
    if (!state_)
        return true;
    std::lock_guard guard(state_->lock);
    return state_->closed;
}

Inbox::Inbox(PostFunction post) : state_(std::make_shared<Outbox::State>())
{
    state_->post = std::move(post);
}

Inbox::~Inbox() { Close(); }

void Inbox::Close()
{
    std::lock_guard guard(state_->lock);
    state_->closed = true;
    state_->post = nullptr;
}

bool Inbox::IsClosed() const
{
    std::lock_guard guard(state_->lock);
    return state_->closed;
}

Outbox Inbox::Address() const { return Outbox(state_); }

// --- the home -------------------------------------------------------------------------

namespace {

struct MountQueue {
    std::deque<MountTask> waiting;
    bool threadRunning = false;
    bool busy = false;
    bool silent = false; // until the call it is in returns
    CancelToken current;
    std::chrono::steady_clock::time_point callStart;
};

} // namespace

// Shared by the home and its threads: a thread keeps it alive for as long as it runs.
struct TaskHome::Impl {
    mutable std::mutex lock;
    std::condition_variable localWork;
    bool closing = false;
    int localCap = 0;
    std::chrono::milliseconds patience = kPatience;

    std::deque<std::function<void()>> localWaiting;
    int localThreads = 0;
    int localBusy = 0;

    std::map<std::string, std::shared_ptr<MountQueue>> mounts;
    int mountThreads = 0;

    int longThreads = 0;

    static void LocalWorker(const std::shared_ptr<Impl>& self);
    static void MountWorker(const std::shared_ptr<Impl>& self, const std::string& mountPoint,
                            const std::shared_ptr<MountQueue>& queue);

    // Under the lock: the queue turns silent, and what waited is handed back to be
    // refused once the lock is let go.
    static void Silence(MountQueue& queue, std::vector<MountTask>& refused)
    {
        queue.silent = true;
        for (MountTask& task : queue.waiting)
            refused.push_back(std::move(task));
        queue.waiting.clear();
    }
    // Outside the lock; a call given up is told nothing.
    static void Refuse(std::vector<MountTask>& refused)
    {
        for (MountTask& task : refused)
            if (task.NotAnswering && !task.Token.IsCancelled())
                task.NotAnswering();
        refused.clear();
    }
};

void TaskHome::Impl::LocalWorker(const std::shared_ptr<Impl>& self)
{
    std::unique_lock hold(self->lock);
    for (;;) {
        self->localWork.wait(hold, [&] { return self->closing || !self->localWaiting.empty(); });
        if (self->closing)
            break;
        std::function<void()> work = std::move(self->localWaiting.front());
        self->localWaiting.pop_front();
        ++self->localBusy;
        hold.unlock();
        work();
        work = nullptr; // what it holds goes outside the lock
        hold.lock();
        --self->localBusy;
    }
    --self->localThreads;
}

void TaskHome::Impl::MountWorker(const std::shared_ptr<Impl>& self, const std::string& mountPoint,
                                 const std::shared_ptr<MountQueue>& queue)
{
    std::unique_lock hold(self->lock);
    while (!self->closing && !queue->waiting.empty()) {
        MountTask task = std::move(queue->waiting.front());
        queue->waiting.pop_front();
        const bool wanted = !task.Token.IsCancelled();
        if (wanted) {
            queue->busy = true;
            queue->current = task.Token;
            queue->callStart = std::chrono::steady_clock::now();
        }
        hold.unlock();
        if (wanted)
            task.Run();
        task = {}; // what it holds goes outside the lock
        hold.lock();
        if (wanted) {
            queue->busy = false;
            queue->silent = false; // it answered after all
            queue->current = {};
        }
    }
    queue->threadRunning = false;
    --self->mountThreads;
    if (queue->waiting.empty()) {
        const auto it = self->mounts.find(mountPoint);
        if (it != self->mounts.end() && it->second == queue)
            self->mounts.erase(it);
    }
}

TaskHome& TaskHome::Get()
{
    // Never destroyed: a worker stuck on a dead share may still reach it at exit.
    static TaskHome* const home = new TaskHome;
    return *home;
}

TaskHome::TaskHome(int localThreads) : impl_(std::make_shared<Impl>())
{
    impl_->localCap = std::max(1, localThreads);
}

TaskHome::~TaskHome()
{
    // Dropped outside the lock: what the tasks hold may take time to let go.
    std::deque<std::function<void()>> dropped;
    std::vector<std::deque<MountTask>> droppedOnMounts;
    {
        std::lock_guard hold(impl_->lock);
        impl_->closing = true;
        dropped.swap(impl_->localWaiting);
        for (auto& [point, queue] : impl_->mounts)
            droppedOnMounts.push_back(std::exchange(queue->waiting, {}));
        impl_->mounts.clear();
    }
    impl_->localWork.notify_all();
}

bool TaskHome::RunLocal(std::function<void()> work)
{
    std::lock_guard hold(impl_->lock);
    if (impl_->closing)
        return false;
    impl_->localWaiting.push_back(std::move(work));
    const auto idle = static_cast<std::size_t>(impl_->localThreads - impl_->localBusy);
    if (idle < impl_->localWaiting.size() && impl_->localThreads < impl_->localCap) {
        try {
            std::thread([self = impl_] { Impl::LocalWorker(self); }).detach();
            ++impl_->localThreads;
        } catch (const std::system_error&) {
            if (impl_->localThreads == 0) {
                impl_->localWaiting.pop_back();
                return false;
            }
        }
    }
    impl_->localWork.notify_one();
    return true;
}

MountAnswer TaskHome::RunOnMount(const std::string& mountPoint, MountTask task)
{
    std::vector<MountTask> refused, dropped;
    MountAnswer answer = MountAnswer::Queued;
    {
        std::lock_guard hold(impl_->lock);
        if (impl_->closing)
            return MountAnswer::NoThread;
        std::shared_ptr<MountQueue>& queue = impl_->mounts[mountPoint];
        if (!queue)
            queue = std::make_shared<MountQueue>();
        // Calls nobody wants any more take no place (they go outside the lock).
        for (auto it = queue->waiting.begin(); it != queue->waiting.end();) {
            if (!it->Token.IsCancelled()) {
                ++it;
                continue;
            }
            dropped.push_back(std::move(*it));
            it = queue->waiting.erase(it);
        }
        // Nobody waits for the call the thread is in, and it has run too long: the
        // user came back to a mount that did not answer.
        if (queue->busy && !queue->silent && queue->current.IsCancelled() &&
            std::chrono::steady_clock::now() - queue->callStart >= impl_->patience)
            Impl::Silence(*queue, refused);
        if (queue->silent || queue->waiting.size() >= kMountWaiting) {
            answer = MountAnswer::NotAnswering;
        } else {
            queue->waiting.push_back(std::move(task));
            if (!queue->threadRunning) {
                try {
                    std::thread([self = impl_, mountPoint, queue] { Impl::MountWorker(self, mountPoint, queue); })
                        .detach();
                    queue->threadRunning = true;
                    ++impl_->mountThreads;
                } catch (const std::system_error&) {
                    queue->waiting.pop_back();
                    answer = MountAnswer::NoThread;
                }
            }
        }
    }
    Impl::Refuse(refused);
    return answer;
}

void TaskHome::GiveUp(const std::string& mountPoint, const CancelToken& token)
{
    token.Cancel();
    std::vector<MountTask> refused;
    {
        std::lock_guard hold(impl_->lock);
        const auto it = impl_->mounts.find(mountPoint);
        if (it == impl_->mounts.end())
            return;
        MountQueue& queue = *it->second;
        const bool waiting = std::any_of(queue.waiting.begin(), queue.waiting.end(),
                                         [&](const MountTask& task) { return task.Token == token; });
        if (queue.busy && (queue.current == token || waiting))
            Impl::Silence(queue, refused);
    }
    Impl::Refuse(refused);
}

bool TaskHome::RunLong(std::function<void()> work)
{
    {
        std::lock_guard hold(impl_->lock);
        if (impl_->closing)
            return false;
        ++impl_->longThreads;
    }
    try {
        std::thread([self = impl_, work = std::move(work)]() mutable {
            work();
            work = nullptr;
            std::lock_guard hold(self->lock);
            --self->longThreads;
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard hold(impl_->lock);
        --impl_->longThreads;
        return false;
    }
    return true;
}

void TaskHome::SetPatience(std::chrono::milliseconds patience)
{
    std::lock_guard hold(impl_->lock);
    impl_->patience = patience;
}

ThreadCounts TaskHome::Threads() const
{
    std::lock_guard hold(impl_->lock);
    return {impl_->localThreads, impl_->mountThreads, impl_->longThreads};
}

std::size_t TaskHome::LocalWaiting() const
{
    std::lock_guard hold(impl_->lock);
    return impl_->localWaiting.size();
}

bool TaskHome::IsSilent(const std::string& mountPoint) const
{
    std::lock_guard hold(impl_->lock);
    const auto it = impl_->mounts.find(mountPoint);
    return it != impl_->mounts.end() && it->second->silent;
}

} // namespace platform::tasks
