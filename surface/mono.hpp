// Conversion of the canvas image to one bit per pixel, with the contract of
// the platform's GetDIBits for a 1-bit request: it converts lines of the
// image into the rows the information record asks for and fills the
// record's two-entry colour table.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "surface/image.hpp"

namespace lumarin {

struct RgbQuad {
    std::uint8_t rgbBlue = 0;
    std::uint8_t rgbGreen = 0;
    std::uint8_t rgbRed = 0;
    std::uint8_t rgbReserved = 0;
};

// The information header followed by a two-entry colour table: 48 bytes
// on disk.
struct MonoBitmapInfo {
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
    std::array<RgbQuad, 2> bmiColors{};
};

inline constexpr RgbQuad kMonoBlack{0, 0, 0, 0};        // colour 0
inline constexpr RgbQuad kMonoWhite{255, 255, 255, 0};  // colour 1

// Row stride of a 1-bit bitmap: whole 32-bit words.
constexpr std::int64_t mono_stride(std::int64_t width) noexcept { return (width + 31) / 32 * 4; }

// A pixel is white (colour 1) when its luminance 0.299 R + 0.587 G +
// 0.114 B is at least half of full scale, else black (colour 0).
constexpr bool is_light(Pixel p) noexcept
{
    const std::uint32_t r = (p >> 16) & 0xFF;
    const std::uint32_t g = (p >> 8) & 0xFF;
    const std::uint32_t b = p & 0xFF;
    return 299 * r + 587 * g + 114 * b >= 127500;
}

// Fills `bits` with `lines` rows starting at scan line `start` (0 is the
// bottom row, as the record's positive biHeight asks), most significant bit
// leftmost, a set bit for white. Returns the number of lines converted: 0
// when the record asks for anything but an uncompressed 1-bit bitmap of the
// image's own width and (bottom-up) height, or when `bits` is too small.
int GetDIBits(const Image& bitmap, int start, int lines, std::span<std::uint8_t> bits, MonoBitmapInfo& info);

}  // namespace lumarin
