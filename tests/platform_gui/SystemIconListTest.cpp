// The system icon list: never a blank icon, one index per distinct icon, and links
// showing their target's icon with the overlay only while the target is there.
#include <sys/stat.h>
#include <unistd.h>

#include <QIcon>
#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "platform/icons/SystemIconList.h"
#include "platform/shelllink/ShellLink.h"
#include "tests/foldertree/DeepFolders.h"
#include "tests/support/HangingMount.h"
#include "tests/support/TestSupport.h"

using platform::ShellIconKind;
using platform::SystemIconList;
using testsupport::MakeDirs;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

int OpaquePixels(const QPixmap& pm)
{
    const QImage image = pm.toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 64)
                ++n;
    return n;
}

void WriteLink(const std::string& linkPath, const std::string& hostTarget, std::uint32_t targetAttributes = 0)
{
    std::string windows = "Z:";
    for (char c : hostTarget)
        windows += c == '/' ? '\\' : c;
    platform::ShellLink link;
    platform::LinkTargetInfo info;
    info.attributes = targetAttributes;
    link.SetTargetInfo(info);
    link.SetPath(windows);
    ASSERT_TRUE(link.Save(linkPath));
}

TEST(SystemIconListTest, EveryKindAndNameHasAPictureAtBothSizes)
{
    SystemIconList& icons = SystemIconList::Instance();
    // Offscreen no desktop names a theme: the installed one is taken.
    EXPECT_FALSE(SystemIconList::ThemeName().isEmpty());
    EXPECT_NE(SystemIconList::ThemeName(), "hicolor");
    std::vector<int> indexes;
    for (ShellIconKind kind : {ShellIconKind::Folder, ShellIconKind::FolderOpen, ShellIconKind::File,
                               ShellIconKind::Computer, ShellIconKind::Drive, ShellIconKind::RemovableDrive,
                               ShellIconKind::NetworkDrive, ShellIconKind::Home, ShellIconKind::Desktop,
                               ShellIconKind::Trash})
        indexes.push_back(icons.IndexForKind(kind));
    for (const char* name : {"a.txt", "b.pdf", "c.exe", "d.lnk", "e.url", "noextension", "f.weird-unknown-ext"})
        indexes.push_back(icons.IndexForName(name, false));
    for (int index : indexes) {
        ASSERT_GE(index, 0);
        ASSERT_LT(index, icons.Count());
        const QPixmap small = icons.Pixmap(index, SystemIconList::kSmallSize);
        const QPixmap large = icons.Pixmap(index, SystemIconList::kLargeSize);
        EXPECT_EQ(small.deviceIndependentSize().toSize(), QSize(16, 16)) << index;
        EXPECT_EQ(large.deviceIndependentSize().toSize(), QSize(32, 32)) << index;
        EXPECT_GT(OpaquePixels(small), 10) << index;
        EXPECT_GT(OpaquePixels(large), 40) << index;
        EXPECT_FALSE(icons.Icon(index).isNull());
    }
    // Indexes out of range still draw something.
    EXPECT_GT(OpaquePixels(icons.Pixmap(-1, 16)), 10);
    EXPECT_GT(OpaquePixels(icons.Pixmap(icons.Count() + 100, 16)), 10);
}

TEST(SystemIconListTest, SameKindSameIndexDifferentKindsDiffer)
{
    SystemIconList& icons = SystemIconList::Instance();
    EXPECT_EQ(icons.IndexForName("one.txt", false), icons.IndexForName("two.TXT", false));
    EXPECT_EQ(icons.IndexForName("x", true), icons.IndexForKind(ShellIconKind::Folder));
    EXPECT_NE(icons.IndexForName("x.txt", false), icons.IndexForName("x.txt", true));
    EXPECT_NE(icons.IndexForKind(ShellIconKind::Folder), icons.IndexForKind(ShellIconKind::File));
    // Asking again adds nothing.
    const int count = icons.Count();
    icons.IndexForName("three.txt", false);
    icons.IndexForKind(ShellIconKind::Folder);
    EXPECT_EQ(icons.Count(), count);
}

TEST(SystemIconListTest, PathsAreAskedAboutTheItemItself)
{
    TempDir dir;
    SystemIconList& icons = SystemIconList::Instance();
    MakeDirs(dir / "folder.txt"); // a folder whatever its name says
    WriteFile(dir / "page.html", "<html></html>");
    EXPECT_EQ(icons.IndexForPath(dir / "folder.txt"), icons.IndexForKind(ShellIconKind::Folder));
    EXPECT_EQ(icons.IndexForPath(dir / "folder.txt", true), icons.IndexForKind(ShellIconKind::FolderOpen));
    EXPECT_EQ(icons.IndexForPath(dir / "page.html"), icons.IndexForName("other.html", false));
    // A path that is not there is answered from its name.
    EXPECT_EQ(icons.IndexForPath(dir / "absent.html"), icons.IndexForName("absent.html", false));
    // A folder too deep for the kernel to take its path whole is still a folder.
    const std::string deep = testsupport::MakeDeepFolder(dir.Path(), "deep-folder-level", PATH_MAX + 100, "leaf");
    EXPECT_EQ(icons.IndexForPath(deep + "/leaf"), icons.IndexForKind(ShellIconKind::Folder));
    testsupport::RemoveDeepFolder(dir.Path(), "deep-folder-level");
}

TEST(SystemIconListTest, NothingOnANetworkMountIsAsked)
{
    TempDir dir; // outlives the mount: removing links into it then asks nothing
    std::string whyNot;
    const auto volume = testsupport::HangingVolume::Create(whyNot);
    if (!volume)
        GTEST_SKIP() << whyNot;
    const std::string share = volume->Path();
    SystemIconList& icons = SystemIconList::Instance();
    MakeDirs(dir / "folder");
    WriteFile(dir / "doc.html", "<html></html>");
    WriteLink(dir / "to-local-doc.lnk", dir / "doc.html");
    WriteLink(dir / "to-local-folder.lnk", dir / "folder");
    WriteLink(dir / "to-remote-doc.lnk", share + "/page.html");
    WriteLink(dir / "to-remote-folder.lnk", share + "/tools", 0x10);
    {
        WriteLink(dir / "icon-on-share.lnk", dir / "doc.html");
        platform::ShellLink iconThere;
        ASSERT_TRUE(iconThere.Load(dir / "icon-on-share.lnk"));
        std::string windows = "Z:" + share + "/app.exe";
        std::replace(windows.begin(), windows.end(), '/', '\\');
        iconThere.SetIconLocation(windows, 0);
        ASSERT_TRUE(iconThere.Save(dir / "icon-on-share.lnk"));
    }
    ASSERT_EQ(::symlink((share + "/sub").c_str(), (dir / "d:").c_str()), 0);

    const int folder = icons.IndexForKind(ShellIconKind::Folder);
    struct Case {
        std::string path;
        bool isFolder; // as the caller knows it
        int icon;
    };
    const Case cases[] = {
        {share, false, folder},
        {share + "/tools", true, folder},
        {share + "/page.html", false, icons.IndexForName("x.html", false)},
        {dir / "d:", false, folder},
        // A link's target there is of unknown state: shown as if it were there.
        {dir / "to-remote-doc.lnk", false, icons.IndexForPath(dir / "to-local-doc.lnk")},
        {dir / "to-remote-folder.lnk", false, icons.IndexForPath(dir / "to-local-folder.lnk")},
        // An icon location there is not read: the target's icon stands.
        {dir / "icon-on-share.lnk", false, icons.IndexForPath(dir / "to-local-doc.lnk")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(icons.IndexForPath(c.path, false, c.isFolder), c.icon) << c.path;
    EXPECT_EQ(volume->RequestCount(), 0);
}

TEST(SystemIconListTest, LinksShowTheirTargetWithTheOverlay)
{
    TempDir dir;
    SystemIconList& icons = SystemIconList::Instance();
    MakeDirs(dir / "target-folder");
    WriteFile(dir / "doc.html", "<html></html>");
    WriteLink(dir / "to-folder.lnk", dir / "target-folder");
    WriteLink(dir / "to-doc.lnk", dir / "doc.html");

    const int folder = icons.IndexForKind(ShellIconKind::Folder);
    const int toFolder = icons.IndexForPath(dir / "to-folder.lnk");
    const int toDoc = icons.IndexForPath(dir / "to-doc.lnk");
    EXPECT_NE(toFolder, folder);
    EXPECT_NE(toFolder, toDoc);
    // The overlay changes the picture of the target's icon.
    EXPECT_NE(icons.Pixmap(toFolder, 16).toImage(), icons.Pixmap(folder, 16).toImage());
    // Two links to the same kind of target share an index.
    WriteLink(dir / "to-folder-2.lnk", dir / "target-folder");
    EXPECT_EQ(icons.IndexForPath(dir / "to-folder-2.lnk"), toFolder);

    // The target goes: the link keeps its icon, overlay included.
    ::unlink((dir / "doc.html").c_str());
    EXPECT_EQ(icons.IndexForPath(dir / "to-doc.lnk"), toDoc);
    // A damaged link shows a link file's icon, never a blank.
    WriteFile(dir / "damaged.lnk", "not a link at all");
    const int damaged = icons.IndexForPath(dir / "damaged.lnk");
    EXPECT_GT(OpaquePixels(icons.Pixmap(damaged, 16)), 10);
    EXPECT_EQ(damaged, icons.IndexForName("other.lnk", false));
}

} // namespace
