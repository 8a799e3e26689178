#include "platform/ui/PathWithin.h"

#include "platform/shell/CallNearMount.h"

namespace platform::ui {

PathLookUp LookUpWithin(const std::string& path, bool followLinks, std::chrono::milliseconds limit)
{
    auto ask = [path, followLinks] {
        PathLookUp answer;
        answer.exists = (followLinks ? ::stat(path.c_str(), &answer.st) : ::lstat(path.c_str(), &answer.st)) == 0;
        return answer;
    };
    PathLookUp silent;
    silent.answered = false;
    return shell::CallNearMount(path, ask, limit, silent.mountPoint).value_or(silent);
}

} // namespace platform::ui
