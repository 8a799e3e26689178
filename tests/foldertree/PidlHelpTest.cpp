#include <gtest/gtest.h>

#include <cstring>

#include "foldertree/PidlHelp.h"

namespace {

IdList ListOf(std::initializer_list<std::uint8_t> bytes)
{
    IdList list = AllocIdList(bytes.size());
    std::memcpy(list.Data(), bytes.begin(), bytes.size());
    return list;
}

} // namespace

TEST(PidlHelp, SizesCopiesAndJoinsLists)
{
    const long before = ShellMalloc().LiveBlocks();
    {
        // Two items: counts 4 and 3, then the terminator.
        IdList two = ListOf({4, 0, 'a', 'b', 3, 0, 'c', 0, 0});
        IdList desktop = ListOf({0, 0});
        EXPECT_EQ(IdListSize(nullptr), 0u);
        EXPECT_EQ(IdListSize(desktop.Get()), 2u);
        EXPECT_EQ(IdListSize(two.Get()), 9u);

        IdList zeroed = AllocIdList(6);
        ASSERT_TRUE(zeroed);
        EXPECT_EQ(std::memcmp(zeroed.Get(), "\0\0\0\0\0\0", 6), 0);
        EXPECT_FALSE(AllocIdList(0));

        IdList copy = CopyIdList(two.Get());
        ASSERT_TRUE(copy);
        EXPECT_NE(copy.Get(), two.Get());
        EXPECT_EQ(std::memcmp(copy.Get(), two.Get(), 9), 0);
        EXPECT_FALSE(CopyIdList(nullptr));

        IdList joined = ConcatIdLists(two.Get(), two.Get());
        EXPECT_EQ(IdListSize(joined.Get()), 16u);
        EXPECT_EQ(std::memcmp(joined.Get() + 7, two.Get(), 9), 0);
        // Joined to nothing: a plain copy; the desktop with the desktop: the desktop.
        IdList alone = ConcatIdLists(nullptr, two.Get());
        EXPECT_EQ(std::memcmp(alone.Get(), two.Get(), 9), 0);
        IdList empty = ConcatIdLists(nullptr, desktop.Get());
        EXPECT_EQ(IdListSize(empty.Get()), 2u);
        // A missing second list still leaves a terminated list.
        IdList firstOnly = ConcatIdLists(two.Get(), nullptr);
        EXPECT_EQ(IdListSize(firstOnly.Get()), 9u);

        PCIdList next = NextId(two.Get());
        ASSERT_EQ(next, two.Get() + 4);
        EXPECT_EQ(next[2], 'c');
        next = NextId(next);
        EXPECT_EQ(IdListSize(next), 2u);
        EXPECT_EQ(NextId(next), nullptr);
        EXPECT_EQ(NextId(nullptr), nullptr);

        IdList first = CopyFirstId(two.Get());
        EXPECT_EQ(IdListSize(first.Get()), 6u);
        EXPECT_EQ(first.Get()[3], 'b');
        EXPECT_EQ(first.Get()[4], 0);
        IdList ofEmpty = CopyFirstId(desktop.Get());
        EXPECT_EQ(IdListSize(ofEmpty.Get()), 2u);

        FreeIdList(copy);
        EXPECT_FALSE(copy);
        FreeIdList(copy); // freeing nothing is fine
    }
    // Every block went back to the allocator.
    EXPECT_EQ(ShellMalloc().LiveBlocks(), before);
}
