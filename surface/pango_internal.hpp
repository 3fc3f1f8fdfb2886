// What the parts of the Linux drawer share: each file does one job (cutting
// long lines into pieces, the primary font's metrics, drawing, font files,
// break positions) and needs only these from the others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/text.hpp"

namespace lumarin::pango {

// Code units of the character starting at `i`; a lone surrogate is one
// character, as to_utf8 makes it.
inline std::size_t char_units(std::u16string_view text, std::size_t i)
{
    return is_surrogate_pair_at(text, i) ? 2 : 1;
}

// Pango's break positions for `text`, one BreakFlag set per code unit.
std::vector<std::uint8_t> break_flags(std::u16string_view text);

}  // namespace lumarin::pango
