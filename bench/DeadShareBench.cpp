// Threads held by a share whose server stopped answering: the list and the tree each
// come back ten times to a folder on it (the list reads it, then another folder; the
// tree opens it, then gives the read up with Esc), and the threads of the process
// are counted in /proc/self/task before and after. Each visit waits a little longer
// than the patience of the mount's queue, as a user would before leaving a folder
// that shows nothing. The share is a FUSE mount that never answers, made as the tests
// make it: it needs root and a private mount namespace; elsewhere the benchmark says
// so and ends.
#include <dirent.h>
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foldertree/SystemTreeView.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/support/HangingMount.h"

namespace {

constexpr int kVisits = 10;
constexpr int kVisitMs = 300;

int Threads()
{
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (const dirent* e = ::readdir(d))
            n += e->d_name[0] != '.';
        ::closedir(d);
    }
    return n;
}

void Spin(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void Report(const char* who, int before, int after, int requests, int silent)
{
    std::printf("  %-5s threads before %3d, after %d visits %3d (+%d); requests the share got %d; visits answered"
                " \"does not answer\" %d\n",
                who, before, kVisits, after, after - before, requests, silent);
}

} // namespace

int main(int argc, char** argv)
{
    // Before any thread: the share stays private to this process.
    const bool privateMounts = testsupport::EnterPrivateMountNamespace();
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    if (!privateMounts) {
        std::printf("skipped: a FUSE mount needs root and a private mount namespace\n");
        return 0;
    }
    char templ[] = "/tmp/qm-bench-share-XXXXXX";
    if (!::mkdtemp(templ)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string base = templ;
    setenv("HOME", base.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (base + "/.config").c_str(), 1);
    setenv("QUILLMERE_REGISTRY_DIR", (base + "/registry").c_str(), 1);
    // A share each, so that what one leaves behind does not answer for the other.
    const std::string local = base + "/local", listShare = base + "/list-share", treeShare = base + "/tree-share";
    for (const std::string& dir : {local, listShare, treeShare})
        ::mkdir(dir.c_str(), 0755);
    std::string whyNot;
    auto listMount = testsupport::HangingMount::Create(listShare, whyNot);
    auto treeMount = listMount ? testsupport::HangingMount::Create(treeShare, whyNot) : nullptr;
    if (!treeMount) {
        std::printf("skipped: %s\n", whyNot.c_str());
        return 0;
    }
#if __has_include("platform/util/Tasks.h")
    // A user leaves a folder that shows nothing after a while; here, the visit.
    platform::tasks::TaskHome::Get().SetPatience(std::chrono::milliseconds(kVisitMs / 2));
#endif
    std::printf("Shares that do not answer, %d visits of %d ms each:\n", kVisits, kVisitMs);

    {
        TwekShortcutListView list;
        list.SetReadDelay(0);
        int silent = 0;
        QObject::connect(&list, &TwekShortcutListView::OnStatusChange, [&](TwekShortcutListView* sender) {
            silent += !sender->UnansweredMount().empty();
        });
        Spin(50);
        const int before = Threads();
        for (int i = 0; i < kVisits; ++i) {
            list.SetDirectory(listShare + "/docs");
            list.ReadFolder();
            Spin(kVisitMs);
            list.SetDirectory(local);
            list.ReadFolder();
        }
        Spin(50);
        Report("list", before, Threads(), listMount->RequestCount(), silent);
    }
    {
        TdfsSystemTreeView tree;
        int silent = 0;
        tree.OnError = [&](const QString&) { ++silent; };
        tree.HandleNeeded();
        tree.SetSelection(treeShare);
        TFolderNode* node = tree.Selected();
        if (!node) {
            std::printf("  tree: the share's folder could not be selected\n");
            return 1;
        }
        Spin(50);
        const int before = Threads();
        for (int i = 0; i < kVisits; ++i) {
            tree.ExpandNode(node);
            Spin(kVisitMs);
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&tree, &esc);
        }
        Spin(50);
        Report("tree", before, Threads(), treeMount->RequestCount(), silent);
    }
    // The stuck calls fail once the share is gone, and their threads end.
    listMount.reset();
    treeMount.reset();
    return 0;
}
