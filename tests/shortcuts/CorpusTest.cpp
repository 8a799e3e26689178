// Every real-world link of the shared corpus read as the list reads it, against the
// fields an independent parser read from the same file.
#include <map>

#include <gtest/gtest.h>

#include "platform/util/Text.h"
#include "shortcuts/FolderContents.h"
#include "shortcuts/ItemProp.h"
#include "tests/support/PeerFields.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::PeerFields;
using testsupport::PeerNumber;

std::string Text(const PeerFields& fields, const std::string& key)
{
    return testsupport::PeerText(fields, key).value_or("");
}

// What arrives through a buffer of 260 UTF-16 units.
std::string CutToBuffer(const std::string& text)
{
    std::u16string wide = platform::BytesToUtf16(text);
    if (wide.size() > 259)
        wide.resize(259);
    return platform::Utf16ToBytes(wide);
}

constexpr long long kHasExpString = 0x200;
constexpr long long kHasExpIcon = 0x4000;

// Raw paths the peer got wrong. sample6's LinkInfo carries its local base path in a
// Unicode form beside the ANSI one, and the Unicode one wins; the peer reports the
// ANSI bytes (GBK on the machine that wrote the link) decoded as code page 1252.
const std::map<std::string, std::string> kPeerMisread = {
    {"sample6", "C:\\Youdao\\ShoppingAssistant\\ie\\4.4\\"
                "\xE6\x92\xAD\xE6\x94\xBE\xE5\x99\xA8\xE6\xAD\xA3\xE5\x9C\xA8\xE5\x8A\xA0\xE8\xBD\xBD"
                "\xEF\xBC\x88\xE6\x8B\xA6\xE6\x88\xAA\xE8\xAF\xB7\xE5\x85\x81\xE8\xAE\xB8\xEF\xBC\x89.exe"},
};

} // namespace

TEST(Corpus, EveryLinkReadsWithThePeersFields)
{
    QM_REQUIRE_CORPUS(corpus);
    const std::string dir = corpus + "/lnk-peer";
    const auto names = testsupport::CorpusSamples(dir);
    ASSERT_FALSE(names.empty());
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const std::string base = dir + "/" + name;
        const PeerFields expected = testsupport::ParseFlatJson(testsupport::ReadFile(base + ".expected.json"));

        TwekShortcutInfo info;
        ASSERT_TRUE(ReadShortcut(base + ".lnk", info));
        EXPECT_EQ(info.ShowCommand, PeerNumber(expected, "show_command"));
        EXPECT_EQ(info.WindowState, WindowStateText(static_cast<int>(PeerNumber(expected, "show_command"))));
        EXPECT_EQ(info.IconIndex, PeerNumber(expected, "icon_index"));
        EXPECT_EQ(info.Hotkey, HotkeyToKeyCode(static_cast<std::uint16_t>(PeerNumber(expected, "hotkey"))));
        EXPECT_EQ(info.Description, CutToBuffer(Text(expected, "description")));
        EXPECT_EQ(info.StartIn, CutToBuffer(Text(expected, "working_directory")));
        EXPECT_EQ(info.Arguments, CutToBuffer(Text(expected, "arguments")));
        // With HasExpIcon the icon environment block's path, variables kept, is the
        // icon location; the peer reports the StringData copy beside it.
        const bool expIcon = (PeerNumber(expected, "link_flags") & kHasExpIcon) && expected.count("icon_env_target");
        EXPECT_EQ(info.IconLocation, CutToBuffer(Text(expected, expIcon ? "icon_env_target" : "icon_location")));

        // The raw path: the environment block's target when the link says it has one,
        // else the LinkInfo path. Links with neither spell it from the ID list, which
        // the peer does not report.
        std::string raw;
        if (const auto fixed = kPeerMisread.find(name); fixed != kPeerMisread.end())
            raw = fixed->second;
        else if ((PeerNumber(expected, "link_flags") & kHasExpString) && expected.count("env_target"))
            raw = Text(expected, "env_target");
        else if (expected.count("linkinfo_local_base_path"))
            raw = Text(expected, "linkinfo_local_base_path") + Text(expected, "linkinfo_common_path_suffix");
        else
            continue;
        raw = CutToBuffer(raw);
        EXPECT_EQ(info.TargetPath + info.Target, raw);
        EXPECT_TRUE(info.TargetPath.empty() || info.TargetPath.back() == '\\');
        EXPECT_EQ(info.Target.find('\\'), std::string::npos);
    }

    // The folder reading takes them all, in name order.
    TFolderContents contents;
    ASSERT_TRUE(ReadFolderContents(dir, contents));
    EXPECT_EQ(contents.FolderCount, 0);
    ASSERT_EQ(contents.Items.size(), names.size());
    for (const auto& item : contents.Items)
        EXPECT_TRUE(item.ReadOk) << item.Name;
}
