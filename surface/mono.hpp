// Conversion of the canvas image to one bit per pixel, in the rows of a
// 1-bit BMP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "surface/bmp.hpp"
#include "surface/image.hpp"

namespace lumarin {

constexpr std::int64_t mono_stride(std::int64_t width) noexcept { return bmp_stride(width, 1); }

// A pixel is white (colour 1) when its luminance 0.299 R + 0.587 G +
// 0.114 B is at least half of full scale, else black (colour 0).
constexpr bool is_light(Pixel p) noexcept
{
    const std::uint32_t r = (p >> 16) & 0xFF;
    const std::uint32_t g = (p >> 8) & 0xFF;
    const std::uint32_t b = p & 0xFF;
    return 299 * r + 587 * g + 114 * b >= 127500;
}

// Fills `bits` with up to `lines` rows of mono_stride(width) bytes from scan
// line `start` on (0 is the bottom row): most significant bit leftmost, a
// set bit for white, zero padding. Returns the number of lines converted:
// fewer than asked where the image ends, 0 when `bits` cannot hold them.
int convert_to_mono_rows(const Image& image, int start, int lines, std::span<std::byte> bits);

}  // namespace lumarin
