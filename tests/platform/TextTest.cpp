#include <gtest/gtest.h>

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
