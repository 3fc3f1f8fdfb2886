// The picture files a surface can be written as: the BMPs of bmp.hpp, PNG
// and binary PBM. Each is built whole in memory by encode_picture, or
// written over its file atomically by save_picture without holding the file
// in memory.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "lumarin/picture.hpp"
#include "lumarin/types.hpp"
#include "surface/file.hpp"
#include "surface/image.hpp"

namespace lumarin {

// What a public Picture holds.
struct PictureData {
    Image image;
    int dpi = 96;
    bool mono = false;
    Pixel background = 0xFFFFFF;
};

// The whole file. With `mono`, one bit a pixel by mono_bit against
// `background`; colour otherwise.
//   BMP: exactly encode_bmp24 or encode_bmp1.
//   PNG: 8-bit RGB, or with mono 1-bit greyscale (0 black, 1 white); 96 dpi
//        in pHYs; not interlaced. A PNG needs at least one pixel.
//   PBM: binary P4, rows padded to whole bytes, 1 black; always one bit a
//        pixel, whatever `mono` says.
// A format this build cannot write fails with InvalidPropertyValue.
std::vector<std::byte> encode_picture(const Image& image, PictureFormat format, bool mono, Pixel background);

// The same bytes over `path`, replaced atomically (see ReplacementFile).
void save_picture(const Image& image, PictureFormat format, bool mono, Pixel background, const Text& path,
                  const SaveOptions& options = {});

}  // namespace lumarin
