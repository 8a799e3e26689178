// Offering the program for folders: the desktop entry's Exec line, the edits of
// mimeapps.list, and what GIO makes of both.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "platform/shellintegration/FolderHandler.h"
#include "tests/support/TestSupport.h"

using namespace platform;
using testsupport::MakeDirs;
using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Every XDG folder GIO looks at, in a fresh folder: nothing of the machine's counts.
struct XdgFolders {
    TempDir dir;
    ScopedEnv data{"XDG_DATA_HOME", dir / "data"};
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    ScopedEnv dataDirs{"XDG_DATA_DIRS", dir / "system-data"};
    ScopedEnv configDirs{"XDG_CONFIG_DIRS", dir / "system-config"};
    ScopedEnv desktop{"XDG_CURRENT_DESKTOP", nullptr};
    XdgFolders()
    {
        MakeDirs(dir / "data/applications");
        MakeDirs(dir / "config");
    }
    std::string Entry() const { return dir / "data/applications/quillmere-open-folder.desktop"; }
    std::string List() const { return dir / "config/mimeapps.list"; }
};

TEST(FolderHandler, TheProgramPathIsQuotedForTheRegistryAndTheDesktopEntry)
{
    struct Case {
        std::string path, exec;
    };
    const Case cases[] = {
        {"/usr/bin/quillmere", R"("/usr/bin/quillmere" %f)"},
        {"/opt/My Apps/quillmere", R"("/opt/My Apps/quillmere" %f)"},
        {R"(/a"b)", R"("/a\\"b" %f)"},
        {"/a$HOME/b`id`", R"("/a\\$HOME/b\\`id\\`" %f)"},
        {R"(/back\slash)", R"("/back\\\\slash" %f)"},
        {"/100%/%f", R"(/bin/sh -c "exec \\"\\$0\\" \\"\\$@\\"" "/100%%/%%f" %f)"},
        {"/ünïcode/q", R"("/ünïcode/q" %f)"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(IsOfferableProgramPath(c.path)) << c.path;
        EXPECT_EQ(DesktopExecValue(c.path), c.exec) << c.path;
    }
    EXPECT_EQ(FolderCommandLine("/opt/My Apps/quillmere"), R"("/opt/My Apps/quillmere" "%1")");
    for (const std::string bad : {"", "quillmere", "/not\xff utf8", "/tab\there", "/line\nbreak", "/del\x7f"})
        EXPECT_FALSE(IsOfferableProgramPath(bad)) << bad;
    EXPECT_FALSE(AddFolderHandler("/line\nbreak", std::string("filer.desktop")));
}

TEST(FolderHandler, TheAssociationIsAddedAndRemovedKeepingEveryOtherLine)
{
    const std::string ours = std::string(kFolderHandlerId);
    struct Case {
        const char* name;
        std::optional<std::string> before; // nothing: no mimeapps.list
        std::optional<std::string> currentDefault;
        std::string added;
    };
    const Case cases[] = {
        {"no file: the default is recorded first", std::nullopt, "filer.desktop",
         "[Default Applications]\ninode/directory=filer.desktop;\n\n[Added Associations]\ninode/directory=" + ours +
             ";\n"},
        {"no default anywhere: nothing to record", std::nullopt, std::nullopt,
         "[Added Associations]\ninode/directory=" + ours + ";\n"},
        {"a default named already stays as it is",
         "# kept\n[Default Applications]\ninode/directory = nemo.desktop\ntext/plain=ed.desktop;\n\n"
         "[Added Associations]\ninode/directory=nemo.desktop;\n[Removed Associations]\n",
         "nemo.desktop",
         "# kept\n[Default Applications]\ninode/directory = nemo.desktop\ntext/plain=ed.desktop;\n\n"
         "[Added Associations]\ninode/directory=nemo.desktop;" +
             ours + ";\n[Removed Associations]\n"},
        {"a group of other types gets the line", "[Added Associations]\ntext/plain=ed.desktop;\n", "filer.desktop",
         "[Added Associations]\ntext/plain=ed.desktop;\ninode/directory=" + ours +
             ";\n\n[Default Applications]\ninode/directory=filer.desktop;\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XdgFolders xdg;
        if (c.before)
            WriteFile(xdg.List(), *c.before);
        ASSERT_TRUE(AddFolderHandler("/opt/My Apps/quillmere", c.currentDefault));
        EXPECT_EQ(ReadFile(xdg.List()), c.added);
        const std::string entry = ReadFile(xdg.Entry());
        EXPECT_NE(entry.find("\nExec=\"/opt/My Apps/quillmere\" %f\n"), std::string::npos) << entry;
        EXPECT_NE(entry.find("\nMimeType=inode/directory;\n"), std::string::npos) << entry;
        EXPECT_NE(entry.find("\nNoDisplay=true\n"), std::string::npos) << entry;
        // Offered twice, it is there once.
        ASSERT_TRUE(AddFolderHandler("/opt/My Apps/quillmere", c.currentDefault));
        EXPECT_EQ(ReadFile(xdg.List()), c.added);

        ASSERT_TRUE(RemoveFolderHandler());
        EXPECT_FALSE(Exists(xdg.Entry()));
        if (c.before)
            EXPECT_EQ(ReadFile(xdg.List()), *c.before);
        else
            EXPECT_FALSE(Exists(xdg.List()));
    }
}

// Dotfile managers keep mimeapps.list elsewhere and link to it: the link stays, and
// the file it leads to gets the new text.
TEST(FolderHandler, AMimeappsListThatIsASymbolicLinkStaysOne)
{
    XdgFolders xdg;
    const std::string kept = xdg.dir / "dotfiles/mimeapps.list";
    const std::string before = "[Added Associations]\ntext/plain=ed.desktop;\n";
    MakeDirs(xdg.dir / "dotfiles");
    WriteFile(kept, before);
    ASSERT_EQ(::symlink("../dotfiles/mimeapps.list", xdg.List().c_str()), 0);
    const auto isLink = [&] {
        struct stat st {};
        return ::lstat(xdg.List().c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    };
    ASSERT_TRUE(AddFolderHandler("/usr/bin/quillmere", std::nullopt));
    EXPECT_TRUE(isLink());
    EXPECT_NE(ReadFile(kept).find(std::string(kFolderHandlerId)), std::string::npos) << ReadFile(kept);
    ASSERT_TRUE(RemoveFolderHandler());
    EXPECT_TRUE(isLink());
    EXPECT_EQ(ReadFile(kept), before);
}

TEST(FolderHandler, ADefaultTheUserChangedMeanwhileStays)
{
    XdgFolders xdg;
    ASSERT_TRUE(AddFolderHandler("/usr/bin/quillmere", std::string("filer.desktop")));
    WriteFile(xdg.List(), "[Default Applications]\ninode/directory=nemo.desktop;\n\n[Added Associations]\n"
                          "inode/directory=quillmere-open-folder.desktop;nemo.desktop;\n");
    ASSERT_TRUE(RemoveFolderHandler());
    EXPECT_EQ(ReadFile(xdg.List()),
              "[Default Applications]\ninode/directory=nemo.desktop;\n\n[Added Associations]\n"
              "inode/directory=nemo.desktop;\n");
}

// The default is pinned only for the desktop that runs, in the list only it reads;
// removal, under any desktop, takes back that line alone.
TEST(FolderHandler, TheDefaultIsRecordedInTheCurrentDesktopsOwnList)
{
    using Lists = std::map<std::string, std::string>; // file name -> text
    const std::string pinned = "[Default Applications]\ninode/directory=filer.desktop;\n";
    const std::string user = "[Default Applications]\ninode/directory=user.desktop;\n";
    const std::string added = "[Added Associations]\ninode/directory=quillmere-open-folder.desktop;\n";
    struct Case {
        const char* desktop;
        Lists before, after;
    };
    const Case cases[] = {
        {"XFCE:GNOME", {}, {{"mimeapps.list", added}, {"xfce-mimeapps.list", pinned}}},
        // A default the user named in either list stays the only one.
        {"X-Cinnamon", {{"mimeapps.list", user}}, {{"mimeapps.list", user + "\n" + added}}},
        {"KDE", {{"kde-mimeapps.list", user}}, {{"mimeapps.list", added}, {"kde-mimeapps.list", user}}},
        // A name that is no file name must not lead the write out of the folder.
        {"../Outside", {}, {{"mimeapps.list", pinned + "\n" + added}}},
    };
    auto listsIn = [](const std::string& dir) {
        Lists found;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            found[entry.path().filename().string()] = ReadFile(entry.path().string());
        return found;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.desktop);
        XdgFolders xdg;
        for (const auto& [name, text] : c.before)
            WriteFile(xdg.dir / ("config/" + name), text);
        {
            ScopedEnv desktop("XDG_CURRENT_DESKTOP", c.desktop);
            ASSERT_TRUE(AddFolderHandler("/usr/bin/quillmere", std::string("filer.desktop")));
        }
        EXPECT_EQ(listsIn(xdg.dir / "config"), c.after);
        EXPECT_FALSE(Exists(xdg.dir / "outside-mimeapps.list"));

        // Taken back under another desktop: every list as it was.
        ScopedEnv other("XDG_CURRENT_DESKTOP", "LXQt");
        ASSERT_TRUE(RemoveFolderHandler());
        EXPECT_EQ(listsIn(xdg.dir / "config"), c.before);
    }
}

// Offered under one desktop, the program leaves another desktop's default alone.
TEST(FolderHandler, AnotherDesktopKeepsItsOwnDefault)
{
    XdgFolders xdg;
    MakeDirs(xdg.dir / "system-data/applications");
    for (const char* name : {"filer", "gnome-filer"})
        WriteFile(xdg.dir / ("system-data/applications/" + std::string(name) + ".desktop"),
                  "[Desktop Entry]\nType=Application\nName=F\nExec=true %f\nMimeType=inode/directory;\n");
    WriteFile(xdg.dir / "system-data/applications/mimeinfo.cache",
              "[MIME Cache]\ninode/directory=filer.desktop;gnome-filer.desktop;\n");
    WriteFile(xdg.dir / "system-data/applications/gnome-mimeapps.list",
              "[Default Applications]\ninode/directory=gnome-filer.desktop;\n");
    auto probeUnder = [&](const char* desktop, const std::vector<std::string>& args) {
        ScopedEnv env("XDG_CURRENT_DESKTOP", desktop);
        return testsupport::RunProgramAt(QM_GIO_PROBE, args);
    };
    ASSERT_EQ(probeUnder("XFCE", {"add", "/usr/bin/true"}).status, 0);
    EXPECT_EQ(probeUnder("XFCE", {"default"}).out, "filer.desktop\n");
    EXPECT_EQ(probeUnder("GNOME", {"default"}).out, "gnome-filer.desktop\n");
}

// What a file manager does: GIO finds the entry, keeps the default folder handler,
// and starts the program with the folder, whatever the program's path holds.
TEST(FolderHandler, FileManagersOfferItAndStartItWithTheFolder)
{
    XdgFolders xdg;
    // The system's file manager, found through the cache update-desktop-database makes.
    MakeDirs(xdg.dir / "system-data/applications");
    WriteFile(xdg.dir / "system-data/applications/filer.desktop",
              "[Desktop Entry]\nType=Application\nName=Filer\nExec=true %f\nMimeType=inode/directory;\n");
    WriteFile(xdg.dir / "system-data/applications/mimeinfo.cache", "[MIME Cache]\ninode/directory=filer.desktop;\n");
    const std::string folder = xdg.dir / "a folder with 'quotes' & blanks";
    MakeDirs(folder);
    const std::string argvFile = xdg.dir / "argv";
    auto probe = [&](const std::vector<std::string>& args) {
        return testsupport::RunProgramAt(QM_GIO_PROBE, args, {"QM_STUB_ARGV=" + argvFile});
    };
    ASSERT_EQ(probe({"default"}).out, "filer.desktop\n");

    for (const std::string name : {"we \"ird $HOME `id` \\ dir/stub prog", "100% sure/stub %f prog"}) {
        SCOPED_TRACE(name);
        const std::string program = xdg.dir / name;
        MakeDirs(program.substr(0, program.rfind('/')));
        WriteFile(program, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"$QM_STUB_ARGV.tmp\" && "
                           "mv \"$QM_STUB_ARGV.tmp\" \"$QM_STUB_ARGV\"\n");
        ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
        ::unlink(argvFile.c_str());

        const auto added = probe({"add", program});
        ASSERT_EQ(added.status, 0) << added.err;
        EXPECT_EQ(probe({"default"}).out, "filer.desktop\n");
        const auto launched = probe({"launch", xdg.Entry(), folder});
        ASSERT_EQ(launched.status, 0) << launched.err;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!Exists(argvFile) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(ReadFile(argvFile), program + "\n" + folder + "\n");

        ASSERT_EQ(probe({"remove"}).status, 0);
        EXPECT_FALSE(Exists(xdg.Entry()));
        EXPECT_FALSE(Exists(xdg.List()));
        EXPECT_EQ(probe({"default"}).out, "filer.desktop\n");
    }
}

} // namespace
