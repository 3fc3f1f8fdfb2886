#include "layout/typesetter.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "common/fail.hpp"
#include "common/text.hpp"
#include "lumarin/error.hpp"

namespace lumarin {

Text default_family()
{
#if defined(_WIN32)
    return u"Courier New";
#else
    return u"Liberation Mono";
#endif
}

Text chosen_family(const std::u16string& font, const std::string& font_file)
{
    if (!font_file.empty())
        return add_font_file(font_file);
    return font.empty() ? default_family() : font;
}

std::optional<std::string> Typesetter::fallback_warning(bool named)
{
    if (!named || font_name_is_known(font_.name))
        return std::nullopt;
    const Text drawn = face();
    if (drawn.empty() || upper_for_ascii_compare(drawn) == upper_for_ascii_compare(font_.name))
        return std::nullopt;
    return "the font '" + to_utf8(font_.name) + "' is not installed; drawing with '" + to_utf8(drawn) + "'";
}

Typesetter::Typesetter(FontSpec font) : drawer_(make_text_drawer()), font_(std::move(font)) {}

Typesetter::Typesetter(FontSpec font, std::shared_ptr<TextDrawer> drawer)
    : drawer_(std::move(drawer)), font_(std::move(font))
{
}

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

namespace {

// Eight coverage bytes as eight bits, the first byte in the most
// significant: each set where its byte is not zero.
std::uint8_t pack_eight(const std::uint8_t* bytes) noexcept
{
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kLow = 0x7F7F7F7F7F7F7F7FULL;
        std::uint64_t v = 0;
        std::memcpy(&v, bytes, sizeof v);
        // A byte's top bit, or a carry into it from its others: no carry
        // crosses into the next byte.
        const std::uint64_t top = (((v & kLow) + kLow) | v) & ~kLow;
        return static_cast<std::uint8_t>(((top >> 7) * 0x8040201008040201ULL) >> 56);
    } else {
        unsigned out = 0;
        for (int i = 0; i < 8; ++i)
            out |= (bytes[i] != 0 ? 0x80u : 0u) >> i;
        return static_cast<std::uint8_t>(out);
    }
}

bool row_is_clear(const std::uint8_t* row, int width) noexcept
{
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, row + x, sizeof word);
        if (word != 0)
            return false;
    }
    for (; x < width; ++x)
        if (row[x] != 0)
            return false;
    return true;
}

// The ink box of the changed pixels, and with `keep` their bits.
void find_ink(std::span<const std::uint8_t> changed, int width, int height, long long origin_x, long long origin_y,
              bool keep, TextMetrics& m)
{
    int left = width;
    int right = -1;
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = changed.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        if (row_is_clear(row, width))
            continue;
        int x = 0;
        while (row[x] == 0)
            ++x;
        int last = width - 1;
        while (row[last] == 0)
            --last;
        left = std::min(left, x);
        right = std::max(right, last);
        top = top < 0 ? y : top;
        bottom = y;
    }
    if (top < 0)
        return;
    m.has_ink = true;
    m.ink = {left - origin_x, top - origin_y, right + 1 - origin_x, bottom + 1 - origin_y};
    if (!keep)
        return;
    m.mask.area = m.ink;
    const auto row_bytes = static_cast<std::size_t>(right + 1 - left + 7) / 8;
    m.mask.bits.assign(row_bytes * static_cast<std::size_t>(bottom + 1 - top), 0);
    for (int y = top; y <= bottom; ++y) {
        const std::uint8_t* row = changed.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        std::uint8_t* bits = m.mask.bits.data() + row_bytes * static_cast<std::size_t>(y - top);
        // Whole groups of eight while they lie in the row; past the ink box's
        // right edge every byte is clear.
        int x = left;
        for (; x + 8 <= width && x <= right; x += 8)
            bits[(x - left) / 8] = pack_eight(row + x);
        for (; x <= right; ++x)
            if (row[x] != 0)
                bits[(x - left) / 8] |= static_cast<std::uint8_t>(0x80u >> ((x - left) % 8));
    }
}

}  // namespace

void InkMask::paint(Image& image, long long x, long long y, Colour colour) const
{
    const Pixel pixel = pixel_from_colour(colour);
    const long long width = area.width();
    const auto row_bytes = static_cast<std::size_t>(width + 7) / 8;
    for (long long r = 0; r < area.height(); ++r) {
        const long long py = y + r;
        if (py < 0 || py >= image.height())
            continue;
        const std::uint8_t* bits = this->bits.data() + row_bytes * static_cast<std::size_t>(r);
        for (std::size_t byte = 0; byte < row_bytes; ++byte) {
            for (unsigned set = bits[byte]; set != 0;) {
                const int high = std::bit_width(set) - 1;  // the leftmost pixel left
                set &= ~(1u << high);
                const long long px = x + static_cast<long long>(byte) * 8 + (7 - high);
                if (px >= 0 && px < image.width())
                    image.set(static_cast<int>(px), static_cast<int>(py), pixel);
            }
        }
    }
}

TextMetrics Typesetter::measure(std::u16string_view text, bool keep_mask)
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
    const int w = static_cast<int>(reach.width());
    const int h = static_cast<int>(reach.height());
    std::vector<std::uint8_t> changed(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    drawer_->draw_coverage(changed, w, h, -reach.left, -reach.top, text, font_);
    find_ink(changed, w, h, -reach.left, -reach.top, keep_mask, m);
    return m;
}

}  // namespace lumarin
