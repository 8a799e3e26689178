// The new-shortcut wizard's parts without a window: the shell's command line that
// starts it, the location it is given and the files it writes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/drivemap/DriveMap.h"
#include "platform/ini/IniFile.h"
#include "platform/shelllink/NewShortcut.h"
#include "platform/shelllink/ShellLink.h"
#include "tests/support/TestSupport.h"

using namespace platform;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(NewShortcut, TheShellsCommandLineIsRecognisedWithTheFolderExactly)
{
    struct Case {
        const char* line;
        const char* folder; // nullptr: not the wizard's command line
    };
    const Case cases[] = {
        {"RunDLL32 AppWiz.Cpl,NewLinkHere /home/u/Start Menu/", "/home/u/Start Menu/"},
        {"RunDLL32 AppWiz.Cpl,NewLinkHere  /two blanks/ ", " /two blanks/ "},
        {"  rundll32.exe   appwiz.cpl,newlinkhere /x/", "/x/"},
        {"C:\\Windows\\System32\\RUNDLL32.EXE AppWiz.Cpl,NewLinkHere C:\\Data\\", "C:\\Data\\"},
        {"RunDLL32 AppWiz.Cpl,NewLinkHere /caf\xE9/\xFF/", "/caf\xE9/\xFF/"},
        {"RunDLL32 AppWiz.Cpl,NewLinkHere ", nullptr},
        {"RunDLL32 AppWiz.Cpl,NewLinkHere", nullptr},
        {"RunDLL32 shell32.dll,Control_RunDLL", nullptr},
        {"notepad AppWiz.Cpl,NewLinkHere /x/", nullptr},
        {"RunDLL32AppWiz.Cpl,NewLinkHere /x/", nullptr},
    };
    for (const Case& c : cases) {
        std::string folder = "unchanged";
        EXPECT_EQ(ParseNewLinkHereCommand(c.line, folder), c.folder != nullptr) << c.line;
        EXPECT_EQ(folder, c.folder ? c.folder : "unchanged") << c.line;
    }
}

TEST(NewShortcut, WritesALinkForAPathAndAnInternetShortcutForAUrl)
{
    TempDir dir;
    testsupport::MakeDirs(dir / "c/Program Files/Tool");
    WriteFile(dir / "c/Program Files/Tool/tool.exe", "MZ");
    testsupport::MakeDirs(dir / "c/windows/system32");
    WriteFile(dir / "c/windows/system32/notepad.exe", "MZ");
    testsupport::MakeDirs(dir / "out");
    const DriveMap drives = DriveMap::FromText("C:=" + dir.Path() + "/c;Z:=/");
    const WinEnvironment env = WinEnvironment::Defaults();
    struct Case {
        std::string typed;
        std::string name;   // suggested
        std::string target; // written
        std::string startIn;
    };
    const Case cases[] = {
        {dir / "c/Program Files/Tool/tool.exe", "tool", "C:\\Program Files\\Tool\\tool.exe", "C:\\Program Files\\Tool"},
        {"\"C:\\program files\\Tool\\tool.exe\"", "tool", "C:\\program files\\Tool\\tool.exe", "C:\\program files\\Tool"},
        {"%ProgramFiles%\\Tool\\tool.exe", "tool", "%ProgramFiles%\\Tool\\tool.exe", "%ProgramFiles%\\Tool"},
        {dir / "c/Program Files", "Program Files", "C:\\Program Files", ""},
        {"notepad", "notepad", "C:\\windows\\system32\\notepad.exe", "C:\\windows\\system32"},
        {"https://www.example.com/page?q=1", "www.example.com", "https://www.example.com/page?q=1", ""},
        {"www.example.org", "www.example.org", "http://www.example.org", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        ShortcutLocation loc = ClassifyLocation(c.typed, drives, env);
        ASSERT_EQ(loc.problem, "");
        EXPECT_EQ(SuggestShortcutName(loc), c.name);
        const std::string file = FreeShortcutName(dir / "out", ShortcutFileName(c.name, loc.kind));
        ASSERT_TRUE(CreateShortcut(dir / ("out/" + file), loc, drives, env).Ok());
        if (loc.kind == ShortcutKind::InternetShortcut) {
            EXPECT_TRUE(file.ends_with(".url"));
            EXPECT_EQ(ReadFile(dir / ("out/" + file)), "[InternetShortcut]\r\nURL=" + c.target + "\r\n");
            continue;
        }
        EXPECT_TRUE(file.ends_with(".lnk"));
        ShellLink link;
        ASSERT_TRUE(link.Load(dir / ("out/" + file)));
        EXPECT_EQ(link.GetPath(SLGP_RAWPATH), c.target);
        EXPECT_EQ(link.GetWorkingDirectory(), c.startIn);
        EXPECT_TRUE(link.Resolve(dir / ("out/" + file), drives, env));
    }
    // The same name again is numbered, and a file is never replaced.
    EXPECT_EQ(FreeShortcutName(dir / "out", "tool.lnk"), "tool (4).lnk");
    const ShortcutLocation loc = ClassifyLocation("C:\\Program Files", drives, env);
    EXPECT_EQ(CreateShortcut(dir / "out/tool.lnk", loc, drives, env).status, EditStatus::Exists);

    for (const char* bad : {"", "C:\\Program Files\\missing.exe", "relative\\path.exe", "C:\\a|b", "http:",
                            "C:Program Files\\Tool\\tool.exe", "missing.exe"})
        EXPECT_NE(ClassifyLocation(bad, drives, env).problem, "") << bad;
    EXPECT_EQ(ShortcutFileName("a/b", ShortcutKind::ShellLink), "");
    EXPECT_EQ(ShortcutFileName("Tool.LNK", ShortcutKind::ShellLink), "Tool.LNK");
}

TEST(NewShortcut, TheWizardProcessGetsTheFolderAsBytes)
{
    TempDir dir;
    const std::string out = dir / "args";
    const std::string folder = "/odd \xFF folder/ with  blanks ";
    ASSERT_TRUE(SpawnDetached("/bin/sh", {"sh", "-c", "printf '%s|%s' \"$0\" \"$1\" > \"$2\"", "--new-shortcut",
                                          folder, out}));
    for (int i = 0; i < 500 && ReadFile(out).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ReadFile(out), "--new-shortcut|" + folder);
}
