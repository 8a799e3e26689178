#pragma once
// The kinds of change a folder watch can be asked for, and what each one means to
// inotify. The values are those the Windows notification call gives the same kinds,
// so a filter travels between the two unchanged.
//
//   kind          inotify events asked for            an event counts when
//   ------------  ----------------------------------  ---------------------------------
//   file name     IN_CREATE, IN_DELETE,                the entry is not a folder
//                 IN_MOVED_FROM, IN_MOVED_TO
//   dir name      the same four                        the entry is a folder (IN_ISDIR)
//   attributes    IN_ATTRIB                            always (mode, owner, times, links,
//                                                      extended attributes)
//   size          IN_MODIFY, IN_CLOSE_WRITE            always
//   last write    IN_MODIFY, IN_CLOSE_WRITE            always
//   security      IN_ATTRIB                            always (permissions and ACLs are
//                                                      attributes to the kernel)
//
// Whatever the kinds, a watch also asks for IN_DELETE_SELF and IN_MOVE_SELF (the
// watched folder goes away), and a subtree watch for IN_CREATE, IN_MOVED_FROM and
// IN_MOVED_TO, which tell it that folders came or went; such an event is counted
// only when its own kind was asked for. The kernel sends IN_UNMOUNT, IN_IGNORED and
// IN_Q_OVERFLOW unasked. Only events about an entry of a watched folder (they carry
// its name) are counted, never those about a watched folder itself: its parent's
// event already tells of it, and the watched folder's own attributes are no change
// in it.
#include <cstdint>

namespace platform::notify {

enum ChangeKind : std::uint32_t {
    kChangeFileName = 0x001,
    kChangeDirName = 0x002,
    kChangeAttributes = 0x004,
    kChangeSize = 0x008,
    kChangeLastWrite = 0x010,
    kChangeSecurity = 0x100,
};

// The inotify mask a watch of these kinds adds to every folder it watches (without
// IN_ONLYDIR and IN_DONT_FOLLOW, which depend on the folder).
std::uint32_t InotifyMask(std::uint32_t kinds, bool subtree);

// Whether an event about an entry of a watched folder is a change of one of `kinds`.
bool IsChangeOf(std::uint32_t kinds, std::uint32_t eventMask);

} // namespace platform::notify
