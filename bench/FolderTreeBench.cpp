// The folder tree's speed against a plain readdir loop over the same folders, in the
// same run:
//   1. expanding a folder of 10,000 subfolders (a shown tree, laid out and painted);
//   2. selecting a path twelve levels deep from a fresh tree (against reading every
//      folder on the way);
//   3. expanding a folder of 100,000 entries (files, which the tree skips);
//   4. the look into folders drawn without a button (for subfolders that are symbolic
//      links, which a link count misses), against the same tree without it: on the
//      folder of 10,000 subfolders, the rows in view, then scrolling through all;
//      and the look itself into each of them, against reading each.
// Prints the medians and the ratios. Machines are shared and noisy: read the ratios.
// Optional argument: the number of rounds (7).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "foldertree/FolderTreeModel.h"
#include "foldertree/SubfolderProbe.h"
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

    // The look into folders drawn without a button. The wide folder's subfolders are
    // all empty, so on ext4, xfs or tmpfs every one drawn is looked into.
    struct Probed {
        double gui = 0;      // expanding, drawing (and scrolling) on the GUI thread
        double answered = 0; // until every folder looked into has its answer
        std::size_t looked = 0;
    };
    auto showWide = [&](bool probe, bool scrollThrough) {
        TdfsSystemTreeView tree;
        tree.resize(300, 600);
        tree.show();
        auto* model = qobject_cast<TFolderTreeModel*>(tree.model());
        model->SetProbeSubfolders(probe, true);
        tree.SetSelection(wide);
        TFolderNode* node = tree.Selected();
        // Only what showing the wide folder costs: the looks into the rows drawn so
        // far (its siblings, one of them 100,000 files) end first.
        while (model->ProbesPending() > 0)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        QApplication::processEvents();
        Probed r;
        const auto start = std::chrono::steady_clock::now();
        tree.ExpandNode(node);
        tree.scrollTo(tree.IndexOf(node->Children.front().get()), QAbstractItemView::PositionAtTop);
        QApplication::processEvents();
        tree.repaint();
        if (scrollThrough) {
            QScrollBar* v = tree.verticalScrollBar();
            for (int at = v->value(); at <= v->maximum(); at += std::max(1, v->pageStep())) {
                v->setValue(at);
                tree.repaint();
            }
        }
        r.gui = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        for (const auto& child : node->Children)
            r.looked += child->Probed;
        while (model->ProbesPending() > 0)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        r.answered = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        return r;
    };
    for (const bool scrollThrough : {false, true}) {
        showWide(true, scrollThrough); // warm the caches once, for both sides alike
        showWide(false, scrollThrough);
        std::vector<double> gui, answered, without;
        std::size_t looked = 0;
        for (int r = 0; r < rounds; ++r) {
            const Probed on = showWide(true, scrollThrough);
            gui.push_back(on.gui);
            answered.push_back(on.answered);
            looked = on.looked;
            without.push_back(showWide(false, scrollThrough).gui);
        }
        std::printf("%s (%zu folders looked into), against no look:\n",
                    scrollThrough ? "scroll through 10,000 subfolders" : "show 10,000 subfolders, the rows in view",
                    looked);
        for (const auto& [what, ms] : {std::pair{"  on the GUI thread", Median(gui)},
                                       std::pair{"  until every look answered", Median(answered)}})
            std::printf("%-46s look %9.2f ms   no look %8.2f ms   ratio %7.2f\n", what, ms, Median(without),
                        ms / std::max(Median(without), 0.001));
    }
    // The look itself, on the worker: every one of the 10,000 folders.
    std::vector<std::string> leaves;
    for (int i = 0; i < 10000; ++i)
        leaves.push_back(wide + "/folder" + std::to_string(i));
    measure("look into 10,000 folders (worker thread)",
            [&] {
                return Millis([&] {
                    for (const std::string& leaf : leaves)
                        HoldsSubfolder(leaf, true);
                });
            },
            [&] {
                for (const std::string& leaf : leaves)
                    ReadDir(leaf);
            });

    std::printf("\nFolder records alive at the end: %ld\n", FolderItemDataCount());
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
    return 0;
}
