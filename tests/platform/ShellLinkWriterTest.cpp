// The writer: links it makes read back field for field (by our reader and by
// liblnk's lnkinfo), and an edit changes only what it edits.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/drivemap/DriveMap.h"
#include "platform/shelllink/ShellLink.h"
#include "tests/support/TestSupport.h"

using namespace platform;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kWhole = 1 << 20;

WinEnvironment TestEnvironment()
{
    WinEnvironment env = WinEnvironment::Defaults();
    env.Set("SystemRoot", "C:\\Windows");
    return env;
}

std::uint32_t Le32(const Bytes& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

ShellLink FullLink(std::string_view path)
{
    ShellLink link;
    LinkTargetInfo target;
    target.attributes = 0x21;
    target.size = 4096;
    target.creationTime = 132000000000000000ull;
    target.accessTime = 133000000000000000ull;
    target.writeTime = 132500000000000000ull;
    link.SetTargetInfo(target);
    link.SetPath(path, TestEnvironment());
    link.SetDescription("Starts the tool \xE2\x80\x94 caf\xC3\xA9");
    link.SetWorkingDirectory("C:\\Program Files\\Tool");
    link.SetArguments("--open \"C:\\My Documents\\a b.txt\"");
    link.SetIconLocation("C:\\Program Files\\Tool\\tool.exe", 3);
    link.SetRelativePath("..\\Program Files\\Tool\\tool.exe");
    link.SetShowCmd(7);
    link.SetHotkey(0x0641);
    return link;
}

std::vector<std::string> CorpusLinks(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.ends_with(".lnk"))
                names.push_back(dir + "/" + name);
        }
        ::closedir(d);
    }
    return names;
}

Bytes FileBytes(const std::string& path)
{
    const std::string s = testsupport::ReadFile(path);
    return {s.begin(), s.end()};
}

// Where StringData starts: after the header, the ID list and LinkInfo.
std::size_t StringDataOffset(const Bytes& b)
{
    const std::uint32_t flags = Le32(b, 0x14);
    std::size_t pos = 0x4C;
    if (flags & SLDF_HAS_ID_LIST)
        pos += 2 + (b[pos] | (b[pos + 1] << 8));
    if (flags & SLDF_HAS_LINK_INFO)
        pos += Le32(b, pos);
    return pos;
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
        fields.emplace(key, s.substr(colon + 2)); // the first occurrence: the link's own fields
    }
    ::pclose(p);
    return fields;
}

} // namespace

TEST(ShellLinkWriter, ANewLinkReadsBackFieldForField)
{
    const ShellLink made = FullLink("C:\\Program Files\\Tool\\tool.exe");
    ShellLink link;
    ASSERT_TRUE(link.LoadFromBytes(made.SaveToBytes()));
    EXPECT_EQ(link.LinkFlags(), SLDF_HAS_ID_LIST | SLDF_HAS_LINK_INFO | SLDF_HAS_NAME | SLDF_HAS_RELPATH |
                                    SLDF_HAS_WORKINGDIR | SLDF_HAS_ARGS | SLDF_HAS_ICONLOCATION | SLDF_UNICODE);
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\Program Files\\Tool\\tool.exe");
    EXPECT_EQ(link.IdListPath(), "C:\\Program Files\\Tool\\tool.exe");
    EXPECT_EQ(link.LocalBasePath(), "C:\\Program Files\\Tool\\tool.exe");
    EXPECT_EQ(link.GetDescription(), "Starts the tool \xE2\x80\x94 caf\xC3\xA9");
    EXPECT_EQ(link.GetWorkingDirectory(), "C:\\Program Files\\Tool");
    EXPECT_EQ(link.GetArguments(), "--open \"C:\\My Documents\\a b.txt\"");
    int index = 0;
    EXPECT_EQ(link.GetIconLocation(index), "C:\\Program Files\\Tool\\tool.exe");
    EXPECT_EQ(index, 3);
    EXPECT_EQ(link.GetRelativePath(), "..\\Program Files\\Tool\\tool.exe");
    EXPECT_EQ(link.GetShowCmd(), 7);
    EXPECT_EQ(link.GetHotkey(), 0x0641);
    EXPECT_FALSE(link.TargetIsShellObject());
    const LinkTargetInfo info = link.TargetInfo();
    EXPECT_EQ(info.attributes, 0x21u);
    EXPECT_EQ(info.size, 4096u);
    EXPECT_EQ(info.creationTime, 132000000000000000ull);
    EXPECT_EQ(info.accessTime, 133000000000000000ull);
    EXPECT_EQ(info.writeTime, 132500000000000000ull);

    // An empty string takes the field away again.
    ShellLink edited = link;
    edited.SetArguments("");
    edited.SetDescription("");
    EXPECT_FALSE(edited.LinkFlags() & (SLDF_HAS_ARGS | SLDF_HAS_NAME));
    EXPECT_EQ(edited.GetArguments(), "");
    EXPECT_EQ(edited.GetWorkingDirectory(), "C:\\Program Files\\Tool");

    // Folders, drive roots and shares.
    ShellLink folder;
    LinkTargetInfo dir;
    dir.attributes = 0x10;
    folder.SetTargetInfo(dir);
    folder.SetPath("d:\\Data\\", TestEnvironment());
    EXPECT_EQ(folder.GetPath(SLGP_RAWPATH), "D:\\Data");
    folder.SetPath("E:\\", TestEnvironment());
    EXPECT_EQ(folder.GetPath(SLGP_RAWPATH), "E:\\");
    EXPECT_EQ(folder.IdListPath(), "E:\\");
    folder.SetPath("\\\\server\\share\\dir\\file.txt", TestEnvironment());
    EXPECT_EQ(folder.GetPath(SLGP_RAWPATH), "\\\\server\\share\\dir\\file.txt");
    EXPECT_EQ(folder.IdListPath(), "\\\\server\\share\\dir\\file.txt");
    EXPECT_EQ(folder.NetworkShareName(), "\\\\server\\share");
    EXPECT_EQ(folder.CommonPathSuffix(), "dir\\file.txt");
    folder.SetPath("", TestEnvironment());
    EXPECT_EQ(folder.GetPath(SLGP_RAWPATH), "");
    EXPECT_FALSE(folder.LinkFlags() & (SLDF_HAS_ID_LIST | SLDF_HAS_LINK_INFO));
}

TEST(ShellLinkWriter, NamesBeyondAsciiAndHostBytesSurvive)
{
    // Unicode names go into LinkInfo's Unicode forms and the items' Unicode names.
    const std::string path = "C:\\Donn\xC3\xA9" "es\\\xE6\x97\xA5\xE6\x9C\xAC\\\xD0\x96.txt";
    ShellLink made;
    made.SetPath(path, TestEnvironment());
    ShellLink link;
    ASSERT_TRUE(link.LoadFromBytes(made.SaveToBytes()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), path);
    EXPECT_EQ(link.IdListPath(), path);
    EXPECT_EQ(link.LocalBasePath(), path);

    // A host name that is not UTF-8 travels as lone surrogates and comes back as
    // the same bytes.
    const std::string bytes = "C:\\dir\\\xFF\xFE name.txt";
    made.SetPath(bytes, TestEnvironment());
    made.SetWorkingDirectory("C:\\\xE9t\xE9");
    ASSERT_TRUE(link.LoadFromBytes(made.SaveToBytes()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), bytes);
    EXPECT_EQ(link.GetWorkingDirectory(), "C:\\\xE9t\xE9");

    // Strings longer than the reader takes are cut to what it takes.
    made.SetWorkingDirectory(std::string(400, 'w'));
    made.SetArguments(std::string(3000, 'a'));
    ASSERT_TRUE(link.LoadFromBytes(made.SaveToBytes()));
    EXPECT_EQ(link.GetWorkingDirectory(kWhole), std::string(260, 'w'));
    EXPECT_EQ(link.GetArguments(kWhole), std::string(3000, 'a'));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), bytes);
}

TEST(ShellLinkWriter, VariablesStayInTheEnvironmentBlocks)
{
    ShellLink link;
    link.SetPath("%SystemRoot%\\notepad.exe", TestEnvironment());
    link.SetIconLocation("%SystemRoot%\\system32\\shell32.dll", 12);
    ShellLink back;
    ASSERT_TRUE(back.LoadFromBytes(link.SaveToBytes()));
    EXPECT_TRUE(back.LinkFlags() & SLDF_HAS_EXP_SZ);
    EXPECT_TRUE(back.LinkFlags() & SLDF_HAS_EXP_ICON_SZ);
    EXPECT_EQ(back.GetPath(SLGP_RAWPATH), "%SystemRoot%\\notepad.exe");
    EXPECT_EQ(back.EnvironmentTarget(), "%SystemRoot%\\notepad.exe");
    EXPECT_EQ(back.IdListPath(), "C:\\Windows\\notepad.exe");
    EXPECT_EQ(back.LocalBasePath(), "C:\\Windows\\notepad.exe");
    int index = 0;
    EXPECT_EQ(back.GetIconLocation(index), "%SystemRoot%\\system32\\shell32.dll");
    EXPECT_EQ(back.StringData(SLDF_HAS_ICONLOCATION), "%SystemRoot%\\system32\\shell32.dll");
    EXPECT_EQ(index, 12);

    // Replacing them with plain paths takes the blocks and flags away.
    link.SetPath("C:\\plain.exe", TestEnvironment());
    link.SetIconLocation("C:\\plain.ico", 0);
    ASSERT_TRUE(back.LoadFromBytes(link.SaveToBytes()));
    EXPECT_FALSE(back.LinkFlags() & (SLDF_HAS_EXP_SZ | SLDF_HAS_EXP_ICON_SZ));
    EXPECT_FALSE(back.EnvironmentTarget());
    EXPECT_FALSE(back.IconEnvironmentTarget());
    EXPECT_EQ(back.GetPath(SLGP_RAWPATH), "C:\\plain.exe");

    // A variable the environment does not know: only the block holds the target.
    link.SetPath("%NOSUCHVAR%\\x.exe", TestEnvironment());
    ASSERT_TRUE(back.LoadFromBytes(link.SaveToBytes()));
    EXPECT_EQ(back.GetPath(SLGP_RAWPATH), "%NOSUCHVAR%\\x.exe");
    EXPECT_FALSE(back.LinkFlags() & (SLDF_HAS_ID_LIST | SLDF_HAS_LINK_INFO));
}

TEST(ShellLinkWriter, LnkinfoReadsWhatWeWrite)
{
    if (::access("/usr/bin/lnkinfo", X_OK) != 0)
        GTEST_SKIP() << "lnkinfo (Debian package liblnk-utils) is not installed";
    testsupport::TempDir dir;
    const char* targets[] = {"C:\\Program Files\\Tool\\tool.exe", "D:\\Daten\\Gr\xC3\xBC\xC3\x9F" "e.txt",
                             "C:\\x.exe"};
    int n = 0;
    for (const char* target : targets) {
        SCOPED_TRACE(target);
        const std::string file = dir / ("link" + std::to_string(n++) + ".lnk");
        ASSERT_TRUE(FullLink(target).Save(file));
        const auto fields = RunLnkinfo(file);
        ASSERT_TRUE(fields.count("Local path")) << "lnkinfo could not read the link";
        EXPECT_EQ(fields.at("Local path"), target);
        EXPECT_EQ(fields.at("Command line arguments"), "--open \"C:\\My Documents\\a b.txt\"");
        EXPECT_EQ(fields.at("Working directory"), "C:\\Program Files\\Tool");
        EXPECT_EQ(fields.at("Description"), "Starts the tool \xE2\x80\x94 caf\xC3\xA9");
        EXPECT_EQ(fields.at("Icon location"), "C:\\Program Files\\Tool\\tool.exe");
        EXPECT_EQ(fields.at("Icon index"), "3");
        EXPECT_EQ(fields.at("Relative path"), "..\\Program Files\\Tool\\tool.exe");
    }
}

TEST(ShellLinkWriter, EditingOneFieldKeepsEveryOtherByte)
{
    QM_REQUIRE_CORPUS(corpus);
    for (const std::string& file : CorpusLinks(corpus + "/lnk-peer")) {
        SCOPED_TRACE(file);
        const Bytes original = FileBytes(file);
        ShellLink link;
        ASSERT_TRUE(link.Load(file));
        EXPECT_EQ(link.SaveToBytes(), original);

        link.SetDescription("edited");
        const Bytes edited = link.SaveToBytes();
        const std::size_t strings = StringDataOffset(original);
        const bool unicode = Le32(original, 0x14) & SLDF_UNICODE;
        const std::size_t unit = unicode ? 2 : 1;
        std::size_t oldField = 0;
        if (Le32(original, 0x14) & SLDF_HAS_NAME)
            oldField = 2 + unit * (original[strings] | (original[strings + 1] << 8));
        const std::size_t newField = 2 + unit * 6;
        ASSERT_EQ(edited.size(), original.size() - oldField + newField);
        // The header differs in the flags alone, and there only in HasName.
        for (std::size_t i = 0; i < 0x4C; ++i) {
            if (i < 0x14 || i >= 0x18) {
                ASSERT_EQ(edited[i], original[i]) << "header byte " << i;
            }
        }
        EXPECT_EQ(Le32(edited, 0x14), Le32(original, 0x14) | SLDF_HAS_NAME);
        // ID list and LinkInfo, then everything after the description: unchanged.
        EXPECT_TRUE(std::equal(original.begin() + 0x4C, original.begin() + strings, edited.begin() + 0x4C));
        EXPECT_TRUE(std::equal(original.begin() + strings + oldField, original.end(), edited.begin() + strings + newField));
        ShellLink back;
        ASSERT_TRUE(back.LoadFromBytes(edited));
        EXPECT_EQ(back.GetDescription(), "edited");
        ShellLink before;
        ASSERT_TRUE(before.LoadFromBytes(original));
        EXPECT_EQ(back.GetPath(SLGP_RAWPATH), before.GetPath(SLGP_RAWPATH));
        for (const std::uint32_t flag : {SLDF_HAS_RELPATH, SLDF_HAS_WORKINGDIR, SLDF_HAS_ARGS, SLDF_HAS_ICONLOCATION})
            EXPECT_EQ(back.StringData(flag), before.StringData(flag)) << flag;
        EXPECT_EQ(back.GetShowCmd(), before.GetShowCmd());
        EXPECT_EQ(back.GetHotkey(), before.GetHotkey());
    }
}

TEST(ShellLinkWriter, EditsKeepWhatBelongsToTheLinkAndDropWhatBelongsToTheOldTarget)
{
    QM_REQUIRE_CORPUS(corpus);
    ShellLink link;
    ASSERT_TRUE(link.Load(corpus + "/lnk-peer/sample10.lnk"));
    const auto propertyStore = link.ExtraDataBlock(kPropertyStoreBlock);
    ASSERT_TRUE(propertyStore);
    ASSERT_TRUE(link.ExtraDataBlock(kTrackerBlock));
    link.SetHotkey(0x0241);
    link.SetShowCmd(3);
    EXPECT_TRUE(link.ExtraDataBlock(kTrackerBlock));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\Program Files (x86)\\HDZB_USBKEY_NEW1G\\HDZB_USBKEY_NEW1G.exe");

    link.SetPath("C:\\Other\\other.exe", TestEnvironment());
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\Other\\other.exe");
    EXPECT_FALSE(link.ExtraDataBlock(kTrackerBlock));
    EXPECT_FALSE(link.ExtraDataBlock(kKnownFolderBlock));
    EXPECT_FALSE(link.ExtraDataBlock(kSpecialFolderBlock));
    EXPECT_EQ(link.ExtraDataBlock(kPropertyStoreBlock), propertyStore);
    EXPECT_EQ(link.GetHotkey(), 0x0241);
    EXPECT_EQ(link.GetShowCmd(), 3);
    EXPECT_EQ(link.GetWorkingDirectory(), "C:\\Program Files (x86)\\Mozilla Firefox");

    // An ANSI link keeps ANSI for text that has an ANSI form and turns Unicode, all
    // its strings with it, for text that has none.
    Bytes ansi(0x4C, 0);
    ansi[0] = 0x4C;
    const std::uint8_t clsid[] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    std::copy(std::begin(clsid), std::end(clsid), ansi.begin() + 4);
    ansi[0x14] = SLDF_HAS_ARGS;
    ansi[0x3C] = 1;
    for (const int c : std::initializer_list<int>{4, 0, '-', 'x', 0xE9, ' ', 0, 0, 0, 0})
        ansi.push_back(static_cast<std::uint8_t>(c));
    ASSERT_TRUE(link.LoadFromBytes(ansi));
    link.SetDescription("caf\xC3\xA9");
    EXPECT_FALSE(link.LinkFlags() & SLDF_UNICODE);
    EXPECT_EQ(link.GetArguments(), "-x\xC3\xA9 ");
    link.SetDescription("\xD0\x96");
    EXPECT_TRUE(link.LinkFlags() & SLDF_UNICODE);
    EXPECT_EQ(link.GetDescription(), "\xD0\x96");
    EXPECT_EQ(link.GetArguments(), "-x\xC3\xA9 ");
}

TEST(ShellLinkWriter, SaveReplacesAtomicallyAndNeverAFolder)
{
    testsupport::TempDir dir;
    const ShellLink link = FullLink("C:\\tool.exe");
    const std::string file = dir / "tool.lnk";
    ASSERT_TRUE(link.Save(file));
    ShellLink back;
    ASSERT_TRUE(back.Load(file));
    EXPECT_EQ(back.SaveToBytes(), link.SaveToBytes());

    // Replacing keeps the file's permissions; no temporary file stays behind.
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ShellLink changed = link;
    changed.SetArguments("--changed");
    ASSERT_TRUE(changed.Save(file));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_TRUE(back.Load(file));
    EXPECT_EQ(back.GetArguments(), "--changed");
    int entries = 0;
    if (DIR* d = ::opendir(dir.Path().c_str())) {
        while (const dirent* e = ::readdir(d))
            entries += e->d_name[0] != '.' || std::string(e->d_name).size() > 2;
        ::closedir(d);
    }
    EXPECT_EQ(entries, 1);

    // A folder of that name is left alone; so is a path in a missing folder.
    testsupport::MakeDirs(dir / "folder.lnk");
    EXPECT_FALSE(link.Save(dir / "folder.lnk"));
    struct stat folder {};
    ASSERT_EQ(::stat((dir / "folder.lnk").c_str(), &folder), 0);
    EXPECT_TRUE(S_ISDIR(folder.st_mode));
    EXPECT_FALSE(link.Save(dir / "missing/x.lnk"));

    // A read-only link is refused and left as it was.
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    ShellLink other = link;
    other.SetArguments("--refused");
    EXPECT_FALSE(other.Save(file));
    ASSERT_TRUE(back.Load(file));
    EXPECT_EQ(back.GetArguments(), "--changed");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);

    // Through a symbolic link the file it leads to changes; the link stays a link.
    testsupport::MakeDirs(dir / "elsewhere");
    ASSERT_EQ(::symlink(file.c_str(), (dir / "elsewhere/alias.lnk").c_str()), 0);
    ASSERT_TRUE(other.Save(dir / "elsewhere/alias.lnk"));
    struct stat alias {};
    ASSERT_EQ(::lstat((dir / "elsewhere/alias.lnk").c_str(), &alias), 0);
    EXPECT_TRUE(S_ISLNK(alias.st_mode));
    ASSERT_TRUE(back.Load(file));
    EXPECT_EQ(back.GetArguments(), "--refused");
}

TEST(ShellLinkWriter, TargetInfoOfHostFilesAndFolders)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "file.txt", "12345");
    testsupport::WriteFile(dir / ".hidden", "");
    const auto file = LinkTargetInfoOf(dir / "file.txt");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->attributes, 0x20u);
    EXPECT_EQ(file->size, 5u);
    EXPECT_GT(file->writeTime, 116444736000000000ull); // after 1970
    const auto folder = LinkTargetInfoOf(dir.Path());
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->attributes & 0x10, 0x10u);
    EXPECT_EQ(LinkTargetInfoOf(dir / ".hidden")->attributes & 0x02, 0x02u);
    EXPECT_FALSE(LinkTargetInfoOf(dir / "missing"));

    // A folder target is spelled as a folder item.
    ShellLink link;
    link.SetTargetInfo(*folder);
    link.SetPath("C:\\Some Folder", TestEnvironment());
    EXPECT_EQ(link.TargetInfo().attributes & 0x10, 0x10u);
    const Bytes bytes = link.SaveToBytes();
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find(std::string("\x31\x00", 2)), std::string::npos);
}
