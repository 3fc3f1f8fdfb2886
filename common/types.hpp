// The value types every layer exchanges: 16-bit integers and Booleans as
// automation clients know them, UTF-16 text, colour values and lengths.
#pragma once

#include <cstdint>
#include <string>

namespace lumarin {

using Integer = std::int16_t;  // automation's 16-bit signed integer
using Long = std::int32_t;     // automation's 32-bit signed integer
using Single = float;          // every length exchanged with the surface
using Text = std::u16string;   // length-counted UTF-16, counted in code units
using Colour = std::uint32_t;  // 0x00BBGGRR: red in the low byte

// 16-bit Boolean: True has all bits set. Only -1 counts as True, so a
// stored 1 is False wherever the renderer tests a switch.
using Boolean = std::int16_t;
inline constexpr Boolean kTrue = -1;
inline constexpr Boolean kFalse = 0;

constexpr bool is_true(Boolean b) noexcept { return b == kTrue; }

}  // namespace lumarin
