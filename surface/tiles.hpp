// Drawing in tiles: a text drawer works out the area a run can touch, which
// may lie partly or wholly off the image; only the part on the image is
// drawn, in tiles small enough for one backend surface each.
#pragma once

#include <algorithm>

#include "surface/image.hpp"

namespace lumarin {

// Columns left .. right - 1 and rows top .. bottom - 1.
struct PixelArea {
    long long left = 0;
    long long top = 0;
    long long right = 0;
    long long bottom = 0;

    long long width() const noexcept { return right - left; }
    long long height() const noexcept { return bottom - top; }
    friend bool operator==(const PixelArea&, const PixelArea&) noexcept = default;
};

// The smallest area holding both.
inline PixelArea bounding(const PixelArea& a, const PixelArea& b) noexcept
{
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// Clips `area` to the image and calls draw(tile) for each tile of at most
// `side` pixels a side that covers the rest, row by row.
template <typename Draw>
void for_each_tile(const Image& image, const PixelArea& area, long long side, Draw draw)
{
    const PixelArea clipped{std::max<long long>(0, area.left), std::max<long long>(0, area.top),
                            std::min<long long>(image.width(), area.right),
                            std::min<long long>(image.height(), area.bottom)};
    for (long long top = clipped.top; top < clipped.bottom; top += side)
        for (long long left = clipped.left; left < clipped.right; left += side)
            draw(PixelArea{left, top, std::min(left + side, clipped.right), std::min(top + side, clipped.bottom)});
}

}  // namespace lumarin
