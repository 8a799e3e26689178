// Wine's registry dialect on arbitrary bytes: no crash, no read out of bounds; the
// environment built from what was read expands without running away.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/drivemap/DriveMap.h"
#include "platform/drivemap/WineRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const platform::WineRegistry all = platform::WineRegistry::Parse(text);
    const platform::WineRegistry some = platform::WineRegistry::Parse(text, platform::WinEnvironment::SystemKeys());
    const platform::WinEnvironment env = platform::WinEnvironment::FromWineRegistry("/nonexistent", some, all);
    (void)env.Expand("%SystemRoot%\\%USERPROFILE%\\%PATH%\\%TEMP%");
    return 0;
}
