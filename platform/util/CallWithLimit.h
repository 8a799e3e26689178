#pragma once
// One call that may wait for a server that went away (a rename or a mkdir on a
// network mount), made on a thread of its own so that its caller waits a bounded
// time and never for the server itself.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>

namespace platform {

// Runs `call` on a new thread and waits for its answer at most `limit`. Answers the
// call's result, or nothing when the limit passed first (or no thread could be
// made). A call left behind keeps running on its own; nothing waits for it, not even
// the program's exit, and its answer is dropped.
template <class Call>
std::optional<std::invoke_result_t<Call&>> CallWithLimit(Call call, std::chrono::milliseconds limit)
{
    using Result = std::invoke_result_t<Call&>;
    struct State {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
    };
    auto state = std::make_shared<State>();
    try {
        std::thread([state, call = std::move(call)]() mutable {
            Result result = call();
            {
                std::lock_guard lock(state->mutex);
                state->result = std::move(result);
            }
            state->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    std::unique_lock lock(state->mutex);
    state->done.wait_for(lock, limit, [&] { return state->result.has_value(); });
    return std::move(state->result);
}

} // namespace platform
