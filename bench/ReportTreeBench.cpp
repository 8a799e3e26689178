// The recursive report over a tree of 10,000 shell links in 1,000 folders, against
// `find TREE -name '*.lnk'` (the walk alone) and the flat report given the same 1,000
// folders (the reading alone). All three run as the commands a user types, output to
// /dev/null, rounds alternating so that drift of a shared machine hits them alike.
// Goal: the recursive report takes at most 2x find's time plus the flat report's.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/SampleLinks.h"

using bench::Median;

namespace {

constexpr int kTopFolders = 10;
constexpr int kSubfoldersEach = 99; // 10 + 10 * 99 = 1,000 folders
constexpr int kLinksPerFolder = 10;
constexpr int kRounds = 11;

// Runs a command with stdout going to outFd (stderr to /dev/null); answers the wall
// time in ms, or -1 when it did not exit with status 0.
double Run(std::vector<std::string> args, int outFd)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    int status = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took.count() : -1;
}

// The number of lines a command prints, to see that each variant saw every link.
long Lines(const std::vector<std::string>& args)
{
    char name[] = "/tmp/qm-bench-out-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0 || Run(args, fd) < 0)
        return -1;
    ::close(fd);
    std::ifstream f(name);
    long lines = 0;
    for (std::string line; std::getline(f, line);)
        ++lines;
    ::unlink(name);
    return lines;
}

} // namespace

int main()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string tree = std::string(tmp && *tmp ? tmp : "/tmp") + "/qm-bench-tree-XXXXXX";
    if (!::mkdtemp(tree.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const auto samples = bench::SampleLinks();
    std::vector<std::string> folders;
    for (int t = 0; t < kTopFolders; ++t) {
        const std::string top = tree + "/Programs " + std::to_string(t);
        folders.push_back(top);
        for (int s = 0; s < kSubfoldersEach; ++s)
            folders.push_back(top + "/Vendor " + std::to_string(s));
    }
    std::size_t next = 0;
    for (const auto& folder : folders) {
        std::filesystem::create_directories(folder);
        for (int i = 0; i < kLinksPerFolder; ++i)
            std::ofstream(folder + "/Application " + std::to_string(i) + ".lnk", std::ios::binary)
                << samples[next++ % samples.size()];
    }
    const int linkCount = static_cast<int>(folders.size()) * kLinksPerFolder;

    std::vector<std::string> flat = {QM_BINARY, "--report"};
    flat.insert(flat.end(), folders.begin(), folders.end());
    struct Variant {
        const char* name;
        std::vector<std::string> args;
        std::vector<double> ms;
    };
    std::vector<Variant> variants = {
        {"find TREE -name '*.lnk'", {"find", tree, "-name", "*.lnk"}, {}},
        {"flat report of the 1,000 folders", flat, {}},
        {"recursive report (--report --recursive TREE)", {QM_BINARY, "--report", "--recursive", tree}, {}},
    };

    // Every link seen: find prints one line per link, the recursive report a header
    // and a row per link.
    const long found = Lines(variants[0].args), listed = Lines(variants[2].args);
    if (found != linkCount || listed != linkCount + 1) {
        std::fprintf(stderr, "expected %d links; find printed %ld lines, the report %ld\n", linkCount, found, listed);
        std::filesystem::remove_all(tree);
        return 1;
    }

    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    bool failed = false;
    for (int round = -1; round < kRounds; ++round) { // round -1 warms the caches
        for (auto& v : variants) {
            const double ms = Run(v.args, devNull);
            failed = failed || ms < 0;
            if (round >= 0)
                v.ms.push_back(ms);
        }
    }
    ::close(devNull);
    std::filesystem::remove_all(tree);
    if (failed) {
        std::fprintf(stderr, "a command failed\n");
        return 1;
    }

    std::printf("%d shell links in %zu folders (%zu distinct images), %d rounds, medians:\n", linkCount,
                folders.size(), samples.size(), kRounds);
    for (const auto& v : variants)
        std::printf("  %-48s %8.2f ms\n", v.name, Median(v.ms));
    // Ratios round by round, then their median: a round's runs are close in time.
    std::vector<double> toFind, toFlat, toGoal;
    for (std::size_t i = 0; i < variants[2].ms.size(); ++i) {
        const double find = variants[0].ms[i], flatMs = variants[1].ms[i], recursive = variants[2].ms[i];
        toFind.push_back(recursive / find);
        toFlat.push_back(recursive / flatMs);
        toGoal.push_back(recursive / (2 * find + flatMs));
    }
    std::printf("Median ratios per round (goal: recursive <= 2x find + flat, i.e. the last ratio <= 1):\n");
    std::printf("  recursive / find:              %.2f\n", Median(toFind));
    std::printf("  recursive / flat:              %.2f\n", Median(toFlat));
    std::printf("  recursive / (2x find + flat):  %.2f\n", Median(toGoal));
    return 0;
}
