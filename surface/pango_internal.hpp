// What the parts of the Linux drawer share: each file does one job (cutting
// long lines into pieces, the primary font's metrics, drawing, font files,
// break positions) and needs only these from the others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.hpp"
#include "surface/text_drawer.hpp"

namespace lumarin::pango {

// Code units of the character starting at `i`; a lone surrogate is one
// character, as to_utf8 makes it.
inline std::size_t char_units(std::u16string_view text, std::size_t i)
{
    return is_surrogate_pair_at(text, i) ? 2 : 1;
}

// Pango's break positions for `text`, one BreakFlag set per code unit.
std::vector<std::uint8_t> break_flags(std::u16string_view text);

// A font name that is no family or alias but a family with style words
// ("Liberation Sans Bold"): that family, in that face.
struct NamedFont {
    std::string family;
    FileFace face;
};
// Nothing for a family, an alias or a name that describes no known family.
std::optional<NamedFont> font_named(const Text& name);
// Font files added since may make names known.
void forget_font_names();

}  // namespace lumarin::pango
