// Network mounts are recognised from the mount table, and a path is followed to the
// mount it reaches without ever touching that mount; the namespace never waits on one.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include <gtest/gtest.h>

#include "platform/drivemap/DriveMap.h"
#include "platform/shell/NetworkMounts.h"
#include "platform/shell/ShellFolder.h"
#include "platform/shell/Volumes.h"
#include "tests/support/HangingMount.h"
#include "tests/support/TestSupport.h"

using namespace platform::shell;
using testsupport::TempDir;

namespace {

std::string Line(int id, const std::string& point, const std::string& type, const std::string& source)
{
    return std::to_string(id) + " 1 0:" + std::to_string(id) + " / " + point + " rw - " + type + " " + source + " rw\n";
}

} // namespace

TEST(NetworkMountsTest, TheTableNamesRemoteFileSystemsWhereverTheyAreMounted)
{
    const std::string table = Line(20, "/", "ext4", "/dev/vda") + Line(21, "/home/ann/nas", "nfs4", "nas:/export") +
                              Line(22, "/mnt/win", "cifs", "//pc/c") + Line(23, "/mnt/sftp", "fuse.sshfs", "u@h:") +
                              Line(24, "/run/user/1000/gvfs", "fuse.gvfsd-fuse", "gvfsd-fuse") +
                              Line(25, "/mnt/usb", "vfat", "/dev/sdb1") + Line(26, "/tmp", "tmpfs", "tmpfs") +
                              Line(27, "/mnt/fuse", "fuse.bindfs", "/srv") +
                              // A local file system mounted over a share hides it.
                              Line(28, "/mnt/win", "ext4", "/dev/sdc1") + "garbage line\n";
    const auto mounts = ParseNetworkMounts(table);
    std::vector<std::string> points;
    for (const auto& m : mounts)
        points.push_back(m.MountPoint + "=" + m.FsType);
    EXPECT_EQ(points, (std::vector<std::string>{"/home/ann/nas=nfs4", "/mnt/sftp=fuse.sshfs",
                                                "/run/user/1000/gvfs=fuse.gvfsd-fuse"}));

    ASSERT_NE(MountHolding(mounts, "/home/ann/nas/docs/a.txt"), nullptr);
    EXPECT_EQ(MountHolding(mounts, "/home/ann/nas")->Source, "nas:/export");
    EXPECT_EQ(MountHolding(mounts, "/home/ann/nasty"), nullptr);
    EXPECT_EQ(MountHolding(mounts, "/home/ann"), nullptr);
}

TEST(NetworkMountsTest, APathIsFollowedThroughLinksAndDotDotToTheMountItReaches)
{
    TempDir tmp;
    const std::string net = tmp / "net";
    testsupport::MakeDirs(net);
    testsupport::MakeDirs(tmp / "local/deep");
    testsupport::MakeDirs(tmp / "prefix/dosdevices");
    ASSERT_EQ(::symlink(net.c_str(), (tmp / "prefix/dosdevices/d:").c_str()), 0);
    ASSERT_EQ(::symlink("../net/share", (tmp / "local/rel").c_str()), 0);
    ASSERT_EQ(::symlink("local/deep", (tmp / "hop").c_str()), 0);
    ASSERT_EQ(::symlink("loop", (tmp / "loop").c_str()), 0);
    const std::vector<NetworkMount> mounts = {{net, "nfs", "server:/x"}};

    struct Case {
        std::string path;
        bool network;
        std::string resolved;
        int error;
    };
    const Case cases[] = {
        {tmp / "prefix/dosdevices/d:/Program Files/a.exe", true, net + "/Program Files/a.exe", 0},
        {tmp / "local/rel/x", true, net + "/share/x", 0},
        // ".." after a link leaves the link's target, not the link's folder.
        {tmp / "hop/../../net", true, net, 0},
        {tmp / "hop/../x", false, tmp / "local/x", ENOENT},
        {tmp / "local/deep/./", false, tmp / "local/deep", 0},
        {tmp / "loop/x", false, tmp / "loop/x", ELOOP},
    };
    for (const Case& c : cases) {
        const PathOnMounts r = ResolveOnMounts(c.path, mounts);
        EXPECT_EQ(r.Network.has_value(), c.network) << c.path;
        EXPECT_EQ(r.Resolved, c.resolved) << c.path;
        EXPECT_EQ(r.Error, c.error) << c.path;
    }
    // With no network mount at all, the path is not even looked at.
    EXPECT_EQ(ResolveOnMounts(tmp / "hop/../x", {}).Resolved, tmp / "hop/../x");
}

TEST(NetworkMountsTest, AMountWhoseServerIsGoneIsRecognisedWithoutARequest)
{
    TempDir tmp;
    testsupport::MakeDirs(tmp / "net");
    CurrentNetworkMounts(); // the table as it was before the mount
    std::string whyNot;
    const auto mount = testsupport::HangingMount::Create(tmp / "net", whyNot);
    if (!mount)
        GTEST_SKIP() << whyNot;
    ASSERT_EQ(::symlink((tmp / "net/share").c_str(), (tmp / "link").c_str()), 0);

    const auto mounts = CurrentNetworkMounts();
    const NetworkMount* m = MountHolding(*mounts, tmp / "net");
    ASSERT_NE(m, nullptr) << "a new mount is seen at once";
    EXPECT_EQ(m->FsType, "fuse.sshfs");
    ASSERT_TRUE(NetworkMountOf(tmp / "link/a.lnk").has_value());
    EXPECT_EQ(NetworkMountOf(tmp / "link/a.lnk")->MountPoint, tmp / "net");
    EXPECT_EQ(mount->RequestCount(), 0);

    // The mount really waits: a stat on another thread hangs until it is closed.
    int statError = 0;
    std::thread stat([&] {
        struct stat st {};
        statError = ::stat((tmp / "net/x").c_str(), &st) == 0 ? 0 : errno;
    });
    EXPECT_TRUE(mount->WaitForRequests(1));
    mount->Abort();
    stat.join();
    EXPECT_NE(statError, 0);
}

// The namespace over a share whose server is gone, where the desktop keeps volumes:
// Computer shows it, paths below it parse, a folder holding symbolic links into it
// lists them, and a Wine drive on it maps, all without one request to the share.
TEST(NetworkMountsTest, TheNamespaceNeverAsksAShareWhoseServerIsGone)
{
    TempDir tmp; // outlives the mount: removing links into it then asks nothing
    std::string whyNot;
    const auto volume = testsupport::HangingVolume::Create(whyNot);
    if (!volume)
        GTEST_SKIP() << whyNot;
    const std::string share = volume->Path();
    const std::string dosdevices = tmp / "prefix/dosdevices";
    testsupport::MakeDirs(tmp / "prefix/drive_c");
    testsupport::MakeDirs(dosdevices);
    ASSERT_EQ(::symlink("../drive_c", (dosdevices + "/c:").c_str()), 0);
    ASSERT_EQ(::symlink(share.c_str(), (dosdevices + "/d:").c_str()), 0);
    ASSERT_EQ(::symlink((share + "/sub").c_str(), (dosdevices + "/e:").c_str()), 0);

    ShellFolderPtr desktop;
    ASSERT_EQ(GetDesktopFolder(desktop), S_OK);
    constexpr std::uint32_t kMask = 0xF20B0177 | SFGAO_ISSLOW;
    constexpr std::uint32_t kMoveRights = SFGAO_CANMOVE | SFGAO_CANRENAME | SFGAO_CANDELETE;
    auto attributesOf = [&](const ShellFolderPtr& folder, PCIdList item) {
        std::uint32_t attrs = kMask;
        EXPECT_EQ(folder->GetAttributesOf(std::span<const PCIdList>(&item, 1), attrs), S_OK);
        return attrs;
    };

    IdList computerList;
    ASSERT_EQ(GetSpecialFolderLocation(CSIDL_DRIVES, computerList), S_OK);
    ShellFolderPtr computer;
    ASSERT_EQ(desktop->BindToObject(computerList.Get(), computer), S_OK);
    std::unique_ptr<EnumIdList> volumes;
    ASSERT_EQ(computer->EnumObjects(SHCONTF_FOLDERS, volumes), S_OK);
    bool shown = false;
    for (IdList item; volumes->Next(item) == S_OK;) {
        std::string path;
        computer->GetDisplayNameOf(item.Get(), SHGDN_FORPARSING, path);
        if (path != share)
            continue;
        shown = true;
        const std::uint32_t attrs = attributesOf(computer, item.Get());
        // The volume itself is never renamed or deleted from here.
        EXPECT_EQ(attrs & (SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_ISSLOW | kMoveRights),
                  SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_ISSLOW);
    }
    EXPECT_TRUE(shown);

    // What is on the share may be renamed, moved and deleted: the server says no
    // when it does not allow it.
    struct Case {
        std::string path;
        std::uint32_t attrs; // of FOLDER, LINK, ISSLOW and the move rights
    };
    const Case cases[] = {
        {share + "/docs", SFGAO_FOLDER | SFGAO_ISSLOW | kMoveRights},
        {share + "/docs/a.lnk", SFGAO_LINK | SFGAO_ISSLOW | kMoveRights},
        {dosdevices + "/d:", SFGAO_FOLDER | SFGAO_LINK | SFGAO_ISSLOW | kMoveRights},
        // The last level of a path is a folder unless its name says otherwise.
        {dosdevices + "/e:/notes.txt", SFGAO_FOLDER | SFGAO_ISSLOW | kMoveRights},
        {dosdevices + "/c:", SFGAO_FOLDER | SFGAO_LINK | kMoveRights},
        // ".." on the share is taken by name.
        {share + "/docs/old/../a.lnk", SFGAO_LINK | SFGAO_ISSLOW | kMoveRights},
        {dosdevices + "/e:/x/y/../../notes.txt", SFGAO_FOLDER | SFGAO_ISSLOW | kMoveRights},
        {share + "/../share/docs", SFGAO_FOLDER | SFGAO_ISSLOW | kMoveRights},
    };
    for (const Case& c : cases) {
        IdList list;
        ASSERT_EQ(desktop->ParseDisplayName(c.path, list), S_OK) << c.path;
        EXPECT_EQ(attributesOf(desktop, list.Get()) & (SFGAO_FOLDER | SFGAO_LINK | SFGAO_ISSLOW | kMoveRights), c.attrs)
            << c.path;
    }

    IdList dosList;
    ASSERT_EQ(desktop->ParseDisplayName(dosdevices, dosList), S_OK);
    ShellFolderPtr dos;
    ASSERT_EQ(desktop->BindToObject(dosList.Get(), dos), S_OK);
    std::unique_ptr<EnumIdList> entries;
    ASSERT_EQ(dos->EnumObjects(SHCONTF_FOLDERS, entries), S_OK);
    std::vector<std::string> folders;
    for (IdList item; entries->Next(item) == S_OK;) {
        std::string name;
        dos->GetDisplayNameOf(item.Get(), SHGDN_INFOLDER, name);
        folders.push_back(name);
    }
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, (std::vector<std::string>{"c:", "d:", "e:"}));

    // The prefix's drive on the share is a drive; its paths keep their names as written.
    const platform::DriveMap drives = platform::DriveMap::FromPrefix(tmp / "prefix");
    EXPECT_EQ(drives.DriveFolder('D'), share);
    EXPECT_EQ(drives.ToHostPath("d:\\Docs\\a.lnk"), share + "/Docs/a.lnk");

    EXPECT_EQ(volume->RequestCount(), 0);
}
