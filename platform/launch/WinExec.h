#pragma once
// WinExec: runs a command line. The platform's own commands (the new-shortcut
// wizard's "RunDLL32 AppWiz.Cpl,NewLinkHere FOLDER") are recognised by their
// program name; none is provided yet, so they answer ERROR_FILE_NOT_FOUND. Any
// other command line runs as a program: split by the Windows command-line rules
// into an argument vector, the program looked up on PATH, no shell involved.
#include <cstdint>
#include <string_view>

namespace platform::launch {

// Results as Windows gives them: above 31 is success.
inline constexpr std::uint32_t kWinExecOk = 33;
inline constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t ERROR_BAD_FORMAT = 11;

std::uint32_t WinExec(std::string_view commandLine, int showCmd);

} // namespace platform::launch
