// The icon reader on arbitrary bytes, as the list and the Change Icon dialog use it:
// every icon of the file, every image of each, decoded. It must never crash, read out
// of bounds or run long, and a picture it gives must have the size it says.
#include <cstdint>
#include <cstdlib>

#include "platform/iconfile/ByteSource.h"
#include "platform/iconfile/IconBitmap.h"
#include "platform/iconfile/IconFileReader.h"

using namespace platform::iconfile;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const MemoryBytes source({data, size});
    const IconFileReader reader(source);
    for (const int index : {0, 1, 2, -1, -2, -101, -32768, 2147483647, -2147483647 - 1})
        if (const auto position = reader.GroupOfIconIndex(index))
            Check(*position < reader.GroupCount());
    for (std::size_t g = 0; g < reader.GroupCount(); ++g) {
        const auto group = reader.ReadGroup(g);
        if (!group)
            continue;
        Check(!group->images.empty());
        for (const int size : {16, 32})
            Check(IconFileReader::ImagesBySuitability(*group, size).size() == group->images.size());
        for (const IconImageEntry& entry : group->images) {
            const auto bytes = reader.ReadImage(entry);
            if (!bytes)
                continue;
            PngSize(*bytes);
            if (const auto pixels = DecodeIconDib(*bytes)) {
                Check(pixels->width > 0 && pixels->width <= kMaxIconSide);
                Check(pixels->height > 0 && pixels->height <= kMaxIconSide);
                Check(pixels->argb.size() == std::size_t(pixels->width) * std::size_t(pixels->height));
            }
        }
    }
    return 0;
}
