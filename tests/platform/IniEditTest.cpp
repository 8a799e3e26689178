// Writing values into INI text: the lines written change, every other byte stays.
#include <gtest/gtest.h>

#include "platform/ini/IniEdit.h"
#include "platform/ini/IniFile.h"

using namespace platform;

namespace {

std::string Utf16Le(std::u16string_view text)
{
    std::string out = "\xFF\xFE";
    for (const char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

} // namespace

TEST(IniEdit, OnlyTheLinesOfTheKeysGivenChange)
{
    const std::optional<std::string> none;
    struct Case {
        const char* what;
        std::string before;
        std::vector<IniChange> changes;
        std::string after;
    };
    const Case cases[] = {
        {"value replaced, CRLF and the other section kept",
         "[Other]\r\nURL=keep\r\n[InternetShortcut]\r\n; note\r\nURL = http://old/  \r\nIconIndex=3\r\n",
         {{"InternetShortcut", "url", "https://new/"}},
         "[Other]\r\nURL=keep\r\n[InternetShortcut]\r\n; note\r\nURL = https://new/\r\nIconIndex=3\r\n"},
        {"the first section and the first key of a name count",
         "[internetshortcut]\nURL=a\nURL=b\n[InternetShortcut]\nURL=c\n",
         {{"InternetShortcut", "URL", "x"}},
         "[internetshortcut]\nURL=x\nURL=b\n[InternetShortcut]\nURL=c\n"},
        {"a missing key goes after its section's last line, with the file's line ends",
         "[InternetShortcut]\nURL=a\n\n[Next]\nK=v\n",
         {{"InternetShortcut", "Hotkey", "1601"}},
         "[InternetShortcut]\nURL=a\nHotkey=1601\n\n[Next]\nK=v\n"},
        {"a missing key after a last line that lacks its line end",
         "[InternetShortcut]\r\nURL=a",
         {{"InternetShortcut", "Hotkey", "1601"}},
         "[InternetShortcut]\r\nURL=a\r\nHotkey=1601\r\n"},
        {"a missing section goes at the end, after a line end the last line lacked",
         "[Other]\r\nK=v",
         {{"InternetShortcut", "URL", "http://x/"}},
         "[Other]\r\nK=v\r\n[InternetShortcut]\r\nURL=http://x/\r\n"},
        {"an empty file gets CRLF lines", "", {{"InternetShortcut", "URL", "http://x/"}},
         "[InternetShortcut]\r\nURL=http://x/\r\n"},
        {"a key removed with its line; a missing one removed is nothing",
         "[InternetShortcut]\r\nURL=a\r\nHotkey=1601\r\nIconIndex=0\r\n",
         {{"InternetShortcut", "Hotkey", none}, {"InternetShortcut", "Missing", none}},
         "[InternetShortcut]\r\nURL=a\r\nIconIndex=0\r\n"},
        {"ANSI stays ANSI", "[InternetShortcut]\r\nURL=http://caf\xE9/\r\nName=\xE9t\xE9\r\n",
         {{"InternetShortcut", "URL", "http://na\xC3\xAFve/"}},
         "[InternetShortcut]\r\nURL=http://na\xEFve/\r\nName=\xE9t\xE9\r\n"},
        {"ANSI that cannot hold the value turns UTF-8 with a mark, text kept",
         "[InternetShortcut]\r\nURL=http://a/\r\nName=\xE9t\xE9\r\n",
         {{"InternetShortcut", "URL", "http://\xD0\x96/"}},
         "\xEF\xBB\xBF[InternetShortcut]\r\nURL=http://\xD0\x96/\r\nName=\xC3\xA9t\xC3\xA9\r\n"},
        {"UTF-8 with a mark keeps it", "\xEF\xBB\xBF[InternetShortcut]\nURL=a\n",
         {{"InternetShortcut", "URL", "http://\xD0\x96/"}}, "\xEF\xBB\xBF[InternetShortcut]\nURL=http://\xD0\x96/\n"},
        {"UTF-16 stays UTF-16", Utf16Le(u"[InternetShortcut]\r\nURL=a\r\n[X]\r\nY=\u0416\r\n"),
         {{"InternetShortcut", "URL", "http://\xD0\x96/"}},
         Utf16Le(u"[InternetShortcut]\r\nURL=http://\u0416/\r\n[X]\r\nY=\u0416\r\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(EditIniText(c.before, c.changes), c.after);
    }
}

TEST(IniEdit, Utf7AsTheUnicodeSectionHoldsIt)
{
    EXPECT_EQ(EncodeUtf7("http://example.com/a?b=c"), "http://example.com/a?b=c");
    EXPECT_EQ(EncodeUtf7("1+1"), "1+-1");
    EXPECT_EQ(EncodeUtf7("\xE6\x97\xA5\xE6\x9C\xAC"), "+ZeVnLA-"); // RFC 2152's own example
    EXPECT_EQ(EncodeUtf7("Hi Mom -\xE2\x98\xBA-!"), "Hi Mom -+Jjo--!");
}
