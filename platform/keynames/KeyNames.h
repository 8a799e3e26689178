#pragma once
// The names Windows' US keyboard layout gives to virtual-key codes (what
// MapVirtualKey followed by GetKeyNameText answers), for the keys that have one.
// Each key keeps its own name where Windows' lookup without the extended-key bit
// would name another key ("Num Lock", not "Pause"; "Num /", not "/").
#include <cstdint>
#include <string>

namespace platform {

// The layout's name for a virtual-key code; empty when the key has no scan code.
std::string KeyNameText(std::uint8_t virtualKey);

} // namespace platform
