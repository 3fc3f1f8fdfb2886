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

}  // namespace lumarin
