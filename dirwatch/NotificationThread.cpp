#include "dirwatch/NotificationThread.h"

namespace {

std::atomic<int> running{0};

} // namespace

TNotificationThread::TNotificationThread(std::unique_ptr<platform::notify::ChangeWatch> watch,
                                         std::function<void()> wakeOwner)
    : watch_(std::move(watch)), wakeOwner_(std::move(wakeOwner))
{
}

TNotificationThread::~TNotificationThread() { Finish(); }

void TNotificationThread::Finish()
{
    RequestStop();
    {
        std::lock_guard guard(lock_);
        handOff_ = HandOff::None;
    }
    changed_.notify_all();
    Join();
}

void TNotificationThread::Start()
{
    running.fetch_add(1);
    thread_ = std::thread([this] { Run(); });
}

int TNotificationThread::Running() { return running.load(); }

void TNotificationThread::Run()
{
    using platform::notify::WaitResult;
    while (!stop_.load()) {
        const WaitResult waited = watch_->Wait(kWaitMs);
        if (stop_.load())
            break;
        if (waited != WaitResult::Signalled)
            continue;
        // Re-armed before the hand-off: what changes while the owner handles this
        // notification makes the next one.
        const platform::notify::RearmResult rearmed = watch_->Rearm();
        if (rearmed.Error && !HandOver(rearmed.Error))
            break;
        if (rearmed.Changed && !HandOver(0))
            break;
    }
    {
        std::lock_guard guard(lock_);
        ended_ = true;
    }
    changed_.notify_all();
    running.fetch_sub(1);
}

bool TNotificationThread::HandOver(std::int32_t code)
{
    std::unique_lock guard(lock_);
    if (stop_.load())
        return false;
    code_ = code;
    handOff_ = HandOff::Pending;
    wakeOwner_();
    changed_.notify_all(); // a stop may be waiting for it
    changed_.wait(guard, [this] { return handOff_ == HandOff::None; });
    return !stop_.load();
}

void TNotificationThread::RequestStop()
{
    {
        std::lock_guard guard(lock_);
        stop_.store(true);
    }
    if (watch_)
        watch_->Interrupt();
}

std::optional<std::int32_t> TNotificationThread::BeginDelivery()
{
    std::lock_guard guard(lock_);
    if (handOff_ != HandOff::Pending)
        return std::nullopt;
    handOff_ = HandOff::Delivering;
    return code_;
}

bool TNotificationThread::Delivering() const
{
    std::lock_guard guard(lock_);
    return handOff_ == HandOff::Delivering;
}

void TNotificationThread::EndDelivery(bool handlerFailed)
{
    {
        std::lock_guard guard(lock_);
        if (handOff_ != HandOff::Delivering)
            return;
        if (handlerFailed)
            stop_.store(true);
        handOff_ = HandOff::None;
    }
    changed_.notify_all();
}

bool TNotificationThread::WaitForHandOffOrEnd()
{
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return handOff_ == HandOff::Pending || ended_; });
    return handOff_ == HandOff::Pending;
}

void TNotificationThread::CloseWatch()
{
    std::lock_guard guard(lock_);
    watch_.reset();
}

void TNotificationThread::Join()
{
    if (thread_.joinable())
        thread_.join();
}
