#include "platform/notify/ChangeKinds.h"

#include <sys/inotify.h>

namespace platform::notify {
namespace {

constexpr std::uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr std::uint32_t kWriteEvents = IN_MODIFY | IN_CLOSE_WRITE;

} // namespace

std::uint32_t InotifyMask(std::uint32_t kinds, bool subtree)
{
    // IN_EXCL_UNLINK: a file deleted while still open and written is gone from the
    // folder; its later writes are no change in it.
    std::uint32_t mask = IN_DELETE_SELF | IN_MOVE_SELF | IN_EXCL_UNLINK;
    if (subtree || (kinds & (kChangeFileName | kChangeDirName)))
        mask |= kNameEvents;
    if (kinds & (kChangeAttributes | kChangeSecurity))
        mask |= IN_ATTRIB;
    if (kinds & (kChangeSize | kChangeLastWrite))
        mask |= kWriteEvents;
    return mask;
}

bool IsChangeOf(std::uint32_t kinds, std::uint32_t eventMask)
{
    if (eventMask & kNameEvents)
        return kinds & ((eventMask & IN_ISDIR) ? kChangeDirName : kChangeFileName);
    if (eventMask & IN_ATTRIB)
        return kinds & (kChangeAttributes | kChangeSecurity);
    if (eventMask & kWriteEvents)
        return kinds & (kChangeSize | kChangeLastWrite);
    return false;
}

} // namespace platform::notify
