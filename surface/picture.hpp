// The picture files a surface can be written as: the BMPs of bmp.hpp, PNG
// and binary PBM. Each is built whole in memory by encode_picture, or
// written over its file atomically by save_picture without holding the file
// in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
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

// The highest resolution a picture may state, far past any printer's.
inline constexpr int kMaxDpi = 100000;

// Dots per inch as pixels per metre, the unit BMP and PNG state it in:
// 96 dpi is 3780, 203 dpi 7992.
constexpr std::int32_t pixels_per_metre(int dpi) noexcept
{
    return static_cast<std::int32_t>((dpi * 10000LL + 127) / 254);
}

// The whole file. With `mono`, one bit a pixel by mono_bit against
// `background`; colour otherwise. `dpi` is the resolution the file states
// (a printer or viewer sizes the picture by it); unset, each format's own:
//   BMP: exactly encode_bmp24 or encode_bmp1 at `dpi`; unset, 96 dpi in
//        colour and none stated in 1 bit, as the object's own files.
//   PNG: 8-bit RGB, or with mono 1-bit greyscale (0 black, 1 white); `dpi`
//        (unset, 96) in pHYs; not interlaced. A PNG needs at least one pixel.
//   PBM: binary P4, rows padded to whole bytes, 1 black; always one bit a
//        pixel, whatever `mono` says; it has no place for a resolution.
// A format this build cannot write fails with InvalidPropertyValue.
std::vector<std::byte> encode_picture(const Image& image, PictureFormat format, bool mono, Pixel background,
                                      std::optional<int> dpi = std::nullopt);

// The same bytes over `path`, replaced atomically (see ReplacementFile).
void save_picture(const Image& image, PictureFormat format, bool mono, Pixel background, const Text& path,
                  const SaveOptions& options = {}, std::optional<int> dpi = std::nullopt);

}  // namespace lumarin
