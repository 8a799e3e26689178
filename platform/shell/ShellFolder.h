#pragma once
// The shell namespace: a tree of folders and items addressed by item ID lists.
//
//   Desktop (the empty list)
//   ├── Computer                 parses full paths; no file-system path of its own
//   │   ├── /                    the file-system root: every full path parses through it
//   │   └── volumes              mounts below /media, /run/media, /mnt (Volumes.h)
//   ├── Home                     $HOME
//   ├── the desktop directory's entries (XDG_DESKTOP_DIR, ~/Desktop)
//   └── Trash                    no file-system path
//
// The desktop's own path is the desktop directory. Attributes come from the file
// system each time they are asked for, except on network mounts, which are never
// asked (NetworkMounts.h): their items get fixed attributes with SFGAO_ISSLOW.
// Names are bytes. A name that begins with "." is hidden.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/shell/IdList.h"

class QWidget;

namespace platform::shell {

// Result codes, shaped like the shell's: 0 and 1 succeed, negative values fail.
using HResult = std::int32_t;
inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_NOTIMPL = static_cast<HResult>(0x80004001);
inline constexpr HResult E_FAIL = static_cast<HResult>(0x80004005);
inline constexpr HResult E_OUTOFMEMORY = static_cast<HResult>(0x8007000E);
inline constexpr HResult E_INVALIDARG = static_cast<HResult>(0x80070057);
inline bool Succeeded(HResult hr) { return hr >= 0; }
inline bool Failed(HResult hr) { return hr < 0; }
// A failure of a system call: facility 0x7FF holds the errno value.
HResult ResultFromErrno(int error);
// The system's text for a result ("No such file or directory", ...).
std::string ResultMessage(HResult hr);

// Attribute flags (SFGAO_...).
inline constexpr std::uint32_t SFGAO_CANCOPY = 0x00000001;
inline constexpr std::uint32_t SFGAO_CANMOVE = 0x00000002;
inline constexpr std::uint32_t SFGAO_CANLINK = 0x00000004;
inline constexpr std::uint32_t SFGAO_CANRENAME = 0x00000010;
inline constexpr std::uint32_t SFGAO_CANDELETE = 0x00000020;
inline constexpr std::uint32_t SFGAO_HASPROPSHEET = 0x00000040;
inline constexpr std::uint32_t SFGAO_DROPTARGET = 0x00000100;
// On a network mount: the item was not asked (a server that is gone would make
// any call wait), and whatever the file system holds is still unknown.
inline constexpr std::uint32_t SFGAO_ISSLOW = 0x00004000;
inline constexpr std::uint32_t SFGAO_LINK = 0x00010000;
inline constexpr std::uint32_t SFGAO_SHARE = 0x00020000;
inline constexpr std::uint32_t SFGAO_GHOSTED = 0x00080000; // hidden items are drawn ghosted
inline constexpr std::uint32_t SFGAO_VALIDATE = 0x01000000;
inline constexpr std::uint32_t SFGAO_REMOVABLE = 0x02000000;
inline constexpr std::uint32_t SFGAO_FILESYSANCESTOR = 0x10000000;
inline constexpr std::uint32_t SFGAO_FOLDER = 0x20000000;
inline constexpr std::uint32_t SFGAO_FILESYSTEM = 0x40000000;
inline constexpr std::uint32_t SFGAO_HASSUBFOLDER = 0x80000000;

// Enumeration flags (SHCONTF_...).
inline constexpr std::uint32_t SHCONTF_FOLDERS = 0x20;
inline constexpr std::uint32_t SHCONTF_NONFOLDERS = 0x40;
inline constexpr std::uint32_t SHCONTF_INCLUDEHIDDEN = 0x80;

// Display name kinds (SHGDN_...). NORMAL is the name relative to the desktop: the
// entry's name for an item of its folder, the full path for a file-system item
// reached through several levels. INFOLDER is the name in its folder; FORPARSING
// the full path (or "::Computer", "::Trash" for items without one).
inline constexpr std::uint32_t SHGDN_NORMAL = 0x0000;
inline constexpr std::uint32_t SHGDN_INFOLDER = 0x0001;
inline constexpr std::uint32_t SHGDN_FORPARSING = 0x8000;

// Special folder ids (CSIDL_...).
inline constexpr int CSIDL_DESKTOP = 0;
inline constexpr int CSIDL_PROGRAMS = 2;
inline constexpr int CSIDL_CONTROLS = 3;
inline constexpr int CSIDL_PRINTERS = 4;
inline constexpr int CSIDL_PERSONAL = 5;
inline constexpr int CSIDL_FAVORITES = 6;
inline constexpr int CSIDL_STARTUP = 7;
inline constexpr int CSIDL_RECENT = 8;
inline constexpr int CSIDL_SENDTO = 9;
inline constexpr int CSIDL_BITBUCKET = 10;
inline constexpr int CSIDL_STARTMENU = 11;
inline constexpr int CSIDL_DESKTOPDIRECTORY = 16;
inline constexpr int CSIDL_DRIVES = 17;
inline constexpr int CSIDL_NETWORK = 18;
inline constexpr int CSIDL_NETHOOD = 19;
inline constexpr int CSIDL_FONTS = 20;
inline constexpr int CSIDL_TEMPLATES = 21;
inline constexpr int CSIDL_PROFILE = 40;

// The items of a folder, one at a time (IEnumIDList).
class EnumIdList {
public:
    virtual ~EnumIdList() = default;
    // S_OK with the next item (a one-item list relative to the folder), S_FALSE at
    // the end.
    virtual HResult Next(IdList& item) = 0;
};

class ShellFolder;
using ShellFolderPtr = std::shared_ptr<ShellFolder>;
class ContextMenu; // platform/shell/ContextMenu.h

// A folder of the namespace (IShellFolder). Relative lists may hold several levels;
// the folder then works through its subfolders.
class ShellFolder {
public:
    virtual ~ShellFolder() = default;

    // A name of an item below this folder: an entry name or a relative path
    // ("a/b"), or a full path that lies inside the folder. The desktop and Computer
    // parse any full path. Every level must exist. The result is relative to this
    // folder.
    virtual HResult ParseDisplayName(std::string_view name, IdList& out) = 0;
    // The folder's items (SHCONTF_ flags). Fails when the folder cannot be read.
    virtual HResult EnumObjects(std::uint32_t flags, std::unique_ptr<EnumIdList>& out) = 0;
    // The folder object of a folder item below this folder.
    virtual HResult BindToObject(PCIdList relative, ShellFolderPtr& out) = 0;
    // The attributes in inOut's mask that all the items have, computed now. With no
    // items and SFGAO_VALIDATE, the folder forgets what it has cached.
    virtual HResult GetAttributesOf(std::span<const PCIdList> items, std::uint32_t& inOut) = 0;
    virtual HResult GetDisplayNameOf(PCIdList relative, std::uint32_t flags, std::string& name) = 0;
    // Column 0: by name, in the shell's order. The result's low 16 bits hold the
    // answer: 0xFFFF (-1), 0 or 1. 0 only for the same item.
    virtual HResult CompareIDs(std::uint32_t column, PCIdList a, PCIdList b) = 0;
    // Renames an item (never over an existing one); newItem gets its new relative
    // list when given.
    virtual HResult SetNameOf(PCIdList relative, std::string_view newName, std::uint32_t flags,
                              IdList* newItem) = 0;
    // The context menu of items below this folder (GetUIObjectOf for IContextMenu);
    // with no items, the menu of the folder's own background. The menu keeps the
    // items' paths, not the lists.
    virtual HResult GetUIObjectOf(QWidget* owner, std::span<const PCIdList> items, std::unique_ptr<ContextMenu>& out);
};

// SHGetDesktopFolder.
HResult GetDesktopFolder(ShellFolderPtr& out);
// SHGetSpecialFolderLocation: the absolute list of a special folder. The desktop,
// Computer (CSIDL_DRIVES) and Trash (CSIDL_BITBUCKET) are items of the namespace;
// CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_TEMPLATES, CSIDL_FONTS and
// CSIDL_PROFILE are XDG folders; the Windows folders (CSIDL_FAVORITES, _PROGRAMS,
// _STARTMENU, _STARTUP, _RECENT, _SENDTO, _NETHOOD, and the other ones where they
// are set) come from the "Shell Folders" registry key, which the platform seeds
// from the Wine prefix. A folder that is not set or does not exist fails, as do
// CSIDL_CONTROLS, CSIDL_PRINTERS and CSIDL_NETWORK, which have no counterpart.
HResult GetSpecialFolderLocation(int csidl, IdList& out);
// SHGetPathFromIDList: the file-system path of an absolute list; false for items
// without one (Computer, Trash).
bool GetPathFromIdList(PCIdList absolute, std::string& path);

// The folder of the desktop's entries: XDG_DESKTOP_DIR from user-dirs.dirs, else
// ~/Desktop; empty when it does not exist or is the home folder itself.
std::string DesktopDirectory();
// $HOME (else the password database's entry).
std::string HomeDirectory();
// An XDG user folder from user-dirs.dirs ("DOCUMENTS", "TEMPLATES", ...); empty when
// it is not set.
std::string XdgUserDir(std::string_view name);

// What an item shows as its icon: a kind of shell object, or the icon of a path.
enum class IconSource { Path, Desktop, Computer, Drive, RemovableDrive, NetworkDrive, Home, Trash };
struct ItemIcon {
    IconSource source = IconSource::Path;
    std::string path;      // for IconSource::Path
    bool isFolder = false; // for IconSource::Path: a folder of the namespace
};
bool GetItemIconSource(PCIdList absolute, ItemIcon& out);

// Checks a new name for an entry: not empty, not "." or "..", no "/" and no zero byte.
bool IsValidEntryName(std::string_view name);

} // namespace platform::shell
