#pragma once
// Change notifications for one folder, on inotify: open a watch, wait on it with a
// time-out, re-arm it after a signal, close it (the destructor), and the message
// for an error code.
//
// Open runs on the caller's thread and touches the watched folder alone, so a
// missing folder, a file or a folder that cannot be read fails at once. Everything
// else runs on one worker thread, which alone calls Wait and Rearm; Interrupt may be
// called from any thread. The work that can take long happens on the worker: a
// subtree watch adds a watch per folder below the watched one in its first Wait,
// and a folder on a network mount gets its one watch in its first Wait too, added on
// the mount's queue (platform/util/Tasks.h) and left behind if the server never
// answers; a mount already known not to answer fails the watch (ETIMEDOUT).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform::notify {

enum class WaitResult {
    Signalled,   // events are queued: Rearm reads them
    TimedOut,
    Interrupted, // Interrupt was called; every later Wait answers the same at once
};

struct RearmResult {
    int Error = 0;        // an errno value, 0 for none
    bool Changed = false; // an event of a kind asked for came
};

// A subtree watch adds at most this many folders, nearest levels first; past it the
// deeper folders are not watched (said once on stderr). It keeps a big tree from
// taking the user's whole inotify budget, which other programs need too.
inline constexpr std::size_t kSubtreeFolderCap = 4096;

class ChangeWatch {
public:
    // Opens a watch of `folder` (passed to the kernel as it is) for changes of
    // `kinds` (ChangeKinds.h), in the folder alone or in every folder below it too.
    // Answers null and sets `error` (an errno value) when the folder cannot be
    // watched.
    static std::unique_ptr<ChangeWatch> Open(const std::string& folder, bool subtree, std::uint32_t kinds,
                                             int& error);
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Waits at most `timeoutMs` for events. The first call sets up a subtree watch;
    // Interrupt cuts that short too.
    WaitResult Wait(int timeoutMs);
    // Reads every queued event, which arms the watch again, and follows folders
    // that came, went or moved. A watched folder that is deleted, moved away or
    // unmounted counts as a change, after which the watch is idle: its waits only
    // time out. A lost event queue (IN_Q_OVERFLOW) counts as a change.
    RearmResult Rearm();
    // Makes a Wait in progress, and every later one, answer Interrupted, and stops
    // a subtree walk in progress. Any thread.
    void Interrupt();

private:
    struct Impl;
    explicit ChangeWatch(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The system's message for an error code; for the limits of inotify a text that
// names the setting to raise.
std::string ChangeErrorMessage(int code);

} // namespace platform::notify
