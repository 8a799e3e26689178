#pragma once
// The shell attributes of a file-system entry, computed from the file system.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::shell {

// What the parent folder allows: renaming, moving and deleting an entry need write
// and search permission on the folder, and in a sticky folder (like /tmp) also that
// the user owns the entry or the folder (or is root).
struct FolderRights {
    bool known = false;
    bool writable = false;
    bool sticky = false;
    uid_t owner = 0;
    // What they were read from, so that checking them again costs one stat.
    bool stale = false;
    dev_t device = 0;
    ino_t inode = 0;
    struct timespec changed {};
};
FolderRights ReadFolderRights(const std::string& folderPath);
// Reads the rights when unknown, or when stale and the folder changed since.
void RefreshFolderRights(const std::string& folderPath, FolderRights& rights);
// SFGAO_CANMOVE | SFGAO_CANRENAME | SFGAO_CANDELETE when the rights allow them.
std::uint32_t MoveRights(const FolderRights& folder, uid_t entryOwner, uid_t user);

// Whether a folder's link count tells its number of subfolders on a file system of
// this type (statfs f_type): true for ext2/3/4, xfs and tmpfs. Elsewhere (btrfs,
// network and FUSE file systems, vfat, ...) it tells nothing.
bool LinkCountTellsSubfolders(long fsType);
// With such a count: whether a folder of `linkCount` links has subfolders. 2 is an
// empty folder; 1 is what ext4 answers once a folder has too many to count.
inline bool LinkCountMeansSubfolders(unsigned long linkCount) { return linkCount != 2; }
// Forgets the file-system types learned per device (after the mount table changed).
void ForgetFileSystemTypes();

// Whether the user may create entries in a folder of this status (write and search
// permission by its mode bits, on a file system mounted writable).
bool MayWriteFolder(const struct stat& st, bool readOnlyFileSystem);

// Shortcut files are links too: ".lnk", ".pif", ".url", any letter case.
bool IsShortcutFileName(std::string_view name);

// The attributes of an entry on a network mount, from what is known without asking
// the mount: whether it is a folder (a symbolic link that leads into a mount counts
// as one), whether it is such a link, and its name. It may be renamed, moved and
// deleted: whether the server allows it shows when it is tried.
std::uint32_t NetworkEntryAttributes(std::string_view name, bool isFolder, bool isLink);

// The attributes in `mask` of folderPath/name (lstat, and stat through a symbolic
// link). Answers false when the entry cannot be examined (gone, or no permission on
// the folder).
bool EntryAttributes(const std::string& folderPath, std::string_view name, FolderRights& rights,
                     std::uint32_t mask, std::uint32_t& out);

} // namespace platform::shell
