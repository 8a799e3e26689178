#include "platform/shell/EntryAttributes.h"

#include <unistd.h>

#include <algorithm>
#include <map>
#include <vector>
#include <mutex>

#include "platform/shell/FsAccess.h"
#include "platform/shell/NameOrder.h"
#include "platform/shell/ShellFolder.h"

namespace platform::shell {
namespace {

constexpr long kExtMagic = 0xEF53;
constexpr long kXfsMagic = 0x58465342;
constexpr long kTmpfsMagic = 0x01021994;

constexpr unsigned long kReadOnlyMount = 1; // ST_RDONLY in statfs f_flags

struct FileSystemInfo {
    long type = 0;
    bool readOnly = false;
};

std::mutex gTypesMutex;
std::map<dev_t, FileSystemInfo>& FileSystemTypes()
{
    // Never destroyed: folders are read by workers, which may still run at exit.
    static auto& types = *new std::map<dev_t, FileSystemInfo>;
    return types;
}

// The file system a folder lies on, learned once per device.
FileSystemInfo FileSystemOf(dev_t device, const std::string& folderPath)
{
    {
        std::lock_guard lock(gTypesMutex);
        const auto it = FileSystemTypes().find(device);
        if (it != FileSystemTypes().end())
            return it->second;
    }
    struct statfs sfs {};
    if (fs::StatFs(folderPath, sfs) != 0)
        return {};
    const FileSystemInfo info{static_cast<long>(sfs.f_type), (sfs.f_flags & kReadOnlyMount) != 0};
    std::lock_guard lock(gTypesMutex);
    FileSystemTypes()[device] = info;
    return info;
}

uid_t EffectiveUser()
{
    static const uid_t euid = ::geteuid();
    return euid;
}

bool InGroup(gid_t group)
{
    // Never destroyed, as FileSystemTypes above.
    static const auto& groups = *new std::vector<gid_t>([] {
        std::vector<gid_t> g(static_cast<std::size_t>(std::max(0, ::getgroups(0, nullptr))));
        g.resize(static_cast<std::size_t>(std::max(0, ::getgroups(static_cast<int>(g.size()), g.data()))));
        g.push_back(::getegid());
        return g;
    }());
    return std::find(groups.begin(), groups.end(), group) != groups.end();
}

bool SameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

FolderRights ReadFolderRights(const std::string& folderPath)
{
    FolderRights rights;
    RefreshFolderRights(folderPath, rights);
    return rights;
}

void RefreshFolderRights(const std::string& folderPath, FolderRights& rights)
{
    if (rights.known && !rights.stale)
        return;
    struct stat st {};
    if (fs::Stat(folderPath, st, true) != 0) {
        rights = FolderRights{};
        rights.known = true;
        return;
    }
    if (rights.known && rights.device == st.st_dev && rights.inode == st.st_ino && SameTime(rights.changed, st.st_ctim)) {
        rights.stale = false;
        return;
    }
    rights.known = true;
    rights.stale = false;
    rights.device = st.st_dev;
    rights.inode = st.st_ino;
    rights.changed = st.st_ctim;
    rights.sticky = (st.st_mode & S_ISVTX) != 0;
    rights.owner = st.st_uid;
    rights.writable = fs::Access(folderPath, W_OK | X_OK) == 0;
}

bool MayWriteFolder(const struct stat& st, bool readOnlyFileSystem)
{
    if (readOnlyFileSystem)
        return false;
    const uid_t user = EffectiveUser();
    if (user == 0)
        return true;
    const mode_t m = st.st_mode;
    if (st.st_uid == user)
        return (m & (S_IWUSR | S_IXUSR)) == (S_IWUSR | S_IXUSR);
    if (InGroup(st.st_gid))
        return (m & (S_IWGRP | S_IXGRP)) == (S_IWGRP | S_IXGRP);
    return (m & (S_IWOTH | S_IXOTH)) == (S_IWOTH | S_IXOTH);
}

std::uint32_t MoveRights(const FolderRights& folder, uid_t entryOwner, uid_t user)
{
    if (!folder.writable)
        return 0;
    if (folder.sticky && user != 0 && user != entryOwner && user != folder.owner)
        return 0;
    return SFGAO_CANMOVE | SFGAO_CANRENAME | SFGAO_CANDELETE;
}

bool LinkCountTellsSubfolders(long fsType)
{
    return fsType == kExtMagic || fsType == kXfsMagic || fsType == kTmpfsMagic;
}

void ForgetFileSystemTypes()
{
    std::lock_guard lock(gTypesMutex);
    FileSystemTypes().clear();
}

bool IsShortcutFileName(std::string_view name)
{
    if (name.size() < 5)
        return false;
    const std::string ext = LowerCaseName(name.substr(name.size() - 4));
    return ext == ".lnk" || ext == ".pif" || ext == ".url";
}

std::uint32_t NetworkEntryAttributes(std::string_view name, bool isFolder, bool isLink)
{
    // The rights to rename, move and delete are offered unasked: the server refuses
    // what it does not allow, and the operation then reports its failure.
    std::uint32_t attrs = SFGAO_FILESYSTEM | SFGAO_CANCOPY | SFGAO_CANLINK | SFGAO_HASPROPSHEET | SFGAO_ISSLOW |
                          SFGAO_CANMOVE | SFGAO_CANRENAME | SFGAO_CANDELETE;
    // A folder gets its expand button; whether anything is below it shows when it is
    // read. Dropping on it is offered: the copy itself finds out.
    if (isFolder)
        attrs |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER | SFGAO_DROPTARGET;
    if (isLink || (!isFolder && IsShortcutFileName(name)))
        attrs |= SFGAO_LINK;
    if (!name.empty() && name[0] == '.')
        attrs |= SFGAO_GHOSTED;
    return attrs;
}

bool EntryAttributes(const std::string& folderPath, std::string_view name, FolderRights& rights,
                     std::uint32_t mask, std::uint32_t& out)
{
    const std::string path = fs::JoinPath(folderPath, name);
    struct stat lst {};
    if (fs::Stat(path, lst, false) != 0)
        return false;
    struct stat st = lst;
    const bool symlink = S_ISLNK(lst.st_mode);
    if (symlink && fs::Stat(path, st, true) != 0)
        st = lst; // a link to nothing: an item that is no folder

    std::uint32_t attrs = SFGAO_FILESYSTEM | SFGAO_CANCOPY | SFGAO_CANLINK | SFGAO_HASPROPSHEET;
    if (S_ISDIR(st.st_mode) && (mask & (SFGAO_HASSUBFOLDER | SFGAO_DROPTARGET))) {
        const FileSystemInfo fsInfo = FileSystemOf(st.st_dev, path);
        if ((mask & SFGAO_HASSUBFOLDER) &&
            (!LinkCountTellsSubfolders(fsInfo.type) || LinkCountMeansSubfolders(st.st_nlink)))
            attrs |= SFGAO_HASSUBFOLDER;
        // Judged by the mode bits, without a system call per folder: a folder to
        // drop on is a matter of showing, the copy itself finds out for certain.
        if ((mask & SFGAO_DROPTARGET) && MayWriteFolder(st, fsInfo.readOnly))
            attrs |= SFGAO_DROPTARGET;
    }
    if (S_ISDIR(st.st_mode))
        attrs |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
    if (symlink || (S_ISREG(st.st_mode) && IsShortcutFileName(name)))
        attrs |= SFGAO_LINK;
    if (!name.empty() && name[0] == '.')
        attrs |= SFGAO_GHOSTED;
    if (mask & (SFGAO_CANMOVE | SFGAO_CANRENAME | SFGAO_CANDELETE)) {
        RefreshFolderRights(folderPath, rights);
        attrs |= MoveRights(rights, lst.st_uid, EffectiveUser());
    }
    out = attrs & mask;
    return true;
}

} // namespace platform::shell
