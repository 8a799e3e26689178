// The main window following the disk on its own: another process makes 10,000
// shortcut files in the shown folder (the top of the watched subtree), and nobody
// presses F5. Figures per burst: the watcher's notifications, the list's reads, and
// the time from the last change to the list showing all 10,000 files, against the
// goal of the read delay plus twice a read of that folder (measured in the same run).
// Prints medians. Machines are shared and noisy: read the ratio.
// Optional argument: the number of rounds (5). The folder is made on /dev/shm when it
// can be written (the disk only slows the maker down, not the window).
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "bench/BenchSupport.h"
#include "dirwatch/dirnotify.h"
#include "platform/shelllink/ShellLink.h"
#include "shortcuts/wekShortcutListView.h"

using bench::Median;

namespace {

constexpr int kFiles = 10000;
constexpr int kQuietMs = 1000; // no notification and no read for this long: settled

double NowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool SpinUntil(const std::function<bool()>& done, int limitMs = 120000)
{
    const double end = NowMs() + limitMs;
    while (!done()) {
        if (NowMs() > end)
            return false;
        Spin(5);
    }
    return true;
}

std::string ScratchDir()
{
    std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path().string();
    std::string dir = base + "/qm-bench-window-watch-XXXXXX";
    if (!::mkdtemp(dir.data()))
        std::exit(2);
    return dir;
}

// The other process: writes `count` copies of a shortcut file into `dir`, then
// prints when it made the last one (the steady clock is the same in every process).
int MakeFiles(const char* dir, const char* templatePath, int count)
{
    std::ifstream in(templatePath, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    double last = 0;
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/Shortcut %05d.lnk", i);
        const int fd = ::open((std::string(dir) + name).c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            return 1;
        ::close(fd);
        last = NowMs();
    }
    std::printf("%.6f\n", last);
    return 0;
}

double RunMaker(const std::string& dir, const std::string& templatePath)
{
    QProcess maker;
    maker.start(QCoreApplication::applicationFilePath(), {"--make-files", QString::fromStdString(dir),
                                                          QString::fromStdString(templatePath), QString::number(kFiles)});
    bool finished = false;
    QObject::connect(&maker, &QProcess::finished, [&] { finished = true; });
    SpinUntil([&] { return finished; });
    return maker.readAllStandardOutput().trimmed().toDouble();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--make-files") == 0)
        return MakeFiles(argv[2], argv[3], std::atoi(argv[4]));
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    const std::string root = ScratchDir();
    const std::string shown = root + "/shown";
    std::filesystem::create_directories(shown + "/sub");
    std::filesystem::create_directories(root + "/registry");
    setenv("QUILLMERE_REGISTRY_DIR", (root + "/registry").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::ofstream(root + "/notes.txt") << "the shortcuts' target\n";
    std::string target = "Z:" + root + "/notes.txt";
    for (char& c : target)
        c = c == '/' ? '\\' : c;
    platform::ShellLink link;
    link.SetPath(target);
    const std::string templatePath = root + "/template.lnk";
    if (!link.Save(templatePath))
        return 2;

    std::vector<double> notes, reads, lags, readTimes;
    int readDelay = 0;
    {
        int qtArgc = 1;
        char* qtArgv[] = {argv[0], nullptr};
        QApplication app(qtArgc, qtArgv);
        TForm1 window({shown});
        TwekShortcutListView* list = window.ShortcutList();
        readDelay = list->ReadDelay();

        int noteCount = 0, readCount = 0;
        double lastActivity = NowMs(), allShownAt = 0;
        TDirNotify* watcher = window.DirNotify1();
        auto handler = watcher->OnChange;
        watcher->OnChange = [&](TDirNotify* sender) {
            ++noteCount;
            lastActivity = NowMs();
            handler(sender);
        };
        QObject::connect(list, &TwekShortcutListView::OnStatusChange, [&] {
            ++readCount;
            lastActivity = NowMs();
            if (allShownAt == 0 && list->ItemCount() - list->FolderCount() == kFiles)
                allShownAt = NowMs();
        });
        auto settle = [&] {
            return SpinUntil([&] { return !list->ReadPending() && NowMs() - lastActivity > kQuietMs; });
        };
        if (!settle() || !watcher->Watching()) {
            std::fprintf(stderr, "the window does not watch %s\n", shown.c_str());
            return 1;
        }

        for (int round = 0; round < rounds; ++round) {
            noteCount = readCount = 0;
            allShownAt = 0;
            const double lastChange = RunMaker(shown, templatePath);
            if (!SpinUntil([&] { return allShownAt > 0; })) {
                std::fprintf(stderr, "round %d: the list never showed all %d files\n", round + 1, kFiles);
                return 1;
            }
            settle();
            notes.push_back(noteCount);
            reads.push_back(readCount);
            lags.push_back(allShownAt - lastChange);

            // The folder read by itself, the baseline of the goal.
            readTimes.push_back(bench::Millis([&] { list->ReadFolder(); }));
            for (const auto& e : std::filesystem::directory_iterator(shown))
                if (e.path().extension() == ".lnk")
                    std::filesystem::remove(e.path());
            SpinUntil([&] { return list->ItemCount() == list->FolderCount(); });
            settle();
        }
    }

    const double read = Median(readTimes), goal = readDelay + 2 * read;
    std::printf("%d shortcut files made in the shown folder by another process (median of %d rounds):\n", kFiles,
                rounds);
    std::printf("  notifications                        %8.0f\n", Median(notes));
    std::printf("  list reads                           %8.0f\n", Median(reads));
    std::printf("  a read of the folder                 %8.1f ms\n", read);
    std::printf("  last change to all files shown       %8.1f ms\n", Median(lags));
    std::printf("  goal: read delay %d ms + 2 reads      %8.1f ms   ratio %.2f\n", readDelay, goal,
                Median(lags) / goal);
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return 0;
}
