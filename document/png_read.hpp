// Images in documents: base64 text, PNG files, and scaling to the paper.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "surface/image.hpp"

namespace lumarin {

// Pixels of a decoded image as 0x00RRGGBB, alpha composited on `background`.
struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<Pixel> pixels;
};

std::vector<std::byte> decode_base64(std::string_view text);
DecodedImage decode_png(std::span<const std::byte> png, Pixel background);
DecodedImage fit_width(DecodedImage image, int max_width);

}  // namespace lumarin
