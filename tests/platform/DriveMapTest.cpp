#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "platform/drivemap/DriveMap.h"
#include "tests/platform/FakeWinePrefix.h"
#include "tests/support/TestSupport.h"

using platform::DriveMap;
using testsupport::FakeWinePrefix;
using testsupport::MakeDirs;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(DriveMap, DrivesOfAPrefixAreTheLettersLeadingToFolders)
{
    FakeWinePrefix wine;
    MakeDirs(wine.Prefix() + "/dosdevices/h:"); // a plain folder serves as well as a link
    wine.Link(wine.Outside(), "cc:");
    wine.Link(wine.Outside(), "1:");
    wine.Link(wine.Outside(), "D:x");

    const DriveMap map = DriveMap::FromPrefix(wine.Prefix());
    std::string letters;
    for (const auto& [letter, folder] : map.Drives())
        letters += letter;
    // Not d:: (raw device), com1, lpt1 (ports), e: (dangling), f: (a file), nor the odd names.
    EXPECT_EQ(letters, "CDHZ");
    EXPECT_EQ(map.DriveFolder('c'), wine.DriveC()); // spelled through the prefix, not "dosdevices/../"
    EXPECT_EQ(map.DriveFolder('D'), wine.Outside());
    EXPECT_EQ(map.DriveFolder('H'), wine.Prefix() + "/dosdevices/h:");
    EXPECT_EQ(map.DriveFolder('Z'), "/");
    EXPECT_EQ(map.DriveFolder('E'), std::nullopt);
    EXPECT_EQ(map.DriveFolder('?'), std::nullopt);
}

TEST(DriveMap, ZIsTheRootUnlessGivenOtherwise)
{
    FakeWinePrefix wine;
    ASSERT_EQ(::unlink((wine.Prefix() + "/dosdevices/z:").c_str()), 0);
    EXPECT_EQ(DriveMap::FromPrefix(wine.Prefix()).DriveFolder('Z'), "/");
    wine.Link(wine.Outside(), "z:");
    EXPECT_EQ(DriveMap::FromPrefix(wine.Prefix()).DriveFolder('Z'), wine.Outside());

    EXPECT_EQ(DriveMap::FromText("C:=/mnt/win").DriveFolder('Z'), "/");
    EXPECT_EQ(DriveMap::FromText("C:=/mnt/win;Z:=/srv").DriveFolder('Z'), "/srv");
    EXPECT_EQ(DriveMap::FromText("C:=/mnt/win;Z:=").DriveFolder('Z'), std::nullopt);
    EXPECT_EQ(DriveMap::FromPrefix("/nonexistent/prefix").Drives().size(), 1u);
}

TEST(DriveMap, SpecGivesDrivesAndSkipsWhatDoesNotParse)
{
    const DriveMap map = DriveMap::FromText(" c:=/mnt/win/;D=/media/data;;E:relative;F:=media;x y;G:=/a b/c//;"
                                            "HH:=/h;1:=/one;=/none;C:=/mnt/win2");
    EXPECT_EQ(map.DriveFolder('C'), "/mnt/win2"); // the later pair wins
    EXPECT_EQ(map.DriveFolder('D'), "/media/data");
    EXPECT_EQ(map.DriveFolder('G'), "/a b/c");
    EXPECT_EQ(map.DriveFolder('E'), std::nullopt);
    EXPECT_EQ(map.DriveFolder('F'), std::nullopt);
    EXPECT_EQ(map.Drives().size(), 4u); // C, D, G and Z
}

TEST(DriveMap, EnvironmentChoosesSpecThenWinePrefixThenHomeWine)
{
    FakeWinePrefix wine;
    TempDir home;
    ScopedEnv homeEnv("HOME", home.Path());
    {
        ScopedEnv drives("QUILLMERE_DRIVES", "C:=/mnt/win");
        ScopedEnv prefix("WINEPREFIX", wine.Prefix());
        const DriveMap map = DriveMap::FromEnvironment();
        EXPECT_EQ(map.DriveFolder('C'), "/mnt/win");
        EXPECT_EQ(map.DriveFolder('D'), std::nullopt);
    }
    {
        ScopedEnv drives("QUILLMERE_DRIVES", nullptr);
        ScopedEnv prefix("WINEPREFIX", wine.Prefix() + "/");
        EXPECT_EQ(platform::LocateWinePrefix(), wine.Prefix());
        EXPECT_EQ(DriveMap::FromEnvironment().DriveFolder('C'), wine.DriveC());
    }
    {
        ScopedEnv drives("QUILLMERE_DRIVES", "");
        ScopedEnv prefix("WINEPREFIX", nullptr);
        EXPECT_EQ(platform::LocateWinePrefix(), std::nullopt); // no ~/.wine yet
        EXPECT_EQ(DriveMap::FromEnvironment().Drives().size(), 1u);
        ASSERT_EQ(::symlink(wine.Prefix().c_str(), (home / ".wine").c_str()), 0);
        EXPECT_EQ(platform::LocateWinePrefix(), home / ".wine");
        EXPECT_EQ(DriveMap::FromEnvironment().DriveFolder('C'), home / ".wine/drive_c");
    }
    {
        // A relative prefix is taken from the current folder.
        ScopedEnv drives("QUILLMERE_DRIVES", nullptr);
        ScopedEnv prefix("WINEPREFIX", "prefix/.");
        std::string cwd(4096, '\0');
        ASSERT_NE(::getcwd(cwd.data(), cwd.size()), nullptr);
        ASSERT_EQ(::chdir(wine.Tmp().Path().c_str()), 0);
        const std::optional<std::string> located = platform::LocateWinePrefix();
        const std::optional<std::string> driveC = DriveMap::FromPrefix("prefix").DriveFolder('C');
        ASSERT_EQ(::chdir(cwd.c_str()), 0);
        EXPECT_EQ(located, wine.Prefix());
        EXPECT_EQ(driveC, wine.DriveC());
    }
    {
        // A prefix named but missing is no reason to take ~/.wine instead.
        ScopedEnv drives("QUILLMERE_DRIVES", nullptr);
        ScopedEnv prefix("WINEPREFIX", home / "absent");
        EXPECT_EQ(platform::LocateWinePrefix(), std::nullopt);
        EXPECT_EQ(DriveMap::FromEnvironment().DriveFolder('C'), std::nullopt);
    }
}

TEST(DriveMap, DefaultIsBuiltOnceForAllThreads)
{
    std::vector<const DriveMap*> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = &DriveMap::Default(); });
    for (std::thread& t : threads)
        t.join();
    for (const DriveMap* map : seen)
        EXPECT_EQ(map, seen.front());
}

TEST(DriveMap, WindowsPathsMatchEachSegmentIgnoringCase)
{
    FakeWinePrefix wine;
    const std::string c = wine.DriveC();
    MakeDirs(c + "/Program Files/Tool");
    WriteFile(c + "/Program Files/Tool/Run.EXE", "");
    MakeDirs(c + "/users/alice/\xC3\x84rger"); // "Ärger"
    MakeDirs(c + "/users/alice/\xD0\x94\xD0\xBE\xD0\xBA"); // "Док"
    const DriveMap map = DriveMap::FromPrefix(wine.Prefix());

    EXPECT_EQ(map.ToHostPath("C:\\Program Files\\Tool\\Run.EXE"), c + "/Program Files/Tool/Run.EXE");
    EXPECT_EQ(map.ToHostPath("c:\\PROGRAM FILES\\tool\\run.exe"), c + "/Program Files/Tool/Run.EXE");
    EXPECT_EQ(map.ToHostPath("C:\\users\\ALICE\\\xC3\xA4RGER"), c + "/users/alice/\xC3\x84rger");
    EXPECT_EQ(map.ToHostPath("C:\\users\\alice\\\xD0\xB4\xD0\x9E\xD0\x9A"), c + "/users/alice/\xD0\x94\xD0\xBE\xD0\xBA");
    // A segment that matches nothing stays as written, and so does the rest.
    EXPECT_EQ(map.ToHostPath("C:\\program files\\Missing\\tool\\x.exe"), c + "/Program Files/Missing/tool/x.exe");
    EXPECT_EQ(map.ToHostPath("D:\\Sub\\File.txt"), wine.Outside() + "/Sub/File.txt");
    EXPECT_EQ(map.ToHostPath("Z:\\"), "/");
    EXPECT_EQ(map.ToHostPath("z:\\tmp"), "/tmp");

    // Two names that differ only in case: the choice does not depend on the disk's order.
    MakeDirs(c + "/twin/Foo");
    MakeDirs(c + "/twin/foo");
    EXPECT_EQ(map.ToHostPath("C:\\twin\\FOO"), c + "/twin/Foo");
    EXPECT_EQ(map.ToHostPath("C:\\twin\\foo"), c + "/twin/foo");
}

TEST(DriveMap, WindowsPathSeparatorsDotsAndOddForms)
{
    FakeWinePrefix wine;
    const std::string c = wine.DriveC();
    const DriveMap map = DriveMap::FromPrefix(wine.Prefix());

    EXPECT_EQ(map.ToHostPath("C:/Windows//System32\\\\.\\x.dll"), c + "/windows/system32/x.dll");
    EXPECT_EQ(map.ToHostPath("C:\\windows\\..\\..\\..\\users"), c + "/users");
    EXPECT_EQ(map.ToHostPath("C:\\windows\\missing\\..\\system32"), c + "/windows/system32");
    EXPECT_EQ(map.ToHostPath("C:\\windows\\"), c + "/windows/");
    EXPECT_EQ(map.ToHostPath("C:\\"), c + "/");
    EXPECT_EQ(map.ToHostPath("C:"), c);
    EXPECT_EQ(map.ToHostPath("C:windows"), c + "/windows");
    EXPECT_EQ(map.ToHostPath("\\\\?\\C:\\Windows"), c + "/windows");
    EXPECT_EQ(map.ToHostPath(std::string("C:\\windows\0\\evil", 16)), c + "/windows");

    EXPECT_EQ(map.ToHostPath("Q:\\unmapped"), std::nullopt);
    EXPECT_EQ(map.ToHostPath("\\\\server\\share\\x"), std::nullopt);
    EXPECT_EQ(map.ToHostPath("relative\\path"), std::nullopt);
    EXPECT_EQ(map.ToHostPath("%SystemRoot%\\x"), std::nullopt);
    EXPECT_EQ(map.ToHostPath(""), std::nullopt);
    EXPECT_EQ(map.ToHostPath(":"), std::nullopt);
}

TEST(DriveMap, HostPathsTakeTheLongestDriveOnWholeComponents)
{
    const DriveMap map = DriveMap::FromText("C:=/mnt/win;D:=/mnt/win/data;E:=/mnt/winx");
    EXPECT_EQ(map.ToWindowsPath("/mnt/win/Program Files/x.exe"), "C:\\Program Files\\x.exe");
    EXPECT_EQ(map.ToWindowsPath("/mnt/win/data/a/b"), "D:\\a\\b");
    EXPECT_EQ(map.ToWindowsPath("/mnt/win/database"), "C:\\database");
    EXPECT_EQ(map.ToWindowsPath("/mnt/winx/y"), "E:\\y");
    EXPECT_EQ(map.ToWindowsPath("/mnt/winxy/y"), "Z:\\mnt\\winxy\\y");
    EXPECT_EQ(map.ToWindowsPath("/mnt/win"), "C:\\");
    EXPECT_EQ(map.ToWindowsPath("/mnt/win/"), "C:\\");
    EXPECT_EQ(map.ToWindowsPath("/mnt/win/data/sub/"), "D:\\sub\\");
    EXPECT_EQ(map.ToWindowsPath("//mnt/./win/data/../x"), "C:\\x");
    EXPECT_EQ(map.ToWindowsPath("/"), "Z:\\");
    EXPECT_EQ(map.ToWindowsPath("relative/x"), std::nullopt);
    EXPECT_EQ(map.ToWindowsPath(""), std::nullopt);
    EXPECT_EQ(map.ToWindowsPath("/mnt/win/back\\slash"), std::nullopt); // "\" would split the name
    EXPECT_EQ(DriveMap::FromText("C:=/mnt/win;Z:=").ToWindowsPath("/srv/x"), std::nullopt);
}

TEST(DriveMap, HostNamesThatAreNotUtf8SurviveBothWays)
{
    FakeWinePrefix wine;
    const std::string name = "caf\xE9 \xFF\x80"; // Latin-1 and stray bytes
    MakeDirs(wine.DriveC() + "/" + name);
    const DriveMap map = DriveMap::FromPrefix(wine.Prefix());
    const std::string host = wine.DriveC() + "/" + name + "/doc.txt";

    const std::optional<std::string> windows = map.ToWindowsPath(host);
    EXPECT_EQ(windows, "C:\\" + name + "\\doc.txt");
    ASSERT_TRUE(windows);
    EXPECT_EQ(map.ToHostPath(*windows), host);
    EXPECT_EQ(map.ToHostPath("C:\\CAF\xE9 \xFF\x80\\x"), wine.DriveC() + "/" + name + "/x");
}

TEST(DriveMap, HostPathsReachDrivesThroughLinks)
{
    FakeWinePrefix wine;
    // The prefix reached by another spelling: a link to it, and a link inside C:.
    const std::string alias = wine.Tmp() / "alias";
    ASSERT_EQ(::symlink(wine.Prefix().c_str(), alias.c_str()), 0);
    const DriveMap map = DriveMap::FromPrefix(wine.Prefix());
    EXPECT_EQ(map.ToWindowsPath(alias + "/drive_c/windows"), "C:\\windows");
    EXPECT_EQ(map.ToWindowsPath(alias + "/dosdevices/d:/new.txt"), "D:\\new.txt");

    // A map built through the alias still knows paths spelled the other way.
    const DriveMap viaAlias = DriveMap::FromPrefix(alias);
    EXPECT_EQ(viaAlias.DriveFolder('C'), alias + "/drive_c");
    EXPECT_EQ(viaAlias.ToWindowsPath(wine.DriveC() + "/users"), "C:\\users");
}
