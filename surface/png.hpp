// The PNG writer: png.cpp on libpng (Linux), png_wic.cpp on the Windows
// Imaging Component (Windows). Builds that compile either define
// LUMARIN_HAVE_PNG (see cmake/LumarinPlatform.cmake).
#pragma once

#include <cstdint>

#include "surface/bytes.hpp"
#include "surface/image.hpp"

namespace lumarin {

#ifdef LUMARIN_HAVE_PNG
inline constexpr bool kPngBuiltIn = true;
#else
inline constexpr bool kPngBuiltIn = false;
#endif

// 96 dpi, the resolution text is drawn at, as the colour BMP states it.
inline constexpr std::uint32_t kPngPixelsPerMetre = 3780;

// The PNG encode_picture describes, sent to `sink` a mebibyte or so at a
// time, stating `pixels_per_metre` both ways in pHYs.
void write_png(const Image& image, bool mono, Pixel background, const ByteSink& sink,
               std::uint32_t pixels_per_metre = kPngPixelsPerMetre);

}  // namespace lumarin
