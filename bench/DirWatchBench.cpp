// The folder watcher, each figure against a baseline measured in the same run:
//   1. 10,000 files made in a watched subtree by another process: the notifications
//      and the time from the last change to the last notification (against a bare
//      inotify descriptor polled for the same files);
//   2. watching "/" with its subtree: the longest stall of the GUI thread while the
//      watches are set up (against the same event loop with nothing to do), and the
//      memory the watches take (the kernel's count of watches, the resident size);
//   3. on a subtree of 10,000 folders: a stop, a stop while the watches are still
//      being set up, and a change of folder (stop and start), against the same on an
//      empty folder.
// Prints medians. Machines are shared and noisy: read the ratios.
// Optional argument: the number of rounds (5). Folders are made on /dev/shm when it
// can be written (the disk only slows the maker down, not the watcher).
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "dirwatch/dirnotify.h"
#include "platform/notify/ChangeWatch.h"

using bench::Median;
using bench::Millis;

namespace {

constexpr int kFiles = 10000;
constexpr int kQuietMs = 1000; // no notification for this long: the burst is over

double NowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs the event loop for `ms`.
void Spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done`, checking every 10 ms; false after `limitMs`.
bool SpinUntil(const std::function<bool()>& done, int limitMs = 120000)
{
    const double end = NowMs() + limitMs;
    while (!done()) {
        if (NowMs() > end)
            return false;
        Spin(10);
    }
    return true;
}

// The inotify watches this process holds now, from the kernel's own account.
int WatchCount()
{
    int count = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(e.path(), ec).string() != "anon_inode:inotify")
            continue;
        std::ifstream info("/proc/self/fdinfo/" + e.path().filename().string());
        for (std::string line; std::getline(info, line);)
            count += line.rfind("inotify wd:", 0) == 0;
    }
    return count;
}

// Waits until the watch count stops growing (the walk is over); answers the count.
int WaitForWatches()
{
    int last = -1;
    int stableSince = 0;
    for (int i = 0; i < 12000; ++i) {
        const int now = WatchCount();
        if (now != last) {
            last = now;
            stableSince = i;
        } else if (i - stableSince >= 30 || now >= static_cast<int>(platform::notify::kSubtreeFolderCap)) {
            break;
        }
        Spin(10);
    }
    return last;
}

long RssKb()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

std::string ScratchDir()
{
    std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path().string();
    std::string dir = base + "/qm-bench-dirwatch-XXXXXX";
    if (!::mkdtemp(dir.data()))
        std::exit(2);
    return dir;
}

// The other process: makes `count` files in `dir`, then prints when it made the last.
int MakeFiles(const char* dir, int count)
{
    double last = 0;
    for (int i = 0; i < count; ++i) {
        const std::string path = std::string(dir) + "/file" + std::to_string(i) + ".lnk";
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0)
            return 1;
        ::close(fd);
        last = NowMs();
    }
    std::printf("%.6f\n", last);
    return 0;
}

// Starts the file maker on `dir` and runs the event loop until it is done; answers
// the time of its last change.
double RunMaker(const std::string& dir)
{
    QProcess maker;
    maker.start(QCoreApplication::applicationFilePath(),
                {"--make-files", QString::fromStdString(dir), QString::number(kFiles)});
    bool finished = false;
    QObject::connect(&maker, &QProcess::finished, [&] { finished = true; });
    SpinUntil([&] { return finished; });
    return maker.readAllStandardOutput().trimmed().toDouble();
}

struct Burst {
    double notifications = 0;
    double lagMs = 0;
};

Burst WatcherBurst(const std::string& top)
{
    const std::string sub = top + "/sub";
    std::filesystem::create_directories(sub);
    TDirNotify notify;
    int notes = 0;
    double lastNote = 0;
    notify.OnChange = [&](TDirNotify*) {
        ++notes;
        lastNote = NowMs();
    };
    notify.SetPath(top);
    notify.SetWatchSubTree(true);
    notify.SetFilter({nfFileName, nfDirName});
    notify.SetEnabled(true);
    WaitForWatches();
    notes = 0;
    const double lastChange = RunMaker(sub);
    SpinUntil([&] { return notes > 0 && NowMs() - lastNote > kQuietMs; });
    std::filesystem::remove_all(sub);
    return {static_cast<double>(notes), lastNote - lastChange};
}

// The least any watcher can do: one inotify descriptor on the folder, read as soon
// as it is readable. Notifications: the reads that found events.
Burst RawBurst(const std::string& top)
{
    const std::string sub = top + "/sub";
    std::filesystem::create_directories(sub);
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ::inotify_add_watch(fd, sub.c_str(), IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO);
    int reads = 0;
    double lastRead = 0;
    QProcess maker;
    maker.start(QCoreApplication::applicationFilePath(),
                {"--make-files", QString::fromStdString(sub), QString::number(kFiles)});
    bool finished = false;
    QObject::connect(&maker, &QProcess::finished, [&] { finished = true; });
    alignas(inotify_event) char buf[64 * 1024];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) > 0) {
            while (::read(fd, buf, sizeof buf) > 0) {
            }
            ++reads;
            lastRead = NowMs();
        }
        QCoreApplication::processEvents();
        if (finished && reads > 0 && NowMs() - lastRead > kQuietMs)
            break;
    }
    const double lastChange = maker.readAllStandardOutput().trimmed().toDouble();
    ::close(fd);
    std::filesystem::remove_all(sub);
    return {static_cast<double>(reads), lastRead - lastChange};
}

// The longest gap between two turns of the event loop, while `during` runs once at
// the start and then until `over` holds.
double LongestStall(const std::function<void()>& during, const std::function<bool()>& over)
{
    double longest = 0;
    double last = NowMs();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = NowMs();
        longest = std::max(longest, now - last);
        last = now;
    });
    tick.start(1);
    QTimer::singleShot(0, [&] {
        const double start = NowMs();
        during();
        longest = std::max(longest, NowMs() - start);
        last = NowMs();
    });
    Spin(20);
    SpinUntil(over);
    return longest;
}

void MakeTree(const std::string& top, int fanOut)
{
    for (int i = 0; i < fanOut; ++i)
        for (int j = 0; j < fanOut; ++j)
            std::filesystem::create_directories(top + "/d" + std::to_string(i) + "/e" + std::to_string(j));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--make-files")
        return MakeFiles(argv[2], std::atoi(argv[3]));
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string scratch = ScratchDir();
    std::printf("folder watcher, %d rounds, folders made in %s\n", rounds, scratch.c_str());

    // 1. A burst of files.
    std::vector<double> notes, lags, rawNotes, rawLags;
    for (int r = 0; r < rounds; ++r) {
        const Burst w = WatcherBurst(scratch);
        notes.push_back(w.notifications);
        lags.push_back(w.lagMs);
        const Burst raw = RawBurst(scratch);
        rawNotes.push_back(raw.notifications);
        rawLags.push_back(raw.lagMs);
    }
    std::printf("%d files made by another process in a watched subtree:\n", kFiles);
    std::printf("  %-56s %9.0f     (bare inotify: %.0f reads)\n", "notifications", Median(notes), Median(rawNotes));
    std::printf("  %-56s %9.3f ms  (bare inotify: %.3f ms)\n", "last change to last notification", Median(lags),
                Median(rawLags));

    // 2. Watching "/". The stall is measured over a fixed time that covers the walk,
    // since counting the watches meanwhile would stall the loop itself.
    std::vector<double> stalls, idleStalls, walks, watches, rssKb;
    for (int r = 0; r < rounds; ++r) {
        TDirNotify notify;
        notify.SetPath("/");
        notify.SetWatchSubTree(true);
        notify.SetFilter({nfFileName, nfDirName});
        const long rssBefore = RssKb();
        double until = 0;
        stalls.push_back(LongestStall(
            [&] {
                notify.SetEnabled(true);
                until = NowMs() + 3000;
            },
            [&] { return NowMs() > until; }));
        watches.push_back(WatchCount());
        rssKb.push_back(static_cast<double>(RssKb() - rssBefore));
        notify.SetEnabled(false);
        walks.push_back(Millis([&] {
            notify.SetEnabled(true);
            WaitForWatches();
        }));
        idleStalls.push_back(LongestStall([&] { until = NowMs() + 3000; }, [&] { return NowMs() > until; }));
    }
    std::printf("watching \"/\" with its subtree:\n");
    bench::ReportFigure("longest GUI-thread stall while the watches are set up", Median(stalls), Median(idleStalls));
    std::printf("  %-56s %9.0f     (the cap: %zu)\n", "folders watched (kernel: inotify watches)", Median(watches),
                platform::notify::kSubtreeFolderCap);
    std::printf("  %-56s %9.0f KiB\n", "user: resident size (delta, largest: a fresh heap)",
                *std::max_element(rssKb.begin(), rssKb.end()));
    std::printf("  %-56s %9.0f ms  (polled every 10 ms)\n", "walk, from the start to the last watch", Median(walks));

    // 3. Stops and a change of folder.
    const std::string treeA = scratch + "/treeA", treeB = scratch + "/treeB", empty = scratch + "/empty";
    MakeTree(treeA, 100);
    MakeTree(treeB, 100);
    std::filesystem::create_directories(empty);
    struct Figures {
        std::vector<double> stop, stopWalking, change;
    } big, small;
    std::vector<double> closes;
    for (int r = 0; r < rounds; ++r) {
        for (auto [folders, other, fig] : {std::tuple{treeA, treeB, &big}, std::tuple{empty, empty + "/", &small}}) {
            TDirNotify notify;
            notify.SetPath(folders);
            notify.SetWatchSubTree(true);
            notify.SetFilter({nfFileName, nfDirName});
            notify.SetEnabled(true);
            WaitForWatches();
            fig->stop.push_back(Millis([&] { notify.SetEnabled(false); }));
            notify.SetEnabled(true);
            fig->stopWalking.push_back(Millis([&] { notify.SetEnabled(false); }));
            notify.SetEnabled(true);
            WaitForWatches();
            fig->change.push_back(Millis([&] {
                notify.SetEnabled(false);
                notify.SetPath(other);
                notify.SetEnabled(true);
            }));
            WaitForWatches();
        }
        const int fd = ::inotify_init1(IN_CLOEXEC);
        ::inotify_add_watch(fd, empty.c_str(), IN_CREATE);
        closes.push_back(Millis([&] { ::close(fd); }));
    }
    std::printf("a subtree of 10,100 folders (against an empty folder):\n");
    bench::ReportFigure("stop, watches set up", Median(big.stop), Median(small.stop));
    bench::ReportFigure("stop while the watches are being set up", Median(big.stopWalking),
                        Median(small.stopWalking));
    bench::ReportFigure("change of folder (stop + start), GUI thread", Median(big.change), Median(small.change));
    // Most of a stop is the kernel's: closing an inotify descriptor that holds a watch
    // waits for a grace period, however many watches it holds.
    std::printf("  %-56s %9.3f ms\n", "bare close of an inotify descriptor with one watch", Median(closes));

    std::filesystem::remove_all(scratch);
    return 0;
}
