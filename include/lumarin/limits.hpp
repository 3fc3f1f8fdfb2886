// What one picture and one font may be: the renderer, the layout and the
// command check against these, and their messages quote them.
#pragma once

#include <cstdint>

namespace lumarin {

// A picture's side and its area, in pixels; larger sizes are refused
// before anything is allocated.
inline constexpr int kMaxImageSide = 65535;
inline constexpr std::int64_t kMaxImagePixels = 64LL * 1024 * 1024;
// The largest font, in points at 96 dpi.
inline constexpr int kMaxFontPoints = 2048;
// Lines one job may hold: the object counts them in 16 bits.
inline constexpr int kMaxLines = 32767;

}  // namespace lumarin
