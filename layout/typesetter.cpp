#include "layout/typesetter.hpp"

#include <algorithm>
#include <string>

#include "common/fail.hpp"
#include "lumarin/error.hpp"

namespace lumarin {

Typesetter::Typesetter(FontSpec font) : drawer_(make_text_drawer()), font_(std::move(font)) {}

LineExtents Typesetter::logical(std::u16string_view text) { return drawer_->measure(text, font_); }

long long Typesetter::width(std::u16string_view text)
{
    const LineExtents e = logical(text);
    return e.right - e.left;
}

long long Typesetter::width_up_to(std::u16string_view text, long long limit)
{
    drawer_->measure_only_to(limit);
    try {
        const long long w = width(text);
        drawer_->measure_only_to(kMaxImageSide);
        return w;
    } catch (...) {
        drawer_->measure_only_to(kMaxImageSide);
        throw;
    }
}

void Typesetter::draw(Image& image, long long x, long long y, std::u16string_view text, Colour colour)
{
    drawer_->draw(image, x, y, text, font_, colour);
}

TextMetrics Typesetter::measure(std::u16string_view text)
{
    TextMetrics m;
    m.logical = logical(text);
    const long long width = m.logical.right - m.logical.left;
    if (width > kMaxImageSide)
        fail(ErrorKind::OutOfMemory, "text " + std::to_string(width) + " pixels wide, more than the " +
                                         std::to_string(kMaxImageSide) + " a picture may have");
    // The scratch image covers what the drawer may change, no more, so that
    // a huge font still fits the image caps. A drawer that does not know
    // gets a margin of two lines on every side of the logical box, which
    // holds the ink of any ordinary font.
    PixelArea reach = m.logical.reach;
    if (reach.width() <= 0 || reach.height() <= 0) {
        const long long margin = 2LL * std::max(m.logical.line_height, 1);
        reach = {m.logical.left - margin, -margin, m.logical.right + margin, m.logical.line_height + margin};
    }
    reach = {reach.left - 1, reach.top - 1, reach.right + 1, reach.bottom + 1};
    check_image_size(reach.width(), reach.height());
    Image scratch(static_cast<int>(reach.width()), static_cast<int>(reach.height()), 0xFFFFFF);
    const long long origin_x = -reach.left;
    const long long origin_y = -reach.top;
    drawer_->draw(scratch, origin_x, origin_y, text, font_, 0x000000);
    // Rows the text left white are skipped whole: every byte is 0xFF but
    // the padding, which is zero.
    const std::size_t used = static_cast<std::size_t>(scratch.width()) * 3;
    for (int y = 0; y < scratch.height(); ++y) {
        const auto row = scratch.row(y);
        if (std::all_of(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(used),
                        [](std::byte b) { return b == std::byte{0xFF}; }))
            continue;
        for (int x = 0; x < scratch.width(); ++x) {
            if (scratch.at(x, y) == 0xFFFFFF)
                continue;
            const PixelArea pixel{x - origin_x, y - origin_y, x - origin_x + 1, y - origin_y + 1};
            m.ink = m.has_ink ? PixelArea{std::min(m.ink.left, pixel.left), std::min(m.ink.top, pixel.top),
                                          std::max(m.ink.right, pixel.right), std::max(m.ink.bottom, pixel.bottom)}
                              : pixel;
            m.has_ink = true;
        }
    }
    return m;
}

}  // namespace lumarin
