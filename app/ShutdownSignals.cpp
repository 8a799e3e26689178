#include "app/ShutdownSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <iterator>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// A signal handler reaches only plain globals.
int gPipe[2] = {-1, -1};
struct sigaction gPrevious[std::size(kSignals)];
bool gCaught[std::size(kSignals)] = {};

void OnShutdownSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TShutdownSignals::TShutdownSignals(QObject* parent) : QObject(parent)
{
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        gPipe[0] = gPipe[1] = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
    notifier_->setEnabled(false);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char buf[16];
        while (::read(gPipe[0], buf, sizeof buf) > 0) {
        }
        emit Received();
    });
    struct sigaction sa = {};
    sa.sa_handler = OnShutdownSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        if (::sigaction(kSignals[i], nullptr, &gPrevious[i]) != 0)
            continue;
        // The terminal the program was started from going away (at logout, too) is
        // no reason to lose the settings; started with nohup, it stays ignored.
        if (kSignals[i] == SIGHUP && gPrevious[i].sa_handler == SIG_IGN)
            continue;
        gCaught[i] = ::sigaction(kSignals[i], &sa, nullptr) == 0;
    }
}

void TShutdownSignals::Start()
{
    if (notifier_)
        notifier_->setEnabled(true);
}

TShutdownSignals::~TShutdownSignals()
{
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        if (gCaught[i])
            ::sigaction(kSignals[i], &gPrevious[i], nullptr);
        gCaught[i] = false;
    }
    notifier_.reset();
    for (int& fd : gPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
