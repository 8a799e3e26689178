#pragma once
// One call about a path that may lie on a network mount whose server went away:
// made at once where the path is local, and on the queue of the mount it reaches
// (NetworkMountOf), waited for a bounded time, where it reaches one.
#include <chrono>
#include <optional>
#include <string>
#include <type_traits>

#include "platform/shell/NetworkMounts.h"
#include "platform/util/Tasks.h"

namespace platform::shell {

// The call's answer, or nothing when the mount did not answer within `limit` or was
// known not to answer; the mount point then goes to `silentMount`.
template <class Call>
std::optional<std::invoke_result_t<Call&>> CallNearMount(const std::string& path, Call call,
                                                         std::chrono::milliseconds limit, std::string& silentMount)
{
    const std::optional<NetworkMount> mount = NetworkMountOf(path);
    if (!mount)
        return call();
    auto answer = tasks::CallOnMount(tasks::TaskHome::Get(), mount->MountPoint, std::move(call), limit);
    if (!answer)
        silentMount = mount->MountPoint;
    return answer;
}

} // namespace platform::shell
