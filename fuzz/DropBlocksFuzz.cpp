// The readers of drag blocks on arbitrary bytes, as any program may hand them over:
// no crash, no read out of bounds, and what they give back keeps its promises: names
// that are not empty and hold no zero byte, a file list only with a name in it, and
// names that survive being built into a block and read back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dragdrop/DropBlocks.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void CheckNames(const std::vector<std::string>& names)
{
    for (const std::string& name : names)
        Check(!name.empty() && name.find('\0') == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    std::vector<std::string> files;
    const bool read = ReadFileDropBlock(bytes, files);
    Check(read == !files.empty());
    CheckNames(files);
    if (read) {
        std::vector<std::string> again;
        Check(ReadFileDropBlock(*MakeFileDropBlock(files), again) && again == files);
    }

    const std::vector<std::string> narrow = ReadNameMap(bytes);
    CheckNames(narrow);
    Check(ReadNameMap(*MakeNameMap(narrow)) == narrow);

    const std::vector<std::string> wide = ReadWideNameMap(bytes);
    CheckNames(wide);
    const std::string wideBlock = *MakeWideNameMap(wide);
    std::size_t expected = 2;
    for (const std::string& name : wide)
        expected += 2 * name.size() + 2;
    Check(wideBlock.size() == expected);
    Check(ReadWideNameMap(wideBlock) == wide);

    if (const auto effect = ReadPreferredEffectBlock(bytes))
        Check(ReadPreferredEffectBlock(*MakePreferredEffectBlock(*effect)) == effect);
    return 0;
}
