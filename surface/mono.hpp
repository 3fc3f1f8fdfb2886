// Conversion of the canvas image to one bit per pixel, in the rows of a
// 1-bit BMP. The image holds one background colour at a time (a new one
// clears it), so the conversion separates ink from background rather than
// cutting at a luminance: text in any colour survives on any background.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "surface/bmp.hpp"
#include "surface/image.hpp"
#include "surface/tiles.hpp"

namespace lumarin {

constexpr std::int64_t mono_stride(std::int64_t width) noexcept { return bmp_stride(width, 1); }
// Bytes a row where rows end at a whole byte rather than a word (PNG, PBM).
constexpr std::int64_t packed_mono_row_bytes(std::int64_t width) noexcept { return (width + 7) / 8; }

// A colour is light when its luminance 0.299 R + 0.587 G + 0.114 B is at
// least half of full scale.
constexpr bool is_light(Pixel p) noexcept
{
    const std::uint32_t r = (p >> 16) & 0xFF;
    const std::uint32_t g = (p >> 8) & 0xFF;
    const std::uint32_t b = p & 0xFF;
    return 299 * r + 587 * g + 114 * b >= 127500;
}

// The colour-table entry (0 black, 1 white) a pixel takes: a pixel equal to
// the background takes the entry nearer to the background by luminance,
// every other pixel the opposite one.
constexpr int mono_bit(Pixel p, Pixel background) noexcept
{
    const int background_bit = is_light(background) ? 1 : 0;
    return p == background ? background_bit : 1 - background_bit;
}

// Fills `bits` with up to `lines` rows of mono_stride(width) bytes from scan
// line `start` on (0 is the bottom row): most significant bit leftmost, a
// bit as mono_bit gives it, zero padding. Returns the number of lines
// converted: fewer than asked where the image ends, 0 when `bits` cannot
// hold them.
int convert_to_mono_rows(const Image& image, Pixel background, int start, int lines, std::span<std::byte> bits);

// Row y (0 is the top) packed as a printer takes it: leftmost pixel in the
// most significant bit, packed_mono_row_bytes(width) bytes, and a bit set
// where the pixel's mono_bit is black (0), padding clear.
void pack_print_row(const Image& image, Pixel background, int y, std::byte* out);

// Calls `take` with runs of whole rows, top row first, converted as
// convert_to_mono_rows converts them but packed_mono_row_bytes(width) bytes
// each, one straight after the other; about kWriteChunkBytes a run. `take`
// may change the bytes it is given.
void for_each_mono_run(const Image& image, Pixel background, const std::function<void(std::span<std::byte>)>& take);

// Pixels that are neither `ink` nor `background` (pictures, colour glyphs)
// become one or the other by Floyd-Steinberg error diffusion, in a
// serpentine scan, of where their luminance lies between the two; pixels
// already one of them stay as they are and take no error, so that text
// drawn without grey edges stays exactly as drawn.
// Only the pixels in `area` are looked at; unset, every pixel.
void dither_between(Image& image, Pixel ink, Pixel background, std::optional<PixelArea> area = std::nullopt);

}  // namespace lumarin
