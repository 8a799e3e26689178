// Programs' own icons in a folder of 10,000 shortcuts to 50 Windows programs: the
// list's read with the programs' icons against the same read with type icons only,
//  1. first read, icon caches empty (a new process for each; goal at most 1.5x),
//  2. warm read, the same list reading again (goal at most 1.1x).
//
// The programs are those of a Wine prefix ($WINEPREFIX, else ~/.wine) that hold
// icons, copied into 50 program folders of a drive made for the run; without a
// prefix, programs built here. Rounds alternate between the two ways so that drift
// of a shared machine hits them alike; medians and ratios are printed.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "foldertree/SystemImageList.h"
#include "platform/drivemap/DriveMap.h"
#include "platform/iconfile/FileBytes.h"
#include "platform/iconfile/IconFileReader.h"
#include "platform/icons/SystemIconList.h"
#include "platform/shelllink/ShellLink.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/support/IconFileImages.h"

namespace fs = std::filesystem;
using bench::Median;

namespace {

constexpr int kShortcutCount = 10000;
constexpr int kProgramCount = 50;
constexpr int kRounds = 7;
constexpr int kWarmReads = 5;

bool HoldsIcons(const fs::path& file)
{
    const auto bytes = platform::iconfile::FileBytes::Open(file.string());
    return bytes && platform::iconfile::IconFileReader(*bytes).GroupCount() > 0;
}

// The prefix's programs that hold icons, by name.
std::vector<fs::path> PrefixPrograms()
{
    std::vector<fs::path> found;
    const auto prefix = platform::LocateWinePrefix();
    if (!prefix)
        return found;
    std::error_code ec;
    for (const char* sub : {"drive_c/windows", "drive_c/windows/system32"})
        for (const auto& entry : fs::directory_iterator(fs::path(*prefix) / sub, ec))
            if (entry.path().extension() == ".exe" && entry.is_regular_file(ec) && HoldsIcons(entry.path()))
                found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::uint8_t> BuiltProgram(int n)
{
    QImage image(256, 256, QImage::Format_ARGB32);
    image.fill(QColor::fromHsv(n * 7 % 360, 200, 220));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const std::uint32_t rgb = image.pixel(0, 0) & 0xFFFFFF;
    using testsupport::MakeDib;
    return testsupport::BuildPe(n % 2 == 1, {{1, "", {{16, MakeDib(16, rgb, 8), 8}, {32, MakeDib(32, rgb), 32},
                                                       {48, MakeDib(48, rgb), 32},
                                                       {256, std::vector<std::uint8_t>(png.begin(), png.end()), 32}}}},
                                 64 << 10);
}

// The drive C: of the run, its 50 programs and the folder of shortcuts to them.
std::string MakeFolder(const std::string& root, std::string& programsFrom)
{
    const std::vector<fs::path> prefix = PrefixPrograms();
    programsFrom = prefix.empty() ? "programs built here" : std::to_string(prefix.size()) + " programs of the Wine prefix";
    std::vector<std::string> windowsPaths;
    for (int i = 0; i < kProgramCount; ++i) {
        const std::string folder = "Program Files/App " + std::to_string(i);
        fs::create_directories(root + "/drive_c/" + folder);
        std::string name;
        if (!prefix.empty()) {
            const fs::path& source = prefix[static_cast<std::size_t>(i) % prefix.size()];
            name = source.filename().string();
            fs::copy_file(source, root + "/drive_c/" + folder + "/" + name);
        } else {
            name = "app" + std::to_string(i) + ".exe";
            const auto bytes = BuiltProgram(i);
            std::ofstream(root + "/drive_c/" + folder + "/" + name, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
        std::string windows = "C:\\" + folder + "\\" + name;
        std::replace(windows.begin(), windows.end(), '/', '\\');
        windowsPaths.push_back(windows);
    }
    const std::string dir = root + "/Start Menu/Programs";
    fs::create_directories(dir);
    std::vector<std::vector<std::uint8_t>> images;
    for (int i = 0; i < kProgramCount; ++i) {
        for (const bool namesIcon : {false, true}) { // as installers write them, and without
            platform::ShellLink link;
            link.SetPath(windowsPaths[static_cast<std::size_t>(i)]);
            link.SetWorkingDirectory(windowsPaths[static_cast<std::size_t>(i)].substr(0, windowsPaths[static_cast<std::size_t>(i)].rfind('\\')));
            if (namesIcon)
                link.SetIconLocation(windowsPaths[static_cast<std::size_t>(i)], 0);
            images.push_back(link.SaveToBytes());
        }
    }
    for (int i = 0; i < kShortcutCount; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/Shortcut %05d.lnk", i);
        const auto& image = images[static_cast<std::size_t>(i) % images.size()];
        std::ofstream(dir + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    return dir;
}

// Child: one list reads the folder once with empty caches, then again; prints the
// first read, the median warm read and the icon list's size, in ms.
int RunChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool programs = std::strcmp(argv[2], "programs") == 0;
    platform::SystemIconList& icons = platform::SystemIconList::Instance();
    icons.SetProgramIcons(programs);
    TdfsSystemImageList images;
    images.SetImageSize(isSmall);
    TwekShortcutListView list;
    list.SetSmallImages(&images);
    list.SetReadDelay(1);
    bool done = false;
    QObject::connect(&list, &TwekShortcutListView::OnStatusChange, [&] { done = true; });
    auto readOnce = [&](bool first) {
        done = false;
        QElapsedTimer timer;
        timer.start();
        if (first)
            list.SetDirectory(argv[3]);
        else
            list.RequestRead();
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return timer.nsecsElapsed() / 1e6 - 1.0; // less the delay itself
    };
    const double cold = readOnce(true);
    std::vector<double> warm;
    for (int i = 0; i < kWarmReads; ++i)
        warm.push_back(readOnce(false));
    std::printf("%f %f %d %d\n", cold, Median(warm), icons.Count(), list.ItemCount());
    return 0;
}

struct ChildFigures {
    double cold = 0, warm = 0;
    int icons = 0, rows = 0;
};

ChildFigures Child(const std::string& self, const char* mode, const std::string& dir)
{
    const std::string command = "'" + self + "' --child " + mode + " '" + dir + "' 2>/dev/null";
    ChildFigures f;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        if (std::fscanf(p, "%lf %lf %d %d", &f.cold, &f.warm, &f.icons, &f.rows) != 4)
            f = {};
        ::pclose(p);
    }
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv);

    char rootTemplate[] = "/tmp/qmbench-icons-XXXXXX";
    const std::string root = ::mkdtemp(rootTemplate);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QUILLMERE_REGISTRY_DIR", (root + "/registry").c_str(), 1);
    std::string programsFrom;
    std::string dir;
    {
        int qtArgc = 1;
        char* qtArgv[] = {argv[0], nullptr};
        QGuiApplication app(qtArgc, qtArgv); // for the PNGs of built programs
        dir = MakeFolder(root, programsFrom);
    }
    setenv("QUILLMERE_DRIVES", ("C:=" + root + "/drive_c").c_str(), 1);
    const std::string self = fs::canonical("/proc/self/exe").string();

    std::vector<double> coldTypes, coldPrograms, warmTypes, warmPrograms;
    ChildFigures lastTypes, lastPrograms;
    for (int round = 0; round < kRounds; ++round) {
        lastTypes = Child(self, "types", dir);
        lastPrograms = Child(self, "programs", dir);
        coldTypes.push_back(lastTypes.cold);
        coldPrograms.push_back(lastPrograms.cold);
        warmTypes.push_back(lastTypes.warm);
        warmPrograms.push_back(lastPrograms.warm);
    }
    std::printf("%d shortcuts to %d programs (%s); rows read %d and %d; icon list sizes %d and %d\n",
                kShortcutCount, kProgramCount, programsFrom.c_str(), lastTypes.rows, lastPrograms.rows,
                lastTypes.icons, lastPrograms.icons);
    std::printf("Median of %d rounds, each way in a process of its own:\n", kRounds);
    std::printf("First read, icon caches empty (goal at most 1.5x):\n");
    bench::ReportFigure("type icons only", Median(coldTypes), Median(coldTypes));
    bench::ReportFigure("programs' own icons", Median(coldPrograms), Median(coldTypes));
    std::printf("Warm read, the same list again (goal at most 1.1x):\n");
    bench::ReportFigure("type icons only", Median(warmTypes), Median(warmTypes));
    bench::ReportFigure("programs' own icons", Median(warmPrograms), Median(warmTypes));

    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
