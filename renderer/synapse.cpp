// Creation and destruction of the renderer, and the colour-name table.
#include "lumarin/synapse.hpp"

#include <array>
#include <string_view>
#include <utility>

#include "common/text.hpp"
#include "renderer/canvas_access.hpp"

namespace lumarin {

synapse::synapse() : surface_(std::make_unique<SynapseSurface>()) {}

synapse::~synapse() = default;

namespace {

constexpr std::array<NamedColour, 8> kColours{{
    {u"BLACK", 0x000000},
    {u"RED", 0x0000FF},
    {u"GREEN", 0x00FF00},
    {u"YELLOW", 0x00FFFF},
    {u"BLUE", 0xFF0000},
    {u"MAGENTA", 0xFF00FF},
    {u"CYAN", 0xFFFF00},
    {u"WHITE", 0xFFFFFF},
}};

}  // namespace

std::span<const NamedColour> colour_names() noexcept { return kColours; }

Colour colour_from_name(const Text& name, Colour fallback)
{
    if (name.empty())
        return fallback;
    const Text upper = upper_for_ascii_compare(name);
    for (const auto& [known, colour] : kColours)
        if (upper == known)
            return colour;
    return fallback;
}

std::optional<Colour> parse_colour(std::string_view text)
{
    constexpr Colour kUnknown = 0xFFFFFFFF;
    Text name;
    if (from_utf8(text, name))
        if (const Colour known = colour_from_name(name, kUnknown); known != kUnknown)
            return known;
    if (text.size() != 7 || text[0] != '#')
        return std::nullopt;
    Colour rgb = 0;
    for (const char c : text.substr(1)) {
        const int d = hex_digit_value(static_cast<unsigned char>(c));
        if (d < 0)
            return std::nullopt;
        rgb = rgb << 4 | static_cast<Colour>(d);
    }
    // #RRGGBB to 0x00BBGGRR
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

}  // namespace lumarin
