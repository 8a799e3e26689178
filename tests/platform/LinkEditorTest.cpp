// The shortcut editor behind the property pages and --edit: each edit changes its
// field and nothing else, on real links and on links the writer made, and lnkinfo
// reads the result; what cannot be saved is refused and the file left alone.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>

#include "platform/drivemap/DriveMap.h"
#include "platform/shelllink/LinkEditor.h"
#include "platform/shelllink/ShellLink.h"
#include "tests/platform/FakeWinePrefix.h"
#include "tests/support/TestSupport.h"

using namespace platform;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::uint32_t Le32(const std::string& b, std::size_t at)
{
    return static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8) |
           (static_cast<std::uint8_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24);
}
std::uint32_t Le16(const std::string& b, std::size_t at)
{
    return static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8);
}

// A link's structures as stored, by name, read straight from the published layout
// (with the string counts the reader takes).
std::map<std::string, std::string> SplitLink(const std::string& b)
{
    std::map<std::string, std::string> s;
    const std::uint32_t flags = Le32(b, 0x14);
    s["flags"] = b.substr(0x14, 4);
    s["target info"] = b.substr(0x18, 0x20);
    s["icon index"] = b.substr(0x38, 4);
    s["show"] = b.substr(0x3C, 4);
    s["hotkey"] = b.substr(0x40, 2);
    s["header rest"] = b.substr(0, 0x14) + b.substr(0x42, 10);
    std::size_t pos = 0x4C;
    if (flags & SLDF_HAS_ID_LIST) {
        s["id list"] = b.substr(pos, 2 + Le16(b, pos));
        pos += s["id list"].size();
    }
    if (flags & SLDF_HAS_LINK_INFO) {
        s["link info"] = b.substr(pos, Le32(b, pos));
        pos += s["link info"].size();
    }
    const char* names[] = {"comment", "relative path", "start in", "arguments", "icon"};
    const std::uint32_t caps[] = {1024, 260, 260, 0xFFFF, 260};
    for (int i = 0; i < 5; ++i) {
        if (!(flags & (SLDF_HAS_NAME << i)))
            continue;
        const std::size_t count = std::min<std::uint32_t>(Le16(b, pos), caps[i]);
        s[names[i]] = b.substr(pos, 2 + count * ((flags & SLDF_UNICODE) ? 2 : 1));
        pos += s[names[i]].size();
    }
    s["extra"] = b.substr(pos);
    return s;
}

std::map<std::string, std::string> RunLnkinfo(const std::string& path)
{
    std::map<std::string, std::string> fields;
    FILE* p = ::popen(("lnkinfo '" + path + "' 2>&1").c_str(), "r");
    if (!p)
        return fields;
    char line[4096];
    while (std::fgets(line, sizeof line, p)) {
        std::string s = line;
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        const std::size_t colon = s.find(": ");
        if (colon == std::string::npos || s.empty() || s[0] != '\t')
            continue;
        std::string key = s.substr(1, colon - 1);
        while (!key.empty() && (key.back() == '\t' || key.back() == ' '))
            key.pop_back();
        fields.emplace(key, s.substr(colon + 2));
    }
    ::pclose(p);
    return fields;
}

// Links to edit: every link of the corpus, and one the writer made with every field.
std::vector<std::pair<std::string, std::string>> SampleLinks()
{
    std::vector<std::pair<std::string, std::string>> links;
    const std::string corpus = testsupport::CorpusDir();
    if (!corpus.empty())
        for (const char* name : {"microsoft_example", "sample10", "sample6", "padded_cli_arguments",
                                        "extra_data", "darwin_block", "unknown_block", "sample2"})
            links.emplace_back(name, ReadFile(corpus + "/lnk-peer/" + std::string(name) + ".lnk"));
    ShellLink made;
    made.SetPath("C:\\Program Files\\Tool\\tool.exe");
    made.SetDescription("made here");
    made.SetWorkingDirectory("C:\\Program Files\\Tool");
    made.SetArguments("--flag");
    made.SetIconLocation("%SystemRoot%\\system32\\shell32.dll", 4);
    made.SetRelativePath("..\\Tool\\tool.exe");
    made.SetHotkey(0x0241);
    const auto bytes = made.SaveToBytes();
    links.emplace_back("written", std::string(bytes.begin(), bytes.end()));
    return links;
}

struct Drives {
    TempDir dir;
    DriveMap map = DriveMap::FromText("C:=" + dir.Path() + "/c;Z:=/");
    WinEnvironment env = WinEnvironment::Defaults();
};

} // namespace

TEST(LinkEditor, EachFieldChangesAloneAndLnkinfoReadsIt)
{
    const bool haveLnkinfo = ::access("/usr/bin/lnkinfo", X_OK) == 0;
    Drives drives;
    testsupport::MakeDirs(drives.dir / "c/Edited");
    WriteFile(drives.dir / "c/Edited/tool.exe", "MZ");
    struct Case {
        const char* what;
        ShortcutEdits edits;
        std::set<std::string> changes; // the structures this edit may change
        const char* lnkinfoKey;        // the field lnkinfo shows the new text in
        std::string shown;
    };
    auto edit = [](auto member, auto value) {
        ShortcutEdits e;
        e.*member = value;
        return e;
    };
    const Case cases[] = {
        {"comment", edit(&ShortcutEdits::description, std::string("Edited \xE2\x80\x94 caf\xC3\xA9")), {"flags", "comment"},
         "Description", "Edited \xE2\x80\x94 caf\xC3\xA9"},
        {"arguments", edit(&ShortcutEdits::arguments, std::string("--edited \"a b\"")), {"flags", "arguments"},
         "Command line arguments", "--edited \"a b\""},
        {"start in", edit(&ShortcutEdits::workingDirectory, std::string("C:\\Edited")), {"flags", "start in"},
         "Working directory", "C:\\Edited"},
        {"icon", edit(&ShortcutEdits::icon, ShortcutIcon{"C:\\Edited\\tool.exe", 5}),
         {"flags", "icon", "icon index", "extra"}, "Icon location", "C:\\Edited\\tool.exe"},
        {"hotkey", edit(&ShortcutEdits::hotkey, std::uint16_t{0x0648}), {"hotkey"}, nullptr, ""},
        {"run", edit(&ShortcutEdits::showCommand, 3), {"show"}, nullptr, ""},
        {"target", edit(&ShortcutEdits::target, std::string("C:\\Edited\\tool.exe")),
         {"flags", "target info", "id list", "link info", "relative path", "extra"}, "Local path",
         "C:\\Edited\\tool.exe"},
    };
    for (const auto& [name, original] : SampleLinks()) {
        // Some real links are more than liblnk reads (padded_cli_arguments).
        WriteFile(drives.dir / "original.lnk", original);
        const bool lnkinfoReads = haveLnkinfo && !RunLnkinfo(drives.dir / "original.lnk").empty();
        for (const Case& c : cases) {
            SCOPED_TRACE(name + ": " + c.what);
            const std::string file = drives.dir / (name + ".lnk");
            WriteFile(file, original);
            LinkEditor editor(file, drives.map, drives.env);
            ASSERT_TRUE(editor.Load().Ok());
            const ShortcutValues valuesBefore = editor.Values();
            ASSERT_TRUE(editor.Apply(c.edits).Ok());
            ASSERT_TRUE(editor.Save().Ok());
            const std::string saved = ReadFile(file);
            auto before = SplitLink(original), after = SplitLink(saved);
            for (const auto& [part, bytes] : after)
                if (!c.changes.count(part)) {
                    EXPECT_EQ(bytes, before[part]) << part;
                }
            for (const auto& [part, bytes] : before)
                if (!c.changes.count(part)) {
                    EXPECT_TRUE(after.count(part)) << part;
                }

            // Read back: the new value, and every other value as it was.
            ShortcutValues expected = valuesBefore;
            const ShortcutEdits& e = c.edits;
            expected.description = e.description.value_or(expected.description);
            expected.arguments = e.arguments.value_or(expected.arguments);
            expected.workingDirectory = e.workingDirectory.value_or(expected.workingDirectory);
            expected.icon = e.icon.value_or(expected.icon);
            expected.hotkey = e.hotkey.value_or(expected.hotkey);
            expected.showCommand = e.showCommand.value_or(expected.showCommand);
            expected.target = e.target.value_or(expected.target);
            LinkEditor back(file, drives.map, drives.env);
            ASSERT_TRUE(back.Load().Ok());
            const ShortcutValues v = back.Values();
            EXPECT_EQ(v.description, expected.description);
            EXPECT_EQ(v.arguments, expected.arguments);
            EXPECT_EQ(v.workingDirectory, expected.workingDirectory);
            EXPECT_EQ(v.icon, expected.icon);
            EXPECT_EQ(v.hotkey, expected.hotkey);
            EXPECT_EQ(v.showCommand, expected.showCommand);
            EXPECT_EQ(v.target, expected.target);
            if (lnkinfoReads && c.lnkinfoKey) {
                const auto fields = RunLnkinfo(file);
                ASSERT_TRUE(fields.count(c.lnkinfoKey)) << "lnkinfo could not read the link";
                EXPECT_EQ(fields.at(c.lnkinfoKey), c.shown);
            }
        }
    }
}

TEST(LinkEditor, ANewTargetGetsItsOwnRelativePathOrNone)
{
    Drives drives;
    testsupport::MakeDirs(drives.dir / "c/Tools");
    testsupport::MakeDirs(drives.dir / "c/Links/Sub");
    WriteFile(drives.dir / "c/Tools/old.exe", "MZ");
    WriteFile(drives.dir / "c/Tools/new.exe", "MZ");
    const std::string file = drives.dir / "c/Links/Sub/tool.lnk";
    ShellLink old;
    old.SetPath("C:\\Tools\\old.exe");
    old.SetRelativePath("..\\..\\Tools\\old.exe");
    ASSERT_TRUE(old.Save(file));

    struct Case {
        std::string target;
        std::string relative; // the relative path the link then holds
        bool resolves;
    };
    const Case cases[] = {
        {"C:\\Tools\\new.exe", "..\\..\\Tools\\new.exe", true},
        {"C:\\Links\\Sub\\tool.exe", ".\\tool.exe", false},
        // A target that is not there must not pass by the old relative path.
        {"C:\\Tools\\missing.exe", "..\\..\\Tools\\missing.exe", false},
        {"D:\\elsewhere\\x.exe", "", false},
        {"\\\\server\\share\\x.exe", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        LinkEditor editor(file, drives.map, drives.env);
        ASSERT_TRUE(editor.Load().Ok());
        ShortcutEdits e;
        e.target = c.target;
        ASSERT_TRUE(editor.Apply(e).Ok());
        ASSERT_TRUE(editor.Save().Ok());
        ShellLink link;
        ASSERT_TRUE(link.Load(file));
        EXPECT_EQ(link.GetRelativePath(), c.relative);
        EXPECT_EQ(link.Resolve(file, drives.map, drives.env), c.resolves);
    }
    // A host path becomes the Windows path the drive map gives it.
    LinkEditor editor(file, drives.map, drives.env);
    ASSERT_TRUE(editor.Load().Ok());
    ShortcutEdits e;
    e.target = drives.dir / "c/Tools/new.exe";
    ASSERT_TRUE(editor.Apply(e).Ok());
    EXPECT_EQ(editor.Values().target, "C:\\Tools\\new.exe");
}

TEST(LinkEditor, BadInputIsRefusedAndChangesNothing)
{
    Drives drives;
    const std::string link = drives.dir / "a.lnk", url = drives.dir / "a.url";
    ShellLink made;
    made.SetPath("C:\\a.exe");
    ASSERT_TRUE(made.Save(link));
    WriteFile(url, "[InternetShortcut]\r\nURL=http://example.com/\r\n");
    struct Case {
        std::string file;
        ShortcutEdits edits;
    };
    auto target = [](std::string t) {
        ShortcutEdits e;
        e.target = t;
        e.description = "never written";
        return e;
    };
    ShortcutEdits badStartIn;
    badStartIn.workingDirectory = "C:\\a*b";
    ShortcutEdits urlArguments;
    urlArguments.arguments = "-x";
    const Case cases[] = {
        {link, target("")},
        {link, target("  \"\"  ")},
        {link, target("C:\\a?b.exe")},
        {link, target("C:\\a<b>.exe")},
        {link, target("C:\\a:b.exe")},
        {link, target("C:\\a\tb.exe")},
        {link, badStartIn},
        {url, target("not a url")},
        {url, target("http:")},
        {url, target("http://x/\r\nURL=http://evil/")},
        {url, target("")},
        {url, urlArguments},
    };
    for (const Case& c : cases) {
        const std::string before = ReadFile(c.file);
        LinkEditor editor(c.file, drives.map, drives.env);
        ASSERT_TRUE(editor.Load().Ok());
        const EditResult r = editor.Apply(c.edits);
        EXPECT_EQ(r.status, EditStatus::Invalid) << c.file << " " << c.edits.target.value_or("");
        EXPECT_FALSE(r.message.empty());
        EXPECT_FALSE(editor.Modified());
        EXPECT_TRUE(editor.Save().Ok());
        EXPECT_EQ(ReadFile(c.file), before);
    }
}

TEST(LinkEditor, ATargetIsAFullPathOrAProgramFoundOnTheWindowsSearchPath)
{
    const testsupport::FakeWinePrefix wine;
    testsupport::MakeDirs(wine.DriveC() + "/windows/Fonts");
    for (const char* file : {"system32/notepad.exe", "system32/both.exe", "both.exe", "regedit.exe", "relative.exe"})
        WriteFile(wine.DriveC() + "/windows/" + file, "MZ");
    const std::string file = wine.Tmp() / "tool.lnk";
    ShellLink old;
    old.SetPath("C:\\old.exe");
    ASSERT_TRUE(old.Save(file));
    const std::pair<const char*, const char*> cases[] = {
        // What the link then holds; nullptr: refused.
        {"notepad.exe", "C:\\windows\\system32\\notepad.exe"}, {"notepad", "C:\\windows\\system32\\notepad.exe"},
        {" \"regedit.exe\" ", "C:\\windows\\regedit.exe"},     {"both.exe", "C:\\windows\\system32\\both.exe"},
        {"C:/windows/regedit.exe", "C:\\windows\\regedit.exe"}, {"missing.exe", nullptr},
        {"Fonts", nullptr}, {"windows\\regedit.exe", nullptr}, {"etc/hosts", nullptr},
        {"C:windows\\relative.exe", nullptr}, {"\\windows\\regedit.exe", nullptr},
    };
    const DriveMap drives = DriveMap::FromPrefix(wine.Prefix());
    const WinEnvironment env = WinEnvironment::FromPrefix(wine.Prefix());
    for (const auto& [typed, target] : cases) {
        LinkEditor editor(file, drives, env);
        ASSERT_TRUE(editor.Load().Ok());
        ShortcutEdits e;
        e.target = typed;
        const EditResult r = editor.Apply(e);
        EXPECT_EQ(r.Ok(), target != nullptr) << typed << ": " << r.message;
        EXPECT_EQ(editor.Values().target, target ? target : "C:\\old.exe") << typed;
        EXPECT_TRUE(target || r.message.find("type a full path, such as C:\\Program Files") != std::string::npos)
            << r.message;
    }
}

TEST(LinkEditor, ANewShortcutWithoutATargetIsNeverWritten)
{
    Drives drives;
    for (const char* name : {"new.lnk", "new.url"}) {
        LinkEditor editor(drives.dir / name, drives.map, drives.env);
        editor.StartNew();
        EXPECT_EQ(editor.Save(SaveMode::CreateNew).status, EditStatus::Invalid) << name;
        EXPECT_EQ(::access((drives.dir / name).c_str(), F_OK), -1) << name;
    }
}

TEST(LinkEditor, RefusesToSaveWhatItCannotSaveWhole)
{
    Drives drives;
    const std::string file = drives.dir / "a.lnk";
    ShellLink made;
    made.SetPath("C:\\a.exe");
    made.SetDescription("first");
    made.SetArguments("--keep");
    ASSERT_TRUE(made.Save(file));
    ShortcutEdits e;
    e.description = "second";

    // Read-only: refused, file untouched.
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    const std::string original = ReadFile(file);
    LinkEditor readOnly(file, drives.map, drives.env);
    ASSERT_TRUE(readOnly.Load().Ok());
    ASSERT_TRUE(readOnly.Apply(e).Ok());
    EXPECT_EQ(readOnly.Save().status, EditStatus::ReadOnly);
    EXPECT_EQ(ReadFile(file), original);
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);

    // Two editors of one file: the second save is told the first happened.
    LinkEditor first(file, drives.map, drives.env), second(file, drives.map, drives.env);
    ASSERT_TRUE(first.Load().Ok());
    ASSERT_TRUE(second.Load().Ok());
    ASSERT_TRUE(first.Apply(e).Ok());
    ASSERT_TRUE(first.Save().Ok());
    ShortcutEdits other;
    other.arguments = "--other";
    ASSERT_TRUE(second.Apply(other).Ok());
    EXPECT_EQ(second.Save().status, EditStatus::Changed);
    ShellLink onDisk;
    ASSERT_TRUE(onDisk.Load(file));
    EXPECT_EQ(onDisk.GetDescription(), "second");
    EXPECT_TRUE(second.Save(SaveMode::OverwriteChanges).Ok());
    ASSERT_TRUE(onDisk.Load(file));
    EXPECT_EQ(onDisk.GetArguments(), "--other");

    // A damaged link opens with what could be read and is never saved over.
    const std::string whole = ReadFile(file);
    const std::string cut = whole.substr(0, whole.size() - 8); // into the last string
    WriteFile(file, cut);
    LinkEditor damaged(file, drives.map, drives.env);
    EXPECT_EQ(damaged.Load().status, EditStatus::Damaged);
    EXPECT_EQ(damaged.Values().target, "C:\\a.exe");
    EXPECT_EQ(damaged.Values().description, "first");
    ASSERT_TRUE(damaged.Apply(e).Ok());
    EXPECT_EQ(damaged.Save().status, EditStatus::Damaged);
    EXPECT_EQ(ReadFile(file), cut);

    // Through a symbolic link the file it leads to changes; the link stays.
    ASSERT_TRUE(made.Save(file));
    const std::string alias = drives.dir / "alias.lnk";
    ASSERT_EQ(::symlink(file.c_str(), alias.c_str()), 0);
    LinkEditor through(alias, drives.map, drives.env);
    ASSERT_TRUE(through.Load().Ok());
    ASSERT_TRUE(through.Apply(e).Ok());
    ASSERT_TRUE(through.Save().Ok());
    struct stat st {};
    ASSERT_EQ(::lstat(alias.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_TRUE(onDisk.Load(file));
    EXPECT_EQ(onDisk.GetDescription(), "second");

    // A new file is never written over an existing one.
    LinkEditor fresh(file, drives.map, drives.env);
    fresh.StartNew();
    ShortcutEdits t;
    t.target = "C:\\b.exe";
    ASSERT_TRUE(fresh.Apply(t).Ok());
    EXPECT_EQ(fresh.Save(SaveMode::CreateNew).status, EditStatus::Exists);
    ASSERT_TRUE(onDisk.Load(file));
    EXPECT_EQ(onDisk.GetPath(SLGP_RAWPATH), "C:\\a.exe");
}

TEST(LinkEditor, AnInternetShortcutGetsOnlyItsUrlAndHotkeyLinesRewritten)
{
    Drives drives;
    const std::string file = drives.dir / "site.url";
    WriteFile(file, "[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,11\r\n"
                    "[InternetShortcut]\r\nIDList=\r\nURL=http://old.example/\r\nIconIndex=1\r\n"
                    "[InternetShortcut.W]\r\nURL=http://old.example/\r\n");
    LinkEditor editor(file, drives.map, drives.env);
    ASSERT_TRUE(editor.Load().Ok());
    ShortcutEdits e;
    e.target = "https://new.example/a+b";
    e.hotkey = 0x0641;
    ASSERT_TRUE(editor.Apply(e).Ok());
    ASSERT_TRUE(editor.Save().Ok());
    EXPECT_EQ(ReadFile(file), "[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,11\r\n"
                              "[InternetShortcut]\r\nIDList=\r\nURL=https://new.example/a+b\r\nIconIndex=1\r\n"
                              "Hotkey=1601\r\n"
                              "[InternetShortcut.W]\r\nURL=https://new.example/a+-b\r\n");
}
