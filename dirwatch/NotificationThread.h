#pragma once
// The worker of a folder watcher: it waits on the change watch in 200 ms slices,
// re-arms the watch when it is signalled, and hands each notification to the owner's
// thread, blocking until the owner has delivered it. The hand-off is a mutex and a
// condition variable; the owner is woken by a function it gives (which must not
// block), and on its own thread takes the notification, delivers it and releases
// the worker.
//
// The worker touches nothing of its owner: all it needs is fixed before it starts.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/notify/ChangeWatch.h"

class TNotificationThread {
public:
    // How long one wait on the watch lasts at most.
    static constexpr int kWaitMs = 200;

    TNotificationThread(std::unique_ptr<platform::notify::ChangeWatch> watch, std::function<void()> wakeOwner);
    // Finish(), if it was not called.
    ~TNotificationThread();
    TNotificationThread(const TNotificationThread&) = delete;
    TNotificationThread& operator=(const TNotificationThread&) = delete;

    void Start();

    // The rest is for the owner's thread.

    // Asks the worker to end: a wait in progress returns at once, a walk of folders
    // stops. A notification already handed over is still waiting to be delivered.
    void RequestStop();
    // Takes the notification the worker is waiting to hand over: its recorded error
    // code (0 for a change). None when there is none, or one is being delivered.
    std::optional<std::int32_t> BeginDelivery();
    // Whether a notification taken by BeginDelivery is being delivered.
    bool Delivering() const;
    // Releases the worker after a delivery. After a handler failed, it ends.
    void EndDelivery(bool handlerFailed);
    // Blocks until the worker hands over a notification (true) or has ended (false).
    // Use after RequestStop: the worker then ends promptly.
    bool WaitForHandOffOrEnd();
    // Closes the watch while the worker is blocked in a delivery after RequestStop:
    // it never touches the watch again.
    void CloseWatch();
    void Join();
    // Ends the worker without delivering a notification it may be waiting to hand
    // over, and waits for it: never blocks for long, whatever state it is in.
    void Finish();

    // Worker threads running in this process now.
    static int Running();

private:
    enum class HandOff { None, Pending, Delivering };

    void Run();
    bool HandOver(std::int32_t code);

    std::unique_ptr<platform::notify::ChangeWatch> watch_;
    const std::function<void()> wakeOwner_;
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;
    std::condition_variable changed_;
    HandOff handOff_ = HandOff::None;
    std::int32_t code_ = 0;
    bool ended_ = false;
    std::thread thread_;
};
