// The file jobs against the shell's own tools, in one run on the same files:
//   1. paste-copy of 10,000 small files, against `cp -r`;
//   2. paste-copy of one 1 GB file, against `cp -r`;
//   3. delete to the trash of 10,000 files, against `gio trash`;
//   4. the longest stall of the GUI thread while the 10,000 files are pasted through
//      the platform's windows (a timer ticking every millisecond measures it),
//      against the same timer with nothing to do for as long.
// Prints medians and ratios. Files live in a folder under $TMPDIR (or /tmp), removed
// at the end; HOME and XDG_DATA_HOME point there too, so the trash is a home trash on
// the same file system for both.
//
// Arguments: [ROUNDS] (5; the 1 GB copy runs at most 3 times), or
// --screenshots DIR: under a real display (xvfb-run), saves pictures of the progress
// window and the conflict dialog into DIR instead of measuring.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/fileops/FileJob.h"
#include "platform/ui/ConflictDialog.h"
#include "platform/ui/FileOperation.h"
#include "platform/ui/FileProgressWindow.h"

using bench::Median;
using bench::Millis;
using namespace platform;
using namespace platform::fileops;

extern char** environ;

namespace {

constexpr int kSmallFiles = 10000;
constexpr std::size_t kLargeBytes = std::size_t(1) << 30;

// Yes to every question: the measured jobs ask only to confirm the trash.
class SayYes final : public JobDelegate {
public:
    void Progress(const JobProgress&) override {}
    void Ask(const JobQuestion&, std::function<void(JobReply)> reply) override { reply({Choice::Yes}); }
    void Finished(const JobResult&) override {}
};

bool RunJob(JobRequest request)
{
    FileJob job(std::move(request), std::make_shared<SayYes>());
    const JobResult r = job.Wait();
    if (!r.Succeeded())
        std::fprintf(stderr, "job failed: %s\n", r.error.c_str());
    return r.Succeeded();
}

bool Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void WriteBytes(const std::string& path, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::string block(std::min<std::size_t>(size, 8 << 20), '\0');
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 2654435761u >> 13);
    for (std::size_t done = 0; done < size;) {
        const std::size_t n = std::min(block.size(), size - done);
        if (::write(fd, block.data(), n) != static_cast<ssize_t>(n))
            break;
        done += n;
    }
    ::close(fd);
}

void MakeSmallFiles(const std::string& dir, int count)
{
    std::filesystem::create_directories(dir);
    for (int i = 0; i < count; ++i)
        WriteBytes(dir + "/file" + std::to_string(i) + ".txt", 100 + i % 900);
}

void Clear(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    std::filesystem::create_directories(path, ec);
    ::sync(); // write-back of one run must not land on the next
}

std::vector<std::string> FilesIn(const std::string& dir)
{
    std::vector<std::string> paths;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        paths.push_back(e.path().native());
    return paths;
}

// The longest gap between ticks of a 1 ms timer on the GUI thread while the files
// are pasted through the platform's windows.
double LongestStallMs(const std::string& source, const std::string& dest, QWidget& owner, qint64& lastedMs)
{
    QElapsedTimer clock;
    double longest = 0;
    qint64 last = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, (now - last) / 1e6);
        last = now;
    });
    bool done = false;
    FileOperation* op = FileOperation::Paste({source}, false, dest, &owner);
    QObject::connect(op, &FileOperation::Finished, [&](const JobResult& r) {
        done = true;
        if (!r.Succeeded())
            std::fprintf(stderr, "paste failed: %s\n", r.error.c_str());
    });
    clock.start();
    ticker.start(1);
    while (!done)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    lastedMs = clock.elapsed();
    return longest;
}

// The same timer with nothing else to do for as long: what the machine's own
// scheduling costs the GUI thread.
double LongestIdleStallMs(qint64 forMs)
{
    QElapsedTimer clock;
    double longest = 0;
    qint64 last = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, (now - last) / 1e6);
        last = now;
    });
    clock.start();
    ticker.start(1);
    while (clock.elapsed() < forMs)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return longest;
}

int Measure(const std::string& root, int rounds)
{
    const std::string small = root + "/small", large = root + "/large", out = root + "/out";
    std::printf("Preparing %d small files and one file of 1 GB in %s ...\n", kSmallFiles, root.c_str());
    MakeSmallFiles(small + "/Tree", kSmallFiles);
    std::filesystem::create_directories(large);
    WriteBytes(large + "/big.bin", kLargeBytes);
    ::sync();

    std::vector<double> ours, cp, oursLarge, cpLarge, trash, gio, stalls, idleStalls;
    for (int i = 0; i < rounds; ++i) {
        // Alternating who goes first, so the page cache favours neither.
        const auto job = [&] { Clear(out); ours.push_back(Millis([&] { RunJob(JobRequest::Paste({small + "/Tree"}, false, out)); })); };
        const auto tool = [&] { Clear(out); cp.push_back(Millis([&] { Spawn({"cp", "-r", small + "/Tree", out + "/"}); })); };
        if (i % 2) { tool(); job(); } else { job(); tool(); }
        if (i < 3) {
            const auto jobLarge = [&] { Clear(out); oursLarge.push_back(Millis([&] { RunJob(JobRequest::Paste({large + "/big.bin"}, false, out)); })); };
            const auto toolLarge = [&] { Clear(out); cpLarge.push_back(Millis([&] { Spawn({"cp", "-r", large + "/big.bin", out + "/"}); })); };
            if (i % 2) { toolLarge(); jobLarge(); } else { jobLarge(); toolLarge(); }
        }
        // The trash: fresh files each time, the same empty trash for both.
        const auto trashWith = [&](bool job) {
            Clear(out);
            Clear(root + "/data/Trash");
            MakeSmallFiles(out, kSmallFiles);
            ::sync();
            std::vector<std::string> files = FilesIn(out);
            if (job) {
                trash.push_back(Millis([&] { RunJob(JobRequest::Delete(files)); }));
            } else {
                files.insert(files.begin(), {"gio", "trash"});
                gio.push_back(Millis([&] { Spawn(files); }));
            }
        };
        if (i % 2) { trashWith(false); trashWith(true); } else { trashWith(true); trashWith(false); }
    }
    {
        QWidget owner;
        owner.resize(600, 400);
        owner.show();
        for (int i = 0; i < rounds; ++i) {
            Clear(out);
            qint64 lasted = 0;
            stalls.push_back(LongestStallMs(small + "/Tree", out, owner, lasted));
            idleStalls.push_back(LongestIdleStallMs(lasted));
        }
    }
    Clear(out);

    std::printf("Medians (ratio to the tool in the same run):\n");
    bench::ReportFigure("cp -r, 10,000 small files", Median(cp), Median(cp));
    bench::ReportFigure("paste-copy, 10,000 small files", Median(ours), Median(cp));
    bench::ReportFigure("cp -r, one 1 GB file", Median(cpLarge), Median(cpLarge));
    bench::ReportFigure("paste-copy, one 1 GB file", Median(oursLarge), Median(cpLarge));
    bench::ReportFigure("gio trash, 10,000 files", Median(gio), Median(gio));
    bench::ReportFigure("delete to the trash, 10,000 files", Median(trash), Median(gio));
    bench::ReportFigure("longest GUI-thread stall, idle for as long", Median(idleStalls), Median(idleStalls));
    bench::ReportFigure("longest GUI-thread stall, paste of 10,000 files", Median(stalls), Median(idleStalls));
    std::printf("  (goal: under 50 ms; the worst of the %zu pastes %.3f ms, idle %.3f ms)\n", stalls.size(),
                *std::max_element(stalls.begin(), stalls.end()), *std::max_element(idleStalls.begin(), idleStalls.end()));
    return 0;
}

void Grab(const QString& path)
{
    QApplication::processEvents();
    QApplication::primaryScreen()->grabWindow(0).save(path);
    std::printf("saved %s\n", qPrintable(path));
}

template <class T>
T* WaitFor(QWidget& owner)
{
    for (int i = 0; i < 3000; ++i) {
        for (T* w : owner.findChildren<T*>())
            if (w->isVisible())
                return w;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        ::usleep(1000);
    }
    return nullptr;
}

int Screenshots(const std::string& root, const QString& outDir)
{
    QDir().mkpath(outDir);
    QWidget owner;
    owner.setWindowTitle("Quillmere");
    owner.resize(900, 560);
    auto* layout = new QVBoxLayout(&owner);
    auto* stand = new QLabel("The main window stands here.", &owner);
    stand->setAutoFillBackground(true);
    stand->setStyleSheet("background: white; border: 1px solid gray;");
    layout->addWidget(stand);
    owner.show();

    MakeSmallFiles(root + "/src/Photos", 4000);
    WriteBytes(root + "/src/Holiday video.mkv", 600u << 20);
    std::filesystem::create_directories(root + "/dest");
    FileOperation* op = FileOperation::Paste({root + "/src/Photos", root + "/src/Holiday video.mkv"}, false,
                                             root + "/dest", &owner);
    bool done = false;
    QObject::connect(op, &FileOperation::Finished, [&] { done = true; });
    if (auto* progress = WaitFor<FileProgressWindow>(owner)) {
        for (int i = 0; i < 40; ++i) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
            ::usleep(10000);
        }
        Grab(outDir + "/progress-window.png");
        progress->CancelButton()->click();
    }
    while (!done)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);

    std::filesystem::create_directories(root + "/dest2");
    WriteBytes(root + "/src/Report 2024.pdf", 48211);
    WriteBytes(root + "/dest2/Report 2024.pdf", 31877);
    done = false;
    op = FileOperation::Paste({root + "/src/Report 2024.pdf"}, false, root + "/dest2", &owner);
    QObject::connect(op, &FileOperation::Finished, [&] { done = true; });
    if (auto* dialog = WaitFor<ConflictDialog>(owner)) {
        Grab(outDir + "/conflict-dialog.png");
        dialog->SkipButton()->click();
    }
    while (!done)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string root = std::string(tmp && *tmp ? tmp : "/tmp") + "/qmbench-files-XXXXXX";
    if (!::mkdtemp(root.data()))
        return 1;
    // GIO reads these once; `gio trash` gets them through the environment. GIO uses
    // the home trash only for files on HOME's file system.
    setenv("HOME", root.c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("GIO_USE_VFS", "local", 1);
    const bool screenshots = argc > 2 && std::string(argv[1]) == "--screenshots";
    if (!screenshots && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int rounds = !screenshots && argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int status = screenshots ? Screenshots(root, QString::fromLocal8Bit(argv[2])) : Measure(root, rounds);
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return status;
}
