#include "dirwatch/dirnotify.h"

#include <errno.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QPointer>
#include <QSocketNotifier>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "dirwatch/NotificationThread.h"
#include "platform/notify/ChangeWatch.h"

namespace {

bool Remove(std::vector<std::shared_ptr<TNotificationThread>>& list, const std::shared_ptr<TNotificationThread>& w)
{
    const auto it = std::find(list.begin(), list.end(), w);
    if (it == list.end())
        return false;
    list.erase(it);
    return true;
}

void SayHandlerFailed(const char* what)
{
    std::fprintf(stderr, "%s: the folder watcher stopped: its handler failed: %s\n", program_invocation_short_name,
                 what);
    std::fflush(stderr);
}

} // namespace

TDirNotify::TDirNotify(QObject* owner, bool loading)
    : QObject(owner), loading_(loading), wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (wake_) {
        wakeNotifier_ = new QSocketNotifier(wake_.Get(), QSocketNotifier::Read, this);
        connect(wakeNotifier_, &QSocketNotifier::activated, this, &TDirNotify::OwnerWoken);
    }
}

TDirNotify::~TDirNotify()
{
    worker_.reset();
    ending_.clear();
    for (const Worker& w : live_)
        w->Finish();
    live_.clear();
}

void TDirNotify::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    Restart();
}

void TDirNotify::SetPath(const std::string& value)
{
    if (value == path_)
        return;
    path_ = value;
    Restart();
}

void TDirNotify::SetWatchSubTree(bool value)
{
    if (value == watchSubTree_)
        return;
    watchSubTree_ = value;
    Restart();
}

void TDirNotify::SetFilter(TNotifyFilters value)
{
    if (value == filter_)
        return;
    filter_ = value;
    Restart();
}

void TDirNotify::Loaded()
{
    loading_ = false;
    Restart();
}

void TDirNotify::Restart()
{
    // A handler run by a stop may restart the watch itself: whatever it started is
    // stopped too, so there is never more than one worker.
    while (worker_)
        if (!StopWorker(std::exchange(worker_, nullptr)))
            return;
    if (!enabled_ || loading_ || path_.empty())
        return;
    if (!wake_)
        throw EDirNotify(platform::notify::ChangeErrorMessage(EMFILE));

    int error = 0;
    std::unique_ptr<platform::notify::ChangeWatch> watch =
        platform::notify::ChangeWatch::Open(path_, watchSubTree_, PlatformFilter(filter_), error);
    if (!watch)
        throw EDirNotify(platform::notify::ChangeErrorMessage(error));
    auto w = std::make_shared<TNotificationThread>(std::move(watch), [fd = wake_.Get()] {
        const std::uint64_t one = 1;
        while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
        }
    });
    live_.push_back(w);
    w->Start();
    worker_ = std::move(w);
}

bool TDirNotify::StopWorker(Worker w)
{
    w->RequestStop();
    if (w->Delivering()) {
        // Its notification is being delivered further up this thread's stack, and it
        // waits for that delivery to end: waiting for it here would never return.
        w->CloseWatch();
        ending_.push_back(std::move(w));
        return true;
    }
    // A notification the worker already handed over is delivered before it ends.
    while (w->WaitForHandOffOrEnd())
        if (!Deliver(w))
            return false;
    w->Join();
    Forget(w);
    return true;
}

bool TDirNotify::Deliver(Worker w)
{
    const std::optional<std::int32_t> code = w->BeginDelivery();
    if (!code)
        return true;
    const QPointer<TDirNotify> alive(this);
    bool failed = false;
    try {
        if (*code == 0) {
            if (OnChange)
                OnChange(this);
        } else if (OnError) {
            OnError(this, *code);
        }
    } catch (const std::exception& e) {
        failed = true;
        SayHandlerFailed(e.what());
    } catch (...) {
        failed = true;
        SayHandlerFailed("an unknown error");
    }
    if (!alive)
        return false; // the destructor ended the worker
    w->EndDelivery(failed);
    const bool stoppedMeanwhile = Remove(ending_, w);
    const bool endsNow = failed && worker_ == w;
    if (endsNow)
        worker_.reset();
    if (stoppedMeanwhile || endsNow) {
        // Released with its stop flag set, the worker only returns: a short join.
        w->Join();
        Forget(w);
    }
    return true;
}

void TDirNotify::OwnerWoken()
{
    std::uint64_t count = 0;
    while (::read(wake_.Get(), &count, sizeof count) < 0 && errno == EINTR) {
    }
    if (worker_)
        Deliver(worker_);
}

void TDirNotify::Forget(const Worker& w) { Remove(live_, w); }
