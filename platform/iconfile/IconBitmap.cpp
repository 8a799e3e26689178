#include "platform/iconfile/IconBitmap.h"

#include <algorithm>

namespace platform::iconfile {

namespace {

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint32_t Be32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

std::uint32_t Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return std::uint32_t{r} << 16 | std::uint32_t{g} << 8 | b;
}

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

} // namespace

bool IsPng(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 8 && std::equal(kPngSignature, kPngSignature + 8, bytes.begin());
}

std::optional<std::pair<int, int>> PngSize(std::span<const std::uint8_t> bytes)
{
    // Signature, then the IHDR chunk: length, "IHDR", width, height (big-endian).
    if (!IsPng(bytes) || bytes.size() < 24 || !std::equal(bytes.begin() + 12, bytes.begin() + 16, "IHDR"))
        return std::nullopt;
    const std::uint32_t w = Be32(bytes.data() + 16), h = Be32(bytes.data() + 20);
    if (w == 0 || h == 0 || w > kMaxIconSide || h > kMaxIconSide)
        return std::nullopt;
    return std::pair<int, int>(static_cast<int>(w), static_cast<int>(h));
}

std::optional<IconPixels> DecodeIconDib(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 40)
        return std::nullopt;
    const std::uint8_t* b = bytes.data();
    const std::uint32_t headerSize = Le32(b);
    const auto width = static_cast<std::int32_t>(Le32(b + 4));
    const auto doubledHeight = static_cast<std::int32_t>(Le32(b + 8));
    const int bitCount = b[14] | b[15] << 8;
    const std::uint32_t compression = Le32(b + 16);
    const std::uint32_t colorsUsed = Le32(b + 32);
    const std::int32_t height = doubledHeight / 2;
    if (headerSize < 40 || headerSize > bytes.size() || compression != 0 || width <= 0 || width > kMaxIconSide ||
        height <= 0 || height > kMaxIconSide)
        return std::nullopt;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return std::nullopt;

    std::uint64_t paletteCount = 0;
    if (bitCount <= 8) {
        const std::uint64_t full = std::uint64_t{1} << bitCount;
        paletteCount = colorsUsed == 0 || colorsUsed > full ? full : colorsUsed;
    }
    const std::uint64_t paletteAt = headerSize;
    const std::uint64_t colorStride = (std::uint64_t(width) * bitCount + 31) / 32 * 4;
    const std::uint64_t maskStride = (std::uint64_t(width) + 31) / 32 * 4;
    const std::uint64_t colorAt = paletteAt + paletteCount * 4;
    const std::uint64_t maskAt = colorAt + colorStride * std::uint64_t(height);
    if (maskAt > bytes.size())
        return std::nullopt;
    const bool hasMask = maskAt + maskStride * std::uint64_t(height) <= bytes.size();

    IconPixels out;
    out.width = width;
    out.height = height;
    out.argb.resize(std::size_t(width) * std::size_t(height));
    bool anyAlpha = false;
    for (std::int32_t y = 0; y < height; ++y) {
        // Rows are stored bottom up.
        const std::uint8_t* row = b + colorAt + colorStride * std::uint64_t(height - 1 - y);
        std::uint32_t* dst = out.argb.data() + std::size_t(y) * std::size_t(width);
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint32_t pixel = 0;
            switch (bitCount) {
            case 32: {
                const std::uint8_t* p = row + x * 4;
                pixel = std::uint32_t{p[3]} << 24 | Rgb(p[2], p[1], p[0]);
                anyAlpha = anyAlpha || p[3] != 0;
                break;
            }
            case 24: {
                const std::uint8_t* p = row + x * 3;
                pixel = Rgb(p[2], p[1], p[0]);
                break;
            }
            case 16: { // X1R5G5B5
                const unsigned v = row[x * 2] | row[x * 2 + 1] << 8;
                auto widen = [](unsigned c) { return static_cast<std::uint8_t>(c << 3 | c >> 2); };
                pixel = Rgb(widen(v >> 10 & 31), widen(v >> 5 & 31), widen(v & 31));
                break;
            }
            default: {
                const unsigned bitPos = unsigned(x) * unsigned(bitCount);
                const unsigned shift = 8 - bitCount - bitPos % 8;
                const unsigned index = (row[bitPos / 8] >> shift) & ((1u << bitCount) - 1);
                if (index < paletteCount) {
                    const std::uint8_t* q = b + paletteAt + index * 4;
                    pixel = Rgb(q[2], q[1], q[0]);
                }
                break;
            }
            }
            dst[x] = pixel;
        }
    }
    // A 32-bit picture without any alpha (older writers) and every other depth take
    // their transparency from the AND mask: a set bit is a transparent pixel.
    if (!anyAlpha) {
        for (std::int32_t y = 0; y < height; ++y) {
            const std::uint8_t* mask = hasMask ? b + maskAt + maskStride * std::uint64_t(height - 1 - y) : nullptr;
            std::uint32_t* dst = out.argb.data() + std::size_t(y) * std::size_t(width);
            for (std::int32_t x = 0; x < width; ++x) {
                const bool transparent = mask && (mask[x / 8] >> (7 - x % 8) & 1);
                dst[x] = transparent ? 0 : (dst[x] | 0xFF000000u);
            }
        }
    }
    return out;
}

} // namespace platform::iconfile
