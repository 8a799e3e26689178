#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <set>
#include <vector>

#include "platform/registry/Registry.h"
#include "platform/shell/EntryAttributes.h"
#include "platform/shell/IdList.h"
#include "platform/shell/NameOrder.h"
#include "platform/shell/ShellFolder.h"
#include "platform/shell/Volumes.h"
#include "tests/foldertree/DeepFolders.h"
#include "tests/support/TestSupport.h"

using namespace platform::shell;
using testsupport::MakeDirs;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// A private home with a desktop folder, so nothing touches the real user's files.
struct Home {
    TempDir dir;
    ScopedEnv home{"HOME", dir.Path()};
    ScopedEnv config{"XDG_CONFIG_HOME", dir.Path() + "/.config"};
    ScopedEnv registry{"QUILLMERE_REGISTRY_DIR", dir.Path() + "/registry"};
    Home() { MakeDirs(dir.Path() + "/Desktop"); }
};

std::vector<std::string> Names(const ShellFolderPtr& folder, std::uint32_t flags)
{
    std::vector<std::string> names;
    std::unique_ptr<EnumIdList> items;
    EXPECT_EQ(folder->EnumObjects(flags, items), S_OK);
    IdList item;
    while (items && items->Next(item) == S_OK) {
        std::string name;
        EXPECT_EQ(folder->GetDisplayNameOf(item.Get(), SHGDN_INFOLDER, name), S_OK);
        names.push_back(name);
    }
    return names;
}

ShellFolderPtr Desktop()
{
    ShellFolderPtr desktop;
    EXPECT_EQ(GetDesktopFolder(desktop), S_OK);
    return desktop;
}

ShellFolderPtr BindPath(const std::string& path)
{
    IdList list;
    EXPECT_EQ(Desktop()->ParseDisplayName(path, list), S_OK) << path;
    ShellFolderPtr folder;
    EXPECT_EQ(Desktop()->BindToObject(list.Get(), folder), S_OK) << path;
    return folder;
}

std::uint32_t AttributesOf(const ShellFolderPtr& folder, const std::string& name, std::uint32_t mask = 0xF20B0177)
{
    IdList item;
    EXPECT_EQ(folder->ParseDisplayName(name, item), S_OK) << name;
    const PCIdList one = item.Get();
    std::uint32_t attrs = mask;
    EXPECT_EQ(folder->GetAttributesOf(std::span<const PCIdList>(&one, 1), attrs), S_OK);
    return attrs;
}

int Compare(const ShellFolderPtr& folder, PCIdList a, PCIdList b)
{
    return static_cast<std::int16_t>(folder->CompareIDs(0, a, b) & 0xFFFF);
}

} // namespace

TEST(ShellIdList, ItemsKeepTheirLayoutAndForeignBytesAreRefused)
{
    const long before = GetMalloc().LiveBlocks();
    {
        IdList folder = MakeEntryItem(true, "caf\xC3\xA9 \xFF");
        ItemView view;
        ASSERT_TRUE(DecodeItem(folder.Get(), view));
        EXPECT_EQ(view.type, ItemType::Folder);
        EXPECT_EQ(view.text, "caf\xC3\xA9 \xFF");
        // u16 count, type, flags, name, zero; then the terminator.
        EXPECT_EQ(ListSize(folder.Get()), 2u + 2 + 7 + 1 + 2);
        EXPECT_EQ(folder.Get()[2], 0x31);

        IdList volume = MakeVolumeItem(kVolumeRemovable, "/media/u/stick");
        ASSERT_TRUE(DecodeItem(volume.Get(), view));
        EXPECT_EQ(view.type, ItemType::Volume);
        EXPECT_EQ(view.flags, kVolumeRemovable);
        EXPECT_EQ(view.text, "/media/u/stick");

        IdList joined = JoinLists(MakeDesktopItem(DesktopItem::Computer).Get(), volume.Get());
        EXPECT_EQ(ItemCount(joined.Get()), 2u);
        EXPECT_TRUE(IsWellFormedList(joined.Get(), ListSize(joined.Get())));
        EXPECT_FALSE(IsWellFormedList(joined.Get(), ListSize(joined.Get()) - 1));

        const std::uint8_t noZero[] = {6, 0, 0x31, 0, 'a', 'b', 0, 0};
        const std::uint8_t slash[] = {7, 0, 0x32, 0, 'a', '/', 0, 0, 0};
        const std::uint8_t tiny[] = {2, 0, 0, 0};
        const std::uint8_t badWhich[] = {4, 0, 0x1F, 9, 0, 0};
        EXPECT_FALSE(DecodeItem(noZero, view));
        EXPECT_FALSE(DecodeItem(slash, view));
        EXPECT_FALSE(DecodeItem(tiny, view));
        EXPECT_FALSE(DecodeItem(badWhich, view));
        const std::uint8_t runsPast[] = {40, 0, 0x31, 0};
        EXPECT_FALSE(IsWellFormedList(runsPast, sizeof runsPast));
    }
    EXPECT_EQ(GetMalloc().LiveBlocks(), before);
}

TEST(ShellNames, OrderIgnoresCaseCountsDigitsAndTellsEveryNameApart)
{
    EXPECT_LT(CompareNames("file2", "file10"), 0);
    EXPECT_LT(CompareNames("File2", "file10"), 0);
    EXPECT_LT(CompareNames("apple", "Banana"), 0);
    EXPECT_LT(CompareNames("a", "ab"), 0);
    EXPECT_LT(CompareNames("x9y", "x10a"), 0);
    EXPECT_LT(CompareNames("\xC3\xA4pfel", "\xC3\x84pfel2"), 0); // ä and Ä fold together
    // Equal to the eye, yet different items: never 0, and always the same way round.
    EXPECT_NE(CompareNames("links", "Links"), 0);
    EXPECT_EQ(CompareNames("links", "Links"), -CompareNames("Links", "links"));
    EXPECT_NE(CompareNames("file02", "file2"), 0);
    EXPECT_EQ(CompareNames("same", "same"), 0);
    // Bytes that are not UTF-8 still order, after the characters.
    EXPECT_LT(CompareNames("z", "\xFF"), 0);
    EXPECT_NE(CompareNames("a\xFF", "a\xFE"), 0);
    EXPECT_EQ(LowerCaseName("ABC\xC3\x89\xFF.LNK"), "abc\xC3\xA9\xFF.lnk");
}

TEST(ShellVolumes, OnlyUserMountsOfDevicesAndNetworksAreVolumes)
{
    const std::string table =
        "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "21 26 0:20 / /proc rw - proc proc rw\n"
        "30 26 8:17 / /media/u/USB\\040STICK rw,nosuid shared:5 - vfat /dev/sdb1 rw\n"
        "31 26 8:33 / /mnt/data rw - ext4 /dev/sdc1 rw\n"
        "32 26 0:40 / /mnt/tmp rw - tmpfs tmpfs rw\n"
        "33 26 8:33 /sub /mnt/bound rw - ext4 /dev/sdc1 rw\n"     // a folder bound elsewhere
        "34 26 8:33 / /mnt/again rw - ext4 /dev/sdc1 rw\n"        // the same device twice
        "35 26 0:50 / /mnt/nas rw - nfs4 server:/export rw\n"
        "36 26 8:49 / /home rw - ext4 /dev/sdd1 rw\n"             // not where volumes go
        "37 26 254:0 / /mnt/root rw - ext4 /dev/vda rw\n"         // what "/" already shows
        "38 26 0:60 / /run/media/u/cd rw - squashfs /dev/loop0 ro\n"
        "39 26 8:65 / /mnt/stack rw - ext4 /dev/sde1 rw\n"
        "40 39 8:81 / /mnt/stack rw - xfs /dev/sdf1 rw\n"          // on top of the one before
        "garbage line\n"
        "41 26 8:97 / /run/media/u/Disk rw - fuseblk /dev/sdg1 rw\n";
    std::set<std::pair<unsigned, unsigned>> asked;
    const auto volumes = ParseVolumes(table, [&](unsigned major, unsigned minor) {
        asked.insert({major, minor});
        return major == 8 && minor == 33;
    });
    ASSERT_EQ(volumes.size(), 5u);
    EXPECT_EQ(volumes[0].MountPoint, "/media/u/USB STICK");
    EXPECT_TRUE(volumes[0].Removable);
    EXPECT_EQ(volumes[1].MountPoint, "/mnt/data");
    EXPECT_TRUE(volumes[1].Removable); // the device says so
    EXPECT_EQ(volumes[2].MountPoint, "/mnt/nas");
    EXPECT_TRUE(volumes[2].Network);
    EXPECT_FALSE(volumes[2].Removable);
    EXPECT_EQ(volumes[3].MountPoint, "/mnt/stack");
    EXPECT_EQ(volumes[3].FsType, "xfs");
    EXPECT_FALSE(volumes[3].Removable);
    EXPECT_EQ(volumes[4].MountPoint, "/run/media/u/Disk");
    EXPECT_TRUE(volumes[4].Removable);
    EXPECT_TRUE(ParseVolumes("").empty());
}

TEST(ShellDesktop, ShowsComputerHomeTheDesktopEntriesAndTrashInThatOrder)
{
    Home home;
    MakeDirs(home.dir.Path() + "/Desktop/zeta");
    MakeDirs(home.dir.Path() + "/Desktop/.hidden");
    WriteFile(home.dir.Path() + "/Desktop/Alpha.lnk", "x");
    const ShellFolderPtr desktop = Desktop();

    std::vector<IdList> items;
    std::unique_ptr<EnumIdList> e;
    ASSERT_EQ(desktop->EnumObjects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, e), S_OK);
    for (IdList item; e->Next(item) == S_OK;)
        items.push_back(std::move(item));
    std::vector<std::string> names;
    for (const IdList& item : items) {
        std::string name;
        desktop->GetDisplayNameOf(item.Get(), SHGDN_NORMAL, name);
        names.push_back(name);
    }
    std::sort(items.begin(), items.end(),
              [&](const IdList& a, const IdList& b) { return Compare(desktop, a.Get(), b.Get()) < 0; });
    std::vector<std::string> sorted;
    for (const IdList& item : items) {
        std::string name;
        desktop->GetDisplayNameOf(item.Get(), SHGDN_NORMAL, name);
        sorted.push_back(name);
    }
    EXPECT_EQ(sorted, (std::vector<std::string>{"Computer", "Home", "zeta", "Alpha.lnk", "Trash"}));

    // Hidden entries only when asked for; files only with non-folders.
    EXPECT_EQ(Names(desktop, SHCONTF_FOLDERS).size(), 4u);
    EXPECT_EQ(Names(desktop, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN).size(), 5u);

    std::string path;
    IdList trash, computer, homeItem;
    ASSERT_EQ(GetSpecialFolderLocation(CSIDL_BITBUCKET, trash), S_OK);
    ASSERT_EQ(GetSpecialFolderLocation(CSIDL_DRIVES, computer), S_OK);
    ASSERT_EQ(desktop->ParseDisplayName("::Home", homeItem), S_OK);
    EXPECT_FALSE(GetPathFromIdList(trash.Get(), path));
    EXPECT_FALSE(GetPathFromIdList(computer.Get(), path));
    ASSERT_TRUE(GetPathFromIdList(homeItem.Get(), path));
    EXPECT_EQ(path, home.dir.Path());
    IdList desktopList = IdList::Allocate(2);
    ASSERT_TRUE(GetPathFromIdList(desktopList.Get(), path)); // the desktop is its directory
    EXPECT_EQ(path, home.dir.Path() + "/Desktop");

    // A relative name parses among the desktop's entries.
    IdList zeta;
    ASSERT_EQ(desktop->ParseDisplayName("zeta", zeta), S_OK);
    ASSERT_TRUE(GetPathFromIdList(zeta.Get(), path));
    EXPECT_EQ(path, home.dir.Path() + "/Desktop/zeta");
}

TEST(ShellParsing, FullPathsParseThroughTheRootWhateverTheirLength)
{
    Home home;
    const ShellFolderPtr desktop = Desktop();
    IdList root;
    ASSERT_EQ(desktop->ParseDisplayName("/", root), S_OK);
    EXPECT_EQ(ItemCount(root.Get()), 2u); // Computer, "/"
    std::string path;
    ASSERT_TRUE(GetPathFromIdList(root.Get(), path));
    EXPECT_EQ(path, "/");

    // Deeper than the kernel takes a path in one piece.
    struct Cleanup {
        std::string base;
        ~Cleanup() { testsupport::RemoveDeepFolder(base, std::string(200, 'd')); }
    } cleanup{home.dir.Path()};
    const std::string deep =
        testsupport::MakeDeepFolder(home.dir.Path(), std::string(200, 'd'), PATH_MAX + 500, "leaf");
    IdList list;
    ASSERT_EQ(desktop->ParseDisplayName(deep + "/", list), S_OK);
    ASSERT_TRUE(GetPathFromIdList(list.Get(), path));
    EXPECT_EQ(path, deep);
    ShellFolderPtr folder;
    ASSERT_EQ(desktop->BindToObject(list.Get(), folder), S_OK);
    EXPECT_EQ(Names(folder, SHCONTF_FOLDERS), std::vector<std::string>{"leaf"});
    EXPECT_TRUE(AttributesOf(folder, "leaf") & SFGAO_FOLDER);

    // "." and ".." are taken as the file system takes them; missing levels fail,
    // also before a "..".
    MakeDirs(home.dir.Path() + "/a/b");
    MakeDirs(home.dir.Path() + "/a/x");
    IdList dotted;
    ASSERT_EQ(desktop->ParseDisplayName(home.dir.Path() + "/a/./x/../b", dotted), S_OK);
    ASSERT_TRUE(GetPathFromIdList(dotted.Get(), path));
    EXPECT_EQ(path, home.dir.Path() + "/a/b");
    IdList missing;
    EXPECT_LT(desktop->ParseDisplayName(home.dir.Path() + "/nothing/here", missing), 0);
    EXPECT_FALSE(missing);
    EXPECT_LT(desktop->ParseDisplayName("", missing), 0);
    EXPECT_LT(desktop->ParseDisplayName(home.dir.Path() + "/a/gone/../b", missing), 0);
    EXPECT_FALSE(missing);
    IdList above;
    ASSERT_EQ(desktop->ParseDisplayName("/..", above), S_OK);
    ASSERT_TRUE(GetPathFromIdList(above.Get(), path));
    EXPECT_EQ(path, "/");
    // A zero byte ends no name: the path is refused, not parsed up to it.
    std::string withZero = home.dir.Path() + "/a";
    withZero += '\0';
    withZero += "/b";
    EXPECT_LT(desktop->ParseDisplayName(withZero, missing), 0);
    EXPECT_LT(BindPath(home.dir.Path())->ParseDisplayName(std::string("a\0", 2), missing), 0);
    EXPECT_FALSE(missing);

    // A folder parses a full path inside it, relative to itself, and nothing else.
    const ShellFolderPtr a = BindPath(home.dir.Path() + "/a");
    IdList inside;
    ASSERT_EQ(a->ParseDisplayName(home.dir.Path() + "/a/b", inside), S_OK);
    EXPECT_EQ(ItemCount(inside.Get()), 1u);
    EXPECT_LT(a->ParseDisplayName(home.dir.Path() + "/ab", inside), 0);
}

TEST(ShellParsing, SymbolicLinkLoopsAndDanglingLinksNeitherHangNorFail)
{
    Home home;
    const std::string base = home.dir.Path() + "/loops";
    MakeDirs(base);
    ASSERT_EQ(::symlink(".", (base + "/self").c_str()), 0);
    ASSERT_EQ(::symlink("ping", (base + "/pong").c_str()), 0);
    ASSERT_EQ(::symlink("pong", (base + "/ping").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (base + "/dangling").c_str()), 0);
    const ShellFolderPtr desktop = Desktop();

    IdList list;
    ASSERT_EQ(desktop->ParseDisplayName(base + "/self/self/self", list), S_OK);
    std::string path;
    ASSERT_TRUE(GetPathFromIdList(list.Get(), path));
    EXPECT_EQ(path, base + "/self/self/self");
    EXPECT_LT(desktop->ParseDisplayName(base + "/ping/x", list), 0);

    const ShellFolderPtr folder = BindPath(base);
    auto names = Names(folder, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"dangling", "ping", "pong", "self"}));
    EXPECT_EQ(Names(folder, SHCONTF_FOLDERS), std::vector<std::string>{"self"});
    const std::uint32_t self = AttributesOf(folder, "self");
    EXPECT_TRUE(self & SFGAO_FOLDER);
    EXPECT_TRUE(self & SFGAO_LINK);
    const std::uint32_t loop = AttributesOf(folder, "ping");
    EXPECT_FALSE(loop & SFGAO_FOLDER);
    EXPECT_TRUE(loop & SFGAO_LINK);
}

TEST(ShellAttributes, ComeFromTheFileSystem)
{
    Home home;
    const std::string base = home.dir.Path() + "/attrs";
    MakeDirs(base + "/empty");
    MakeDirs(base + "/parent/child");
    MakeDirs(base + "/.secret");
    WriteFile(base + "/doc.txt", "x");
    WriteFile(base + "/App.LNK", "x");
    WriteFile(base + "/site.url", "x");
    const ShellFolderPtr folder = BindPath(base);

    const std::uint32_t empty = AttributesOf(folder, "empty");
    EXPECT_EQ(empty & (SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR),
              SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR);
    EXPECT_TRUE(AttributesOf(folder, "parent") & SFGAO_HASSUBFOLDER);
    struct statfs sfs {};
    ASSERT_EQ(::statfs(base.c_str(), &sfs), 0);
    if (LinkCountTellsSubfolders(static_cast<long>(sfs.f_type)))
        EXPECT_FALSE(empty & SFGAO_HASSUBFOLDER) << "the link count says the folder is empty";
    else
        EXPECT_TRUE(empty & SFGAO_HASSUBFOLDER) << "without a telling link count every folder gets a button";

    const std::uint32_t doc = AttributesOf(folder, "doc.txt");
    EXPECT_EQ(doc & (SFGAO_FOLDER | SFGAO_LINK | SFGAO_GHOSTED | SFGAO_HASSUBFOLDER), 0u);
    EXPECT_TRUE(doc & SFGAO_FILESYSTEM);
    EXPECT_TRUE(AttributesOf(folder, "App.LNK") & SFGAO_LINK);
    EXPECT_TRUE(AttributesOf(folder, "site.url") & SFGAO_LINK);
    EXPECT_TRUE(AttributesOf(folder, ".secret") & SFGAO_GHOSTED);
    // Our own folder: everything may be done to its entries.
    EXPECT_EQ(doc & 0x177u, 0x177u & ~SFGAO_DROPTARGET);
    EXPECT_TRUE(empty & SFGAO_DROPTARGET);

    // Rights of the folder: write permission, and the sticky bit's owner rule.
    FolderRights open{true, true, false, 1000};
    FolderRights sticky{true, true, true, 0};
    FolderRights readOnly{true, false, false, 1000};
    const std::uint32_t move = SFGAO_CANMOVE | SFGAO_CANRENAME | SFGAO_CANDELETE;
    EXPECT_EQ(MoveRights(open, 1001, 1000), move);
    EXPECT_EQ(MoveRights(readOnly, 1000, 1000), 0u);
    EXPECT_EQ(MoveRights(sticky, 1001, 1000), 0u);  // someone else's file in /tmp
    EXPECT_EQ(MoveRights(sticky, 1000, 1000), move); // one's own
    EXPECT_EQ(MoveRights(sticky, 1001, 0), move);    // root
    sticky.owner = 1000;
    EXPECT_EQ(MoveRights(sticky, 1001, 1000), move); // the folder's owner

    // Computer and its volumes: never renamed or deleted from here.
    IdList computer;
    ASSERT_EQ(GetSpecialFolderLocation(CSIDL_DRIVES, computer), S_OK);
    ShellFolderPtr computerFolder;
    ASSERT_EQ(Desktop()->BindToObject(computer.Get(), computerFolder), S_OK);
    IdList rootItem;
    ASSERT_EQ(computerFolder->ParseDisplayName("/", rootItem), S_OK);
    const PCIdList one = rootItem.Get();
    std::uint32_t rootAttrs = 0xF20B0177;
    ASSERT_EQ(computerFolder->GetAttributesOf(std::span<const PCIdList>(&one, 1), rootAttrs), S_OK);
    EXPECT_TRUE(rootAttrs & SFGAO_FOLDER);
    EXPECT_EQ(rootAttrs & move, 0u);
    std::string name;
    ASSERT_EQ(computerFolder->GetDisplayNameOf(one, SHGDN_NORMAL, name), S_OK);
    EXPECT_EQ(name, "/");
}

TEST(ShellRename, NeverReplacesAnExistingItem)
{
    Home home;
    const std::string base = home.dir.Path() + "/ren";
    MakeDirs(base + "/folder/inner");
    MakeDirs(base + "/taken");
    WriteFile(base + "/file.txt", "keep me");
    WriteFile(base + "/other.txt", "and me");
    WriteFile(base + "/bad\xFF", "bytes");
    const ShellFolderPtr folder = BindPath(base);

    auto rename = [&](const std::string& from, const std::string& to, IdList* out) {
        IdList item;
        EXPECT_EQ(folder->ParseDisplayName(from, item), S_OK) << from;
        return folder->SetNameOf(item.Get(), to, 0, out);
    };
    // Each refusal says why, and leaves both names as they were.
    const HResult exists = ResultFromErrno(EEXIST);
    const struct {
        const char* from;
        const char* to;
        HResult result;
    } refusals[] = {
        {"file.txt", "other.txt", exists}, {"file.txt", "taken", exists}, {"folder", "taken", exists},
        {"folder", "other.txt", exists},   {"file.txt", "", E_INVALIDARG}, {"file.txt", ".", E_INVALIDARG},
        {"file.txt", "..", E_INVALIDARG}, {"file.txt", "a/b", E_INVALIDARG},
    };
    for (const auto& r : refusals)
        EXPECT_EQ(rename(r.from, r.to, nullptr), r.result) << r.from << " -> " << r.to;
    EXPECT_EQ(testsupport::ReadFile(base + "/other.txt"), "and me");
    EXPECT_EQ(testsupport::ReadFile(base + "/file.txt"), "keep me");
    EXPECT_EQ(::access((base + "/folder/inner").c_str(), F_OK), 0);
    struct stat taken {};
    EXPECT_TRUE(::lstat((base + "/taken").c_str(), &taken) == 0 && S_ISDIR(taken.st_mode));

    IdList renamed;

    ASSERT_EQ(rename("folder", "moved", &renamed), S_OK);
    ItemView view;
    ASSERT_TRUE(DecodeItem(renamed.Get(), view));
    EXPECT_EQ(view.text, "moved");
    EXPECT_EQ(view.type, ItemType::Folder);
    EXPECT_EQ(::access((base + "/moved/inner").c_str(), F_OK), 0);

    // Names that are not UTF-8 rename from their real bytes.
    ASSERT_EQ(rename("bad\xFF", "good", &renamed), S_OK);
    EXPECT_EQ(testsupport::ReadFile(base + "/good"), "bytes");
    // A change of letter case only.
    ASSERT_EQ(rename("good", "Good", &renamed), S_OK);
    EXPECT_EQ(testsupport::ReadFile(base + "/Good"), "bytes");
    // The same name again is no change and no failure.
    EXPECT_EQ(rename("Good", "Good", nullptr), S_OK);

    // Through several levels from the desktop: the new list is the whole one.
    IdList deep;
    ASSERT_EQ(Desktop()->ParseDisplayName(base + "/moved/inner", deep), S_OK);
    ASSERT_EQ(Desktop()->SetNameOf(deep.Get(), "core", 0, &renamed), S_OK);
    std::string path;
    ASSERT_TRUE(GetPathFromIdList(renamed.Get(), path));
    EXPECT_EQ(path, base + "/moved/core");
}

TEST(ShellFolders, FailToEnumerateWhatCannotBeRead)
{
    Home home;
    const std::string base = home.dir.Path() + "/gone";
    MakeDirs(base);
    const ShellFolderPtr folder = BindPath(base);
    ASSERT_EQ(::rmdir(base.c_str()), 0);
    std::unique_ptr<EnumIdList> items;
    EXPECT_LT(folder->EnumObjects(SHCONTF_FOLDERS, items), 0);
    EXPECT_FALSE(items);

    if (::geteuid() != 0) {
        const std::string locked = home.dir.Path() + "/locked";
        MakeDirs(locked + "/inside");
        const ShellFolderPtr lockedFolder = BindPath(locked);
        ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
        EXPECT_LT(lockedFolder->EnumObjects(SHCONTF_FOLDERS, items), 0);
        ::chmod(locked.c_str(), 0700);
    }
    EXPECT_EQ(ResultMessage(ResultFromErrno(ENOENT)), std::string(std::strerror(ENOENT)));
}

TEST(ShellSpecialFolders, MapToTheDesktopItemsAndTheXdgFolders)
{
    Home home;
    MakeDirs(home.dir.Path() + "/Schreibtisch");
    MakeDirs(home.dir.Path() + "/Docs");
    MakeDirs(home.dir.Path() + "/.config");
    WriteFile(home.dir.Path() + "/.config/user-dirs.dirs",
              "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_DOCUMENTS_DIR=\"$HOME/Docs/\"\n");
    EXPECT_EQ(DesktopDirectory(), home.dir.Path() + "/Schreibtisch");

    IdList list;
    std::string path;
    ASSERT_EQ(GetSpecialFolderLocation(CSIDL_DESKTOP, list), S_OK);
    EXPECT_TRUE(IsEmptyList(list.Get()));
    ASSERT_EQ(GetSpecialFolderLocation(CSIDL_DESKTOPDIRECTORY, list), S_OK);
    ASSERT_TRUE(GetPathFromIdList(list.Get(), path));
    EXPECT_EQ(path, home.dir.Path() + "/Schreibtisch");
    ASSERT_EQ(GetSpecialFolderLocation(CSIDL_PERSONAL, list), S_OK);
    ASSERT_TRUE(GetPathFromIdList(list.Get(), path));
    EXPECT_EQ(path, home.dir.Path() + "/Docs");
    ASSERT_EQ(GetSpecialFolderLocation(CSIDL_PROFILE, list), S_OK);
    ASSERT_TRUE(GetPathFromIdList(list.Get(), path));
    EXPECT_EQ(path, home.dir.Path());

    // Nothing of the kind here, or nothing set: failures, no list.
    for (int csidl : {CSIDL_CONTROLS, CSIDL_PRINTERS, CSIDL_NETWORK, CSIDL_FAVORITES, CSIDL_TEMPLATES}) {
        EXPECT_LT(GetSpecialFolderLocation(csidl, list), 0) << csidl;
        EXPECT_FALSE(list);
    }
    // The Windows folders come from the Shell Folders key, where they are host paths;
    // a value that names no folder locates nothing.
    MakeDirs(home.dir.Path() + "/prefix/Favorites");
    {
        platform::registry::Key key;
        ASSERT_EQ(platform::registry::Key::Create(platform::registry::Hive::CurrentUser,
                                                  "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                                  key),
                  platform::registry::Success);
        ASSERT_TRUE(key.WriteString("Favorites", home.dir.Path() + "/prefix/Favorites"));
        ASSERT_TRUE(key.WriteString("Start Menu", home.dir.Path() + "/prefix/missing"));
    }
    ASSERT_EQ(GetSpecialFolderLocation(CSIDL_FAVORITES, list), S_OK);
    ASSERT_TRUE(GetPathFromIdList(list.Get(), path));
    EXPECT_EQ(path, home.dir.Path() + "/prefix/Favorites");
    EXPECT_LT(GetSpecialFolderLocation(CSIDL_STARTMENU, list), 0);

    // A desktop directory that is the home folder itself has no entries of its own.
    WriteFile(home.dir.Path() + "/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME\"\n");
    EXPECT_EQ(DesktopDirectory(), "");
}

TEST(ShellSpecialFolders, UserDirsReadAsTheShellFolderSeedingReadsThem)
{
    Home home;
    const std::string h = home.dir.Path();
    MakeDirs(h + "/Schreibtisch");
    MakeDirs(h + "/.config");
    // ${HOME} as well as $HOME, and the last assignment wins. A value that is no
    // absolute path names nothing (it would depend on the current folder), and
    // neither does an unterminated quote.
    WriteFile(h + "/.config/user-dirs.dirs",
              "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
              "XDG_DESKTOP_DIR=\"${HOME}/Schreibtisch/\"\n"
              "XDG_DOCUMENTS_DIR=Docs\n"
              "XDG_MUSIC_DIR=\"$HOMEMusic\"\n"
              "XDG_TEMPLATES_DIR=\"$HOME/Templates\n");
    EXPECT_EQ(DesktopDirectory(), h + "/Schreibtisch");
    EXPECT_EQ(XdgUserDir("DOCUMENTS"), "");
    EXPECT_EQ(XdgUserDir("MUSIC"), "");
    EXPECT_EQ(XdgUserDir("TEMPLATES"), "");
    // A relative XDG_CONFIG_HOME does not count: the file under ~/.config does.
    ScopedEnv relative{"XDG_CONFIG_HOME", "elsewhere"};
    EXPECT_EQ(DesktopDirectory(), h + "/Schreibtisch");
}
