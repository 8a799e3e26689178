#pragma once
// How the shell orders and folds names: the order a user expects in a folder view.
#include <string>
#include <string_view>

namespace platform::shell {

// Compares two names as the shell orders them: letter case ignored, runs of digits
// compared by their value ("file2" before "file10"), and a tie broken by the exact
// bytes, so that 0 means the very same name ("links" and "Links" differ). Names that
// are not valid UTF-8 take part byte by byte where they are not. Answers -1, 0 or 1.
int CompareNames(std::string_view a, std::string_view b);

// The name in lower case: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic
// letters. Bytes that are not valid UTF-8 stay as they are.
std::string LowerCaseName(std::string_view name);

} // namespace platform::shell
