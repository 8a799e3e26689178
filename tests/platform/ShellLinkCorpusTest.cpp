// Real-world links against the fields a peer parser read from them, and every
// truncation of each.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/shelllink/ShellLink.h"
#include "tests/support/PeerFields.h"
#include "tests/support/TestSupport.h"

using namespace platform;
using testsupport::CorpusSamples;
using testsupport::ParseFlatJson;
using testsupport::PeerFields;
using testsupport::PeerNumber;
using testsupport::PeerText;

namespace {

std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    const std::string s = testsupport::ReadFile(path);
    return {s.begin(), s.end()};
}

constexpr std::size_t kWhole = 1 << 20; // a buffer no string fills

// Where the ExtraData blocks start: after the header, the ID list, the LinkInfo and
// the strings the flags announce. Windows reads at most a fixed count of each string
// (some real links claim more) and goes on right after what it read.
std::size_t ExtraDataStart(const std::vector<std::uint8_t>& b)
{
    const std::pair<std::uint32_t, std::size_t> strings[] = {
        {SLDF_HAS_NAME, 1024}, {SLDF_HAS_RELPATH, 260}, {SLDF_HAS_WORKINGDIR, 260}, {SLDF_HAS_ARGS, 0xFFFF},
        {SLDF_HAS_ICONLOCATION, 260}};
    const auto le16 = [&b](std::size_t at) { return static_cast<std::size_t>(b.at(at) | b.at(at + 1) << 8); };
    const std::size_t flags = le16(0x14) | le16(0x16) << 16;
    std::size_t pos = 0x4C;
    if (flags & SLDF_HAS_ID_LIST)
        pos += 2 + le16(pos);
    if (flags & SLDF_HAS_LINK_INFO)
        pos += le16(pos) | le16(pos + 2) << 16;
    for (const auto& [flag, most] : strings)
        if (flags & flag)
            pos += 2 + std::min(le16(pos), most) * (flags & SLDF_UNICODE ? 2 : 1);
    return pos;
}

} // namespace

TEST(ShellLinkCorpus, EverySampleGivesEveryFieldThePeerRead)
{
    QM_REQUIRE_CORPUS(corpus);
    const std::string dir = corpus + "/lnk-peer";
    const std::vector<std::string> names = CorpusSamples(dir);
    ASSERT_GE(names.size(), 17u);
    const std::map<std::string, std::uint32_t> stringKeys = {
        {"description", SLDF_HAS_NAME},         {"relative_path", SLDF_HAS_RELPATH},
        {"working_directory", SLDF_HAS_WORKINGDIR}, {"arguments", SLDF_HAS_ARGS},
        {"icon_location", SLDF_HAS_ICONLOCATION},
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const PeerFields expected = ParseFlatJson(testsupport::ReadFile(dir + "/" + name + ".expected.json"));
        ShellLink link;
        ASSERT_TRUE(link.Load(dir + "/" + name + ".lnk"));
        auto number = [&](const char* key) { return PeerNumber(expected, key); };
        auto text = [&](const char* key) { return PeerText(expected, key); };
        EXPECT_EQ(link.LinkFlags(), number("link_flags"));
        EXPECT_EQ(link.GetHotkey(), number("hotkey"));
        EXPECT_EQ(link.GetShowCmd(), number("show_command"));
        int iconIndex = -1;
        link.GetIconLocation(iconIndex);
        EXPECT_EQ(iconIndex, number("icon_index"));
        for (const auto& [key, flag] : stringKeys) {
            SCOPED_TRACE(key);
            EXPECT_EQ(link.StringData(flag), text(key.c_str()));
        }
        EXPECT_EQ(link.LocalBasePath(), text("linkinfo_local_base_path"));
        EXPECT_EQ(link.CommonPathSuffix(), text("linkinfo_common_path_suffix"));
        EXPECT_EQ(link.EnvironmentTarget(), text("env_target"));
        EXPECT_EQ(link.IconEnvironmentTarget(), text("icon_env_target"));
    }
}

TEST(ShellLinkCorpus, TheGettersGiveWhatTheProgramShows)
{
    QM_REQUIRE_CORPUS(corpus);
    const std::string dir = corpus + "/lnk-peer/";
    struct Case {
        const char* name;
        const char* rawPath;
        const char* iconLocation;
    };
    const Case cases[] = {
        // No LinkInfo: the ID list spells the path.
        {"broken_link_info", "C:\\Program Files\\xt\\xt.exe", ""},
        {"invalid_date2", "C:\\Windows\\system32\\cmd.exe", "%SystemRoot%\\System32\\shell32.dll"},
        // File entries with Unicode primary names.
        {"padded_cli_arguments", "C:\\Windows\\System32\\cmd.exe", "C:\\Windows\\System32\\shell32.dll"},
        // The icon environment block wins over the ICON_LOCATION string.
        {"darwin_block", "C:\\Windows\\Installer\\{DB8757A3-1B62-4136-8D95-D2CB9F00E36C}\\test_icon.ico",
         "%SystemRoot%\\Installer\\{DB8757A3-1B62-4136-8D95-D2CB9F00E36C}\\test_icon.ico"},
        // HasExpString: the environment block's target, variables kept.
        {"extra_data", "C:\\Users\\%USERNAME%\\AppData\\Roaming\\.minecraft", ""},
        // Local base path and common path suffix joined.
        {"sample16", "C:\\Users\\Asus-PC\\AppData\\Roaming\\Microsoft\\Windows\\Recent", ""},
        {"microsoft_example", "C:\\test\\a.txt", ""},
        // An ANSI LinkInfo path from a Chinese machine: the ID list's Unicode names
        // spell it faithfully.
        {"sample6",
         "C:\\Youdao\\ShoppingAssistant\\ie\\4.4\\\xE6\x92\xAD\xE6\x94\xBE\xE5\x99\xA8\xE6\xAD\xA3\xE5\x9C\xA8"
         "\xE5\x8A\xA0\xE8\xBD\xBD\xEF\xBC\x88\xE6\x8B\xA6\xE6\x88\xAA\xE8\xAF\xB7\xE5\x85\x81\xE8\xAE\xB8"
         "\xEF\xBC\x89.exe",
         "%SystemDrive%\\b5tcj\\e25d12f380_96.ico"},
        // Here the ID list starts at the desktop, which it cannot place: the ANSI
        // path stays, decoded as code page 1252.
        {"decoding_error3", "C:\\Users\\\xC3\x84\xC3\xA8\xC3\xAC\xC3\xA0\\Desktop\\PixelMod\\Mod for Pixelmon\\Error Fix.bat",
         "%SystemRoot%\\System32\\SHELL32.dll"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShellLink link;
        ASSERT_TRUE(link.Load(dir + c.name + ".lnk"));
        EXPECT_EQ(link.GetPath(SLGP_RAWPATH), c.rawPath);
        int index = 0;
        EXPECT_EQ(link.GetIconLocation(index), c.iconLocation);
        EXPECT_FALSE(link.TargetIsShellObject());
    }

    // The working directory's count covers the arguments after it; read as Windows
    // reads it (at most MAX_PATH characters), the arguments and the icon location
    // that follow come out whole. The getter then cuts at 259 units.
    ShellLink padded;
    ASSERT_TRUE(padded.Load(dir + "padded_cli_arguments.lnk"));
    EXPECT_EQ(padded.GetWorkingDirectory(kWhole).size(), 260u);
    EXPECT_EQ(padded.GetWorkingDirectory(), padded.GetWorkingDirectory(kWhole).substr(0, 259));
    EXPECT_TRUE(padded.GetArguments(kWhole).starts_with("/c \"set PATH="));
    EXPECT_EQ(padded.GetArguments(kWhole).size(), 1431u);
    EXPECT_EQ(padded.GetArguments().size(), 259u);
    // The UNC form of a link with both a local and a network path.
    ShellLink both;
    ASSERT_TRUE(both.Load(dir + "sample16.lnk"));
    EXPECT_EQ(both.GetPath(SLGP_RAWPATH | SLGP_UNCPRIORITY),
              "\\\\ASUS\\Users\\Asus-PC\\AppData\\Roaming\\Microsoft\\Windows\\Recent");
    // Unknown blocks are stepped over; the known ones around them are read.
    ShellLink unknown;
    ASSERT_TRUE(unknown.Load(dir + "unknown_block.lnk"));
    EXPECT_EQ(unknown.SpecialFolderId(), 0x25u);
    EXPECT_FALSE(unknown.KnownFolderId());
    EXPECT_TRUE(unknown.ExtraDataBlock(0xA000000E));
}

TEST(ShellLinkCorpus, EveryTruncationFailsCleanlyOrReadsWhatItHolds)
{
    QM_REQUIRE_CORPUS(corpus);
    const std::string dir = corpus + "/lnk-peer/";
    for (const std::string& name : CorpusSamples(dir)) {
        SCOPED_TRACE(name);
        const std::vector<std::uint8_t> whole = ReadBytes(dir + name + ".lnk");
        ShellLink full;
        ASSERT_TRUE(full.LoadFromBytes(whole));
        const std::size_t extraStart = ExtraDataStart(whole);
        std::size_t loaded = 0;
        for (std::size_t length = 0; length < whole.size(); ++length) {
            SCOPED_TRACE(length);
            ShellLink cut;
            if (!cut.LoadFromBytes({whole.data(), length})) {
                EXPECT_EQ(cut.GetPath(SLGP_RAWPATH), "");
                continue;
            }
            ++loaded;
            // What a truncated file gives must be what the whole file holds: only
            // trailing ExtraData blocks can go missing.
            ASSERT_GE(length, extraStart) << "a cut before the ExtraData blocks loaded";
            EXPECT_EQ(cut.LinkFlags(), full.LinkFlags());
            for (const std::uint32_t flag :
                 {SLDF_HAS_NAME, SLDF_HAS_RELPATH, SLDF_HAS_WORKINGDIR, SLDF_HAS_ARGS, SLDF_HAS_ICONLOCATION})
                ASSERT_EQ(cut.StringData(flag), full.StringData(flag));
            EXPECT_EQ(cut.LocalBasePath(), full.LocalBasePath());
            EXPECT_EQ(cut.IdListPath(), full.IdListPath());
            if (cut.EnvironmentTarget()) {
                EXPECT_EQ(cut.GetPath(SLGP_RAWPATH), full.GetPath(SLGP_RAWPATH));
            }
        }
        // Every cut inside the ExtraData blocks loads, as Windows keeps the blocks
        // before one that runs past the end.
        EXPECT_EQ(loaded, whole.size() - extraStart);
    }
}
