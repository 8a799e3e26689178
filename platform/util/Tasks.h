#pragma once
// The one home of the program's background work, in three lanes:
//   - local work (a look into a local folder, an icon file on a local disk): a pool
//     of a few threads shared by everyone;
//   - work on a network mount: one queue per mount (keyed by its mount point), whose
//     one thread takes the calls in turn. A server that stopped answering holds that
//     one thread however often the user comes back to it; once the mount is judged
//     silent, its later calls are answered "does not answer" at once until the
//     thread is free again;
//   - long work (a file job, a count of a folder tree, a child process waited for):
//     a thread of its own each, started and counted here, so that it never takes a
//     place in the pool.
// A worker hands its results back through an Outbox; they run on the receiver's
// thread, and only while the receiver's Inbox is open.
//
// At exit nothing waits: the program's home is never destroyed and its threads are
// never joined. What a worker shares with its caller is held by the task itself
// (reference-counted), never by a static with a destructor, so a worker stuck on a
// dead share may return whenever it likes, even while the program is exiting.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace platform::tasks {

// Says that a piece of work is no longer wanted. Copies share one flag.
class CancelToken {
public:
    CancelToken() : flag_(std::make_shared<std::atomic<bool>>(false)) {}
    void Cancel() const { flag_->store(true); }
    bool IsCancelled() const { return flag_->load(); }
    // For code that watches a flag of its own (it stays valid while a copy lives).
    const std::atomic<bool>* Flag() const { return flag_.get(); }
    bool operator==(const CancelToken&) const = default;

private:
    std::shared_ptr<std::atomic<bool>> flag_;
};

// How a receiver gets a function run on its own thread, queued, never at once (for a
// QObject: QMetaObject::invokeMethod with Qt::QueuedConnection).
using PostFunction = std::function<void(std::function<void()>)>;

// A worker's way back to a receiver. Copies are cheap and may outlive the receiver.
class Outbox {
public:
    Outbox() = default; // posts nothing
    // Any thread: runs fn on the receiver's thread, unless its Inbox is closed by
    // the time it would run.
    void Post(std::function<void()> fn) const;
    bool IsClosed() const;

private:
    friend class Inbox;
    struct State;
    explicit Outbox(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

// The receiver's end, one of its members: while it is open, what workers post to it
// runs on the receiver's thread; once closed (or destroyed) nothing more does.
class Inbox {
public:
    explicit Inbox(PostFunction post);
    ~Inbox();
    Inbox(const Inbox&) = delete;
    Inbox& operator=(const Inbox&) = delete;

    // On the receiver's thread.
    void Close();
    bool IsClosed() const;
    Outbox Address() const;

private:
    std::shared_ptr<Outbox::State> state_;
};

enum class MountAnswer {
    Queued,       // it runs in its turn (unless cancelled, or refused later)
    NotAnswering, // the mount is judged silent, or too much already waits for it
    NoThread,     // no thread could be started
};

struct MountTask {
    CancelToken Token;
    // On the mount's thread, in its turn; skipped when cancelled before.
    std::function<void()> Run;
    // Instead of Run, when the mount is judged silent while the task waits; on the
    // thread that judged it. May be empty.
    std::function<void()> NotAnswering;
};

struct ThreadCounts {
    int Local = 0;
    int Mount = 0;
    int Long = 0;
};

class TaskHome {
public:
    // The program's home: never destroyed.
    static TaskHome& Get();

    static constexpr int kLocalThreads = 4;
    // Calls waiting for one mount; past it the mount is taken as not answering.
    static constexpr std::size_t kMountWaiting = 32;
    // A call that its caller stopped waiting for and that has run this long makes
    // its mount silent (SetPatience).
    static constexpr std::chrono::milliseconds kPatience{2000};

    explicit TaskHome(int localThreads = kLocalThreads);
    // A home of one's own (tests): its idle threads end, its waiting work is dropped,
    // and its busy threads end after their task without being waited for.
    ~TaskHome();
    TaskHome(const TaskHome&) = delete;
    TaskHome& operator=(const TaskHome&) = delete;

    // Local work, run in the order given by the first free thread of the pool. False
    // when no thread could be made.
    bool RunLocal(std::function<void()> work);

    // Work that touches the network mount at mountPoint. The mount is judged silent
    // while its thread is in a call that a caller gave up on (GiveUp), or that was
    // cancelled after running longer than the patience; being silent, it refuses
    // new calls and those that waited, until the call returns.
    MountAnswer RunOnMount(const std::string& mountPoint, MountTask task);
    // The caller of `token`'s task waited long enough for it: the task is cancelled,
    // and, if it is still waiting or running, the mount is silent.
    void GiveUp(const std::string& mountPoint, const CancelToken& token);

    // Long work on a thread of its own. False when no thread could be made.
    bool RunLong(std::function<void()> work);

    void SetPatience(std::chrono::milliseconds patience);
    ThreadCounts Threads() const;
    // Local tasks waiting for a thread of the pool.
    std::size_t LocalWaiting() const;
    bool IsSilent(const std::string& mountPoint) const;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

// A call about a network mount, made on the mount's queue and waited for at most
// `limit`: its answer, or nothing when the mount did not answer in time (it is then
// silent), or was silent already. A call that had not begun by then never runs.
template <class Call>
std::optional<std::invoke_result_t<Call&>> CallOnMount(TaskHome& home, const std::string& mountPoint, Call call,
                                                       std::chrono::milliseconds limit)
{
    using Result = std::invoke_result_t<Call&>;
    struct State {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
        bool refused = false;
    };
    auto state = std::make_shared<State>();
    MountTask task;
    // Held by pointer: the call may own what cannot be copied.
    task.Run = [state, call = std::make_shared<Call>(std::move(call))] {
        Result result = (*call)();
        {
            std::lock_guard lock(state->mutex);
            state->result = std::move(result);
        }
        state->done.notify_all();
    };
    task.NotAnswering = [state] {
        {
            std::lock_guard lock(state->mutex);
            state->refused = true;
        }
        state->done.notify_all();
    };
    const CancelToken token = task.Token;
    if (home.RunOnMount(mountPoint, std::move(task)) != MountAnswer::Queued)
        return std::nullopt;
    {
        std::unique_lock lock(state->mutex);
        if (state->done.wait_for(lock, limit, [&] { return state->result.has_value() || state->refused; }))
            return std::move(state->result);
    }
    home.GiveUp(mountPoint, token);
    // An answer that came just now still counts.
    std::lock_guard lock(state->mutex);
    return std::move(state->result);
}

} // namespace platform::tasks
