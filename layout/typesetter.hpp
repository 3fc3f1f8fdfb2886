// One font on the platform's text drawer, as the layout uses it: logical
// boxes, ink boxes, break positions and drawing, all of printable text
// (see printable_text). The layout's only way to the text engine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "surface/image.hpp"
#include "surface/text_drawer.hpp"
#include "surface/tiles.hpp"

namespace lumarin {

// The pixels a text changes, one bit each, over its ink box: for text drawn
// with whole-pixel edges, where painting them is drawing it again.
struct InkMask {
    PixelArea area;  // as TextMetrics::ink
    std::vector<std::uint8_t> bits;  // rows of (width + 7) / 8 bytes, leftmost pixel in the high bit

    bool empty() const noexcept { return bits.empty(); }
    // Every set pixel in `colour`, the area's corner at (x, y); clipped.
    void paint(Image& image, long long x, long long y, Colour colour) const;
};

struct TextMetrics {
    LineExtents logical;
    bool has_ink = false;
    PixelArea ink;  // when has_ink, from the point draw() puts the top-left corner
    InkMask mask;   // when asked for, and has_ink
};

// The face drawn when none is named: a monospaced one, as receipts use.
Text default_family();

// The family a style draws: a font file's (loaded for this process), the
// one named, or the default.
Text chosen_family(const std::u16string& font, const std::string& font_file);

class Typesetter {
public:
    explicit Typesetter(FontSpec font);
    // On a drawer other typesetters use too: one set of loaded fonts for
    // several styles. One thread at a time for all of them.
    Typesetter(FontSpec font, std::shared_ptr<TextDrawer> drawer);

    const FontSpec& font() const noexcept { return font_; }
    void font(const FontSpec& font) { font_ = font; }
    // Called between the pieces of a long line; may throw to stop.
    void between_pieces(std::function<void()> check) { drawer_->between_pieces(std::move(check)); }

    LineExtents logical(std::u16string_view text);
    long long width(std::u16string_view text);
    // The width, or any width past `limit` once the text is known to pass it.
    long long width_up_to(std::u16string_view text, long long limit);
    // The logical box, and the pixels the text really changes, found by
    // drawing it on a scratch image. A text wider than kMaxImageSide fails
    // with OutOfMemory, naming its width.
    // With `keep_mask`, also the pixels themselves (see InkMask); only
    // meaningful without antialiasing.
    TextMetrics measure(std::u16string_view text, bool keep_mask = false);
    std::vector<std::uint8_t> breaks(std::u16string_view text) { return drawer_->breaks(text); }
    void draw(Image& image, long long x, long long y, std::u16string_view text, Colour colour);
    // The family the platform really draws.
    Text face() { return drawer_->face_of(font_); }
    // A family named by the user (`named`, not a file's) that falls back
    // to another face: the warning that says so. Names fontconfig knows
    // (families, aliases such as "monospace", a family with style words)
    // draw as named, whatever face answers.
    std::optional<std::string> fallback_warning(bool named);

private:
    std::shared_ptr<TextDrawer> drawer_;
    FontSpec font_;
};

}  // namespace lumarin
