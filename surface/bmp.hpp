// The colour picture file: a standard 24-bit, bottom-up, uncompressed BMP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lumarin/types.hpp"
#include "surface/image.hpp"

namespace lumarin {

inline constexpr std::uint32_t kBmp24HeaderSize = 54;

// Bytes per row of a 24-bit BMP: three a pixel, padded to whole 32-bit words.
constexpr std::size_t bmp24_stride(int width) noexcept
{
    return (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
}

// The 14-byte file header and the 40-byte information header.
std::vector<std::byte> bmp24_header(int width, int height);

// The whole file, for tests and tools that want it in memory.
std::vector<std::byte> encode_bmp24(const Image& image);

// SavePicture: writes the image to `path` as a 24-bit BMP, replacing the
// file atomically.
void SavePicture(const Image& image, const Text& path);

}  // namespace lumarin
