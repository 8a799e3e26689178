// The folder tree's speed against a plain readdir loop over the same folders, in the
// same run:
//   1. expanding a folder of 10,000 subfolders (a shown tree, laid out and painted);
//   2. selecting a path twelve levels deep from a fresh tree (against reading every
//      folder on the way);
//   3. expanding a folder of 100,000 entries (files, which the tree skips).
// Prints the medians and the ratios. Machines are shared and noisy: read the ratios.
// Optional argument: the number of rounds (7).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "foldertree/SystemTreeView.h"

using bench::Median;
using bench::Millis;

namespace {

// The least any folder view does with a folder whose entries it shows: read it and
// look at each entry once.
std::size_t ReadDirAndStat(const std::string& path)
{
    std::size_t n = 0;
    if (DIR* d = ::opendir(path.c_str())) {
        struct stat st {};
        while (const dirent* e = ::readdir(d))
            n += ::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0;
        ::closedir(d);
    }
    return n;
}

std::size_t ReadDir(const std::string& path)
{
    std::size_t n = 0;
    if (DIR* d = ::opendir(path.c_str())) {
        while (::readdir(d))
            ++n;
        ::closedir(d);
    }
    return n;
}

void MakeDir(const std::string& path)
{
    ::mkdir(path.c_str(), 0755);
}

void Touch(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd >= 0)
        ::close(fd);
}

// The folders from "/" down to path, each of which a selection reads.
std::vector<std::string> FoldersOnTheWay(const std::string& path)
{
    std::vector<std::string> folders{"/"};
    for (std::size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '/')
            folders.push_back(path.substr(0, i));
    return folders;
}

struct Result {
    const char* what;
    double tree;
    double baseline;
};

void Report(const Result& r)
{
    std::printf("%-46s tree %9.2f ms   readdir %8.2f ms   ratio %7.1f\n", r.what, r.tree, r.baseline,
                r.tree / std::max(r.baseline, 0.001));
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    char templ[] = "/tmp/qm-bench-tree-XXXXXX";
    if (!::mkdtemp(templ)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string base = templ;
    setenv("HOME", base.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (base + "/.config").c_str(), 1);
    setenv("QUILLMERE_REGISTRY_DIR", (base + "/registry").c_str(), 1);

    std::printf("Setting up in %s ...\n", base.c_str());
    const std::string wide = base + "/wide";
    MakeDir(wide);
    for (int i = 0; i < 10000; ++i)
        MakeDir(wide + "/folder" + std::to_string(i));
    std::string deep = base + "/deep";
    MakeDir(deep);
    for (int level = 1; level <= 12; ++level) {
        for (int s = 0; s < 50; ++s)
            MakeDir(deep + "/side" + std::to_string(s));
        deep += "/level" + std::to_string(level);
        MakeDir(deep);
    }
    const std::string crowded = base + "/crowded";
    MakeDir(crowded);
    for (int i = 0; i < 100000; ++i)
        Touch(crowded + "/entry" + std::to_string(i) + ".txt");

    std::vector<Result> results;
    auto measure = [&](const char* what, const std::function<double()>& tree, const std::function<void()>& baseline) {
        std::vector<double> t, b;
        tree(); // warm the caches once, for both sides alike
        baseline();
        for (int r = 0; r < rounds; ++r) {
            t.push_back(tree());
            b.push_back(Millis(baseline));
        }
        results.push_back({what, Median(t), Median(b)});
        Report(results.back());
    };

    // Opens a fresh, shown tree with `folder`'s parent selected, then times expanding it.
    auto expandFolder = [&](const std::string& folder, std::size_t expected) {
        return [&, folder, expected] {
            TdfsSystemTreeView tree;
            tree.resize(300, 600);
            tree.show();
            tree.SetSelection(folder);
            TFolderNode* node = tree.Selected();
            QApplication::processEvents();
            const double ms = Millis([&] {
                tree.ExpandNode(node);
                QApplication::processEvents();
                tree.repaint();
            });
            if (node->Children.size() != expected)
                std::fprintf(stderr, "unexpected: %zu children\n", node->Children.size());
            return ms;
        };
    };

    measure("expand a folder of 10,000 subfolders", expandFolder(wide, 10000), [&] { ReadDir(wide); });
    {
        // For scale: the same folder read with one stat per entry.
        std::vector<double> b;
        for (int r = 0; r < rounds; ++r)
            b.push_back(Millis([&] { ReadDirAndStat(wide); }));
        std::printf("%-46s (readdir with a stat per entry: %.2f ms, tree ratio to it %.1f)\n", "", Median(b),
                    results.back().tree / std::max(Median(b), 0.001));
    }

    const auto onTheWay = FoldersOnTheWay(deep);
    measure("select a path 12 levels deep, fresh tree",
            [&] {
                return Millis([&] {
                    TdfsSystemTreeView tree;
                    tree.HandleNeeded();
                    tree.SetSelection(deep);
                    if (tree.Selection() != deep)
                        std::fprintf(stderr, "selection failed\n");
                });
            },
            [&] {
                for (const std::string& f : onTheWay)
                    ReadDir(f);
            });

    measure("expand a folder of 100,000 entries (files)", expandFolder(crowded, 0), [&] { ReadDir(crowded); });

    std::printf("\nFolder records alive at the end: %ld\n", FolderItemDataCount());
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
    return 0;
}
