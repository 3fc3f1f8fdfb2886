// The value types every layer exchanges: 16-bit integers and Booleans as
// automation clients know them, UTF-16 text, colour values and lengths.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>

namespace lumarin {

using Integer = std::int16_t;  // automation's 16-bit signed integer
using Long = std::int32_t;     // automation's 32-bit signed integer
using Single = float;          // every length exchanged with the surface
using Text = std::u16string;   // length-counted UTF-16, counted in code units
using Colour = std::uint32_t;  // 0x00BBGGRR: red in the low byte

// 16-bit Boolean as automation clients store it: True has all bits set,
// and only -1 counts as True, so a client's stored 1 stays 1 and is False
// wherever the renderer tests a switch. From C++ it takes true and false
// only (a number would be a guess at which bits were meant); the 16 bits
// are reachable through from_bits() and bits().
class Boolean {
public:
    constexpr Boolean() noexcept = default;
    template <typename B>
        requires std::same_as<B, bool>
    constexpr Boolean(B value) noexcept : bits_(value ? -1 : 0)
    {
    }
    static constexpr Boolean from_bits(std::int16_t bits) noexcept
    {
        Boolean b;
        b.bits_ = bits;
        return b;
    }
    constexpr std::int16_t bits() const noexcept { return bits_; }
    friend constexpr bool operator==(Boolean, Boolean) noexcept = default;

private:
    std::int16_t bits_ = 0;
};
inline constexpr Boolean kTrue{true};
inline constexpr Boolean kFalse{false};

constexpr bool is_true(Boolean b) noexcept { return b == kTrue; }

}  // namespace lumarin
