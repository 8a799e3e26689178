#pragma once
// The system image list: one application-wide list of icons with an index per
// distinct icon, filled on demand from the icon theme by MIME type and folder kind.
// A shell link shows its target's icon with a link overlay where the target
// resolves. Never a blank icon: the theme the build installs is set when the
// desktop names none, and resources/ carries the last fallback icons.
#include <QIcon>
#include <QPixmap>
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
    // an existing file or folder (a link: its target's icon with the link overlay).
    int IndexForPath(const std::string& hostPath, bool open = false);
    // SHGFI_USEFILEATTRIBUTES: answered from the name and the folder flag alone,
    // without touching the disk.
    int IndexForName(const std::string& name, bool isFolder, bool open = false);
    int IndexForKind(ShellIconKind kind);

    int Count() const;
    QIcon Icon(int index) const;
    QPixmap Pixmap(int index, int size) const;
};

} // namespace platform
