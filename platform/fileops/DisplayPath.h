#pragma once
// Paths in messages, apart from the jobs (and GIO), for the windows that word them.
#include <string>
#include <string_view>

namespace platform::fileops {

// A path, or the name in it, for a message: bytes that are not UTF-8 as \xNN.
std::string DisplayPath(std::string_view path);

} // namespace platform::fileops
