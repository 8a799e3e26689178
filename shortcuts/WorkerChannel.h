#pragma once
// The way back to the GUI thread for work on a thread that nobody waits for. A call
// on a network mount whose server went away may never return, so neither the list
// nor the program's exit may wait for the thread that made it: the thread is
// detached, and what it hands back through the channel is dropped once the receiver
// closed the channel or is gone.
#include <QObject>
#include <functional>
#include <memory>
#include <mutex>

class TWorkerChannel {
public:
    // receiver: the GUI-thread object the posted functions run for.
    explicit TWorkerChannel(QObject* receiver);

    // From any thread: runs fn on the receiver's thread, unless the channel is closed
    // by the time it would run.
    void Post(std::function<void()> fn) const;
    // From the receiver's thread: nothing posted runs any more.
    void Close();
    bool IsClosed() const;

    // Runs work on a new detached thread, handing it this channel.
    void Start(std::function<void(const TWorkerChannel&)> work) const;

private:
    struct State {
        std::mutex lock;
        QObject* receiver = nullptr;
        bool closed = false;
    };
    std::shared_ptr<State> state_;
};
