#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/util/Text.h"

using namespace platform;

TEST(Text, BytesThatAreNotUtf8SurviveTheRoundTripThroughUtf16)
{
    const std::string bytes = "caf\xC3\xA9 \xFF\xFE lone\x80 \xED\xA0\x80 \xF0\x9F\x98\x80";
    const std::u16string wide = BytesToUtf16(bytes);
    EXPECT_EQ(Utf16ToBytes(wide), bytes);
    EXPECT_EQ(wide.substr(0, 4), u"caf\u00E9");
    EXPECT_TRUE(IsValidUtf8(Utf16ToUtf8(wide)));
    EXPECT_FALSE(IsValidUtf8(bytes));
}

TEST(Text, UnpairedSurrogatesBecomeReplacementCharacters)
{
    const std::u16string wide = {u'a', 0xD800, u'b', 0xDFFF};
    EXPECT_EQ(Utf16ToUtf8(wide), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(Text, Cp1252DecodesAsWindowsDoes)
{
    EXPECT_EQ(Cp1252ToUtf16("\x80\x81\x8D\x8F\x90\x9D\x9F\xE9"),
              (std::u16string{0x20AC, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0x178, 0xE9}));
    EXPECT_EQ(Cp1252ToUtf8("A\x93q\x94"), "A\xE2\x80\x9Cq\xE2\x80\x9D");
}

TEST(Text, DecodeUtf8TakesOnlyValidSequences)
{
    char32_t c = 0;
    EXPECT_EQ(DecodeUtf8("a", 0, c), 1u);
    EXPECT_EQ(c, U'a');
    EXPECT_EQ(DecodeUtf8("x\xC3\xA9", 1, c), 2u);
    EXPECT_EQ(c, U'\u00E9');
    EXPECT_EQ(DecodeUtf8("\xE2\x82\xAC", 0, c), 3u);
    EXPECT_EQ(c, U'\u20AC');
    EXPECT_EQ(DecodeUtf8("\xF4\x8F\xBF\xBF", 0, c), 4u);
    EXPECT_EQ(c, U'\U0010FFFF');
    for (const std::string_view bad : {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                       "\xF8\x88\x80\x80\x80", "\xE2\x82", "\xC3" "A"})
        EXPECT_EQ(DecodeUtf8(bad, 0, c), 0u) << testing::PrintToString(std::string(bad));

    std::string out;
    for (const char32_t cp : {U'a', U'\u00E9', U'\u20AC', U'\U0001F600'})
        AppendUtf8(out, cp);
    EXPECT_EQ(out, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(Text, LetterCaseFoldsTheEverydayAlphabets)
{
    // Latin-1, both parities of Latin Extended-A, Greek with its accents and final
    // sigma, Cyrillic, full-width Latin.
    const std::vector<std::pair<char32_t, char32_t>> pairs = {
        {U'a', U'A'}, {0xE9, 0xC9}, {0xFF, 0x178}, {0x101, 0x100}, {0x13A, 0x139}, {0x17E, 0x17D},
        {0x3C9, 0x3A9}, {0x3AC, 0x386}, {0x3CE, 0x38F}, {0x3C2, 0x3A3}, {0x436, 0x416}, {0x451, 0x401},
        {0xFF41, 0xFF21},
    };
    for (const auto& [lower, upper] : pairs) {
        EXPECT_EQ(UpperCaseOf(lower), upper) << std::hex << static_cast<unsigned>(lower);
        EXPECT_EQ(UpperCaseOf(upper), upper) << std::hex << static_cast<unsigned>(upper);
    }
    // No single partner: the dotless i, the kra, the long s, the micro sign, the
    // sharp s; and scripts outside the table.
    for (const char32_t same : {0x131, 0x138, 0x17F, 0xB5, 0xDF, 0xF7, 0x5D0, 0x3042})
        EXPECT_EQ(UpperCaseOf(same), same) << std::hex << static_cast<unsigned>(same);

    // Names: the rest of the Cyrillic block folds too; bytes that are not UTF-8 and
    // characters beyond U+FFFF stay as they are.
    EXPECT_EQ(FoldCase("Stra\xC3\x9F" "e caf\xC3\xA9 \xD1\xA3 \xD3\x91"),
              "STRA\xC3\x9F" "E CAF\xC3\x89 \xD1\xA2 \xD3\x90");
    EXPECT_EQ(FoldCase("a\xFF\xC3" "b\xF0\x9F\x98\x80"), "A\xFF\xC3" "B\xF0\x9F\x98\x80");
    EXPECT_TRUE(EqualsIgnoreCase("\xD0\x96urnal", "\xD0\xB6URNAL"));
    EXPECT_FALSE(EqualsIgnoreCase("a\xFF", "A\xFE"));
}
