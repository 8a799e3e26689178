#pragma once
// TDirNotify watches one folder and tells its owner, on the owner's (GUI) thread,
// that something in it changed; not what. A worker thread, which exists exactly
// while a watch is active, waits on the platform's change watch and hands each
// notification over, blocking until the owner has delivered it.
//
// Every property setter restarts the watch when the value differs: the old worker
// is stopped (a notification it already handed over is delivered first), then a new
// one starts if the notifier is enabled, loaded and has a path. A folder the
// platform refuses makes the setter throw EDirNotify with the system's message; the
// notifier then keeps the new value and stays idle.
//
// A stop never runs an event loop. A stop asked for while the worker's own
// notification is being delivered (from the handler, or from a dialog the handler
// shows) does not wait for it: the worker is told to end, its watch closed, and it is
// joined when the delivery returns.
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "dirwatch/NotifyFilter.h"
#include "platform/shell/FsAccess.h"

class QSocketNotifier;
class TNotificationThread;

class EDirNotify : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TDirNotify : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TDirNotify* Sender)>;
    using TDirNotifyErrorEvent = std::function<void(TDirNotify* Sender, std::int32_t ErrorID)>;

    // With `loading`, the owner is still building its components: no watch starts
    // until it calls Loaded().
    explicit TDirNotify(QObject* owner = nullptr, bool loading = false);
    // Stops the worker before returning; a notification it was handing over is
    // dropped, not delivered to an owner that is going away.
    ~TDirNotify() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    // The folder, as bytes, passed to the platform unchanged.
    const std::string& Path() const { return path_; }
    void SetPath(const std::string& value);
    bool WatchSubTree() const { return watchSubTree_; }
    void SetWatchSubTree(bool value);
    TNotifyFilters Filter() const { return filter_; }
    void SetFilter(TNotifyFilters value);

    // The owner has built its components: the watch starts if it is wanted.
    void Loaded();
    // Whether a worker watches now.
    bool Watching() const { return worker_ != nullptr; }

    // Called on the owner's thread with this notifier as Sender. An error a handler
    // throws ends the worker (the notifier stays enabled but idle until the next
    // restart); it never reaches the event loop.
    TNotifyEvent OnChange;
    TDirNotifyErrorEvent OnError; // ErrorID: an errno value (ChangeErrorMessage)

private:
    using Worker = std::shared_ptr<TNotificationThread>;

    void Restart();
    // Each answers false when a handler destroyed this notifier meanwhile.
    bool StopWorker(Worker worker);
    bool Deliver(Worker worker);
    void OwnerWoken();
    void Forget(const Worker& worker);

    bool enabled_ = false;
    std::string path_;
    bool watchSubTree_ = false;
    TNotifyFilters filter_{nfFileName};
    bool loading_;
    Worker worker_;
    std::vector<Worker> live_;   // every worker not joined yet, worker_ included
    std::vector<Worker> ending_; // stopped during their own delivery: joined when it returns
    platform::shell::fs::UniqueFd wake_;
    QSocketNotifier* wakeNotifier_ = nullptr;
};
