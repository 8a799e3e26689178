#pragma once
// How every mode of the command line refuses what it was given: one line on stderr
// naming what is wrong, then the exit status 2, before any window is made.
#include <string>
#include <string_view>

inline constexpr int kExitUsage = 2;

// Writes "quillmere: MESSAGE (see quillmere --help)" on stderr; answers false.
bool UsageError(const std::string& message);
// "unknown option 'ARG'", the argument's control characters shown as "?" (they would
// reach the terminal as commands).
std::string UnknownOption(std::string_view arg);
// "option 'ARG' needs a VALUE".
std::string OptionNeedsValue(std::string_view arg, std::string_view value);
