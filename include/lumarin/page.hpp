// Pages from text: lines measured in a font, wrapped where the language
// allows, set on tab stops, aligned and placed between margins, drawn into
// one picture. Every script the platform's text engine shapes is drawn as
// that engine lays it out, right to left where the text starts so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lumarin/picture.hpp"

namespace lumarin {

// Natural is left for a line that starts left to right and right for one
// that starts right to left (by its first strong character).
enum class Align { Natural, Left, Center, Right };

// A tab stop: where text after a tab goes. Left puts the text's start at
// the stop, Right its end, Center its middle and Decimal its first '.' (its
// end when it has none). A position is in cells of the font (the advance
// of a '0') unless `in_pixels`; `at_end` puts the stop at the right edge of
// the text area, whatever `position` says.
struct TabStop {
    enum class Kind { Left, Right, Center, Decimal };
    Kind kind = Kind::Left;
    double position = 0;
    bool in_pixels = false;
    bool at_end = false;
};

struct TabStops {
    std::vector<TabStop> stops;  // in increasing position
    // Past the last stop, a left stop every this many cells.
    int every = 8;
};

// Tab stops as written: comma-separated stops, each a position in cells,
// in pixels with "px", or "end" for the text area's right edge, with l:
// r: c: or d: for a left, right, centred or decimal stop; "every:N" for
// the cells between the stops past the last. "r:end,every:4". Throws
// lumarin::Error (InvalidPropertyValue) naming what it cannot read.
TabStops parse_tab_stops(std::string_view text);

struct PageStyle {
    // A family or fontconfig alias; empty: the platform's default face.
    std::u16string font;
    // A font file, loaded for this process; its face is drawn.
    std::string font_file;
    double size = 10;  // points
    int dpi = 96;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
    std::uint32_t fg = 0x000000;  // 0x00BBGGRR
    std::uint32_t bg = 0xFFFFFF;
    // Greyscale glyph edges; off, every pixel is the text colour or the
    // background.
    bool antialias = false;
    // Kept as one bit a pixel: no antialiasing.
    bool mono = false;

    // The picture's whole width in pixels, margins included; unset, as wide
    // as the widest line needs.
    std::optional<int> width;
    // Lines wider than the text area are broken where the language allows
    // (a word wider than a line between grapheme clusters). Needs `width`.
    bool wrap = false;
    // With `width`: the size at which this many cells of the font fill the
    // text area, instead of `size`.
    std::optional<int> columns;
    Align align = Align::Natural;
    TabStops tabs;
    // Pixels from one line's top to the next; unset, the font's line height.
    std::optional<int> line_spacing;
    int side = 4;  // margin left and right
    int top = 4;   // margin above and below
    // Margins measured from the lines' boxes rather than their ink, so that
    // pictures with the same style and line count are the same height. Ink
    // past the boxes goes into the margins.
    bool line_box = false;
};

// Hooks into a long job. Each may throw to stop it; the exception leaves
// render_page as it is.
struct PageEvents {
    // Called often enough to stop within a fraction of a second.
    std::function<void()> check_stop;
    // Something the caller should hear that does not stop the job: a font
    // that fell back, colours that cannot be told apart.
    std::function<void(const std::string& message)> warn;
    // After each line is drawn: lines done, lines in all (after wrapping),
    // and the picture so far, valid only during the call.
    std::function<void(std::size_t done, std::size_t total, const Picture& so_far)> line_drawn;
    // As drawing goes down the page: the picture's top `rows` rows are
    // final, no line still to come reaching into them. Called with the
    // picture's height last. For streaming a picture while it is drawn.
    std::function<void(const Picture& so_far, int rows)> rows_final;
};

// A style with its font found and loaded, for many pages in that style:
// render_page sets one up for every page. Moving only; one thread at a
// time.
class PageLayout {
public:
    // Throws as render_page does for the style; `events.warn` hears a font
    // that fell back and colours that cannot be told apart.
    explicit PageLayout(const PageStyle& style, const PageEvents& events = {});
    ~PageLayout();
    PageLayout(PageLayout&&) noexcept;
    PageLayout& operator=(PageLayout&&) noexcept;

    // As render_page and render_text.
    Picture render(std::span<const std::u16string> lines, const PageEvents& events = {});
    Picture render(std::span<const std::string> lines, const PageEvents& events = {});
    // Takes the lines and lets each go as it is taken in, so that a long
    // text is held once.
    Picture render(std::vector<std::string>&& lines, const PageEvents& events = {});
    Picture render_text(std::string_view text, const PageEvents& events = {});

    struct Maker;

private:
    std::unique_ptr<Maker> maker_;
};

// The page for `lines` (each drawn as one line, or more with wrap). Throws
// lumarin::Error: InvalidPropertyValue for a style that cannot be laid out
// (a line wider than `width` without wrap, margins that leave no room),
// OutOfMemory for a picture past kMaxImageSide or kMaxImagePixels,
// FileNotFound for a missing font file.
Picture render_page(std::span<const std::u16string> lines, const PageStyle& style, const PageEvents& events = {});
// The same from UTF-8 lines; a line that is not UTF-8 is a TypeMismatch
// naming it.
Picture render_page(std::span<const std::string> lines, const PageStyle& style, const PageEvents& events = {});
// The same, taking the lines: each is let go once taken in, so that a long
// text is held once, as UTF-8.
Picture render_page(std::vector<std::string>&& lines, const PageStyle& style, const PageEvents& events = {});
// UTF-8 text split into lines at "\n", "\r\n" and "\r".
Picture render_text(std::string_view text, const PageStyle& style, const PageEvents& events = {});

}  // namespace lumarin
