// Pictures given inline as base64 PNG: decoding them (png_read.cpp on
// libpng, png_read_wic.cpp on the Windows Imaging Component) and fitting
// them to the paper (image_data.cpp, on both).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "surface/image.hpp"

namespace lumarin {

// Pixels of a decoded image as 0x00RRGGBB (surface/image.hpp's Pixel), alpha composited on `background`.
struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<Pixel> pixels;  // width * height, rows top first
};

// RFC 4648's alphabet; whitespace is ignored and padding optional. A bad
// character is InvalidPicture naming its offset in `text`.
std::vector<std::byte> decode_base64(std::string_view text);

// InvalidPicture with the decoder's reason; images past kMaxImageSide or
// kMaxImagePixels are OutOfMemory, refused before their pixels are allocated.
DecodedImage decode_png(std::span<const std::byte> png, Pixel background);

// Scaled down by area averaging to max_width when wider, in proportion
// and the height at least 1; unchanged otherwise.
DecodedImage fit_width(DecodedImage image, int max_width);

// For both decoders: an 8-bit, not premultiplied colour with alpha `alpha`
// over `background`, mixed in the encoded (sRGB) values as the caller's
// other drawing is.
Pixel over_background(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha,
                      Pixel background) noexcept;

}  // namespace lumarin
