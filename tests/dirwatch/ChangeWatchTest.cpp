// What the change watch counts as a change, and how a subtree watch follows its
// folders. The kernel queues inotify events before the call that caused them
// returns, so a wait of 0 ms after an operation sees whatever it raised.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "dirwatch/NotifyFilter.h"
#include "platform/notify/ChangeWatch.h"
#include "tests/support/TestSupport.h"

using namespace platform::notify;
using testsupport::MakeDirs;
using testsupport::TempDir;
using testsupport::WriteFile;

static_assert(PlatformFilter(TNotifyFilters{nfSecurity}) == 0x100);
static_assert(PlatformFilter(TNotifyFilters{nfFileName, nfDirName, nfAttributes, nfSize, nfLastWrite, nfSecurity}) ==
              0x11f);
static_assert(PlatformFilter(TNotifyFilters{}) == 0);

namespace {

// Whether the events queued now hold a change.
bool Changed(ChangeWatch& watch)
{
    if (watch.Wait(0) != WaitResult::Signalled)
        return false;
    const RearmResult r = watch.Rearm();
    EXPECT_EQ(r.Error, 0) << std::strerror(r.Error);
    return r.Changed;
}

void Shell(const std::string& command)
{
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

} // namespace

TEST(ChangeWatchTest, EachKindOfChangeCountsOnlyWhenItsFilterAsksForIt)
{
    constexpr std::uint32_t name = kChangeFileName, dir = kChangeDirName, attr = kChangeAttributes,
                            size = kChangeSize, write = kChangeLastWrite, security = kChangeSecurity;
    struct Case {
        const char* what;
        std::uint32_t kinds;
        std::function<void(const std::string& top)> change;
        bool changed;
    };
    const auto create = [](const std::string& top) { WriteFile(top + "/sub/new", "x"); };
    const auto mkdir = [](const std::string& top) { MakeDirs(top + "/sub/newdir"); };
    const auto renameFile = [](const std::string& top) {
        ASSERT_EQ(::rename((top + "/sub/file").c_str(), (top + "/sub/renamed").c_str()), 0);
    };
    const auto removeDir = [](const std::string& top) { ASSERT_EQ(::rmdir((top + "/sub/dir").c_str()), 0); };
    const auto chmod = [](const std::string& top) { ASSERT_EQ(::chmod((top + "/sub/file").c_str(), 0600), 0); };
    const auto touch = [](const std::string& top) {
        ASSERT_EQ(::utimensat(AT_FDCWD, (top + "/sub/file").c_str(), nullptr, 0), 0);
    };
    const auto append = [](const std::string& top) {
        FILE* f = std::fopen((top + "/sub/file").c_str(), "a");
        ASSERT_NE(f, nullptr);
        std::fputs("more", f);
        std::fclose(f);
    };
    const Case cases[] = {
        {"file made, file names", name, create, true},
        {"file made, folder names", dir, create, false},
        {"folder made, folder names", dir, mkdir, true},
        {"folder made, file names", name, mkdir, false},
        {"file renamed, file names", name, renameFile, true},
        {"folder removed, folder names", dir, removeDir, true},
        // The main window's filter: attributes, times and contents are no change.
        {"mode changed, names", name | dir, chmod, false},
        {"times changed, names", name | dir, touch, false},
        {"written, names", name | dir, append, false},
        {"mode changed, attributes", attr, chmod, true},
        {"mode changed, security", security, chmod, true},
        {"times changed, attributes", attr, touch, true},
        {"written, size", size, append, true},
        {"written, last write", write, append, true},
        {"written, attributes", attr, append, false},
    };
    for (const Case& c : cases) {
        TempDir tmp;
        MakeDirs(tmp / "sub/dir");
        WriteFile(tmp / "sub/file", "x");
        int error = 0;
        auto watch = ChangeWatch::Open(tmp.Path(), true, c.kinds, error);
        ASSERT_TRUE(watch) << std::strerror(error);
        EXPECT_FALSE(Changed(*watch)) << c.what; // sets up the subtree
        c.change(tmp.Path());
        EXPECT_EQ(Changed(*watch), c.changed) << c.what;
    }
}

TEST(ChangeWatchTest, ASubtreeWatchFollowsItsFoldersAndGoesIdleWhenTheFolderGoes)
{
    struct Step {
        const char* command; // run in the watched folder's parent, which holds top/ and outside/
        bool changed;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"a file made in a folder made a moment before",
         {{"mkdir top/new && touch top/new/f", true}, {"touch top/new/g", true}}},
        {"a folder made with folders in it", {{"mkdir -p top/a/b/c && touch top/a/b/c/f", true}, {"touch top/a/b/c/g", true}}},
        {"a renamed folder", {{"mv top/sub top/moved", false}, {"touch top/moved/f", true}}},
        {"a folder moved in", {{"mv outside/o top/o", false}, {"touch top/o/f", true}}},
        {"a folder moved out", {{"mv top/sub outside/sub", false}, {"touch outside/sub/f", false}}},
        {"a link to a folder outside", {{"ln -s ../outside/o top/link", true}, {"touch outside/o/f", false}}},
        {"the folder deleted", {{"rm -r top", true}, {"mkdir top && touch top/f", false}}},
        {"the folder renamed", {{"mv top top2", true}, {"touch top2/f", false}}},
    };
    for (const Case& c : cases) {
        TempDir tmp;
        MakeDirs(tmp / "top/sub/deep");
        MakeDirs(tmp / "outside/o");
        int error = 0;
        auto watch = ChangeWatch::Open(tmp / "top", true, kChangeFileName, error);
        ASSERT_TRUE(watch) << std::strerror(error);
        EXPECT_FALSE(Changed(*watch)) << c.what;
        for (const Step& s : c.steps) {
            Shell("cd '" + tmp.Path() + "' && " + s.command);
            EXPECT_EQ(Changed(*watch), s.changed) << c.what << ": " << s.command;
        }
    }
}
