// Sizing the surface: the width for the longest line, margins and origin.
#include <cmath>

#include "common/arith.hpp"
#include "lumarin/synapse.hpp"
#include "renderer/sizing.hpp"
#include "renderer/canvas_access.hpp"

namespace lumarin {

void synapse::MaximumStringLength(const Text& longString)
{
    if (FontWeight == 0)
        FontWeight = kDefaultWidthFactor;  // stays stored, visible through the property
    const auto n = static_cast<double>(longString.size());
    const Integer per_hundred = multiply16(FontSize, FontWeight);
    // Replaces the width: side margins added earlier are gone.
    surface_->Canvas.Width(checked_single(static_cast<double>(per_hundred) / 100.0 * n));
}

void synapse::TopPadding(const Variant& height)
{
    const double value = to_number(height);
    TopPad = round_to_integer(std::fabs(value));
    const Single current = surface_->Canvas.Height();
    const Integer margins = add16(multiply16(TopPad, 2), LineSpacing);
    surface_->Canvas.Height(checked_single(static_cast<double>(margins) + current));
    // The argument itself, not its absolute or rounded value.
    surface_->Canvas.ScaleTop(checked_single(-1.0 * value));
}

void synapse::SidePadding(Integer length)
{
    SidePad = abs16(length);
    const Single current = surface_->Canvas.Width();
    surface_->Canvas.Width(checked_single(static_cast<double>(multiply16(SidePad, 2)) + current));
    surface_->Canvas.ScaleLeft(static_cast<Single>(-static_cast<int>(length)));
}

}  // namespace lumarin
