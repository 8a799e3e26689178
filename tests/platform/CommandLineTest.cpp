// Windows command lines split as the shell splits them.
#include <gtest/gtest.h>

#include "platform/util/CommandLine.h"

using platform::SplitArguments;
using platform::SplitCommandLine;

namespace {

struct SplitCase {
    const char* line;
    std::vector<std::string> words;
};

TEST(CommandLine, SplitsAsTheShellDoes)
{
    const SplitCase cases[] = {
        {"", {}},
        {" \t ", {}},
        {"prog", {"prog"}},
        {"prog a  b\tc ", {"prog", "a", "b", "c"}},
        // The program: a quoted run without escapes, or up to the first blank.
        {R"("C:\Program Files\x.exe" /s)", {R"(C:\Program Files\x.exe)", "/s"}},
        {R"(C:\dir\x.exe" a)", {R"(C:\dir\x.exe")", "a"}},
        {R"("a b"c d)", {"a b", "c", "d"}},
        {" lead", {"", "lead"}},
        // Arguments: backslashes are literal unless a quote follows them.
        {R"(p "abc" d e)", {"p", "abc", "d", "e"}},
        {R"(p a\\\b d"e f"g h)", {"p", R"(a\\\b)", "de fg", "h"}},
        {R"(p a\\\"b c d)", {"p", R"(a\"b)", "c", "d"}},
        {R"(p a\\\\"b c" d e)", {"p", R"(a\\b c)", "d", "e"}},
        {R"(p C:\dir\ "C:\a b\\")", {"p", R"(C:\dir\)", R"(C:\a b\)"}},
        {R"(p "")", {"p", ""}},
        {R"(p "" "")", {"p", "", ""}},
        // Two quotes inside a quoted run: a literal quote, and the run ends (the
        // next quote opens another).
        {R"(p "a""b" c)", {"p", "a\"b c"}},
        {R"(p a"b"" c d)", {"p", "ab\"", "c", "d"}},
        {R"(p """a b""")", {"p", "\"a", "b\""}},
        {R"(p "unclosed arg)", {"p", "unclosed arg"}},
        // Bytes that are not ASCII pass unchanged.
        {"p caf\xC3\xA9 \xFF", {"p", "caf\xC3\xA9", "\xFF"}},
    };
    for (const SplitCase& c : cases)
        EXPECT_EQ(SplitCommandLine(c.line), c.words) << "line: " << c.line;
}

TEST(CommandLine, ArgumentsAloneFollowTheArgumentRules)
{
    EXPECT_EQ(SplitArguments(R"("C:\a b\x.txt" /p)"), (std::vector<std::string>{R"(C:\a b\x.txt)", "/p"}));
    EXPECT_EQ(SplitArguments(R"(-o "x"" y")"), (std::vector<std::string>{"-o", "x\"", "y"}));
    EXPECT_EQ(SplitArguments("  "), std::vector<std::string>{});
}

} // namespace
