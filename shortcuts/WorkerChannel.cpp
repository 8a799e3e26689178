#include "shortcuts/WorkerChannel.h"

#include <thread>

TWorkerChannel::TWorkerChannel(QObject* receiver) : state_(std::make_shared<State>())
{
    state_->receiver = receiver;
}

void TWorkerChannel::Post(std::function<void()> fn) const
{
    std::lock_guard guard(state_->lock);
    if (state_->closed || !state_->receiver)
        return;
    // Closed on the receiver's thread between posting and running: the state says so.
    QMetaObject::invokeMethod(
        state_->receiver,
        [state = state_, fn = std::move(fn)] {
            {
                std::lock_guard guard(state->lock);
                if (state->closed)
                    return;
            }
            fn();
        },
        Qt::QueuedConnection);
}

void TWorkerChannel::Close()
{
    std::lock_guard guard(state_->lock);
    state_->closed = true;
    state_->receiver = nullptr;
}

bool TWorkerChannel::IsClosed() const
{
    std::lock_guard guard(state_->lock);
    return state_->closed;
}

void TWorkerChannel::Start(std::function<void(const TWorkerChannel&)> work) const
{
    std::thread([channel = *this, work = std::move(work)] { work(channel); }).detach();
}
