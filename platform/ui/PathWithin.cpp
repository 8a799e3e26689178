#include "platform/ui/PathWithin.h"

#include "platform/shell/NetworkMounts.h"
#include "platform/util/CallWithLimit.h"

namespace platform::ui {

PathLookUp LookUpWithin(const std::string& path, bool followLinks, std::chrono::milliseconds limit)
{
    auto ask = [path, followLinks] {
        PathLookUp answer;
        answer.exists = (followLinks ? ::stat(path.c_str(), &answer.st) : ::lstat(path.c_str(), &answer.st)) == 0;
        return answer;
    };
    const auto mount = shell::NetworkMountOf(path);
    if (!mount)
        return ask();
    PathLookUp silent;
    silent.answered = false;
    PathLookUp answer = CallWithLimit(ask, limit).value_or(silent);
    answer.mountPoint = mount->MountPoint;
    return answer;
}

} // namespace platform::ui
