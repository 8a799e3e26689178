// The home of background work: answers reach only a receiver still there, a mount
// that does not answer holds one thread and refuses the rest at once, the pool stays
// within its cap, and long work never takes a place in it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/util/Tasks.h"

using namespace platform::tasks;

namespace {

// A gate tasks wait at until the test opens it (at the latest when it ends). What it
// shares with them lives as long as they do.
class Gate {
public:
    ~Gate() { Open(); }
    void Open() const { Opener()(); }
    std::function<void()> Opener() const
    {
        return [state = state_] {
            {
                std::lock_guard hold(state->lock);
                state->open = true;
            }
            state->changed.notify_all();
        };
    }
    // What a task calls to wait at the gate.
    std::function<void()> Pass() const
    {
        return [state = state_] {
            std::unique_lock hold(state->lock);
            state->changed.wait(hold, [&] { return state->open; });
        };
    }

private:
    struct State {
        std::mutex lock;
        std::condition_variable changed;
        bool open = false;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Waits for a condition that other threads make true.
template <class Done>
void WaitFor(Done done)
{
    while (!done())
        std::this_thread::yield();
}

MountTask Task(std::function<void()> run, std::function<void()> notAnswering = {})
{
    MountTask task;
    task.Run = std::move(run);
    task.NotAnswering = std::move(notAnswering);
    return task;
}

} // namespace

TEST(TasksTest, AnAnswerReachesOnlyAReceiverStillThere)
{
    enum class Receiver { Open, ClosedBeforePost, ClosedBeforeRun, GoneBeforeRun };
    const struct {
        Receiver receiver;
        bool runs;
    } cases[] = {
        {Receiver::Open, true},
        {Receiver::ClosedBeforePost, false},
        {Receiver::ClosedBeforeRun, false},
        {Receiver::GoneBeforeRun, false},
    };
    for (const auto& c : cases) {
        // The receiver's thread, played by the test: what is posted waits for it.
        std::vector<std::function<void()>> posted;
        auto inbox = std::make_unique<Inbox>([&](std::function<void()> fn) { posted.push_back(std::move(fn)); });
        const Outbox outbox = inbox->Address();
        if (c.receiver == Receiver::ClosedBeforePost)
            inbox->Close();
        bool ran = false;
        std::thread worker([&] { outbox.Post([&] { ran = true; }); });
        worker.join();
        if (c.receiver == Receiver::ClosedBeforeRun)
            inbox->Close();
        if (c.receiver == Receiver::GoneBeforeRun)
            inbox.reset();
        for (const auto& fn : posted)
            fn();
        EXPECT_EQ(ran, c.runs) << static_cast<int>(c.receiver);
        EXPECT_EQ(outbox.IsClosed(), !c.runs);
    }
}

TEST(TasksTest, ACallCancelledWhileItWaitsNeverRuns)
{
    TaskHome home;
    Gate gate;
    std::atomic<bool> cancelledRan{false}, laterRan{false};
    ASSERT_EQ(home.RunOnMount("/mnt/nas", Task(gate.Pass())), MountAnswer::Queued);
    MountTask cancelled = Task([&] { cancelledRan = true; });
    const CancelToken token = cancelled.Token;
    ASSERT_EQ(home.RunOnMount("/mnt/nas", std::move(cancelled)), MountAnswer::Queued);
    ASSERT_EQ(home.RunOnMount("/mnt/nas", Task([&] { laterRan = true; })), MountAnswer::Queued);
    token.Cancel();
    gate.Open();
    WaitFor([&] { return laterRan.load(); });
    EXPECT_FALSE(cancelledRan);
}

// The server went away: the first call never returns. Whatever the number of calls
// after it, the mount holds one thread, and once a caller gave up, every call is
// refused at once, those that waited too, until the stuck call returns.
TEST(TasksTest, AMountThatDoesNotAnswerHoldsOneThreadAndRefusesAtOnce)
{
    TaskHome home;
    Gate server;
    std::atomic<bool> asked{false};
    ASSERT_EQ(home.RunOnMount("/mnt/nas", Task([&asked, pass = server.Pass()] {
                  asked = true;
                  pass();
              })),
              MountAnswer::Queued);
    WaitFor([&] { return asked.load(); });
    std::atomic<int> refused{0};
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(home.RunOnMount("/mnt/nas", Task([] {}, [&] { ++refused; })), MountAnswer::Queued);
    EXPECT_FALSE(home.IsSilent("/mnt/nas"));

    EXPECT_FALSE(CallOnMount(home, "/mnt/nas", [] { return 1; }, std::chrono::milliseconds(10)));
    EXPECT_TRUE(home.IsSilent("/mnt/nas"));
    EXPECT_EQ(refused, 5);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(home.RunOnMount("/mnt/nas", Task([] {})), MountAnswer::NotAnswering);
    EXPECT_FALSE(CallOnMount(home, "/mnt/nas", [] { return 1; }, std::chrono::hours(1)));
    EXPECT_EQ(home.Threads().Mount, 1);
    // Other mounts go on.
    EXPECT_EQ(CallOnMount(home, "/mnt/other", [] { return 2; }, std::chrono::hours(1)), 2);

    server.Open();
    WaitFor([&] { return !home.IsSilent("/mnt/nas"); });
    EXPECT_EQ(CallOnMount(home, "/mnt/nas", [] { return 3; }, std::chrono::hours(1)), 3);
}

// A call its caller left behind, once it has run longer than the patience, makes the
// mount silent for whoever comes back to it.
TEST(TasksTest, ACallLeftBehindForLongerThanThePatienceSilencesItsMount)
{
    TaskHome home;
    home.SetPatience(std::chrono::milliseconds(0));
    Gate server;
    std::atomic<bool> started{false};
    MountTask stuck = Task([&started, pass = server.Pass()] {
        started = true;
        pass();
    });
    const CancelToken token = stuck.Token;
    ASSERT_EQ(home.RunOnMount("/mnt/nas", std::move(stuck)), MountAnswer::Queued);
    WaitFor([&] { return started.load(); });
    // Still wanted: the next call waits its turn.
    EXPECT_EQ(home.RunOnMount("/mnt/nas", Task([] {})), MountAnswer::Queued);
    token.Cancel();
    EXPECT_EQ(home.RunOnMount("/mnt/nas", Task([] {})), MountAnswer::NotAnswering);
    server.Open();
}

TEST(TasksTest, TooManyCallsWaitingForOneMountAreRefused)
{
    TaskHome home;
    Gate server;
    std::atomic<bool> asked{false};
    ASSERT_EQ(home.RunOnMount("/mnt/nas", Task([&asked, pass = server.Pass()] {
                  asked = true;
                  pass();
              })),
              MountAnswer::Queued);
    WaitFor([&] { return asked.load(); });
    CancelToken last;
    for (std::size_t i = 0; i < TaskHome::kMountWaiting; ++i) {
        MountTask task = Task([] {});
        last = task.Token;
        EXPECT_EQ(home.RunOnMount("/mnt/nas", std::move(task)), MountAnswer::Queued);
    }
    EXPECT_EQ(home.RunOnMount("/mnt/nas", Task([] {})), MountAnswer::NotAnswering);
    // A call given up takes no place.
    last.Cancel();
    EXPECT_EQ(home.RunOnMount("/mnt/nas", Task([] {})), MountAnswer::Queued);
    server.Open();
}

TEST(TasksTest, ThePoolKeepsToItsCapAndLongWorkTakesNoPlaceInIt)
{
    TaskHome home(2);
    Gate gate;
    std::atomic<int> started{0}, finished{0};
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(home.RunLocal([&started, &finished, pass = gate.Pass()] {
            ++started;
            pass();
            ++finished;
        }));
    WaitFor([&] { return started == 2; });
    EXPECT_EQ(home.Threads().Local, 2);
    EXPECT_EQ(home.LocalWaiting(), 3u);

    // Long work runs beside a full pool, on a thread of its own.
    std::atomic<bool> longRan{false};
    EXPECT_TRUE(home.RunLong([&longRan, pass = gate.Pass()] {
        longRan = true;
        pass();
    }));
    WaitFor([&] { return longRan.load(); });
    EXPECT_EQ(home.Threads().Long, 1);

    gate.Open();
    WaitFor([&] { return finished == 5; });
    EXPECT_EQ(home.Threads().Local, 2);
    WaitFor([&] { return home.Threads().Long == 0; });
}

// The rule at exit: a home goes while a worker is stuck, without waiting for it, and
// the worker, once free, touches nothing that went.
TEST(TasksTest, AHomeGoesWithoutWaitingForAStuckWorker)
{
    Gate asked, server, done;
    auto home = std::make_unique<TaskHome>();
    ASSERT_EQ(home->RunOnMount("/mnt/nas", Task([ask = asked.Opener(), pass = server.Pass(), open = done.Opener()] {
                  ask();
                  pass();
                  open();
              })),
              MountAnswer::Queued);
    ASSERT_TRUE(home->RunLocal([] {}));
    asked.Pass()();
    home.reset();
    server.Open();
    done.Pass()();
}
