#pragma once
// The pictures inside icons: a DIB (BITMAPINFOHEADER, palette, colour rows bottom up,
// then a 1-bit AND mask; the header's height counts both, so it is twice the icon's)
// or a PNG stream, which the caller's image library decodes.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform::iconfile {

// Icons are at most 256 pixels square; this leaves room without inviting huge ones.
inline constexpr int kMaxIconSide = 1024;

struct IconPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb; // 0xAARRGGBB, not premultiplied, top row first
};

bool IsPng(std::span<const std::uint8_t> bytes);
// Width and height from a PNG stream's IHDR; none when it is not a PNG or either side
// is 0 or above kMaxIconSide.
std::optional<std::pair<int, int>> PngSize(std::span<const std::uint8_t> bytes);

// Uncompressed DIBs of 1, 4, 8, 16, 24 and 32 bits. 32-bit pictures with any alpha
// use it; the others take their transparency from the AND mask (a mask cut short
// counts as opaque). None for anything else or anything that does not fit.
std::optional<IconPixels> DecodeIconDib(std::span<const std::uint8_t> bytes);

} // namespace platform::iconfile
