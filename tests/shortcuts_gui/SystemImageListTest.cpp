// The image-list component over the system icons.
#include <gtest/gtest.h>

#include <climits>

#include "foldertree/SystemImageList.h"
#include "platform/icons/SystemIconList.h"
#include "tests/foldertree/DeepFolders.h"
#include "tests/support/TestSupport.h"

using platform::ShellIconKind;
using platform::SystemIconList;

namespace {

TEST(SystemImageListTest, SizeAndSharingFollowTheProperties)
{
    TdfsSystemImageList list;
    EXPECT_EQ(list.Version(), "TdfsSystemImageList v1.16");
    list.SetVersion("other");
    EXPECT_EQ(list.Version(), "TdfsSystemImageList v1.16");
    EXPECT_EQ(list.ImageSize(), isLarge);
    EXPECT_TRUE(list.ShareImages());
    EXPECT_EQ(list.Width(), 32);
    list.SetImageSize(isSmall);
    EXPECT_EQ(list.Width(), 16);
    EXPECT_EQ(list.Height(), 16);
    EXPECT_EQ(list.Pixmap(0).deviceIndependentSize().toSize(), QSize(16, 16));

    // A private copy holds the system list's images as they were.
    const int folder = SystemIconList::Instance().IndexForKind(ShellIconKind::Folder);
    list.SetShareImages(false);
    EXPECT_FALSE(list.ShareImages());
    EXPECT_EQ(list.Count(), SystemIconList::Instance().Count());
    EXPECT_EQ(list.Pixmap(folder).toImage(), SystemIconList::Instance().Pixmap(folder, 16).toImage());
    list.SetShareImages(true);
    EXPECT_EQ(list.Count(), SystemIconList::Instance().Count());
}

TEST(SystemImageListTest, FileIconIndexLooksAtTheDiskOnlyWithoutAttributes)
{
    testsupport::TempDir dir;
    testsupport::MakeDirs(dir / "sub.txt");
    SystemIconList& icons = SystemIconList::Instance();
    const int folder = icons.IndexForKind(ShellIconKind::Folder);
    EXPECT_EQ(TdfsSystemImageList::GetFileIconIndex(dir / "sub.txt", false, false, 0), folder);
    // With attributes the name and the attributes decide, whatever is on disk.
    EXPECT_EQ(TdfsSystemImageList::GetFileIconIndex(dir / "sub.txt", false, false, faNormal),
              icons.IndexForName("x.txt", false));
    EXPECT_EQ(TdfsSystemImageList::GetFileIconIndex(dir / "absent", false, false, faDirectory), folder);
    EXPECT_EQ(TdfsSystemImageList::GetFileIconIndex(dir / "absent.txt", false, false, 0),
              icons.IndexForName("x.txt", false));
    // However deep the folder, past what the kernel takes as one path.
    const std::string deep = testsupport::MakeDeepFolder(dir.Path(), "deep-folder-level", PATH_MAX + 100, "leaf");
    EXPECT_EQ(TdfsSystemImageList::GetFileIconIndex(deep + "/leaf", false, false, 0), folder);
    testsupport::RemoveDeepFolder(dir.Path(), "deep-folder-level");
}

} // namespace
