// The main window's two costs a user feels, each against a baseline of the same run:
//
// 1. Showing a folder of 10,000 shortcuts: from the list's read timer firing to the
//    window's status bar update (every link read, its icon found through its target,
//    overlays drawn), against `quillmere --report --test` on the same folder.
// 2. F5 on the same folder with every row, and with every other row, selected,
//    against F5 with none selected: the selection is found again after the read,
//    and the status bar counts it.
// 3. Start-up: from starting the program to its first painted window, against a bare
//    Qt main window started the same way.
//
// Rounds alternate between the contenders so that drift of a shared machine hits
// them alike; medians and ratios are printed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QMainWindow>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "app/Unit1.h"
#include "platform/shelllink/ShellLink.h"
#include "shortcuts/wekShortcutListView.h"

extern char** environ;

using bench::Median;

namespace {

constexpr int kShortcutCount = 10000;
constexpr int kReadRounds = 7;
constexpr int kStartRounds = 9;
constexpr int kRefreshRounds = 5;

long long MonotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::string WindowsPath(const std::string& host)
{
    std::string w = "Z:";
    for (char c : host)
        w += c == '/' ? '\\' : c;
    return w;
}

// 10,000 shortcuts over a handful of targets of different kinds, one in ten broken,
// one in twenty an Internet shortcut.
void MakeFolder(const std::string& root)
{
    const std::string targets = root + "/targets", dir = root + "/shortcuts";
    std::filesystem::create_directories(targets + "/a folder");
    std::filesystem::create_directories(dir);
    const std::vector<std::string> kinds = {"notes.txt", "page.html", "paper.pdf", "image.png", "archive.zip",
                                            "a folder", "program"};
    for (const std::string& k : kinds)
        if (k != "a folder")
            std::ofstream(targets + "/" + k) << "content of " << k << "\n";
    ::chmod((targets + "/program").c_str(), 0755);
    std::vector<std::vector<std::uint8_t>> images;
    for (const std::string& k : kinds) {
        platform::ShellLink link;
        link.SetPath(WindowsPath(targets + "/" + k));
        link.SetWorkingDirectory(WindowsPath(targets));
        link.SetArguments("--open " + k);
        link.SetDescription("Opens " + k);
        images.push_back(link.SaveToBytes());
    }
    platform::ShellLink broken;
    broken.SetPath(WindowsPath(targets + "/gone/missing.exe"));
    const auto brokenImage = broken.SaveToBytes();
    for (int i = 0; i < kShortcutCount; ++i) {
        char name[64];
        if (i % 20 == 19) {
            std::snprintf(name, sizeof name, "/Site %05d.url", i);
            std::ofstream(dir + name) << "[InternetShortcut]\r\nURL=https://example.com/" << i << "\r\n";
            continue;
        }
        std::snprintf(name, sizeof name, "/Shortcut %05d.lnk", i);
        const auto& image = i % 10 == 3 ? brokenImage : images[static_cast<size_t>(i) % images.size()];
        std::ofstream(dir + name, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                          static_cast<std::streamsize>(image.size()));
    }
}

// Runs a program, output discarded; answers the wall time in ms and its exit status.
double Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv, int* status,
             std::string* output = nullptr)
{
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e)
        envStore.emplace_back(*e);
    for (const std::string& e : extraEnv)
        envStore.push_back(e);
    std::vector<char*> envp, argv;
    for (auto& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStore = args;
    for (auto& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    char outName[] = "/tmp/qmbench-out-XXXXXX";
    const int outFd = ::mkstemp(outName);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const long long start = MonotonicNs();
    pid_t pid;
    double ms = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int st = 0;
        while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
        }
        ms = (MonotonicNs() - start) / 1e6;
        if (status)
            *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (output) {
        std::ifstream f(outName);
        output->assign(std::istreambuf_iterator<char>(f), {});
    }
    ::close(outFd);
    ::unlink(outName);
    return ms;
}

// Child mode: show a window, print the monotonic time of its first paint, quit.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            std::printf("%lld\n", MonotonicNs());
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }

private:
    bool seen_ = false;
};

int RunChild(int argc, char** argv, bool bare)
{
    QApplication app(argc, argv);
    FirstPaint watcher;
    if (bare) {
        QMainWindow window;
        window.setWindowTitle("Quillmere");
        window.resize(500, 300);
        window.installEventFilter(&watcher);
        window.show();
        return app.exec();
    }
    std::vector<std::string> args;
    if (argc > 2)
        args.emplace_back(argv[2]);
    TForm1 window(args);
    window.installEventFilter(&watcher);
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--child-bare") == 0)
        return RunChild(argc, argv, true);
    if (argc >= 2 && std::strcmp(argv[1], "--child-window") == 0)
        return RunChild(argc, argv, false);

    char rootTemplate[] = "/tmp/qmbench-window-XXXXXX";
    const std::string root = ::mkdtemp(rootTemplate);
    const std::string dir = root + "/shortcuts";
    setenv("QUILLMERE_REGISTRY_DIR", (root + "/registry").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::filesystem::create_directories(root + "/registry");
    MakeFolder(root);

    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    const std::string program = QM_BINARY;

    // 1. The folder in the window against the report.
    std::vector<double> report, coldRead, warmRead, refreshNone, refreshAll, refreshHalf;
    QString allSelectedText;
    int reportStatus = -1;
    {
        int qtArgc = 1;
        char* qtArgv[] = {argv[0], nullptr};
        QApplication app(qtArgc, qtArgv);
        // Opened on the folder itself: the watcher then watches it alone, and the
        // bench's own files elsewhere cause no reads of their own.
        TForm1 window({dir});
        TwekShortcutListView* list = window.ShortcutList();
        bool done = false;
        QObject::connect(list, &TwekShortcutListView::OnStatusChange, [&] { done = true; });
        auto readOnce = [&](const std::string& folder, bool byRefresh = false) {
            done = false;
            list->SetReadDelay(1);
            QElapsedTimer timer;
            timer.start();
            if (byRefresh)
                window.Refresh();
            else if (folder.empty())
                list->RequestRead();
            else
                list->SetDirectory(folder);
            while (!done)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            return timer.nsecsElapsed() / 1e6 - 1.0; // less the delay itself
        };
        // The first read meets empty icon caches; later ones find the links' targets known.
        coldRead.push_back(readOnce(dir));
        std::printf("window shows: %s, %s\n", window.PanelText(0).toUtf8().constData(),
                    list->ItemCount() == kShortcutCount ? "all rows" : "rows missing!");
        for (int round = 0; round < kReadRounds; ++round) {
            report.push_back(Spawn({program, "--report", "--test", dir}, {}, &reportStatus));
            warmRead.push_back(readOnce({}));
        }
        for (int round = 0; round < kRefreshRounds; ++round) {
            list->clearSelection();
            refreshNone.push_back(readOnce({}, true));
            list->DoVerb("SelectAll");
            refreshAll.push_back(readOnce({}, true));
            allSelectedText = window.PanelText(1);
            QItemSelection everyOther;
            for (int row = 0; row < list->ItemCount(); row += 2)
                everyOther.select(list->model()->index(row, 0), list->model()->index(row, 0));
            list->selectionModel()->select(everyOther, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            refreshHalf.push_back(readOnce({}, true));
        }
    }

    // 3. Start-up to the first painted window.
    std::vector<double> bare, full;
    for (int round = 0; round < kStartRounds; ++round) {
        for (bool isBare : {true, false}) {
            std::string out;
            const long long start = MonotonicNs();
            int status = -1;
            Spawn({self, isBare ? "--child-bare" : "--child-window", dir}, {}, &status, &out);
            const long long painted = std::atoll(out.c_str());
            if (painted <= start)
                continue;
            (isBare ? bare : full).push_back((painted - start) / 1e6);
        }
    }

    std::printf("\nA folder of %d shortcuts (median of %d rounds):\n", kShortcutCount, kReadRounds);
    std::printf("  report --test (exit status %d)   %8.1f ms\n", reportStatus, Median(report));
    std::printf("  window: timer to status bar      %8.1f ms   ratio %.2f\n", Median(warmRead),
                Median(warmRead) / Median(report));
    std::printf("  window: its first read           %8.1f ms   ratio %.2f\n", coldRead.front(),
                coldRead.front() / Median(report));
    std::printf("\nF5 on the %d rows (median of %d rounds; goal: all selected at most 1.5x none):\n", kShortcutCount,
                kRefreshRounds);
    std::printf("  none selected                    %8.1f ms\n", Median(refreshNone));
    std::printf("  all selected                     %8.1f ms   ratio %.2f   status bar: \"%s\"\n", Median(refreshAll),
                Median(refreshAll) / Median(refreshNone), allSelectedText.toUtf8().constData());
    std::printf("  every other row selected         %8.1f ms   ratio %.2f\n", Median(refreshHalf),
                Median(refreshHalf) / Median(refreshNone));
    std::printf("\nStart to first painted window (median of %d rounds):\n", kStartRounds);
    std::printf("  bare Qt main window              %8.1f ms\n", Median(bare));
    std::printf("  Quillmere main window            %8.1f ms   ratio %.2f\n", Median(full), Median(full) / Median(bare));

    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return 0;
}
