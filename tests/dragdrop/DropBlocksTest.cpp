// The drag blocks byte for byte, the ID-list array's offsets, and the readers on
// blocks from programs that get them wrong.
#include <gtest/gtest.h>

#include "dragdrop/DropBlocks.h"
#include "platform/shell/IdList.h"
#include "tests/support/TestSupport.h"

using namespace std::string_literals;

namespace {

std::uint32_t U32At(const std::string& block, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(block[at + static_cast<std::size_t>(i)]);
    return v;
}

std::string Header(std::uint32_t list, std::uint32_t wide)
{
    std::string h(20, '\0');
    h[0] = static_cast<char>(list);
    h[16] = static_cast<char>(wide);
    return h;
}

std::string Wide(const std::u16string& text)
{
    std::string bytes;
    for (char16_t u : text)
        bytes += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    return bytes;
}

} // namespace

TEST(DropBlocksTest, BlocksAreBuiltByteForByte)
{
    const std::vector<std::string> paths = {"C:\\Links\\Mail.lnk", "C:\\Links\\Web.url"};
    const std::vector<std::string> names = {"Mail.lnk", "Web.url"};
    const struct {
        const char* what;
        std::optional<std::string> block;
        std::string expected;
    } cases[] = {
        {"file drop", MakeFileDropBlock(paths), Header(20, 0) + "C:\\Links\\Mail.lnk\0C:\\Links\\Web.url\0\0"s},
        {"narrow map", MakeNameMap(names), "Mail.lnk\0Web.url\0\0"s},
        {"wide map", MakeWideNameMap(names), Wide(u"Mail.lnk\0Web.url\0\0"s)},
        {"preferred effect", MakePreferredEffectBlock(DROPEFFECT_MOVE), "\x02\0\0\0"s},
        {"no files", MakeFileDropBlock({}), Header(20, 0) + "\0"s},
        // Non-UTF-8 bytes travel in the wide map as lone surrogates; the map keeps
        // the size Windows gives it from the narrow names.
        {"wide map, raw byte", MakeWideNameMap({"\xE9t\xC3\xA9"}), Wide(u"\xDCE9t\u00E9\0\0\0"s)},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.block) << c.what;
        EXPECT_EQ(*c.block, c.expected) << c.what;
    }
    EXPECT_EQ(MakeFileDropBlock(paths)->size(), 56u);
    EXPECT_EQ(MakeNameMap(names)->size(), 18u);
    EXPECT_EQ(MakeWideNameMap(names)->size(), 36u);
}

TEST(DropBlocksTest, ShellIdListArrayPlacesTheFolderThenEachItem)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "Mail.lnk", "x");
    testsupport::WriteFile(dir / "Web.url", "x");
    const auto block = MakeShellIdListArray(dir.Path() + "/", {"Mail.lnk", "Web.url"});
    ASSERT_TRUE(block);
    EXPECT_EQ(U32At(*block, 0), 2u);
    ASSERT_EQ(U32At(*block, 4), 16u);
    std::size_t end = 16;
    const char* expectedNames[] = {nullptr, "Mail.lnk", "Web.url"};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t at = U32At(*block, 4 + 4 * i);
        ASSERT_EQ(at, end) << i; // packed without gaps
        const auto* list = reinterpret_cast<const std::uint8_t*>(block->data() + at);
        ASSERT_TRUE(platform::shell::IsWellFormedList(list, block->size() - at)) << i;
        end += platform::shell::ListSize(list);
        if (expectedNames[i]) {
            platform::shell::ItemView item;
            ASSERT_TRUE(platform::shell::DecodeItem(list, item));
            EXPECT_EQ(item.text, expectedNames[i]);
            EXPECT_EQ(platform::shell::ItemCount(list), 1u);
        }
    }
    EXPECT_EQ(end, block->size());

    // No block with an entry missing, nor for a folder that is none.
    EXPECT_FALSE(MakeShellIdListArray(dir.Path(), {"Mail.lnk", "gone.lnk"}));
    EXPECT_FALSE(MakeShellIdListArray(dir / "gone", {"Mail.lnk"}));
    EXPECT_FALSE(MakeShellIdListArray(dir / "Mail.lnk", {"x"}));
}

TEST(DropBlocksTest, FileDropBlocksFromAnyProgramAreReadOrRefusedWhole)
{
    const std::vector<std::string> none;
    const std::vector<std::string> two = {"/tmp/a b", "/tmp/\xE9"};
    const struct {
        const char* what;
        std::string block;
        std::vector<std::string> files;
    } cases[] = {
        {"narrow", Header(20, 0) + "/tmp/a b\0/tmp/\xE9\0\0"s, two},
        {"wide gives the same names", Header(20, 1) + Wide(u"/tmp/a b\0/tmp/\xDCE9\0\0"s), two},
        {"wide, characters", Header(20, 1) + Wide(u"/t\u00E9\U0001F600\0\0"s), {"/t\xC3\xA9\xF0\x9F\x98\x80"}},
        {"list farther on", Header(24, 0) + "junk/x\0\0"s, {"/x"}},
        {"list ends with the block", Header(20, 0) + "/x\0"s, {"/x"}},
        {"empty list", Header(20, 0) + "\0"s, none},
        {"no list at all", Header(20, 0), none},
        {"short header", "\x14\0\0\0"s, none},
        {"list inside the header", Header(8, 0) + "/x\0\0"s, none},
        {"list past the end", Header(200, 0) + "/x\0\0"s, none},
        {"name without its terminator", Header(20, 0) + "/x\0/tmp/cut"s, none},
        {"wide name without its terminator", Header(20, 1) + Wide(u"/x\0/y"s), none},
        {"half a unit", Header(20, 1) + Wide(u"/x"s) + "\0"s, none},
        // Data of the other width: names come out, but none is a full path.
        {"wide data read narrow", Header(20, 0) + Wide(u"/x\0\0"s), {"/", "x"}},
        {"narrow data read wide", Header(20, 1) + "/x\0\0"s, {"\xE7\xA0\xAF"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> files = {"stale"};
        EXPECT_EQ(ReadFileDropBlock(c.block, files), !c.files.empty()) << c.what;
        EXPECT_EQ(files, c.files) << c.what;
    }
    // What was built reads back.
    std::vector<std::string> files;
    ASSERT_TRUE(ReadFileDropBlock(*MakeFileDropBlock(two), files));
    EXPECT_EQ(files, two);
}

TEST(DropBlocksTest, NameMapsAreReadOrRefusedWhole)
{
    const std::vector<std::string> none;
    const struct {
        const char* what;
        std::vector<std::string> names;
        std::vector<std::string> wideNames;
        std::string narrow, wide;
    } cases[] = {
        {"two names", {"Mail.lnk", "Web.url"}, {"Mail.lnk", "Web.url"}, "Mail.lnk\0Web.url\0\0"s,
         Wide(u"Mail.lnk\0Web.url\0\0"s)},
        {"empty map", none, none, "\0"s, Wide(u"\0"s)},
        {"nothing", none, none, "", ""},
        {"missing terminator", none, none, "a\0b"s, Wide(u"a\0b"s)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadNameMap(c.narrow), c.names) << c.what;
        EXPECT_EQ(ReadWideNameMap(c.wide), c.wideNames) << c.what;
    }
    EXPECT_EQ(ReadWideNameMap(*MakeWideNameMap({"\xE9t\xC3\xA9", "b"})),
              (std::vector<std::string>{"\xE9t\xC3\xA9", "b"}));
}
