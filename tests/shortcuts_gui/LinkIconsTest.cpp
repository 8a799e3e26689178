// Programs' own icons as the list asks for them: which icon a shell link shows, and a
// program read once for all its links.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "foldertree/SystemImageList.h"
#include "platform/icons/SystemIconList.h"
#include "platform/shelllink/ShellLink.h"
#include "tests/support/IconFileImages.h"
#include "tests/support/TestSupport.h"

using platform::SystemIconList;
using testsupport::BuildIco;
using testsupport::BuildNe;
using testsupport::BuildPe;
using testsupport::MakeDib;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr QRgb kBlue = 0xFF0000FF, kGreen = 0xFF00FF00, kMagenta = 0xFFFF00FF, kRed = 0xFFFF0000;

std::string Windows(const std::string& host)
{
    std::string w = "Z:";
    for (char c : host)
        w += c == '/' ? '\\' : c;
    return w;
}

void WriteBytes(const std::string& path, const Bytes& bytes) { WriteFile(path, std::string(bytes.begin(), bytes.end())); }

Bytes Png(int side, QRgb colour)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return Bytes(data.begin(), data.end());
}

// A program whose first icon is `first` and whose second (ID 7) is green, as a PNG.
Bytes Program(QRgb first, bool wide = false)
{
    return BuildPe(wide, {{5, "", {{16, MakeDib(16, first & 0xFFFFFF), 32}, {32, MakeDib(32, first & 0xFFFFFF), 32}}},
                          {7, "", {{48, Png(48, kGreen), 32}}}});
}

void WriteLink(const std::string& linkPath, const std::string& hostTarget, const std::string& iconHost = "",
               int iconIndex = 0)
{
    platform::ShellLink link;
    link.SetPath(Windows(hostTarget));
    if (!iconHost.empty())
        link.SetIconLocation(Windows(iconHost), iconIndex);
    ASSERT_TRUE(link.Save(linkPath));
}

// The list's icon index of a path.
int ListIcon(const std::string& path) { return TdfsSystemImageList::GetFileIconIndex(path, false, false, 0); }

// The colour of the picture's upper right part, away from the link overlay.
QRgb Colour(int index)
{
    return SystemIconList::Instance().Pixmap(index, 32).toImage().convertToFormat(QImage::Format_ARGB32).pixel(26, 5);
}

TEST(LinkIconsTest, ALinkShowsTheIconItNamesElseItsTargetsElseItsType)
{
    TempDir dir;
    SystemIconList& icons = SystemIconList::Instance();
    WriteBytes(dir / "app.exe", Program(kBlue));
    WriteBytes(dir / "app64.exe", Program(kRed, true));
    WriteBytes(dir / "picture.ico", BuildIco({{32, MakeDib(32, kMagenta & 0xFFFFFF), 32}}));
    WriteBytes(dir / "old.exe", BuildNe());
    WriteFile(dir / "page.html", "<html></html>");
    WriteFile(dir / "plain.exe", "not a program");

    struct Case {
        const char* link;
        std::string target, iconFile;
        int iconIndex;
        std::optional<QRgb> colour; // a program's own picture; none: a type icon
        const char* sameAs;         // a type icon: the same index as this link's
    };
    const Case cases[] = {
        {"own.lnk", dir / "app.exe", "", 0, kBlue, nullptr},
        {"own64.lnk", dir / "app64.exe", "", 0, kRed, nullptr},
        {"ico.lnk", dir / "picture.ico", "", 0, kMagenta, nullptr},
        {"named.lnk", dir / "page.html", dir / "app.exe", 1, kGreen, nullptr},
        {"by-id.lnk", dir / "page.html", dir / "app.exe", -7, kGreen, nullptr},
        {"gone-named.lnk", dir / "gone.html", dir / "app.exe", 0, kBlue, nullptr},
        {"doc.lnk", dir / "page.html", "", 0, std::nullopt, nullptr},
        {"no-such-icon.lnk", dir / "page.html", dir / "app.exe", 9, std::nullopt, "doc.lnk"},
        {"icon-not-there.lnk", dir / "page.html", dir / "missing.ico", 0, std::nullopt, "doc.lnk"},
        {"gone-doc.lnk", dir / "gone.html", "", 0, std::nullopt, "doc.lnk"},
        {"plain.lnk", dir / "plain.exe", "", 0, std::nullopt, nullptr},
        {"old.lnk", dir / "old.exe", "", 0, std::nullopt, "plain.lnk"},
        {"gone-program.lnk", dir / "gone.exe", "", 0, std::nullopt, "plain.lnk"},
    };
    std::map<std::string, int> found;
    for (const Case& c : cases) {
        WriteLink(dir / c.link, c.target, c.iconFile, c.iconIndex);
        const int index = ListIcon(dir / c.link);
        found[c.link] = index;
        if (c.colour) {
            EXPECT_EQ(Colour(index), *c.colour) << c.link;
        }
        if (c.sameAs) {
            EXPECT_EQ(index, found[c.sameAs]) << c.link;
        }
    }
    // Every one carries the overlay: none is the bare picture of a file.
    EXPECT_NE(found["doc.lnk"], icons.IndexForName("x.html", false));
    EXPECT_NE(icons.Pixmap(found["own.lnk"], 32).toImage(), icons.Pixmap(ListIcon(dir / "app.exe"), 32).toImage());
    EXPECT_EQ(Colour(ListIcon(dir / "app.exe")), kBlue);
}

TEST(LinkIconsTest, AProgramIsReadOnceForAllItsLinks)
{
    TempDir dir;
    SystemIconList& icons = SystemIconList::Instance();
    const std::string program = dir / "tool.exe";
    WriteBytes(program, Program(kBlue));
    WriteLink(dir / "first.lnk", program);
    const int first = ListIcon(dir / "first.lnk");
    const int count = icons.Count();
    platform::ShellLink same;
    same.SetPath(Windows(program));
    const Bytes image = same.SaveToBytes();
    for (int i = 0; i < 200; ++i) {
        const std::string link = dir / ("link " + std::to_string(i) + ".lnk");
        WriteBytes(link, image);
        ASSERT_EQ(ListIcon(link), first) << i;
    }
    EXPECT_EQ(icons.Count(), count);

    // Rewritten in place with the same size and time: the picture read before stays.
    struct stat before;
    ASSERT_EQ(::stat(program.c_str(), &before), 0);
    const Bytes red = Program(kRed);
    ASSERT_EQ(red.size(), static_cast<std::size_t>(before.st_size));
    const int fd = ::open(program.c_str(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, red.data(), red.size(), 0), static_cast<ssize_t>(red.size()));
    ::close(fd);
    timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, program.c_str(), times, 0), 0);
    WriteLink(dir / "later.lnk", program);
    EXPECT_EQ(ListIcon(dir / "later.lnk"), first);

    // A new modification time: read again.
    times[1].tv_sec += 10;
    ASSERT_EQ(::utimensat(AT_FDCWD, program.c_str(), times, 0), 0);
    EXPECT_EQ(Colour(ListIcon(dir / "later.lnk")), kRed);
}

} // namespace
