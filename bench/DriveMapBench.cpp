// Start-up costs of the drive map and the shell-folder seeding on a prefix in use:
// reading a machine registry file of Wine's size, and mapping paths. Each figure is
// a median over repeated runs, with its ratio to a baseline measured in the same run.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/drivemap/DriveMap.h"
#include "platform/drivemap/WineRegistry.h"
#include "platform/shellfolders/ShellFolders.h"

using bench::MedianMs;
using bench::ReportFigure;

namespace {

// A machine file the size of a prefix with a few programs installed: ~30,000 keys.
std::string MachineFile(int keys)
{
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";
    for (int i = 0; i < keys; ++i) {
        text += "[Software\\\\Classes\\\\CLSID\\\\{" + std::to_string(100000 + i) + "-0000-0000-C000-000000000046}\\\\InprocServer32] 1700000000\n";
        text += "#time=1d6f0a1b2c3d4e5\n@=\"C:\\\\windows\\\\system32\\\\ole32.dll\"\n\"ThreadingModel\"=\"Both\"\n";
        if (i % 10 == 0)
            text += "\"Blob\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,1a,\\\n"
                    "  1b,1c,1d,1e,1f,20\n";
        text += "\n";
    }
    text += "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] 1700000000\n"
            "\"Common Desktop\"=\"C:\\\\users\\\\Public\\\\Desktop\"\n\n";
    return text;
}

} // namespace

int main()
{
    char templ[] = "/tmp/qmbench-XXXXXX";
    if (!::mkdtemp(templ))
        return 1;
    const std::string dir = templ;
    const std::string prefix = dir + "/prefix";
    std::filesystem::create_directories(prefix + "/dosdevices");
    std::filesystem::create_directories(prefix + "/drive_c/Program Files/Some Vendor/Some Tool");
    std::filesystem::create_directories(prefix + "/drive_c/users/me");
    std::filesystem::create_symlink("../drive_c", prefix + "/dosdevices/c:");
    const std::string machinePath = prefix + "/system.reg";
    {
        std::ofstream(machinePath, std::ios::binary) << MachineFile(30000);
    }
    const auto size = std::filesystem::file_size(machinePath);
    std::printf("Wine machine registry file: %.1f MB\n", static_cast<double>(size) / 1e6);

    const std::vector<std::string> keys = {std::string(platform::kShellFoldersKey),
                                           std::string(platform::kUserShellFoldersKey)};
    const int runs = 15;
    const double readMs = MedianMs(runs, [&] {
        std::string bytes(size, '\0');
        const int fd = ::open(machinePath.c_str(), O_RDONLY);
        if (fd < 0 || ::read(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            std::abort();
        ::close(fd);
    });
    const double filteredMs = MedianMs(runs, [&] {
        if (!platform::WineRegistry::Load(machinePath, keys).FindKey(keys[0]))
            std::abort();
    });
    const double fullMs = MedianMs(5, [&] { (void)platform::WineRegistry::Load(machinePath); });
    const double envMs = MedianMs(runs, [&] { (void)platform::WinEnvironment::FromPrefix(prefix); });
    std::printf("Reading the file (baseline: the bytes alone)\n");
    ReportFigure("read the bytes", readMs, readMs);
    ReportFigure("parse, keeping the shell-folder keys", filteredMs, readMs);
    ReportFigure("parse, keeping every key", fullMs, readMs);
    ReportFigure("environment of the prefix", envMs, readMs);

    const platform::DriveMap map = platform::DriveMap::FromPrefix(prefix);
    const std::string exact = "C:\\Program Files\\Some Vendor\\Some Tool";
    const std::string folded = "c:\\PROGRAM FILES\\some vendor\\SOME TOOL";
    const std::string host = prefix + "/drive_c/Program Files/Some Vendor/Some Tool";
    const int mapRuns = 2000;
    const double statMs = MedianMs(15, [&] {
        struct stat st {};
        for (int i = 0; i < mapRuns; ++i)
            ::lstat(host.c_str(), &st);
    });
    const double exactMs = MedianMs(15, [&] {
        for (int i = 0; i < mapRuns; ++i)
            (void)map.ToHostPath(exact);
    });
    const double foldedMs = MedianMs(15, [&] {
        for (int i = 0; i < mapRuns; ++i)
            (void)map.ToHostPath(folded);
    });
    const double backMs = MedianMs(15, [&] {
        for (int i = 0; i < mapRuns; ++i)
            (void)map.ToWindowsPath(host);
    });
    std::printf("Mapping %d paths (baseline: one lstat of the host path each)\n", mapRuns);
    ReportFigure("lstat", statMs, statMs);
    ReportFigure("Windows to host, names as on disk", exactMs, statMs);
    ReportFigure("Windows to host, every name in another case", foldedMs, statMs);
    ReportFigure("host to Windows", backMs, statMs);

    // Seeding at start-up: the first run fills the keys, every later one finds them
    // all there (the baseline: opening the key and asking for one value).
    ::setenv("QUILLMERE_REGISTRY_DIR", (dir + "/registry").c_str(), 1);
    {
        // The current user's shell folders of a fresh prefix.
        std::string user = "WINE REGISTRY Version 2\n"
                           "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders] 0\n";
        for (const char* name : {"AppData", "Cache", "Cookies", "Desktop", "Favorites", "History", "Local AppData",
                                 "My Music", "My Pictures", "My Videos", "NetHood", "Personal", "PrintHood",
                                 "Programs", "Recent", "SendTo", "Start Menu", "Startup", "Templates", "Fonts"})
            user += "\"" + std::string(name) + "\"=str(2):\"%USERPROFILE%\\\\" + name + "\"\n";
        std::ofstream(prefix + "/user.reg", std::ios::binary) << user;
    }
    int written = 0;
    const double firstMs = bench::Millis([&] { written = platform::SeedShellFolders(prefix, map); });
    const double openMs = MedianMs(runs, [&] {
        platform::registry::Key key;
        if (platform::registry::Key::Open(platform::registry::Hive::CurrentUser, platform::kShellFoldersKey, key)
                != platform::registry::Success
            || !key.ValueExists("Desktop"))
            std::abort();
    });
    const double seededMs = MedianMs(runs, [&] {
        if (platform::SeedShellFolders(prefix, map) != 0)
            std::abort();
    });
    std::printf("Seeding the shell folders (baseline: open the key, ask for one value)\n");
    ReportFigure("open and ask", openMs, openMs);
    char label[64];
    std::snprintf(label, sizeof label, "first start, %d values written (one run)", written);
    ReportFigure(label, firstMs, openMs);
    ReportFigure("later starts, nothing missing", seededMs, openMs);

    std::filesystem::remove_all(dir);
    return 0;
}
