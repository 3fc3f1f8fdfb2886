// What a platform's text engine does for a canvas: draw one run of text,
// top-left corner at a pixel position, in a font and colour, onto the
// image, leaving the background transparent. One implementation per
// platform (Pango on Linux, GDI on Windows); nothing else differs.
#pragma once

#include <algorithm>
#include <memory>
#include <string_view>

#include "common/arith.hpp"
#include "lumarin/types.hpp"
#include "surface/font_style.hpp"
#include "surface/image.hpp"

namespace lumarin {

struct FontSpec {
    Text name;
    Single size_points = 0;
    FontStyle style{};
};

// The em of a font in whole pixels at 96 dpi, halves to even, at least one.
// Both drawers draw at this size (GDI takes character heights in whole
// pixels), so both platforms hint the same outlines at the same size.
inline double em_pixels(const FontSpec& font)
{
    return std::clamp(round_half_even(static_cast<double>(font.size_points) * 96.0 / 72.0), 1.0, 100000.0);
}

class TextDrawer {
public:
    virtual ~TextDrawer() = default;
    // `text` holds no lone surrogate and no control character (the canvas
    // replaced them). x and y may lie anywhere, also outside the image.
    virtual void draw(Image& image, long long x, long long y, std::u16string_view text, const FontSpec& font,
                      Colour colour) = 0;
};

// The drawer of the platform this was built for.
std::unique_ptr<TextDrawer> make_text_drawer();

}  // namespace lumarin
