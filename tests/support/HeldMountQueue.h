#pragma once
// The queue of a network mount held by a call of the test's own, on the program's task
// home: what is asked of the mount meanwhile waits behind it, and once Silence has
// given the call up, the mount does not answer. Needs no real mount: a mount table
// of the test's own (SetMountTablePath) names any folder a share.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "platform/util/Tasks.h"

namespace testsupport {

class HeldMountQueue {
public:
    // Returns once the holding call runs on the mount's thread.
    explicit HeldMountQueue(std::string mountPoint) : mountPoint_(std::move(mountPoint))
    {
        platform::tasks::MountTask task;
        token_ = task.Token;
        task.Run = [state = state_] {
            std::unique_lock hold(state->lock);
            state->running = true;
            state->changed.notify_all();
            state->changed.wait(hold, [&] { return state->released; });
        };
        if (platform::tasks::TaskHome::Get().RunOnMount(mountPoint_, std::move(task)) !=
            platform::tasks::MountAnswer::Queued)
            throw std::runtime_error("the queue of " + mountPoint_ + " takes no call");
        std::unique_lock hold(state_->lock);
        state_->changed.wait(hold, [&] { return state_->running; });
    }
    // Lets the call return, and waits until the mount answers again.
    ~HeldMountQueue()
    {
        {
            std::lock_guard hold(state_->lock);
            state_->released = true;
        }
        state_->changed.notify_all();
        while (platform::tasks::TaskHome::Get().IsSilent(mountPoint_))
            std::this_thread::yield();
    }
    HeldMountQueue(const HeldMountQueue&) = delete;
    HeldMountQueue& operator=(const HeldMountQueue&) = delete;

    // The caller gave the call up: the mount is silent until the call returns.
    void Silence() { platform::tasks::TaskHome::Get().GiveUp(mountPoint_, token_); }

private:
    struct State {
        std::mutex lock;
        std::condition_variable changed;
        bool running = false;
        bool released = false;
    };
    std::string mountPoint_;
    platform::tasks::CancelToken token_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

} // namespace testsupport
