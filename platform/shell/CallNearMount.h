#pragma once
// One call about a path that may lie on a network mount whose server went away:
// made at once where the path is local, and on a thread of its own, waited for a
// bounded time, where it reaches a network mount (NetworkMountOf).
#include <chrono>
#include <optional>
#include <string>
#include <type_traits>

#include "platform/shell/NetworkMounts.h"
#include "platform/util/CallWithLimit.h"

namespace platform::shell {

// The call's answer, or nothing when the mount did not answer within `limit`; the
// mount point then goes to `silentMount`.
template <class Call>
std::optional<std::invoke_result_t<Call&>> CallNearMount(const std::string& path, Call call,
                                                         std::chrono::milliseconds limit, std::string& silentMount)
{
    const std::optional<NetworkMount> mount = NetworkMountOf(path);
    if (!mount)
        return call();
    auto answer = CallWithLimit(std::move(call), limit);
    if (!answer)
        silentMount = mount->MountPoint;
    return answer;
}

} // namespace platform::shell
