// What the parts of the Linux drawer share. Each file does one job:
// text_pango.cpp draws and measures, pango_pieces.cpp cuts long lines into
// pieces, pango_metrics.cpp reads the primary font's figures,
// pango_names.cpp turns font names into Pango descriptions,
// pango_font_files.cpp loads font files, pango_breaks.cpp finds break
// positions.
#pragma once

#include <functional>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.hpp"
#include "surface/pango_glue.hpp"
#include "surface/text_drawer.hpp"

namespace lumarin::pango {

// Pango lays text out for this resolution, as GDI does on Windows.
constexpr double kDpi = 96.0;

// Code units of the character starting at `i`; a lone surrogate is one
// character, as to_utf8 makes it.
inline std::size_t char_units(std::u16string_view text, std::size_t i)
{
    return is_surrogate_pair_at(text, i) ? 2 : 1;
}

struct Cuts {
    std::vector<std::size_t> ends;  // where each piece stops, in code units
};
// The most code units laid out at once in `font`, and the pieces of at
// most that many a line is cut into.
std::size_t piece_length(const FontSpec& font);
Cuts cut_into_pieces(std::u16string_view text, std::size_t piece);

// What the primary font decides for a whole line, as GDI decides it, so
// that both platforms agree: the baseline lies the font's Windows ascent
// (OS/2 usWinAscent) below the top, where Pango's hinted ascent is rounded
// up and so a pixel lower at some sizes; underline and strike-through are
// bars of whole pixels, centred on the font's positions for them. Pango's
// own bars are thinner than a pixel at small sizes and, drawn without
// antialiasing, would cover no pixel at all.
struct Bar {
    int top = 0;  // pixels below the baseline (negative: above)
    int height = 1;
};

struct PrimaryFont {
    int baseline = -1;  // Pango units below the top; none known: each layout keeps its own
    int line_height = -1;  // pixels, ascent and descent; none known: the layout's
    Bar underline{1, 1};
    Bar strikethrough{-3, 1};
};
PrimaryFont primary_font(PangoContext* context, const FontSpec& font);

// The description Pango gets for `font`: its family, the em in whole
// pixels, and the face its name, its file and its style ask for.
glue::FontDescription font_description(const FontSpec& font);

// Pango's break positions for `text`, one BreakFlag set per code unit.
// `between` runs between windows of a long text, and may throw to stop.
std::vector<std::uint8_t> break_flags(std::u16string_view text, const std::function<void()>& between = {});

// A font name that is no family or alias but a family with style words
// ("Liberation Sans Bold"): that family, in that face.
struct NamedFont {
    std::string family;
    FileFace face;
};
// Nothing for a family, an alias or a name that describes no known family.
std::optional<NamedFont> font_named(const Text& name);
// Font files added since may make names known.
void forget_font_names();

}  // namespace lumarin::pango
