// The icon reader on programs and icon files built in memory: both PE widths, the
// index rules, the pictures inside (doubled DIB heights, AND masks, PNG entries), the
// old executables it leaves alone, and damaged files that must give nothing, never a
// crash or a hang.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/iconfile/FileBytes.h"
#include "platform/iconfile/IconBitmap.h"
#include "platform/iconfile/IconFileReader.h"
#include "platform/util/UniqueFd.h"
#include "tests/support/IconFileImages.h"
#include "tests/support/TestSupport.h"

using namespace platform::iconfile;
using testsupport::BuildIco;
using testsupport::BuildNe;
using testsupport::BuildPe;
using testsupport::IconGroupSpec;
using testsupport::MakeDib;
using testsupport::PeLayout;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

// A PNG stream as far as the reader looks at one: signature and IHDR.
Bytes FakePng(int side)
{
    Bytes v = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (int i = 0; i < 2; ++i)
        v.insert(v.end(), {0, 0, static_cast<std::uint8_t>(side >> 8), static_cast<std::uint8_t>(side)});
    v.resize(v.size() + 40, 0);
    return v;
}

// A named group first in directory order, then IDs 101 and 202; 202 holds a PNG.
std::vector<IconGroupSpec> ThreeGroups()
{
    return {
        {0, "MAINICON", {{16, MakeDib(16, kRed, 8), 8}}},
        {101, "", {{16, MakeDib(16, kGreen), 32}, {32, MakeDib(32, kGreen), 32}}},
        {202, "", {{256, FakePng(256), 32}, {16, MakeDib(16, kBlue), 32}}},
    };
}

// The colour of the first group's image best for `size`, or none.
std::optional<std::uint32_t> CentreOf(const IconFileReader& reader, std::size_t position, int size)
{
    const auto group = reader.ReadGroup(position);
    if (!group)
        return std::nullopt;
    const auto bytes = reader.ReadImage(group->images[IconFileReader::ImagesBySuitability(*group, size).front()]);
    if (!bytes)
        return std::nullopt;
    const auto pixels = DecodeIconDib(*bytes);
    if (!pixels)
        return std::nullopt;
    return pixels->argb[std::size_t(pixels->height / 2 * pixels->width + pixels->width / 2)];
}

TEST(IconFileReaderTest, ProgramsOfBothWidthsFollowTheIndexRules)
{
    struct Case {
        int iconIndex;
        std::optional<std::size_t> position;
    };
    const Case cases[] = {
        {0, 0}, {1, 1}, {2, 2}, {3, std::nullopt},            // the Nth group in directory order
        {-101, 1}, {-202, 2}, {-1, std::nullopt}, {-2147483647 - 1, std::nullopt}, // minus a resource ID
    };
    for (const bool wide : {false, true}) {
        const Bytes pe = BuildPe(wide, ThreeGroups());
        const MemoryBytes source(pe);
        const IconFileReader reader(source);
        ASSERT_EQ(reader.Kind(), IconFileKind::Program) << wide;
        ASSERT_EQ(reader.GroupCount(), 3u) << wide;
        for (const Case& c : cases)
            EXPECT_EQ(reader.GroupOfIconIndex(c.iconIndex), c.position) << wide << " " << c.iconIndex;

        EXPECT_FALSE(reader.ReadGroup(0)->resourceId);
        EXPECT_EQ(reader.ReadGroup(2)->resourceId, 202);
        EXPECT_EQ(CentreOf(reader, 0, 16), 0xFF000000u | kRed) << wide;
        EXPECT_EQ(CentreOf(reader, 1, 32), 0xFF000000u | kGreen) << wide;
        EXPECT_EQ(CentreOf(reader, 2, 16), 0xFF000000u | kBlue) << wide;
        // The PNG entry comes back as it is stored, for the image library.
        const auto group = reader.ReadGroup(2);
        const auto png = reader.ReadImage(group->images[IconFileReader::ImagesBySuitability(*group, 48).front()]);
        ASSERT_TRUE(png);
        EXPECT_EQ(*png, FakePng(256));
        EXPECT_EQ(PngSize(*png), std::make_pair(256, 256));
    }
}

TEST(IconFileReaderTest, DibsHaveHalfTheirHeaderHeightAndTheMaskMakesHoles)
{
    for (const int bits : {8, 32}) {
        const auto pixels = DecodeIconDib(MakeDib(16, kGreen, bits));
        ASSERT_TRUE(pixels) << bits;
        EXPECT_EQ(pixels->width, 16);
        EXPECT_EQ(pixels->height, 16);
        // The 32-bit picture has its own alpha; the 8-bit one takes the mask's hole.
        EXPECT_EQ(pixels->argb[0], bits == 32 ? 0xFF00FF00u : 0u) << bits;
        EXPECT_EQ(pixels->argb[1], 0xFF00FF00u) << bits;
        EXPECT_EQ(pixels->argb[16 * 16 - 1], 0xFF00FF00u) << bits;
    }
}

TEST(IconFileReaderTest, IconFilesHoldOneIconAndOldProgramsNone)
{
    const Bytes ico = BuildIco({{16, MakeDib(16, kRed, 8), 8}, {32, MakeDib(32, kBlue), 32}});
    const MemoryBytes icoSource(ico);
    const IconFileReader reader(icoSource);
    EXPECT_EQ(reader.Kind(), IconFileKind::IconFile);
    EXPECT_EQ(reader.GroupCount(), 1u);
    EXPECT_EQ(reader.GroupOfIconIndex(0), 0u);
    EXPECT_FALSE(reader.GroupOfIconIndex(1));
    EXPECT_FALSE(reader.GroupOfIconIndex(-1));
    EXPECT_EQ(CentreOf(reader, 0, 32), 0xFF000000u | kBlue);
    EXPECT_EQ(CentreOf(reader, 0, 16), 0xFF000000u | kRed);

    const Bytes ne = BuildNe();
    const MemoryBytes neSource(ne);
    EXPECT_EQ(IconFileReader(neSource).Kind(), IconFileKind::OldExecutable);
    EXPECT_EQ(IconFileReader(neSource).GroupCount(), 0u);
    const std::string text = "[InternetShortcut]\r\nURL=x\r\n";
    const MemoryBytes textSource({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    EXPECT_EQ(IconFileReader(textSource).Kind(), IconFileKind::NotIcons);
}

TEST(IconFileReaderTest, AnInstallerIsReadOnlyAsFarAsItsIcon)
{
    testsupport::TempDir dir;
    const Bytes pe = BuildPe(false, ThreeGroups(), 8u << 20);
    testsupport::WriteFile(dir / "setup.exe", std::string(pe.begin(), pe.end()));
    const auto file = FileBytes::Open(dir / "setup.exe");
    ASSERT_TRUE(file);
    const IconFileReader reader(*file);
    EXPECT_EQ(CentreOf(reader, 1, 32), 0xFF000000u | kGreen);
    EXPECT_LT(file->BytesRead(), 64u << 10);
    EXPECT_FALSE(FileBytes::Open(dir.Path())); // a folder is no file to read
}

// A link's icon path may name a FIFO or a device node: opening one waits for a writer
// or runs a driver, so such a file is never opened at all.
TEST(IconFileReaderTest, AnIconPathNamingNoRegularFileIsNeverOpened)
{
    testsupport::TempDir dir;
    const std::string fifo = dir / "icon.ico";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const platform::UniqueFd watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    ASSERT_GE(::inotify_add_watch(watch.Get(), fifo.c_str(), IN_OPEN), 0);
    ::alarm(60); // an open that waits for a writer ends the test instead of hanging it
    EXPECT_FALSE(FileBytes::Open(fifo));
    ::alarm(0);
    char event[256];
    EXPECT_LT(::read(watch.Get(), event, sizeof event), 0) << "the FIFO was opened";
}

// The count a group states is believed only as far as its data holds entries.
TEST(IconFileReaderTest, AGroupClaimingMoreImagesThanItHoldsGivesThoseItHolds)
{
    PeLayout at;
    Bytes pe = BuildPe(false, {{101, "", {{16, MakeDib(16, kRed), 32}, {32, MakeDib(32, kRed), 32}}}}, 0, &at);
    pe[at.firstGroupData + 4] = 10;
    const MemoryBytes source(pe);
    const auto group = IconFileReader(source).ReadGroup(0);
    ASSERT_TRUE(group);
    EXPECT_EQ(group->images.size(), 2u);
}

// Every group and image of a damaged file read as the list and the picker read them.
bool AnyPicture(const Bytes& bytes)
{
    const MemoryBytes source(bytes);
    const IconFileReader reader(source);
    bool any = false;
    for (std::size_t g = 0; g < reader.GroupCount(); ++g)
        if (const auto group = reader.ReadGroup(g))
            for (const auto& image : group->images)
                if (const auto data = reader.ReadImage(image))
                    any = any || DecodeIconDib(*data) || PngSize(*data);
    for (const int index : {0, 1, -1, -101})
        reader.GroupOfIconIndex(index);
    return any;
}

TEST(IconFileReaderTest, DamagedFilesGiveNoPictureAndNoCrash)
{
    PeLayout at;
    const Bytes good = BuildPe(true, {{101, "", {{16, MakeDib(16, kRed), 32}}}}, 0, &at);
    ASSERT_TRUE(AnyPicture(good));
    auto set32 = [](Bytes& b, std::size_t o, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[o + std::size_t(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    auto set16 = [](Bytes& b, std::size_t o, std::uint16_t v) { b[o] = v & 0xFF, b[o + 1] = static_cast<std::uint8_t>(v >> 8); };
    const std::size_t dib = at.firstImageData;
    struct Damage {
        const char* what;
        std::function<void(Bytes&)> apply;
        bool stillShows = false; // what the file does hold is read
    };
    const Damage damages[] = {
        {"PE header past the end", [&](Bytes& b) { set32(b, 0x3C, 0xFFFFFFF0u); }},
        {"no optional header", [&](Bytes& b) { set16(b, at.coff + 16, 0); }},
        {"optional header past the end", [&](Bytes& b) { set16(b, at.coff + 16, 0xFFFF); }},
        {"no data directory for resources", [&](Bytes& b) { set32(b, at.dataDirectories - 4, 2); }},
        {"no sections", [&](Bytes& b) { set16(b, at.coff + 2, 0); }},
        {"65535 sections", [&](Bytes& b) { set16(b, at.coff + 2, 0xFFFF); }},
        {"resource RVA in no section", [&](Bytes& b) { set32(b, at.dataDirectories + 16, 0x900000); }},
        {"section data past the end", [&](Bytes& b) { set32(b, at.sectionTable + 20, 0x7FFFFFF0u); }},
        {"section data size huge", [&](Bytes& b) { set32(b, at.sectionTable + 16, 0xFFFFFFFFu); set32(b, at.sectionTable + 8, 0xFFFFFFFFu); }, true},
        {"root counts huge", [&](Bytes& b) { set16(b, at.resources + 12, 0xFFFF); set16(b, at.resources + 14, 0xFFFF); }, true},
        {"group type loops to the root", [&](Bytes& b) { set32(b, at.groupTypeEntry + 4, 0x80000000u); }},
        {"language loops to itself", [&](Bytes& b) { set32(b, at.firstGroupLanguage + 20, 0x80000000u | std::uint32_t(at.firstGroupLanguage - at.resources)); }},
        {"group data size huge", [&](Bytes& b) { set32(b, at.firstGroupDataEntry + 4, 0xFFFFFFFFu); }},
        {"group data RVA outside", [&](Bytes& b) { set32(b, at.firstGroupDataEntry, 0xFFFFFF00u); }},
        {"group with no images", [&](Bytes& b) { set16(b, at.firstGroupData + 4, 0); }},
        {"group names an absent icon", [&](Bytes& b) { set16(b, at.firstGroupData + 6 + 12, 77); }},
        {"image size huge", [&](Bytes& b) { set32(b, at.firstImageDataEntry + 4, 0x7FFFFFFFu); }},
        {"image RVA wraps", [&](Bytes& b) { set32(b, at.firstImageDataEntry, 0xFFFFFFF0u); }},
        {"DIB header size huge", [&](Bytes& b) { set32(b, dib, 0x10000000u); }},
        {"DIB width huge", [&](Bytes& b) { set32(b, dib + 4, 0x40000000u); }},
        {"DIB height negative", [&](Bytes& b) { set32(b, dib + 8, 0xFFFFFFE0u); }},
        {"DIB height 1", [&](Bytes& b) { set32(b, dib + 8, 1); }},
        {"DIB of 7 bits", [&](Bytes& b) { b[dib + 14] = 7; }},
        {"DIB compressed", [&](Bytes& b) { set32(b, dib + 16, 1); }},
        {"DIB colour rows cut", [&](Bytes& b) { set32(b, dib + 8, 64 * 2); }},
        {"cut in the DOS header", [&](Bytes& b) { b.resize(0x30); }},
        {"cut in the section table", [&](Bytes& b) { b.resize(at.sectionTable + 10); }},
        {"cut in the resource tree", [&](Bytes& b) { b.resize(at.resources + 20); }},
        {"cut in the image", [&](Bytes& b) { b.resize(dib + 40 + 100); }},
    };
    for (const Damage& d : damages) {
        Bytes bytes = good;
        d.apply(bytes);
        EXPECT_EQ(AnyPicture(bytes), d.stillShows) << d.what;
    }

    const Bytes ico = BuildIco({{16, MakeDib(16, kRed), 32}});
    const Damage icoDamages[] = {
        {"ico count huge", [&](Bytes& b) { set16(b, 4, 0xFFFF); set32(b, 6 + 12, 0xFFFFFFF0u); }},
        {"ico image past the end", [&](Bytes& b) { set32(b, 6 + 12, 0x7FFFFFFFu); }},
        {"ico image size huge", [&](Bytes& b) { set32(b, 6 + 8, 0xFFFFFFFFu); }},
        {"ico cut", [&](Bytes& b) { b.resize(30); }},
    };
    for (const Damage& d : icoDamages) {
        Bytes bytes = ico;
        d.apply(bytes);
        EXPECT_FALSE(AnyPicture(bytes)) << d.what;
    }
}

} // namespace
