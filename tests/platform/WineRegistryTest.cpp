#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "platform/drivemap/WineRegistry.h"
#include "tests/support/TestSupport.h"

using platform::WineRegistry;
using namespace std::string_literals;

namespace {

const std::string kSample = R"REG(WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

#arch=win64

[Software\\Test\\Strings] 1700000000
#time=1da1b2c3d4e5f60
@="the default"
"Plain"="C:\\users\\alice\\Desktop"
"Quote"="say \"hi\""
"Controls"="tab\there\nnew\rret\aa\bb\ff\vv\ee"
"Wide"="caf\xe9 \x263a \x00e91"
"Octal"="a\033[0m\001"
"Nul"="before\0after"
"Raw"="raw café"
"Expand"=str(2):"%USERPROFILE%\\Documents"
"Multi"=str(7):"one\0two\0"
"Count"=dword:0000002a
"Bin"=hex:01,02,ff
"Long"=hex(2):25,00,41,00,25,00,5c,00,\
  78,00,00,00
"Quad"=hex(b):01,00,00,00,00,00,00,00
"Empty"=hex:
"Link"=hex(6):5c,00,41,00

[Software\\Test\\Br\]acket\\"Quoted" Name] 1700000000
"Escaped\"Name"="v"

[software\\test\\STRINGS] 1700000001
"Late"="merged"
"plain"="second wins"
)REG";

std::vector<std::uint8_t> Utf16(std::u16string_view text, bool nul)
{
    std::vector<std::uint8_t> out;
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (nul)
        out.insert(out.end(), {0, 0});
    return out;
}

} // namespace

TEST(WineRegistry, ReadsWinesDialectWithItsEscapes)
{
    const WineRegistry reg = WineRegistry::Parse(kSample);
    EXPECT_TRUE(reg.HasHeader());
    EXPECT_EQ(reg.Arch(), "win64");
    EXPECT_EQ(reg.Root(), "\\User\\S-1-5-21-0-0-0-1000");
    EXPECT_EQ(reg.DamagedLines(), 0u);

    const std::string key = "Software\\Test\\Strings";
    EXPECT_EQ(reg.GetString(key, ""), "the default");
    EXPECT_EQ(reg.GetString(key, "Quote"), "say \"hi\"");
    EXPECT_EQ(reg.GetString(key, "Controls"), "tab\there\nnew\rret\aa\bb\ff\vv\x1b" "e");
    EXPECT_EQ(reg.GetString(key, "Wide"), "caf\xC3\xA9 \xE2\x98\xBA \xC3\xA9" "1");
    EXPECT_EQ(reg.GetString(key, "Octal"), "a\x1b[0m\x01");
    EXPECT_EQ(reg.GetString(key, "Raw"), "raw caf\xC3\xA9");

    // A NUL ends the string, but the data keeps what follows, as Windows stores it.
    EXPECT_EQ(reg.GetString(key, "Nul"), "before");
    EXPECT_EQ(reg.FindValue(key, "Nul")->data, Utf16(std::u16string(u"before\0after", 12), true));

    const WineRegistry::Value* expand = reg.FindValue(key, "Expand");
    ASSERT_NE(expand, nullptr);
    EXPECT_EQ(expand->type, 2u);
    EXPECT_EQ(expand->AsString(), "%USERPROFILE%\\Documents");

    const WineRegistry::Value* multi = reg.FindValue(key, "Multi");
    ASSERT_NE(multi, nullptr);
    EXPECT_EQ(multi->type, 7u);
    EXPECT_EQ(multi->data, Utf16(std::u16string(u"one\0two\0", 8), true));
    EXPECT_EQ(multi->AsString(), std::nullopt);

    EXPECT_EQ(reg.FindValue(key, "Count")->AsDword(), 42u);
    EXPECT_EQ(reg.FindValue(key, "Count")->AsString(), std::nullopt);
    EXPECT_EQ(reg.FindValue(key, "Bin")->type, 3u);
    EXPECT_EQ(reg.FindValue(key, "Bin")->data, (std::vector<std::uint8_t>{1, 2, 0xFF}));
    EXPECT_EQ(reg.FindValue(key, "Long")->type, 2u);
    EXPECT_EQ(reg.GetString(key, "Long"), "%A%\\x");
    EXPECT_EQ(reg.FindValue(key, "Quad")->type, 11u);
    EXPECT_EQ(reg.FindValue(key, "Quad")->data.size(), 8u);
    EXPECT_TRUE(reg.FindValue(key, "Empty")->data.empty());
    EXPECT_EQ(reg.GetString(key, "Link"), "\\A");

    const WineRegistry::Key* odd = reg.FindKey("software\\test\\BR]ACKET\\\"QUOTED\" NAME");
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->path, "Software\\Test\\Br]acket\\\"Quoted\" Name");
    EXPECT_EQ(reg.GetString(odd->path, "escaped\"name"), "v");
}

TEST(WineRegistry, NamesIgnoreCaseAndLaterSectionsAndValuesWin)
{
    const WineRegistry reg = WineRegistry::Parse(kSample);
    EXPECT_EQ(reg.Keys().size(), 2u);
    EXPECT_EQ(reg.GetString("SOFTWARE\\TEST\\STRINGS", "late"), "merged");
    EXPECT_EQ(reg.GetString("\\Software\\Test\\Strings\\", "PLAIN"), "second wins");
    EXPECT_EQ(reg.FindKey("Software\\Test"), nullptr);
    EXPECT_EQ(reg.FindValue("Software\\Test\\Strings", "Missing"), nullptr);
}

TEST(WineRegistry, KeepsOnlyTheKeysAskedForAndTheKeysAboveThem)
{
    std::string text = "WINE REGISTRY Version 2\n";
    for (int i = 0; i < 200; ++i)
        text += "[Software\\\\Noise\\\\K" + std::to_string(i) + "] 0\n\"A\"=\"x\"\n\"B\"=hex:01,\\\n  02\n";
    text += "[Software\\\\Wanted] 0\n#link\n\"SymbolicLinkValue\"=hex(6):41,00\n";
    text += "[Software\\\\Wanted\\\\Here] 0\n\"V\"=\"found\"\n";
    text += "[Software\\\\Wanted\\\\Here\\\\Below] 0\n\"V\"=\"not asked for\"\n";

    const WineRegistry reg = WineRegistry::Parse(text, {"software\\wanted\\here"});
    EXPECT_EQ(reg.Keys().size(), 2u); // Software\Wanted (above the one asked for) and Software\Wanted\Here
    EXPECT_EQ(reg.GetString("Software\\Wanted\\Here", "V"), "found");
    ASSERT_NE(reg.FindKey("Software\\Wanted"), nullptr);
    EXPECT_TRUE(reg.FindKey("Software\\Wanted")->isLink);
    EXPECT_EQ(reg.FindKey("Software\\Noise\\K5"), nullptr);
    EXPECT_EQ(reg.FindKey("Software\\Wanted\\Here\\Below"), nullptr);
    EXPECT_EQ(reg.DamagedLines(), 0u);
}

TEST(WineRegistry, DamagedFilesGiveWhatCanBeRead)
{
    const std::string text =
        "garbage first line\n"
        "\"Orphan\"=\"before any key\"\n"
        "[Good] 1\n"
        "\"Kept\"=\"yes\"\n"
        "\"Cut\"=\"no closing quote\n"
        "\"BadDword\"=dword:xyz\n"
        "\"LongDword\"=dword:123456789\n"
        "\"BadHex\"=hex:01,zz,03\n"
        "\"BadType\"=str(q):\"x\"\n"
        "\"NoEquals\" \"x\"\n"
        "\"Unknown\"=blob:1\n"
        "\"Trailing\"=\"ends in a backslash\\\n"
        "\"AlsoKept\"=dword:00000001\n"
        "[Unclosed\\\\Section 1\n"
        "\"Lost\"=\"belongs nowhere\"\n"
        "[Next] 1\n"
        "\"Fine\"=hex:01,\\\n"
        "  02,\\\n"; // the file ends inside a continued value
    const WineRegistry reg = WineRegistry::Parse(text);
    EXPECT_FALSE(reg.HasHeader());
    EXPECT_EQ(reg.GetString("Good", "Kept"), "yes");
    EXPECT_EQ(reg.FindValue("Good", "AlsoKept")->AsDword(), 1u);
    for (const char* name : {"Cut", "BadDword", "LongDword", "BadHex", "BadType", "NoEquals", "Unknown", "Trailing"})
        EXPECT_EQ(reg.FindValue("Good", name), nullptr) << name;
    EXPECT_EQ(reg.FindKey("Unclosed\\Section"), nullptr);
    EXPECT_NE(reg.FindKey("Next"), nullptr);
    EXPECT_EQ(reg.FindValue("Next", "Fine"), nullptr);
    EXPECT_EQ(reg.FindValue("Next", "Lost"), nullptr);
    EXPECT_GE(reg.DamagedLines(), 11u);
}

TEST(WineRegistry, SurvivesEveryTruncationAndRandomDamage)
{
    // Run under the sanitizers this catches any read past the end of a line or file.
    for (size_t cut = 0; cut <= kSample.size(); ++cut) {
        const WineRegistry reg = WineRegistry::Parse(std::string_view(kSample).substr(0, cut));
        if (cut == kSample.size()) {
            EXPECT_EQ(reg.GetString("Software\\Test\\Strings", "Late"), "merged");
        }
    }
    std::mt19937 rng(20240611);
    const std::string alphabet = "\\\"[]@=:,()#\n\r\t x0fF7\0\xFF\xC3"s;
    for (int round = 0; round < 3000; ++round) {
        std::string text = kSample;
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const size_t at = rng() % text.size();
            const char c = alphabet[rng() % alphabet.size()];
            switch (rng() % 3) {
            case 0: text[at] = c; break;
            case 1: text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c); break;
            default: text.erase(at, 1 + rng() % 4); break;
            }
        }
        const WineRegistry reg = WineRegistry::Parse(text);
        for (const WineRegistry::Key& key : reg.Keys())
            for (const auto& [name, value] : key.values)
                (void)value.AsString();

        // The text cut at the end of a line gives the start of what the whole gives:
        // the same keys first and, key by key, the same values first. Nothing read
        // later takes back or alters what was read before.
        std::vector<size_t> lineEnds{0};
        for (size_t i = 0; i < text.size(); ++i)
            if (text[i] == '\n')
                lineEnds.push_back(i + 1);
        const size_t cut = lineEnds[rng() % lineEnds.size()];
        const WineRegistry part = WineRegistry::Parse(std::string_view(text).substr(0, cut));
        SCOPED_TRACE("round " + std::to_string(round) + ", cut at " + std::to_string(cut));
        ASSERT_LE(part.Keys().size(), reg.Keys().size());
        for (size_t k = 0; k < part.Keys().size(); ++k) {
            const WineRegistry::Key& a = part.Keys()[k];
            const WineRegistry::Key& b = reg.Keys()[k];
            ASSERT_EQ(a.path, b.path);
            ASSERT_LE(a.values.size(), b.values.size()) << a.path;
            for (size_t v = 0; v < a.values.size(); ++v) {
                ASSERT_EQ(a.values[v].first, b.values[v].first) << a.path;
                ASSERT_EQ(a.values[v].second.type, b.values[v].second.type) << a.values[v].first;
                ASSERT_EQ(a.values[v].second.data, b.values[v].second.data) << a.values[v].first;
            }
        }
    }
}

TEST(WineRegistry, BytesThatAreNotUtf8AndUtf16FilesAreRead)
{
    const WineRegistry raw = WineRegistry::Parse("WINE REGISTRY Version 2\n[K] 0\n\"N\xFF\"=\"v\xFE\\\\w\"\n");
    EXPECT_EQ(raw.GetString("K", "N\xFF"), "v\xFE\\w");

    const std::u16string wide = u"\uFEFFWINE REGISTRY Version 2\r\n[K\\\\Sub] 0\r\n\"N\"=\"\u00e9t\u00e9\"\r\n";
    std::string bytes;
    for (char16_t c : wide) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    const WineRegistry fromUtf16 = WineRegistry::Parse(bytes);
    EXPECT_TRUE(fromUtf16.HasHeader());
    EXPECT_EQ(fromUtf16.GetString("K\\Sub", "N"), "\xC3\xA9t\xC3\xA9");
}

TEST(WineRegistry, LoadsOnlyRegularFiles)
{
    testsupport::TempDir tmp;
    testsupport::WriteFile(tmp / "user.reg", kSample);
    const WineRegistry reg = WineRegistry::Load(tmp / "user.reg");
    EXPECT_TRUE(reg.Exists());
    EXPECT_EQ(reg.GetString("Software\\Test\\Strings", "Plain"), "second wins");

    EXPECT_FALSE(WineRegistry::Load(tmp / "missing.reg").Exists());
    EXPECT_FALSE(WineRegistry::Load(tmp.Path()).Exists());
    // A named pipe would block a plain read for ever.
    ASSERT_EQ(::mkfifo((tmp / "pipe.reg").c_str(), 0600), 0);
    EXPECT_FALSE(WineRegistry::Load(tmp / "pipe.reg").Exists());
}
