// quillmere --edit and --create, run as the program itself: the same edits as the
// editing code, the same refusals, and a link edited to a target that is not there
// fails the shortcut test.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "platform/drivemap/DriveMap.h"
#include "platform/shelllink/LinkEditor.h"
#include "platform/shelllink/ShellLink.h"
#include "shortcuts/ItemProp.h"
#include "tests/support/TestSupport.h"

using namespace platform;
using testsupport::ReadFile;
using testsupport::RunProgram;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// The program and the test see the same drives and variables.
const std::vector<std::string> kEnv = {"QUILLMERE_DRIVES=Z:=/", "WINEPREFIX=/nonexistent"};

std::string WindowsPathOf(const std::string& hostPath)
{
    std::string path = "Z:" + hostPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string WrittenLink()
{
    ShellLink link;
    link.SetPath("C:\\Tool\\tool.exe");
    link.SetDescription("written");
    link.SetArguments("--a");
    const auto bytes = link.SaveToBytes();
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(EditCommand, EachOptionMakesTheEditTheEditingCodeMakes)
{
    TempDir dir;
    WriteFile(dir / "tool.exe", "MZ");
    const DriveMap drives = DriveMap::FromText("Z:=/");
    const WinEnvironment env = WinEnvironment::Defaults();
    std::vector<std::pair<std::string, std::string>> links = {{"written", WrittenLink()}};
    if (const std::string corpus = testsupport::CorpusDir(); !corpus.empty())
        for (const char* name : {"microsoft_example", "sample10", "unknown_block"})
            links.emplace_back(name, ReadFile(corpus + "/lnk-peer/" + std::string(name) + ".lnk"));

    struct Case {
        std::string option;
        ShortcutEdits edits;
    };
    std::vector<Case> cases(9);
    cases[0] = {"--target=" + (dir / "tool.exe"), {}};
    cases[0].edits.target = WindowsPathOf(dir / "tool.exe");
    cases[1] = {"--args=-x \"y z\"", {}};
    cases[1].edits.arguments = "-x \"y z\"";
    cases[2] = {"--start-in=C:\\Work", {}};
    cases[2].edits.workingDirectory = "C:\\Work";
    cases[3] = {"--comment=", {}};
    cases[3].edits.description = "";
    cases[4] = {"--icon=C:\\a,b.dll,-12", {}};
    cases[4].edits.icon = ShortcutIcon{"C:\\a,b.dll", -12};
    cases[5] = {"--hotkey=Ctrl+Alt+H", {}};
    cases[5].edits.hotkey = 0x0648;
    cases[6] = {"--hotkey=", {}};
    cases[6].edits.hotkey = 0;
    cases[7] = {"--run=maximized", {}};
    cases[7].edits.showCommand = 3;
    cases[8] = {"--run=minimized", {}};
    cases[8].edits.showCommand = 7;
    for (const auto& [name, bytes] : links) {
        for (const Case& c : cases) {
            SCOPED_TRACE(name + " " + c.option);
            const std::string byProgram = dir / "program.lnk", byCode = dir / "code.lnk";
            WriteFile(byProgram, bytes);
            WriteFile(byCode, bytes);
            const auto r = RunProgram({"--edit", byProgram, c.option}, kEnv);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.out + r.err, "");
            LinkEditor editor(byCode, drives, env);
            ASSERT_TRUE(editor.Load().Ok());
            ASSERT_TRUE(editor.Apply(c.edits).Ok());
            ASSERT_TRUE(editor.Save().Ok());
            EXPECT_TRUE(ReadFile(byProgram) == ReadFile(byCode));
        }
    }
}

TEST(EditCommand, RefusalsAreOneLineEachAndTheRestIsSaved)
{
    TempDir dir;
    const std::string good = dir / "good.lnk", readOnly = dir / "ro.lnk", web = dir / "web.url";
    WriteFile(good, WrittenLink());
    WriteFile(readOnly, WrittenLink());
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    WriteFile(web, "[InternetShortcut]\r\nURL=http://old/\r\n");

    auto r = RunProgram({"--edit", good, readOnly, dir / "missing.lnk", web, "--comment=new"}, kEnv);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quillmere: " + readOnly + ": it is read-only\n"
                     "quillmere: " + (dir / "missing.lnk") + ": could not be read: it does not exist\n"
                     "quillmere: " + web + ": an Internet shortcut holds only a URL and a shortcut key\n");
    ShellLink link;
    ASSERT_TRUE(link.Load(good));
    EXPECT_EQ(link.GetDescription(), "new");

    r = RunProgram({"--edit", web, "--target=https://new/", "--hotkey=Ctrl+Alt+A"}, kEnv);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(web), "[InternetShortcut]\r\nURL=https://new/\r\nHotkey=1601\r\n");

    // --create never writes over an existing file.
    const std::string before = ReadFile(good);
    r = RunProgram({"--create", good, "--target=C:\\other.exe"}, kEnv);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quillmere: " + good + ": a file of that name exists already\n");
    EXPECT_EQ(ReadFile(good), before);
    r = RunProgram({"--create", dir / "new.url", "--target=https://example.com/"}, kEnv);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "new.url"), "[InternetShortcut]\r\nURL=https://example.com/\r\n");

    // A target that names no place (no C: here holds notepad.exe) is not written.
    for (const std::string& noPlace : {good, dir / "x.lnk"}) {
        r = RunProgram({noPlace == good ? "--edit" : "--create", noPlace, "--target=notepad.exe"}, kEnv);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "quillmere: " + noPlace + ": the target: there is no notepad.exe in C:\\windows\\system32 or "
                         "C:\\windows; type a full path, such as C:\\Program Files\\Tool\\tool.exe or /usr/bin/tool\n");
    }
    EXPECT_EQ(ReadFile(good), before);

    for (const std::vector<std::string>& usage :
         {std::vector<std::string>{"--edit", good}, {"--edit", "--comment=x"}, {"--edit", good, "--run=hidden"},
          {"--edit", good, "--hotkey=Ctrl+Nothing"}, {"--edit", good, "--colour=red"},
          {"--create", dir / "x.lnk"}, {"--create", dir / "x.lnk", dir / "y.lnk", "--target=C:\\a.exe"}}) {
        r = RunProgram(usage, kEnv);
        EXPECT_EQ(r.status, 2) << usage.back();
        EXPECT_NE(r.err.find("quillmere --help"), std::string::npos);
    }
    EXPECT_EQ(::access((dir / "x.lnk").c_str(), F_OK), -1);
}

// A name that is a symbolic link is saved through only to the user's own shortcut of
// the same kind: a link planted in a shared folder must not make a save write to any
// file the user may write.
TEST(EditCommand, ASaveThroughASymbolicLinkReachesOnlyTheUsersOwnShortcutOfItsKind)
{
    TempDir dir;
    const std::string url = "[InternetShortcut]\r\nURL=http://old/\r\n";
    WriteFile(dir / "notes.txt", url); // any text reads as an Internet shortcut
    WriteFile(dir / "link-bytes.dat", WrittenLink());
    WriteFile(dir / "mine.pif", WrittenLink());
    WriteFile(dir / "theirs.lnk", WrittenLink());
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown((dir / "theirs.lnk").c_str(), 65534, 65534), 0);
    }
    struct Case {
        const char* link;
        const char* target;
        const char* option;
        std::string refusal; // empty: saved
    } cases[] = {
        {"web.url", "notes.txt", "--target=https://new/", "which is not an Internet shortcut (.url)"},
        {"tool.lnk", "link-bytes.dat", "--comment=new", "which is not a shell link (.lnk or .pif)"},
        {"other.lnk", "theirs.lnk", "--comment=new", "a file of another user"},
        {"alias.lnk", "mine.pif", "--comment=new", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        if (!root && std::string(c.target) == "theirs.lnk") {
            std::cout << "[  SKIPPED ] a file of another user needs root to make\n";
            continue;
        }
        const std::string link = dir / c.link, target = std::filesystem::canonical(dir / c.target);
        ASSERT_EQ(::symlink(c.target, link.c_str()), 0);
        const std::string before = ReadFile(target);
        const auto r = RunProgram({"--edit", link, c.option}, kEnv);
        struct stat st {};
        ASSERT_EQ(::lstat(link.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        if (c.refusal.empty()) {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_NE(ReadFile(target), before);
            continue;
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "quillmere: " + link + ": it is a symbolic link to \"" + target + "\", " + c.refusal + "\n");
        EXPECT_EQ(ReadFile(target), before);
    }
}

TEST(EditCommand, ALinkEditedToAMissingTargetFailsTheTest)
{
    const testsupport::ScopedEnv drives("QUILLMERE_DRIVES", "Z:=/");
    TempDir dir;
    WriteFile(dir / "old.exe", "MZ");
    const std::string file = dir / "tool.lnk";
    ShellLink link;
    link.SetPath("C:\\gone\\old.exe"); // only its relative path finds the target
    link.SetRelativePath(".\\old.exe");
    ASSERT_TRUE(link.Save(file));
    ASSERT_TRUE(TestShellLink(file));

    for (const std::string& missing : {WindowsPathOf(dir / "new.exe"), std::string("C:\\gone\\new.exe")}) {
        const auto r = RunProgram({"--edit", file, "--target=" + missing}, kEnv);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_FALSE(TestShellLink(file)) << missing;
    }
    WriteFile(dir / "new.exe", "MZ");
    const auto r = RunProgram({"--edit", file, "--target=" + (dir / "new.exe")}, kEnv);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(TestShellLink(file));
}
