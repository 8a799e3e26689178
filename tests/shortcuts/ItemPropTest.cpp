#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include <gtest/gtest.h>

#include "platform/keynames/KeyNames.h"
#include "shortcuts/ItemProp.h"
#include "tests/shortcuts/LinkBytes.h"
#include "tests/support/TestSupport.h"

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string Link(const linkbytes::LinkFields& fields) { return linkbytes::Build(fields); }

const char kUrlFile[] = "[InternetShortcut]\r\nURL=http://example.com/\r\n";

} // namespace

TEST(ReadShortcut, TheExtensionOfTheLastComponentChoosesTheReaderIgnoringCase)
{
    TempDir dir;
    TwekShortcutInfo info;
    WriteFile(dir / "SHORTCUT.URL", kUrlFile);
    EXPECT_TRUE(ReadShortcut(dir / "SHORTCUT.URL", info));
    EXPECT_EQ(info.Target, "http://example.com/");

    // Any other extension, or none, goes to the shell-link reader: INI text fails
    // there, a link succeeds whatever its name.
    for (const char* name : {"x.lnk", "x.txt", "x.url.bak", "x"}) {
        WriteFile(dir / name, kUrlFile);
        EXPECT_FALSE(ReadShortcut(dir / name, info)) << name;
    }
    linkbytes::LinkFields fields;
    fields.localPath = "C:\\Windows\\notepad.exe";
    for (const char* name : {"x.pif", "X.LNK", "noext"}) {
        WriteFile(dir / name, Link(fields));
        ASSERT_TRUE(ReadShortcut(dir / name, info)) << name;
        EXPECT_EQ(info.Target, "notepad.exe") << name;
    }
    // A folder named like an Internet shortcut does not make its files one.
    testsupport::MakeDirs(dir / "in.url");
    WriteFile(dir / "in.url/link", Link(fields));
    EXPECT_TRUE(ReadShortcut(dir / "in.url/link", info));
    EXPECT_EQ(info.Target, "notepad.exe");
}

TEST(ReadShortcut, WindowStateTable)
{
    const std::pair<int, const char*> cases[] = {
        {0, "Hidden"},    {1, "Normal"},    {2, "Minimized"}, {3, "Maximized"}, {4, "Normal"},
        {5, "Normal"},    {6, "Minimized"}, {7, "Minimized"}, {8, "Normal"},    {9, "Normal"},
        {10, "abNormal"}, {-1, "abNormal"}, {INT_MIN, "abNormal"}, {INT_MAX, "abNormal"},
    };
    for (const auto& [show, text] : cases)
        EXPECT_EQ(WindowStateText(show), text) << show;
}

TEST(ReadShortcut, HotkeyConversionAndText)
{
    // Stored form: HOTKEYF_SHIFT 1, CONTROL 2, ALT 4, EXT 8 in the high byte.
    EXPECT_EQ(HotkeyToKeyCode(0x0641), 0xC041);
    EXPECT_EQ(HotkeyToKeyCode(0x0341), 0x6041);
    EXPECT_EQ(HotkeyToKeyCode(0x0841), 0x0041); // the extended flag shifts out
    EXPECT_EQ(HotkeyToKeyCode(0x0F70), 0xE070);
    EXPECT_EQ(HotkeyToKeyCode(0x0000), 0x0000);

    EXPECT_EQ(HotkeyText(HotkeyToKeyCode(0x0341)), "Shift+Ctrl+A");
    EXPECT_EQ(HotkeyText(HotkeyToKeyCode(0x0841)), "A");
    EXPECT_EQ(HotkeyText(0xC041), "Ctrl+Alt+A");
    EXPECT_EQ(HotkeyText(0xE05A), "Shift+Ctrl+Alt+Z");
    EXPECT_EQ(HotkeyText(0x2070), "Shift+F1");
    EXPECT_EQ(HotkeyText(0x0087), "F24");
    EXPECT_EQ(HotkeyText(0x4030), "Ctrl+0");
    EXPECT_EQ(HotkeyText(0x4069), "Ctrl+9"); // keypad digits show as digits
    EXPECT_EQ(HotkeyText(0x8008), "Alt+BkSp");
    EXPECT_EQ(HotkeyText(0x002E), "Del");
    EXPECT_EQ(HotkeyText(0x4020), "Ctrl+Space");

    // No key name, no text, whatever the modifiers.
    EXPECT_EQ(HotkeyText(0), "");
    EXPECT_EQ(HotkeyText(0xE000), "");
    // Keys outside the fixed list take the layout's name.
    EXPECT_EQ(HotkeyText(0x40BA), "Ctrl+" + platform::KeyNameText(0xBA));
    EXPECT_EQ(HotkeyText(0x40BA), "Ctrl+;");
}

TEST(ReadShortcut, InternetShortcutFields)
{
    TempDir dir;
    TwekShortcutInfo info;
    const auto read = [&](const std::string& body) {
        WriteFile(dir / "t.url", "[InternetShortcut]\r\n" + body);
        EXPECT_TRUE(ReadShortcut(dir / "t.url", info)) << body;
        return info;
    };

    auto r = read("URL=http://example.com/a\r\nIconFile=C:\\icons\\web.ico\r\nIconIndex=4\r\n"
                  "WorkingDirectory=C:\\Work\r\nHotkey=1601\r\n");
    EXPECT_EQ(r.Target, "http://example.com/a");
    EXPECT_EQ(r.TargetPath, "");
    EXPECT_EQ(r.Arguments, "");
    EXPECT_EQ(r.Description, "");
    EXPECT_EQ(r.IconLocation, "C:\\icons\\web.ico");
    EXPECT_EQ(r.IconIndex, 4);
    EXPECT_EQ(r.StartIn, "C:\\Work");
    EXPECT_EQ(r.Hotkey, 0xC041);
    EXPECT_EQ(r.HotkeyText, "Ctrl+Alt+A");
    EXPECT_EQ(r.ShowCommand, 1);
    EXPECT_EQ(r.WindowState, "Normal");

    EXPECT_EQ(read("ShowCommand=7\r\n").WindowState, "Minimized");
    EXPECT_EQ(read("ShowCommand=3\r\n").WindowState, "Maximized");
    for (const char* bad : {"ShowCommand=-1\r\n", "ShowCommand=10\r\n"}) {
        r = read(bad);
        EXPECT_EQ(r.WindowState, "abNormal") << bad;
    }
    for (const char* unreadable : {"ShowCommand=abc\r\n", "ShowCommand=7x\r\n", "ShowCommand=\r\n",
                                   "ShowCommand=99999999999\r\n"}) {
        r = read(unreadable);
        EXPECT_EQ(r.ShowCommand, 1) << unreadable;
        EXPECT_EQ(r.WindowState, "Normal") << unreadable;
    }
    r = read("Hotkey=abc\r\nIconIndex=x\r\n");
    EXPECT_EQ(r.Hotkey, 0);
    EXPECT_EQ(r.HotkeyText, "");
    EXPECT_EQ(r.IconIndex, 0);
    r = read("IconIndex=-3\r\n");
    EXPECT_EQ(r.IconIndex, -3);
    // Only the low 16 bits of the number count: 0x10641 is 0x0641.
    EXPECT_EQ(read("Hotkey=67137\r\n").HotkeyText, "Ctrl+Alt+A");

    // A missing file, or one without the section, reads as all defaults and succeeds.
    for (const std::string& path : {dir / "missing.url", dir / "nosection.url"}) {
        if (path.ends_with("nosection.url"))
            WriteFile(path, "[Other]\r\nURL=http://x/\r\n");
        EXPECT_TRUE(ReadShortcut(path, info)) << path;
        EXPECT_EQ(info.Target, "");
        EXPECT_EQ(info.WindowState, "Normal");
        EXPECT_EQ(info.HotkeyText, "");
    }
}

TEST(ReadShortcut, ShellLinkFieldsAndTheTargetSplit)
{
    TempDir dir;
    TwekShortcutInfo info;
    linkbytes::LinkFields fields;
    fields.localPath = "C:\\Program Files\\Tool\\tool.exe";
    fields.description = "A tool";
    fields.workingDir = "C:\\Program Files\\Tool";
    fields.arguments = "--fast \"quoted arg\"";
    fields.iconLocation = "C:\\Windows\\system32\\shell32.dll";
    fields.iconIndex = 12;
    fields.showCommand = 7;
    fields.hotkey = 0x0341;
    WriteFile(dir / "tool.lnk", Link(fields));
    ASSERT_TRUE(ReadShortcut(dir / "tool.lnk", info));
    EXPECT_EQ(info.Target, "tool.exe");
    EXPECT_EQ(info.TargetPath, "C:\\Program Files\\Tool\\");
    EXPECT_EQ(info.Description, "A tool");
    EXPECT_EQ(info.StartIn, "C:\\Program Files\\Tool");
    EXPECT_EQ(info.Arguments, "--fast \"quoted arg\"");
    EXPECT_EQ(info.IconLocation, "C:\\Windows\\system32\\shell32.dll");
    EXPECT_EQ(info.IconIndex, 12);
    EXPECT_EQ(info.ShowCommand, 7);
    EXPECT_EQ(info.WindowState, "Minimized");
    EXPECT_EQ(info.Hotkey, 0x6041);
    EXPECT_EQ(info.HotkeyText, "Shift+Ctrl+A");

    // The environment block's target is the raw path, its variables unexpanded.
    linkbytes::LinkFields env;
    env.localPath = "C:\\Windows\\notepad.exe";
    env.envTarget = "%SystemRoot%\\notepad.exe";
    env.hotkey = 0x0841;
    WriteFile(dir / "env.lnk", Link(env));
    ASSERT_TRUE(ReadShortcut(dir / "env.lnk", info));
    EXPECT_EQ(info.Target, "notepad.exe");
    EXPECT_EQ(info.TargetPath, "%SystemRoot%\\");
    EXPECT_EQ(info.HotkeyText, "A");
    EXPECT_EQ(info.IconIndex, 0);

    // The split is at the last backslash: a path without one is all Target.
    linkbytes::LinkFields bare;
    bare.localPath = "C:";
    WriteFile(dir / "bare.lnk", Link(bare));
    ASSERT_TRUE(ReadShortcut(dir / "bare.lnk", info));
    EXPECT_EQ(info.Target, "C:");
    EXPECT_EQ(info.TargetPath, "");
    linkbytes::LinkFields root;
    root.localPath = "C:\\";
    WriteFile(dir / "root.lnk", Link(root));
    ASSERT_TRUE(ReadShortcut(dir / "root.lnk", info));
    EXPECT_EQ(info.Target, "");
    EXPECT_EQ(info.TargetPath, "C:\\");

    // A link to a shell object has no file-system target and still reads.
    linkbytes::LinkFields object;
    object.shellObject = true;
    object.description = "Control Panel";
    WriteFile(dir / "cp.lnk", Link(object));
    ASSERT_TRUE(ReadShortcut(dir / "cp.lnk", info));
    EXPECT_EQ(info.Target, "");
    EXPECT_EQ(info.TargetPath, "");
    EXPECT_EQ(info.Description, "Control Panel");
}

TEST(ReadShortcut, StringsFromInsideALinkAreCutButTheLinksOwnPathIsNot)
{
    TempDir dir;
    // A long host path: nested folders well past 260 bytes.
    std::string folder = dir.Path();
    for (int i = 0; i < 6; ++i)
        folder += "/" + std::string(60, static_cast<char>('a' + i));
    testsupport::MakeDirs(folder);
    ASSERT_GT(folder.size(), 360u);

    linkbytes::LinkFields fields;
    fields.localPath = "C:\\x.exe";
    fields.description = std::string(300, 'd');
    fields.arguments = std::string(250, 'a') + "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9";
    WriteFile(folder + "/long.lnk", Link(fields));
    TwekShortcutInfo info;
    ASSERT_TRUE(ReadShortcut(folder + "/long.lnk", info));
    EXPECT_EQ(info.Target, "x.exe");
    EXPECT_EQ(info.Description, std::string(259, 'd'));
    // 259 UTF-16 units: 250 letters and 9 two-byte characters.
    EXPECT_EQ(info.Arguments, std::string(250, 'a') + "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
}

TEST(ReadShortcut, ADamagedOrUnreadableLinkFailsWithTheDefaults)
{
    TempDir dir;
    linkbytes::LinkFields fields;
    fields.localPath = "C:\\Program Files\\Tool\\tool.exe";
    fields.description = std::string(200, 'x');
    fields.iconIndex = 5;
    fields.showCommand = 3;
    fields.hotkey = 0x0641;
    const std::string good = Link(fields);
    WriteFile(dir / "good.lnk", good);

    std::string wrongMagic = good;
    wrongMagic[0] = 0x4D;
    std::string badClsid = good;
    badClsid[4] ^= 0x55;
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) & 0xFF);
    std::string hugeStringCount = good;
    // The description's character count is past the end of the file.
    const auto count = good.find(std::string(1, '\xC8') + '\0' + 'x');
    ASSERT_NE(count, std::string::npos);
    hugeStringCount[count] = '\xFF';
    hugeStringCount[count + 1] = '\xFF';

    WriteFile(dir / "empty.lnk", "");
    WriteFile(dir / "truncated-header.lnk", good.substr(0, 40));
    WriteFile(dir / "truncated-strings.lnk", good.substr(0, good.size() - 150));
    WriteFile(dir / "magic.lnk", wrongMagic);
    WriteFile(dir / "clsid.lnk", badClsid);
    WriteFile(dir / "garbage.lnk", garbage);
    WriteFile(dir / "count.lnk", hugeStringCount);
    ASSERT_EQ(::mkfifo((dir / "fifo.lnk").c_str(), 0600), 0);
    testsupport::MakeDirs(dir / "folder.lnk");
    ASSERT_EQ(::symlink("nowhere.lnk", (dir / "dangling.lnk").c_str()), 0);
    // Oversized: a sparse file far larger than any link, a good link at its start.
    const int fd = ::open((dir / "huge.lnk").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, good.data(), good.size(), 0), static_cast<ssize_t>(good.size()));
    ASSERT_EQ(::ftruncate(fd, off_t{1} << 30), 0);
    ::close(fd);

    std::vector<std::string> names = {"empty.lnk",   "truncated-header.lnk", "truncated-strings.lnk",
                                      "magic.lnk",   "clsid.lnk",            "garbage.lnk",
                                      "count.lnk",   "fifo.lnk",             "folder.lnk",
                                      "dangling.lnk", "huge.lnk",            "missing.lnk"};
    if (::geteuid() != 0) { // root reads whatever the mode says
        WriteFile(dir / "unreadable.lnk", good);
        ::chmod((dir / "unreadable.lnk").c_str(), 0);
        names.push_back("unreadable.lnk");
    }
    for (const auto& name : names) {
        // Read a good link into the record first: a failed read must not leave any of it.
        TwekShortcutInfo info;
        ASSERT_TRUE(ReadShortcut(dir / "good.lnk", info));
        ASSERT_EQ(info.HotkeyText, "Ctrl+Alt+A");
        EXPECT_FALSE(ReadShortcut(dir / name, info)) << name;
        EXPECT_EQ(info.Target, "") << name;
        EXPECT_EQ(info.TargetPath, "") << name;
        EXPECT_EQ(info.Description, "") << name;
        EXPECT_EQ(info.ShowCommand, 1) << name;
        EXPECT_EQ(info.WindowState, "Normal") << name;
        EXPECT_EQ(info.Hotkey, 0) << name;
        EXPECT_EQ(info.HotkeyText, "") << name;
        EXPECT_EQ(info.IconIndex, 0) << name;
        EXPECT_FALSE(TestShellLink(dir / name)) << name;
    }
}

TEST(TestShellLink, ResolvesThroughTheDriveMapAndNeverRewritesTheLink)
{
    TempDir dir;
    const testsupport::ScopedEnv drives("QUILLMERE_DRIVES", "Z:=/");
    WriteFile(dir / "target.txt", "x");
    // Z: is the host's root unless a drive map says otherwise.
    std::string windowsPath = "Z:" + dir.Path() + "/target.txt";
    for (char& c : windowsPath)
        if (c == '/')
            c = '\\';
    linkbytes::LinkFields fields;
    fields.localPath = windowsPath;
    const std::string bytes = Link(fields);
    WriteFile(dir / "ok.lnk", bytes);
    EXPECT_TRUE(TestShellLink(dir / "ok.lnk"));

    ASSERT_EQ(::unlink((dir / "target.txt").c_str()), 0);
    EXPECT_FALSE(TestShellLink(dir / "ok.lnk"));
    EXPECT_EQ(testsupport::ReadFile(dir / "ok.lnk"), bytes);

    // An Internet shortcut is no shell link.
    WriteFile(dir / "web.url", kUrlFile);
    EXPECT_FALSE(TestShellLink(dir / "web.url"));
}
