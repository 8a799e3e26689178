// Reading a folder of 10,000 shell links, four ways, in one process over the same
// files: the folder reading the list and the report use, the whole text report,
// Debian's liblnk reading the same fields, and the raw cost of opening and reading
// each file. Rounds alternate between the four so that drift of a shared machine hits
// them alike; medians and ratios are printed.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

// Debian's liblnk.h includes libbfio.h, whose package liblnk-dev does not pull in;
// nothing here uses the bfio handle functions, so they are left out.
#include <liblnk/features.h>
#undef LIBLNK_HAVE_BFIO
#include <liblnk.h>

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
#include "bench/SampleLinks.h"
#include "app/Entry.h"
#include "platform/shelllink/ShellLink.h"
#include "shortcuts/FolderContents.h"

using bench::Median;

namespace {

constexpr int kLinkCount = 10000;
constexpr int kRounds = 15;

std::vector<std::string> ListNames(const std::string& dir)
{
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(d);
    return names;
}

// Each variant lists the folder itself and returns a checksum so that nothing is
// optimised away and the variants can be seen to have read every file.
std::size_t ReadRaw(const std::string& dir)
{
    std::size_t total = 0;
    char buf[65536];
    for (const auto& name : ListNames(dir)) {
        const int fd = ::open((dir + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0)
            total += static_cast<std::size_t>(n);
        ::close(fd);
    }
    return total;
}

std::size_t ReadOurs(const std::string& dir)
{
    TFolderContents contents;
    ReadFolderContents(dir, contents);
    std::size_t total = 0;
    for (const auto& item : contents.Items)
        total += item.ReadOk + item.Info.Target.size() + item.Info.Arguments.size();
    return total;
}

std::size_t RunTextReport(const std::string& dir)
{
    std::string arg0 = dir;
    char* argv[] = {arg0.data(), nullptr};
    return static_cast<std::size_t>(RunReport(1, argv));
}

std::size_t LiblnkString(liblnk_file_t* file, int (*getSize)(liblnk_file_t*, size_t*, liblnk_error_t**),
                         int (*get)(liblnk_file_t*, uint8_t*, size_t, liblnk_error_t**))
{
    size_t size = 0;
    if (getSize(file, &size, nullptr) != 1 || size == 0)
        return 0;
    std::vector<uint8_t> text(size);
    return get(file, text.data(), size, nullptr) == 1 ? size : 0;
}

// The fields the shortcut record holds: the target path (the environment block's, else
// the local one), description, working directory, arguments, icon location and index,
// show command and hotkey.
std::size_t ReadLiblnk(const std::string& dir)
{
    std::size_t total = 0;
    for (const auto& name : ListNames(dir)) {
        liblnk_file_t* file = nullptr;
        if (liblnk_file_initialize(&file, nullptr) != 1)
            continue;
        if (liblnk_file_open(file, (dir + "/" + name).c_str(), LIBLNK_OPEN_READ, nullptr) == 1) {
            total += 1;
            const std::size_t env = LiblnkString(file, liblnk_file_get_utf8_environment_variables_location_size,
                                                 liblnk_file_get_utf8_environment_variables_location);
            total += env ? env : LiblnkString(file, liblnk_file_get_utf8_local_path_size, liblnk_file_get_utf8_local_path);
            total += LiblnkString(file, liblnk_file_get_utf8_description_size, liblnk_file_get_utf8_description);
            total += LiblnkString(file, liblnk_file_get_utf8_working_directory_size,
                                  liblnk_file_get_utf8_working_directory);
            total += LiblnkString(file, liblnk_file_get_utf8_command_line_arguments_size,
                                  liblnk_file_get_utf8_command_line_arguments);
            total += LiblnkString(file, liblnk_file_get_utf8_icon_location_size, liblnk_file_get_utf8_icon_location);
            uint32_t iconIndex = 0, show = 0;
            uint16_t hotkey = 0;
            liblnk_file_get_icon_index(file, &iconIndex, nullptr);
            liblnk_file_get_show_window_value(file, &show, nullptr);
            liblnk_file_get_hot_key_value(file, &hotkey, nullptr);
            total += iconIndex + show + hotkey;
            liblnk_file_close(file, nullptr);
        }
        liblnk_file_free(&file, nullptr);
    }
    return total;
}

} // namespace

int main()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/qm-bench-links-XXXXXX";
    if (!::mkdtemp(dir.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const auto samples = bench::SampleLinks();
    for (int i = 0; i < kLinkCount; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/link%05d.lnk", i);
        std::ofstream(dir + name, std::ios::binary) << samples[static_cast<std::size_t>(i) % samples.size()];
    }

    // The report writes its table to stdout; here it goes to /dev/null.
    std::fflush(stdout);
    const int savedStdout = ::dup(1);
    const int devNull = ::open("/dev/null", O_WRONLY);

    struct Variant {
        const char* name;
        std::function<std::size_t(const std::string&)> run;
        std::vector<double> seconds;
        std::size_t check = 0;
    };
    std::vector<Variant> variants = {
        {"raw open+read+close", ReadRaw, {}, 0},
        {"folder reading (ReadFolderContents)", ReadOurs, {}, 0},
        {"text report (RunReport)", RunTextReport, {}, 0},
        {"liblnk, same fields", ReadLiblnk, {}, 0},
    };
    for (int round = -1; round < kRounds; ++round) { // round -1 warms the caches
        for (auto& v : variants) {
            ::dup2(devNull, 1);
            const auto start = std::chrono::steady_clock::now();
            v.check = v.run(dir);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            std::fflush(stdout);
            ::dup2(savedStdout, 1);
            if (round >= 0)
                v.seconds.push_back(took.count());
        }
    }
    ::close(devNull);
    ::close(savedStdout);
    std::filesystem::remove_all(dir);

    std::printf("Reading %d shell links (%zu distinct images), %d rounds, medians:\n", kLinkCount, samples.size(),
                kRounds);
    for (const auto& v : variants) {
        const double median = Median(v.seconds);
        std::printf("  %-38s %8.2f ms  %9.0f links/s  (min %.2f, max %.2f)\n", v.name, median * 1e3,
                    kLinkCount / median, *std::min_element(v.seconds.begin(), v.seconds.end()) * 1e3,
                    *std::max_element(v.seconds.begin(), v.seconds.end()) * 1e3);
    }
    // Ratios round by round, then their median: a round's four runs are close in
    // time, so a slow spell of the machine cancels out.
    const auto ratio = [&variants](std::size_t a, std::size_t b) {
        std::vector<double> r;
        for (std::size_t i = 0; i < variants[a].seconds.size(); ++i)
            r.push_back(variants[a].seconds[i] / variants[b].seconds[i]);
        return Median(r);
    };
    std::printf("Median ratios per round (goal: at least 2x liblnk's throughput, at most 1.5x the raw read):\n");
    std::printf("  folder reading: %.2fx liblnk's throughput, %.2fx the raw read's time\n", ratio(3, 1), ratio(1, 0));
    std::printf("  text report:    %.2fx liblnk's throughput, %.2fx the raw read's time\n", ratio(3, 2), ratio(2, 0));
    return 0;
}
