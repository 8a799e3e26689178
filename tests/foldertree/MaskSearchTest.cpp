#include <gtest/gtest.h>

#include "foldertree/MaskSearch.h"

TEST(MaskParsing, SplitsLowerCasesSortsAndKeepsBlanks)
{
    TMaskList list;
    ParseMaskString("", list);
    EXPECT_EQ(list.Patterns, std::vector<std::string>{"*"});
    EXPECT_FALSE(list.Sorted);

    ParseMaskString("*.URL;*.LNK", list);
    EXPECT_EQ(list.Patterns, (std::vector<std::string>{"*.lnk", "*.url"}));
    EXPECT_TRUE(list.Sorted);

    // No trimming: the blank stays and then matches no path.
    ParseMaskString("*.lnk; *.url", list);
    EXPECT_EQ(list.Patterns, (std::vector<std::string>{" *.url", "*.lnk"}));
    EXPECT_FALSE(MatchesMaskList("/x/site.url", &list));
    EXPECT_TRUE(MatchesMaskList("/x/app.lnk", &list));

    // A trailing ";" adds nothing; an empty segment is an empty pattern.
    ParseMaskString("a;;b;", list);
    EXPECT_EQ(list.Patterns, (std::vector<std::string>{"", "a", "b"}));
    // Parsing again starts from scratch.
    ParseMaskString("*.PIF", list);
    EXPECT_EQ(list.Patterns, std::vector<std::string>{"*.pif"});
}

TEST(MaskMatching, FollowsTheWildcardRulesWithoutBacktracking)
{
    EXPECT_TRUE(MatchesMask("/x/ab.txt", "*b?txt")); // the first "b", "?" takes the dot
    EXPECT_FALSE(MatchesMask("abc", "a?"));
    EXPECT_TRUE(MatchesMask("abc", "a*"));
    EXPECT_TRUE(MatchesMask("abc", "abc"));
    EXPECT_TRUE(MatchesMask("abc", "*"));
    EXPECT_TRUE(MatchesMask("a.b", "*.*"));
    EXPECT_FALSE(MatchesMask("ab", ""));
    EXPECT_FALSE(MatchesMask("abc", "abd"));
    EXPECT_FALSE(MatchesMask("ab", "abc"));
    EXPECT_TRUE(MatchesMask("abc", "???"));
    EXPECT_FALSE(MatchesMask("ab", "???"));
    EXPECT_TRUE(MatchesMask("/docs/a.txt", "*.txt"));
    EXPECT_FALSE(MatchesMask("/docs/a.txt", "a*.txt")); // the whole path has to fit
    // The leftmost occurrence is taken and never a later one.
    EXPECT_FALSE(MatchesMask("abxaby", "*ab?"));
    EXPECT_TRUE(MatchesMask("xaby", "*ab?"));
    // A last literal after "*" only has to end the name.
    EXPECT_TRUE(MatchesMask("a.lnk.lnk", "*.lnk"));
    EXPECT_FALSE(MatchesMask("a.lnk.txt", "*.lnk"));
    EXPECT_FALSE(MatchesMask("lnk", "*.lnk"));
    EXPECT_TRUE(MatchesMask("abcd", "a*c*"));
    EXPECT_TRUE(MatchesMask("abcd", "a*?d"));
}

TEST(MaskMatching, ListsLowerCaseTheNameAndGiveDotlessNamesADot)
{
    TMaskList list;
    ParseMaskString("*.lnk", list);
    EXPECT_TRUE(MatchesMaskList("/Start Menu/APP.LNK", &list));
    EXPECT_FALSE(MatchesMaskList("/x/readme", &list));

    ParseMaskString("*.*", list);
    EXPECT_TRUE(MatchesMaskList("/x/readme", &list));
    EXPECT_TRUE(MatchesMaskList("/x/a.b", &list));
    ParseMaskString("*.", list);
    EXPECT_TRUE(MatchesMaskList("/x/readme", &list));

    // No list, or an empty one, lets everything through.
    EXPECT_TRUE(MatchesMaskList("/x/anything", nullptr));
    TMaskList empty;
    EXPECT_TRUE(MatchesMaskList("/x/anything", &empty));
}
