#pragma once
// One piece of work on a network mount's queue (platform/util/Tasks.h) whose answers
// come back to a receiver on its thread. A call on a mount whose server went away may
// never return, so neither the list nor the program's exit waits for it: what it
// hands back is dropped once the receiver closed the channel or is gone.
#include <QObject>
#include <functional>
#include <string>

#include "platform/util/Tasks.h"

class TWorkerChannel {
public:
    // receiver: the GUI-thread object the answers run for.
    explicit TWorkerChannel(QObject* receiver);
    ~TWorkerChannel();
    TWorkerChannel(const TWorkerChannel&) = delete;
    TWorkerChannel& operator=(const TWorkerChannel&) = delete;

    // Runs work on the queue of the network mount at mountPoint; what it posts to
    // its outbox runs on the receiver's thread. When the mount does not answer (or
    // no thread could be made), onSilent runs there instead, later, never at once.
    void Start(const std::string& mountPoint, std::function<void(const platform::tasks::Outbox&)> work,
               std::function<void()> onSilent);
    // From the receiver's thread: nothing posted runs any more, and work that has
    // not begun never does.
    void Close();
    // Closes, the receiver having waited long enough: the mount is then taken as not
    // answering (its later calls are refused at once while this one is under way).
    void GiveUp();
    bool IsClosed() const;

private:
    platform::tasks::Inbox inbox_;
    platform::tasks::CancelToken token_;
    std::string mount_;
};
