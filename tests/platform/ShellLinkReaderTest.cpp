// The reader on links built byte by byte: damaged input, the text rules, the order
// of the raw path's sources and the shell items of the ID list.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/shelllink/ShellLink.h"
#include "tests/support/TestSupport.h"

using namespace platform;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& v, std::uint32_t x)
{
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(Bytes& v, std::uint32_t x)
{
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}
void Set32(Bytes& v, std::size_t at, std::uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}
void PutAnsi(Bytes& v, std::string_view s, bool nul = true)
{
    v.insert(v.end(), s.begin(), s.end());
    if (nul)
        v.push_back(0);
}
void PutWide(Bytes& v, std::u16string_view s, bool nul = true)
{
    for (const char16_t c : s)
        Put16(v, c);
    if (nul)
        Put16(v, 0);
}

constexpr std::array<std::uint8_t, 16> kMyComputer = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                                      0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};
constexpr std::array<std::uint8_t, 16> kControlPanel = {0x20, 0x20, 0xEC, 0x21, 0xEA, 0x3A, 0x69, 0x10,
                                                       0xA2, 0xDD, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};
constexpr std::array<std::uint8_t, 16> kDesktopFolder = {0x3A, 0xCC, 0xBF, 0xB4, 0x2C, 0xDB, 0x4C, 0x42,
                                                        0xB0, 0x29, 0x7F, 0xE9, 0x9A, 0x87, 0xC6, 0x41};

Bytes RootItem(const std::array<std::uint8_t, 16>& guid)
{
    Bytes v;
    Put16(v, 20);
    v.push_back(0x1F);
    v.push_back(0x50);
    v.insert(v.end(), guid.begin(), guid.end());
    return v;
}

Bytes VolumeItem(std::string_view name)
{
    Bytes v;
    Put16(v, 25);
    v.push_back(0x2F);
    PutAnsi(v, name);
    v.resize(25, 0);
    return v;
}

Bytes KnownFolderItem(const std::array<std::uint8_t, 16>& guid)
{
    Bytes v;
    Put16(v, 20);
    v.push_back(0x2E);
    v.push_back(0x80);
    v.insert(v.end(), guid.begin(), guid.end());
    return v;
}

// A file entry with an ANSI short name and, when given, an extension block of the
// version given holding the long name.
Bytes FileItem(std::string_view shortName, std::u16string_view longName = {}, int version = 9)
{
    Bytes v;
    Put16(v, 0);
    v.push_back(0x32);
    v.push_back(0);
    Put32(v, 0);
    Put32(v, 0);
    Put16(v, 0x20);
    PutAnsi(v, shortName);
    if (v.size() % 2)
        v.push_back(0);
    if (!longName.empty()) {
        const std::size_t ext = v.size();
        Put16(v, 0);
        Put16(v, static_cast<std::uint32_t>(version));
        Put32(v, 0xBEEF0004);
        Put32(v, 0);
        Put32(v, 0);
        const std::size_t nameAt = version >= 9 ? 46 : version == 8 ? 42 : version == 7 ? 38 : 18;
        v.resize(ext + nameAt, 0);
        PutWide(v, longName);
        Put16(v, static_cast<std::uint32_t>(ext));
        v[ext] = static_cast<std::uint8_t>(v.size() - ext);
    }
    v[0] = static_cast<std::uint8_t>(v.size());
    return v;
}

Bytes UnicodeFileItem(std::u16string_view name)
{
    Bytes v;
    Put16(v, 0);
    v.push_back(0x36);
    v.push_back(0);
    Put32(v, 0);
    Put32(v, 0);
    Put16(v, 0x20);
    PutWide(v, name);
    v[0] = static_cast<std::uint8_t>(v.size());
    return v;
}

Bytes NetworkItem(std::uint8_t type, std::string_view location)
{
    Bytes v;
    Put16(v, 0);
    v.push_back(type);
    v.push_back(0);
    v.push_back(0);
    PutAnsi(v, location);
    v[0] = static_cast<std::uint8_t>(v.size());
    return v;
}

// LinkInfo with a local path (and, when given, its Unicode form).
Bytes LocalLinkInfo(std::string_view base, std::string_view suffix = "", std::u16string_view baseWide = {},
                    std::u16string_view suffixWide = {})
{
    const bool wide = !baseWide.empty() || !suffixWide.empty();
    const std::uint32_t headerSize = wide ? 0x24 : 0x1C;
    Bytes v(headerSize, 0);
    Set32(v, 4, headerSize);
    Set32(v, 8, 1);
    Set32(v, 12, static_cast<std::uint32_t>(v.size()));
    Put32(v, 0x11);
    Put32(v, 3);
    Put32(v, 0x1234);
    Put32(v, 0x10);
    v.push_back(0);
    Set32(v, 16, static_cast<std::uint32_t>(v.size()));
    PutAnsi(v, base);
    Set32(v, 24, static_cast<std::uint32_t>(v.size()));
    PutAnsi(v, suffix);
    if (wide) {
        Set32(v, 28, static_cast<std::uint32_t>(v.size()));
        PutWide(v, baseWide);
        Set32(v, 32, static_cast<std::uint32_t>(v.size()));
        PutWide(v, suffixWide);
    }
    Set32(v, 0, static_cast<std::uint32_t>(v.size()));
    return v;
}

Bytes NetworkLinkInfo(std::string_view share, std::string_view suffix)
{
    Bytes v(0x1C, 0);
    Set32(v, 4, 0x1C);
    Set32(v, 8, 2);
    const std::size_t net = v.size();
    Set32(v, 20, static_cast<std::uint32_t>(net));
    Put32(v, 0);
    Put32(v, 2);
    Put32(v, 0x14);
    Put32(v, 0);
    Put32(v, 0x20000);
    PutAnsi(v, share);
    Set32(v, net, static_cast<std::uint32_t>(v.size() - net));
    Set32(v, 24, static_cast<std::uint32_t>(v.size()));
    PutAnsi(v, suffix);
    Set32(v, 0, static_cast<std::uint32_t>(v.size()));
    return v;
}

// An environment-style block: ANSI in 260 bytes, Unicode in 520.
Bytes PathBlock(std::uint32_t signature, std::string_view ansi, std::u16string_view wide)
{
    Bytes v;
    Put32(v, 0x314);
    Put32(v, signature);
    PutAnsi(v, ansi, false);
    v.resize(8 + 260, 0);
    PutWide(v, wide, false);
    v.resize(0x314, 0);
    return v;
}

struct LinkBuilder {
    std::uint32_t flags = 0;
    std::vector<Bytes> items;
    bool idList = false;
    Bytes linkInfo;
    std::array<Bytes, 5> strings; // stored fields, count included
    std::vector<Bytes> blocks;
    bool terminal = true;
    std::uint16_t hotkey = 0;

    LinkBuilder& Items(std::vector<Bytes> list)
    {
        items = std::move(list);
        idList = true;
        return *this;
    }
    LinkBuilder& Info(Bytes info)
    {
        linkInfo = std::move(info);
        return *this;
    }
    LinkBuilder& Ansi(int index, std::string_view text, std::uint32_t count = 0xFFFFFFFF)
    {
        Bytes f;
        Put16(f, count == 0xFFFFFFFF ? static_cast<std::uint32_t>(text.size()) : count);
        PutAnsi(f, text, false);
        strings[index] = f;
        return *this;
    }
    LinkBuilder& Wide(int index, std::u16string_view text)
    {
        Bytes f;
        Put16(f, static_cast<std::uint32_t>(text.size()));
        PutWide(f, text, false);
        strings[index] = f;
        flags |= SLDF_UNICODE;
        return *this;
    }
    LinkBuilder& Block(Bytes block)
    {
        blocks.push_back(std::move(block));
        return *this;
    }

    Bytes Build() const
    {
        static constexpr std::uint32_t kStringFlags[] = {SLDF_HAS_NAME, SLDF_HAS_RELPATH, SLDF_HAS_WORKINGDIR,
                                                         SLDF_HAS_ARGS, SLDF_HAS_ICONLOCATION};
        std::uint32_t f = flags;
        if (idList)
            f |= SLDF_HAS_ID_LIST;
        if (!linkInfo.empty())
            f |= SLDF_HAS_LINK_INFO;
        for (int i = 0; i < 5; ++i)
            if (!strings[i].empty())
                f |= kStringFlags[i];
        Bytes v;
        Put32(v, 0x4C);
        const std::uint8_t clsid[] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
        v.insert(v.end(), std::begin(clsid), std::end(clsid));
        Put32(v, f);
        v.resize(0x3C, 0);
        Put32(v, 1);
        Put16(v, hotkey);
        v.resize(0x4C, 0);
        if (idList) {
            Bytes list;
            for (const Bytes& item : items)
                list.insert(list.end(), item.begin(), item.end());
            Put16(list, 0);
            Put16(v, static_cast<std::uint32_t>(list.size()));
            v.insert(v.end(), list.begin(), list.end());
        }
        v.insert(v.end(), linkInfo.begin(), linkInfo.end());
        for (const Bytes& s : strings)
            v.insert(v.end(), s.begin(), s.end());
        for (const Bytes& b : blocks)
            v.insert(v.end(), b.begin(), b.end());
        if (terminal)
            Put32(v, 0);
        return v;
    }
};

std::vector<Bytes> DrivePath() // C:\tools\tool.exe
{
    return {RootItem(kMyComputer), VolumeItem("C:\\"), FileItem("TOOLS"), FileItem("TOOL.EXE")};
}

bool Loads(const Bytes& bytes)
{
    ShellLink link;
    return link.LoadFromBytes(bytes);
}

constexpr std::size_t kWhole = 1 << 20;

} // namespace

TEST(ShellLinkReader, RejectsWhatIsNotALinkAndLeavesAnEmptyLink)
{
    const Bytes good = LinkBuilder().Items(DrivePath()).Build();
    ASSERT_TRUE(Loads(good));
    EXPECT_FALSE(Loads({}));
    EXPECT_FALSE(Loads(Bytes(good.begin(), good.begin() + 75)));
    Bytes wrongSize = good;
    wrongSize[0] = 0x4D;
    EXPECT_FALSE(Loads(wrongSize));
    Bytes wrongClsid = good;
    wrongClsid[19] = 0x47;
    EXPECT_FALSE(Loads(wrongClsid));
    const std::string text = "[InternetShortcut]\nURL=http://example.com/\n" + std::string(80, ' ');
    EXPECT_FALSE(Loads(Bytes(text.begin(), text.end())));

    // A failed load forgets the link loaded before.
    ShellLink link;
    ASSERT_TRUE(link.LoadFromBytes(good));
    ASSERT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\TOOLS\\TOOL.EXE");
    EXPECT_FALSE(link.LoadFromBytes(wrongClsid));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "");
    EXPECT_FALSE(link.TargetIsShellObject());
    EXPECT_EQ(link.GetShowCmd(), 1);
}

TEST(ShellLinkReader, LoadFailsForFilesThatCannotBeRead)
{
    testsupport::TempDir dir;
    ShellLink link;
    EXPECT_FALSE(link.Load(dir / "missing.lnk"));
    EXPECT_FALSE(link.Load(dir.Path()));
    testsupport::WriteFile(dir / "empty.lnk", "");
    EXPECT_FALSE(link.Load(dir / "empty.lnk"));
    // A link without read permission (root reads it anyway).
    {
        const Bytes good = LinkBuilder().Items(DrivePath()).Build();
        testsupport::WriteFile(dir / "locked.lnk", std::string(good.begin(), good.end()));
        ASSERT_EQ(::chmod((dir / "locked.lnk").c_str(), 0), 0);
        EXPECT_EQ(link.Load(dir / "locked.lnk"), ::geteuid() == 0);
    }
    // A FIFO named like a link must neither hang nor load.
    ASSERT_EQ(::mkfifo((dir / "fifo.lnk").c_str(), 0600), 0);
    EXPECT_FALSE(link.Load(dir / "fifo.lnk"));
    // A large file that is not a link is refused after its header.
    const Bytes good = LinkBuilder().Items(DrivePath()).Build();
    std::string big(200000, 'x');
    testsupport::WriteFile(dir / "big.lnk", big);
    EXPECT_FALSE(link.Load(dir / "big.lnk"));
    // A link with a large block after it still loads whole.
    Bytes large = LinkBuilder().Items(DrivePath()).Build();
    large.resize(large.size() - 4);
    Bytes block;
    Put32(block, 150000);
    Put32(block, 0xA0000099);
    block.resize(150000, 0x55);
    large.insert(large.end(), block.begin(), block.end());
    Put32(large, 0);
    testsupport::WriteFile(dir / "large.lnk", std::string(large.begin(), large.end()));
    ASSERT_TRUE(link.Load(dir / "large.lnk"));
    EXPECT_EQ(link.ExtraDataBlock(0xA0000099)->size(), 150000u);
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\TOOLS\\TOOL.EXE");
}

TEST(ShellLinkReader, RejectsStructuresThatPointOutsideThemselves)
{
    // The ID list claims more than the file holds.
    Bytes v = LinkBuilder().Items(DrivePath()).Build();
    v[0x4C] = 0xFF;
    v[0x4D] = 0x7F;
    EXPECT_FALSE(Loads(v));
    // An item that would not advance, and one that runs past the list.
    EXPECT_FALSE(Loads(LinkBuilder().Items({RootItem(kMyComputer), Bytes{1, 0, 0}}).Build()));
    Bytes overrun = RootItem(kMyComputer);
    overrun[0] = 40;
    EXPECT_FALSE(Loads(LinkBuilder().Items({overrun}).Build()));

    const Bytes info = LocalLinkInfo("C:\\tools\\tool.exe");
    auto withInfo = [&](const Bytes& li) { return Loads(LinkBuilder().Items(DrivePath()).Info(li).Build()); };
    ASSERT_TRUE(withInfo(info));
    Bytes hugeSize = info;
    Set32(hugeSize, 0, 0xFFFFFFF0);
    EXPECT_FALSE(withInfo(hugeSize));
    Bytes shortHeader = info;
    Set32(shortHeader, 4, 0x10);
    EXPECT_FALSE(withInfo(shortHeader));
    Bytes pathOutside = info;
    Set32(pathOutside, 16, static_cast<std::uint32_t>(info.size() + 10));
    EXPECT_FALSE(withInfo(pathOutside));
    Bytes pathIntoHeader = info; // an offset into the LinkInfo's own header
    Set32(pathIntoHeader, 16, 4);
    EXPECT_FALSE(withInfo(pathIntoHeader));
    Bytes volumeOutside = info;
    Set32(volumeOutside, 12, 0xFFFFFFFF);
    EXPECT_FALSE(withInfo(volumeOutside));
    // A VolumeID starting in the LinkInfo's last 16 bytes has no room for its header.
    // The file ends with the LinkInfo, so a read past it leaves the buffer (seen by
    // the sanitizer build).
    const auto endingWithInfo = [](const Bytes& li) {
        const Bytes whole = LinkBuilder().Items(DrivePath()).Info(li).Build();
        return Bytes(whole.begin(), whole.end() - 4); // no terminal block
    };
    ASSERT_TRUE(Loads(endingWithInfo(info)));
    for (const std::uint32_t fromEnd : {1u, 3u, 4u, 15u}) {
        Bytes nearEnd = info;
        Set32(nearEnd, 12, static_cast<std::uint32_t>(info.size()) - fromEnd);
        EXPECT_FALSE(Loads(endingWithInfo(nearEnd))) << fromEnd;
    }
    Bytes noTerminator = info; // the local path runs to the end without its NUL
    noTerminator.resize(noTerminator.size() - 2);
    Set32(noTerminator, 0, static_cast<std::uint32_t>(noTerminator.size()));
    Set32(noTerminator, 24, 0);
    EXPECT_FALSE(withInfo(noTerminator));
    Bytes unicodeOutside = LocalLinkInfo("C:\\x", "", u"C:\\x");
    ASSERT_TRUE(withInfo(unicodeOutside));
    Set32(unicodeOutside, 28, 0x7FFFFFFF);
    EXPECT_FALSE(withInfo(unicodeOutside));
    Bytes network = NetworkLinkInfo("\\\\server\\share", "dir\\file.txt");
    ASSERT_TRUE(withInfo(network));
    Set32(network, 0x1C + 8, 0x1000); // the share's name beyond its structure
    EXPECT_FALSE(withInfo(network));

    // A string whose count runs past the end of the file.
    EXPECT_FALSE(Loads(LinkBuilder().Ansi(3, "args", 0xFFFF).Build()));
    Bytes cutString = LinkBuilder().Wide(3, u"arguments").Build();
    cutString.resize(cutString.size() - 4 - 3);
    EXPECT_FALSE(Loads(cutString));
}

TEST(ShellLinkReader, IsLenientWhereWindowsIgnoresTheDamage)
{
    Bytes garbage = LocalLinkInfo("C:\\elsewhere\\x.exe");
    Set32(garbage, 16, 0xFFFF);
    // ForceNoLinkInfo: the structure is stepped over unread.
    LinkBuilder forced = LinkBuilder().Items(DrivePath()).Info(garbage);
    forced.flags |= SLDF_FORCE_NO_LINKINFO;
    ShellLink link;
    ASSERT_TRUE(link.LoadFromBytes(forced.Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\TOOLS\\TOOL.EXE");
    EXPECT_FALSE(link.LocalBasePath());

    // Parts the LinkInfo's flags do not announce are not looked at.
    Bytes noParts = garbage;
    Set32(noParts, 8, 0);
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder().Items(DrivePath()).Info(noParts).Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\TOOLS\\TOOL.EXE");

    // A damaged volume label is of no use to anyone; the path still counts.
    Bytes badLabel = LocalLinkInfo("C:\\tools\\tool.exe");
    Set32(badLabel, 0x1C + 12, 0x7000);
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder().Info(badLabel).Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\tools\\tool.exe");
    EXPECT_EQ(link.DriveType(), 3u);

    // ExtraData: an unknown block is skipped, a block shorter than its kind needs
    // counts as unknown, a block that runs past the end and the bytes after a
    // terminal block end the list.
    Bytes unknown;
    Put32(unknown, 12);
    Put32(unknown, 0xA0000077);
    Put32(unknown, 0xDEADBEEF);
    Bytes shortEnv;
    Put32(shortEnv, 16);
    Put32(shortEnv, 0xA0000001);
    Put32(shortEnv, 0);
    Put32(shortEnv, 0);
    LinkBuilder blocks = LinkBuilder().Items(DrivePath());
    blocks.flags |= SLDF_HAS_EXP_SZ;
    blocks.Block(unknown).Block(shortEnv).Block(PathBlock(0xA0000007, "C:\\a.ico", u""));
    Bytes list = blocks.Build();
    ASSERT_TRUE(link.LoadFromBytes(list));
    EXPECT_EQ(link.IconEnvironmentTarget(), "C:\\a.ico");
    EXPECT_FALSE(link.EnvironmentTarget());
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\TOOLS\\TOOL.EXE");

    Bytes overrun = list;
    overrun.resize(overrun.size() - 4);
    Put32(overrun, 0x400);
    Put32(overrun, 0xA0000001);
    ASSERT_TRUE(link.LoadFromBytes(overrun));
    EXPECT_EQ(link.IconEnvironmentTarget(), "C:\\a.ico");
    EXPECT_FALSE(link.EnvironmentTarget());

    LinkBuilder afterTerminal = LinkBuilder().Items(DrivePath());
    Bytes early = afterTerminal.Build();
    const Bytes icon = PathBlock(0xA0000007, "C:\\after.ico", u"");
    early.insert(early.end(), icon.begin(), icon.end());
    ASSERT_TRUE(link.LoadFromBytes(early));
    EXPECT_FALSE(link.IconEnvironmentTarget());

    LinkBuilder noTerminal = LinkBuilder().Items(DrivePath());
    noTerminal.terminal = false;
    EXPECT_TRUE(link.LoadFromBytes(noTerminal.Build()));
}

TEST(ShellLinkReader, StringsDecodeAsWindowsDecodesThem)
{
    ShellLink link;
    // ANSI is code page 1252, its undefined bytes included; a string ends at its
    // first NUL even when the count says more.
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder()
                                       .Ansi(0, "caf\xE9 \x80 \x81\x8D\x8F\x90\x9D")
                                       .Ansi(3, std::string("-a\0junk", 7))
                                       .Build()));
    EXPECT_EQ(link.GetDescription(), "caf\xC3\xA9 \xE2\x82\xAC \xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    EXPECT_EQ(link.GetArguments(), "-a");

    // Unicode: pairs become one character; a cut never leaves half a pair.
    std::u16string longArgs(300, u'x');
    longArgs[258] = 0xD83D; // a pair across the 259-unit cut
    longArgs[259] = 0xDE00;
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder()
                                       .Wide(0, u"\U0001F600 \u0416")
                                       .Wide(3, longArgs)
                                       .Wide(2, std::u16string(u"C:\\dir\0rest", 11))
                                       .Wide(1, u"name\xDC80\xDCFF")
                                       .Build()));
    EXPECT_EQ(link.GetDescription(), "\xF0\x9F\x98\x80 \xD0\x96");
    EXPECT_EQ(link.GetWorkingDirectory(), "C:\\dir");
    EXPECT_EQ(link.GetArguments(), std::string(258, 'x'));
    EXPECT_EQ(link.GetArguments(261).size(), 262u); // 258 + the pair's four bytes
    EXPECT_EQ(link.GetArguments(kWhole).size(), 302u);
    EXPECT_EQ(link.GetDescription(0), "");
    EXPECT_EQ(link.GetDescription(1), "");
    EXPECT_EQ(link.GetDescription(2), ""); // a pair does not fit in one unit
    EXPECT_EQ(link.GetDescription(3), "\xF0\x9F\x98\x80");
    EXPECT_EQ(link.GetDescription(4), "\xF0\x9F\x98\x80 ");
    // Lone surrogates that stand for bytes of a host name give those bytes back.
    EXPECT_EQ(link.GetRelativePath(), "name\x80\xFF");
}

TEST(ShellLinkReader, TheRawPathComesFromTheEnvironmentBlockThenLinkInfoThenTheIdList)
{
    ShellLink link;
    const Bytes env = PathBlock(0xA0000001, "%ProgramFiles%\\ansi.exe", u"%ProgramFiles%\\tool.exe");
    LinkBuilder full = LinkBuilder().Items(DrivePath()).Info(LocalLinkInfo("C:\\info\\tool.exe")).Block(env);
    full.flags |= SLDF_HAS_EXP_SZ;
    ASSERT_TRUE(link.LoadFromBytes(full.Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "%ProgramFiles%\\tool.exe");

    // The block without HasExpString, or HasExpString without the block: LinkInfo.
    full.flags &= ~SLDF_HAS_EXP_SZ;
    ASSERT_TRUE(link.LoadFromBytes(full.Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\info\\tool.exe");
    LinkBuilder noBlock = LinkBuilder().Items(DrivePath()).Info(LocalLinkInfo("C:\\info\\tool.exe"));
    noBlock.flags |= SLDF_HAS_EXP_SZ;
    ASSERT_TRUE(link.LoadFromBytes(noBlock.Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\info\\tool.exe");

    // An empty Unicode field leaves the ANSI one.
    LinkBuilder ansiOnly = LinkBuilder().Block(PathBlock(0xA0000001, "%windir%\\notepad.exe", u""));
    ansiOnly.flags |= SLDF_HAS_EXP_SZ;
    ASSERT_TRUE(link.LoadFromBytes(ansiOnly.Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "%windir%\\notepad.exe");

    // LinkInfo: base and suffix joined with one backslash; the Unicode forms win.
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder().Info(LocalLinkInfo("C:\\Users", "me\\x.txt")).Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\Users\\me\\x.txt");
    ASSERT_TRUE(
        link.LoadFromBytes(LinkBuilder().Info(LocalLinkInfo("C:\\?\\", "?.txt", u"C:\\\u0416\\", u"\u4E2D.txt")).Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\\xD0\x96\\\xE4\xB8\xAD.txt");
    EXPECT_EQ(link.LocalBasePath(), "C:\\\xD0\x96\\");

    // A network share: its name, a backslash and the suffix.
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder().Info(NetworkLinkInfo("\\\\server\\share", "dir\\f.txt")).Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "\\\\server\\share\\dir\\f.txt");
    EXPECT_EQ(link.NetworkShareName(), "\\\\server\\share");

    // Only the ID list.
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder().Items(DrivePath()).Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\TOOLS\\TOOL.EXE");

    // A long path is cut like every other string.
    const std::string longName(300, 'n');
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder().Info(LocalLinkInfo("C:\\" + longName)).Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), ("C:\\" + longName).substr(0, 259));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH, kWhole), "C:\\" + longName);
}

TEST(ShellLinkReader, TheIdListSpellsFileSystemPathsAndNamesShellObjects)
{
    ShellLink link;
    // The long name of the extension block wins over the 8.3 name, whatever the
    // block's version.
    for (const int version : {3, 7, 8, 9}) {
        SCOPED_TRACE(version);
        ASSERT_TRUE(link.LoadFromBytes(LinkBuilder()
                                           .Items({RootItem(kMyComputer), VolumeItem("D:\\"),
                                                   FileItem("PROGRA~1", u"Program Files", version),
                                                   FileItem("SOMETH~1.EXE", u"Something long.exe", version)})
                                           .Build()));
        EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "D:\\Program Files\\Something long.exe");
    }
    // Unicode primary names; a network share and the files below it.
    ASSERT_TRUE(link.LoadFromBytes(
        LinkBuilder().Items({RootItem(kMyComputer), VolumeItem("C:\\"), UnicodeFileItem(u"\u0416\u0416")}).Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\\xD0\x96\xD0\x96");
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder()
                                       .Items({NetworkItem(0x42, "\\\\server"), NetworkItem(0xC3, "\\\\server\\share"),
                                               FileItem("DOC.TXT", u"doc.txt")})
                                       .Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "\\\\server\\share\\doc.txt");

    // Folders of the user's profile and the desktop's own items keep the variable
    // they are found through.
    ASSERT_TRUE(link.LoadFromBytes(
        LinkBuilder().Items({RootItem(kMyComputer), KnownFolderItem(kDesktopFolder), FileItem("A.TXT")}).Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "%USERPROFILE%\\Desktop\\A.TXT");
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder().Items({FileItem("NOTES.TXT", u"notes.txt")}).Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "%USERPROFILE%\\Desktop\\notes.txt");

    // An item of a kind nobody spells is stepped over.
    Bytes odd;
    Put16(odd, 6);
    odd.push_back(0x00);
    odd.push_back(0);
    Put16(odd, 0);
    ASSERT_TRUE(
        link.LoadFromBytes(LinkBuilder().Items({RootItem(kMyComputer), VolumeItem("C:\\"), odd, FileItem("X")}).Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\X");

    // A control panel item has no file-system path: a shell object.
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder().Items({RootItem(kControlPanel), odd}).Build()));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "");
    EXPECT_FALSE(link.IdListPath());
    EXPECT_TRUE(link.TargetIsShellObject());
    // A link with no target at all is not one.
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder().Ansi(0, "nothing").Build()));
    EXPECT_FALSE(link.TargetIsShellObject());
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder().Items({}).Build()));
    EXPECT_FALSE(link.TargetIsShellObject());
}

TEST(ShellLinkReader, TheIconLocationComesFromItsBlockOnlyWithHasExpIcon)
{
    ShellLink link;
    int index = 0;
    const Bytes block = PathBlock(0xA0000007, "%SystemRoot%\\ansi.dll", u"%SystemRoot%\\shell32.dll");
    LinkBuilder b = LinkBuilder().Wide(4, u"C:\\Windows\\shell32.dll").Block(block);
    b.flags |= SLDF_HAS_EXP_ICON_SZ;
    ASSERT_TRUE(link.LoadFromBytes(b.Build()));
    EXPECT_EQ(link.GetIconLocation(index), "%SystemRoot%\\shell32.dll");
    b.flags &= ~SLDF_HAS_EXP_ICON_SZ;
    ASSERT_TRUE(link.LoadFromBytes(b.Build()));
    EXPECT_EQ(link.GetIconLocation(index), "C:\\Windows\\shell32.dll");
    EXPECT_EQ(link.IconEnvironmentTarget(), "%SystemRoot%\\shell32.dll");
    LinkBuilder flagOnly = LinkBuilder().Wide(4, u"C:\\x.ico");
    flagOnly.flags |= SLDF_HAS_EXP_ICON_SZ;
    ASSERT_TRUE(link.LoadFromBytes(flagOnly.Build()));
    EXPECT_EQ(link.GetIconLocation(index), "C:\\x.ico");
}

TEST(ShellLinkReader, ReadsTheOtherExtraDataBlocks)
{
    Bytes tracker;
    Put32(tracker, 0x60);
    Put32(tracker, 0xA0000003);
    Put32(tracker, 0x58);
    Put32(tracker, 0);
    PutAnsi(tracker, "machine-name-16c", false); // fills its 16 bytes, no NUL
    tracker.resize(0x60, 0xAB);
    Bytes consoleFe;
    Put32(consoleFe, 0x0C);
    Put32(consoleFe, 0xA0000004);
    Put32(consoleFe, 65001);
    Bytes known;
    Put32(known, 0x1C);
    Put32(known, 0xA000000B);
    known.insert(known.end(), kDesktopFolder.begin(), kDesktopFolder.end());
    Put32(known, 0x16);
    Bytes shim;
    Put32(shim, 0x88);
    Put32(shim, 0xA0000008);
    PutWide(shim, u"WinXPSp3");
    shim.resize(0x88, 0);
    ShellLink link;
    ASSERT_TRUE(link.LoadFromBytes(LinkBuilder()
                                       .Block(tracker)
                                       .Block(consoleFe)
                                       .Block(known)
                                       .Block(shim)
                                       .Block(PathBlock(0xA0000006, "ansi-id", u"{unicode-id}"))
                                       .Build()));
    EXPECT_EQ(link.TrackerMachineId(), "machine-name-16c");
    EXPECT_EQ(link.ConsoleCodePage(), 65001u);
    EXPECT_EQ(link.KnownFolderId(), "{B4BFCC3A-DB2C-424C-B029-7FE99A87C641}");
    EXPECT_EQ(link.ShimLayerName(), "WinXPSp3");
    EXPECT_EQ(link.DarwinId(), "{unicode-id}");
    EXPECT_EQ(link.ExtraDataBlock(0xA0000004)->size(), 0x0Cu);
    EXPECT_FALSE(link.ExtraDataBlock(0xA0000009));
}
