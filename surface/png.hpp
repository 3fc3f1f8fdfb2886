// The PNG writer, on libpng. Only builds that link libpng compile png.cpp;
// they define LUMARIN_HAVE_PNG (see cmake/LumarinPlatform.cmake).
#pragma once

#include "surface/bytes.hpp"
#include "surface/image.hpp"

namespace lumarin {

#ifdef LUMARIN_HAVE_PNG
inline constexpr bool kPngBuiltIn = true;
#else
inline constexpr bool kPngBuiltIn = false;
#endif

// The PNG encode_picture describes, sent to `sink` a mebibyte or so at a
// time.
void write_png(const Image& image, bool mono, Pixel background, const ByteSink& sink);

}  // namespace lumarin
