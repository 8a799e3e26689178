#pragma once
// The system image list: one application-wide list of icons with an index per
// distinct icon, filled on demand from the icon theme by MIME type and folder kind,
// and from the icons inside Windows programs and icon files. A shell link shows the
// icon it names, else its target's, with a link overlay. Never a blank icon: the
// theme the build installs is set when the desktop names none, and resources/
// carries the last fallback icons.
//
// Indexes stay valid for the life of the process; an index out of range answers
// the generic file icon. GUI thread only.
#include <QIcon>
#include <QPixmap>
#include <memory>
#include <string>

namespace platform {

// Shell objects that have no file of their own.
enum class ShellIconKind { Folder, FolderOpen, File, Computer, Drive, RemovableDrive, NetworkDrive, Home, Desktop, Trash };

class SystemIconList {
public:
    static SystemIconList& Instance();

    static constexpr int kSmallSize = 16;
    static constexpr int kLargeSize = 32;

    // SHGetFileInfo with SHGFI_SYSICONINDEX: the index of the icon the shell shows for
    // an existing file or folder. Programs (.exe, .cpl, .scr) and icon files show
    // their own first icon. A shell link shows, with the link overlay, its icon
    // location's icon at its index (through the drive map, %VARS% expanded) when it
    // names one that can be read, else its target's icon, else (the target is gone)
    // the type icon of the target's name.
    // A path that does not exist is answered from its name, as IndexForName. Nothing
    // on a network mount is asked (its server may be gone): such a path, or a link's
    // target there, is answered from its name, and as a folder where it is known to
    // be one (the root of the mount, a symbolic link into it, a link whose header
    // says so, or `isFolder` from the caller).
    int IndexForPath(const std::string& hostPath, bool open = false, bool isFolder = false);
    // SHGFI_USEFILEATTRIBUTES: answered from the name and the folder flag alone,
    // without touching the disk.
    int IndexForName(const std::string& name, bool isFolder, bool open = false);
    int IndexForKind(ShellIconKind kind);

    // Whether the icons inside programs and icon files are read (the default); off,
    // they show their type icons. Indexes given out before keep their pictures.
    void SetProgramIcons(bool on);
    bool ProgramIcons() const;

    int Count() const;
    QIcon Icon(int index) const;
    // The icon drawn at size x size; the small and large sizes are prepared once.
    QPixmap Pixmap(int index, int size) const;

    // The icon theme in use: the desktop's, or the one the build installs when the
    // desktop names none.
    static QString ThemeName();

    SystemIconList(const SystemIconList&) = delete;
    SystemIconList& operator=(const SystemIconList&) = delete;
    ~SystemIconList();

private:
    SystemIconList();
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace platform
