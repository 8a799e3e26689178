#include "platform/shell/EntryAttributes.h"

#include <unistd.h>

#include <map>
#include <mutex>

#include "platform/shell/FsAccess.h"
#include "platform/shell/NameOrder.h"
#include "platform/shell/ShellFolder.h"

namespace platform::shell {
namespace {

constexpr long kExtMagic = 0xEF53;
constexpr long kXfsMagic = 0x58465342;
constexpr long kTmpfsMagic = 0x01021994;

std::mutex gTypesMutex;
std::map<dev_t, long>& FileSystemTypes()
{
    static std::map<dev_t, long> types;
    return types;
}

// The statfs type of the file system a folder lies on, learned once per device.
long FileSystemTypeOf(dev_t device, const std::string& folderPath)
{
    {
        std::lock_guard lock(gTypesMutex);
        const auto it = FileSystemTypes().find(device);
        if (it != FileSystemTypes().end())
            return it->second;
    }
    struct statfs sfs {};
    if (fs::StatFs(folderPath, sfs) != 0)
        return 0;
    const long type = static_cast<long>(sfs.f_type);
    std::lock_guard lock(gTypesMutex);
    FileSystemTypes()[device] = type;
    return type;
}

} // namespace

FolderRights ReadFolderRights(const std::string& folderPath)
{
    FolderRights rights;
    rights.known = true;
    struct stat st {};
    if (fs::Stat(folderPath, st, true) != 0)
        return rights;
    rights.sticky = (st.st_mode & S_ISVTX) != 0;
    rights.owner = st.st_uid;
    rights.writable = fs::Access(folderPath, W_OK | X_OK) == 0;
    return rights;
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
    if (S_ISDIR(st.st_mode)) {
        attrs |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
        if ((mask & SFGAO_HASSUBFOLDER) &&
            (!LinkCountTellsSubfolders(FileSystemTypeOf(st.st_dev, path)) || LinkCountMeansSubfolders(st.st_nlink)))
            attrs |= SFGAO_HASSUBFOLDER;
        if ((mask & SFGAO_DROPTARGET) && fs::Access(path, W_OK | X_OK) == 0)
            attrs |= SFGAO_DROPTARGET;
    }
    if (symlink || (S_ISREG(st.st_mode) && IsShortcutFileName(name)))
        attrs |= SFGAO_LINK;
    if (!name.empty() && name[0] == '.')
        attrs |= SFGAO_GHOSTED;
    if (mask & (SFGAO_CANMOVE | SFGAO_CANRENAME | SFGAO_CANDELETE)) {
        if (!rights.known)
            rights = ReadFolderRights(folderPath);
        attrs |= MoveRights(rights, lst.st_uid, ::geteuid());
    }
    out = attrs & mask;
    return true;
}

} // namespace platform::shell
