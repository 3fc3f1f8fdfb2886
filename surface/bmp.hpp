// The picture files: uncompressed, bottom-up BMPs, 24 bits a pixel for the
// colour picture and 1 bit a pixel, black and white, for the monochrome one.
// Both replace their file atomically.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lumarin/types.hpp"
#include "surface/file.hpp"
#include "surface/image.hpp"

namespace lumarin {

// Headers before the pixels: the file header and the information header,
// and for the 1-bit file its two-colour table.
inline constexpr std::uint32_t kBmp24HeaderSize = 54;
inline constexpr std::uint32_t kBmp1HeaderSize = 62;

// Bytes per row at `bits` bits a pixel, padded to whole 32-bit words.
constexpr std::int64_t bmp_stride(std::int64_t width, int bits) noexcept { return (width * bits + 31) / 32 * 4; }
// The image keeps its rows at this length, so its rows are the file's.
constexpr std::size_t bmp24_stride(int width) noexcept { return Image::stride_of(width); }
static_assert(Image::stride_of(5) == bmp_stride(5, 24) && Image::stride_of(4) == bmp_stride(4, 24));

// The resolution in the information header, in pixels a metre: 3780 is
// 96 dpi, the resolution text is drawn at; 0 leaves it unstated.
inline constexpr std::int32_t kBmp24PelsPerMeter = 3780;
inline constexpr std::int32_t kBmp1PelsPerMeter = 0;

// The whole file, for tests and tools that want it in memory.
std::vector<std::byte> encode_bmp24(const Image& image, std::int32_t pels_per_meter = kBmp24PelsPerMeter);
std::vector<std::byte> encode_bmp1(const Image& image, Pixel background,
                                   std::int32_t pels_per_meter = kBmp1PelsPerMeter);

// SavePicture: writes the image to `path` as a 24-bit BMP.
void SavePicture(const Image& image, const Text& path, const SaveOptions& options = {},
                 std::int32_t pels_per_meter = kBmp24PelsPerMeter);
// Writes the image to `path` as a 1-bit BMP, black and white, the pixels
// that differ from `background` in the entry opposite to its own (see
// mono_bit).
void SaveMonoPicture(const Image& image, Pixel background, const Text& path, const SaveOptions& options = {},
                     std::int32_t pels_per_meter = kBmp1PelsPerMeter);

}  // namespace lumarin
