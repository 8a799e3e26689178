#pragma once
// Letter case as Windows compares names of files, registry keys and environment
// variables: ignoring case for the alphabets in everyday use (ASCII, Latin-1,
// Latin Extended-A, Greek, Cyrillic, full-width Latin). Bytes that are not UTF-8
// are kept, so a name that is not text still equals only itself.
#include <string>
#include <string_view>

namespace platform {

// The name with every letter in upper case, for comparing and as a map key.
std::string FoldCase(std::string_view name);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

} // namespace platform
