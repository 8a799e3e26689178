// The registry file parser on arbitrary bytes: no crash, no read out of bounds, and a
// file that parses writes back to text that parses to the same tree.
#include <cstddef>
#include <cstdint>

#include "platform/registry/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    platform::registry::FuzzRegFile(data, size);
    return 0;
}
