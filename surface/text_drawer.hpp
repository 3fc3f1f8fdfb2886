// What a platform's text engine does for a canvas: draw one run of text,
// top-left corner at a pixel position, in a font and colour, onto the
// image, leaving the background transparent. One implementation per
// platform (Pango on Linux, GDI on Windows); nothing else differs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <span>
#include <string_view>
#include <vector>

#include "common/arith.hpp"
#include "lumarin/types.hpp"
#include "surface/font_style.hpp"
#include "surface/image.hpp"
#include "surface/tiles.hpp"

namespace lumarin {

// The face a font file holds: its weight (100 thin to 900 black, 400
// regular, 700 bold), slant and width (percent of normal: 75 condensed).
struct FileFace {
    enum class Slant { Upright, Italic, Oblique };
    int weight = 400;
    Slant slant = Slant::Upright;
    double width = 100;

    friend bool operator==(const FileFace&, const FileFace&) noexcept = default;
};

struct FontSpec {
    Text name;
    Single size_points = 0;
    FontStyle style{};
    // Greyscale edges: only the command offers it, for colour output. The
    // object's text is binary, so its 1-bit copy keeps every stroke.
    bool antialias = false;
    // For a family loaded from a font file, that file's face: bold and
    // italic in `style` add to it, never take from it.
    std::optional<FileFace> file_face{};
};

// A line of text as the platform lays it out, in pixels from the point
// where draw() puts the run's top-left corner: the logical box (the advance
// across, the font's line height down), whether the text starts right to
// left, and the area draw() may change (its ink with some slack, and the
// bars), so that a caller can find the ink on an image no larger. An empty
// area means the drawer does not know it.
struct LineExtents {
    long long left = 0;
    long long right = 0;
    int line_height = 0;
    bool right_to_left = false;
    PixelArea reach{};
};

// The em of a font in whole pixels at 96 dpi, halves to even, at least one.
// Both drawers draw at this size (GDI takes character heights in whole
// pixels), so both platforms hint the same outlines at the same size.
inline double em_pixels(const FontSpec& font)
{
    return std::clamp(round_half_even(static_cast<double>(font.size_points) * 96.0 / 72.0), 1.0, 100000.0);
}

// What a position in a line allows, one set of flags per UTF-16 code unit,
// for the position just before that unit (the end of the text always
// allows everything). The second unit of a surrogate pair gets none.
enum BreakFlag : std::uint8_t {
    kClusterStart = 1,  // a grapheme cluster starts here: a word may be cut
    kLineBreak = 2,     // the language allows a line to start here
    kWhite = 4,         // this unit is white space, not counted at a line's end
};

class TextDrawer {
public:
    virtual ~TextDrawer() = default;
    // Called between the pieces of a line too long to lay out at once, so
    // that a caller can stop a long measure or draw by throwing from it.
    void between_pieces(std::function<void()> check) { between_pieces_ = std::move(check); }
    // Measures may stop once a text is known to be wider than this many
    // pixels (and report any width past it): a line being wrapped only
    // needs to know that it does not fit.
    void measure_only_to(long long pixels) noexcept { measure_limit_ = pixels; }
    // `text` holds no lone surrogate and no control character (the canvas
    // replaced them). x and y may lie anywhere, also outside the image.
    virtual void draw(Image& image, long long x, long long y, std::u16string_view text, const FontSpec& font,
                      Colour colour) = 0;
    // The same text measured, not drawn. A width beyond kMaxImageSide, or
    // beyond measure_only_to's limit, may be reported as soon as it is
    // known, the rest of the text unmeasured.
    virtual LineExtents measure(std::u16string_view text, const FontSpec& font) = 0;
    // Which pixels of a width x height area draw() would change, drawing
    // `text` with its top-left corner at (x, y) in the area: `changed`
    // (width * height bytes, rows one after the other) is set non-zero
    // there. As exact as draw(), for whole-pixel edges and for grey ones.
    virtual void draw_coverage(std::span<std::uint8_t> changed, int width, int height, long long x, long long y,
                               std::u16string_view text, const FontSpec& font);
    // The family the platform draws for `font`: its own name, or what a
    // missing family falls back to.
    virtual Text face_of(const FontSpec& font) = 0;
    // Where `text` may be broken, by the platform's rules for its
    // languages. The base rule breaks after spaces only and takes each
    // code point as a cluster; drawers give the Unicode rules. Linear in
    // the text's length.
    virtual std::vector<std::uint8_t> breaks(std::u16string_view text);

protected:
    void piece_done() const
    {
        if (between_pieces_)
            between_pieces_();
    }

    long long measure_limit() const noexcept { return std::min<long long>(measure_limit_, kMaxImageSide); }

private:
    std::function<void()> between_pieces_;
    long long measure_limit_ = kMaxImageSide;
};

// The drawer of the platform this was built for.
std::unique_ptr<TextDrawer> make_text_drawer();

// Makes the fonts in a font file available to drawers made afterwards, in
// this process only; returns the family name of its first font, which is
// drawn from then on in that font's face (see file_face_of): a bold file
// draws bold. Throws FileNotFound for a missing file, InvalidPropertyValue
// for one that holds no font or a platform that cannot load font files.
Text add_font_file(const std::string& path);

// True when `name` is an installed family, an alias the platform
// substitutes families for (Sans, monospace), or a family followed by
// style words that draws that family ("Liberation Sans Bold"); false when
// drawing it falls back to another family.
bool font_name_is_known(std::u16string_view name);

// The face of the font file last added for `family` (ASCII letters in any
// case), if one was.
std::optional<FileFace> file_face_of(std::u16string_view family);
// Records what add_font_file found; for the drawers' add_font_file only.
void remember_file_face(std::u16string_view family, const FileFace& face);

}  // namespace lumarin
