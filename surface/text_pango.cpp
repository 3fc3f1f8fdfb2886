// The Linux text drawer: Pango lays the run out and Cairo draws it into the
// canvas image, at 96 dpi with full hinting and no antialiasing, as GDI
// draws on Windows: a pixel is either the text colour or untouched, so the
// 1-bit picture keeps every stroke and both platforms give the same glyphs.
// The same text gives the same pixels on every machine with the same fonts.
// This file draws and measures; the drawer's other jobs are in pango_*.cpp
// (see pango_internal.hpp).
#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "common/text.hpp"
#include "surface/pango_glue.hpp"
#include "surface/pango_internal.hpp"
#include "surface/text_drawer.hpp"
#include "surface/tiles.hpp"

namespace lumarin {

namespace {

using pango::Bar;
using pango::Cuts;
using pango::cut_into_pieces;
using pango::font_description;
using pango::kDpi;
using pango::piece_length;
using pango::primary_font;
using pango::PrimaryFont;

// Cairo's image surfaces stop at 32767 pixels a side; larger areas are
// drawn in tiles.
constexpr long long kTile = 16384;

// Layouts kept from measuring to drawing; further visible pieces (only
// zero-width text gets many) are laid out again rather than held.
constexpr std::size_t kKeptLayouts = 16;

// A line's base direction, by the rule both platforms share, so that the
// drawing agrees with the alignment the measure reports.
PangoDirection base_direction(std::u16string_view text)
{
    return starts_right_to_left(text) ? PANGO_DIRECTION_RTL : PANGO_DIRECTION_LTR;
}

// Glyphs binary unless antialiasing is asked for; full hinting either way.
void set_antialias(PangoContext* context, bool antialias)
{
    glue::FontOptions options(cairo_font_options_create());
    cairo_font_options_set_antialias(options.get(), antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(context, options.get());
}

// Contexts for the drawer: 96 dpi, full hinting, binary glyphs.
glue::Context make_context(PangoFontMap* font_map)
{
    glue::Context context(pango_font_map_create_context(font_map));
    set_antialias(context.get(), false);
    pango_cairo_context_set_resolution(context.get(), kDpi);
    return context;
}

// The far edges of two extents, summed wide: a long piece in a large font
// reaches past the range of int in Pango units.
long long right_of(const PangoRectangle& ink, const PangoRectangle& logical)
{
    return std::max(static_cast<long long>(ink.x) + ink.width, static_cast<long long>(logical.x) + logical.width);
}

long long bottom_of(const PangoRectangle& ink, const PangoRectangle& logical)
{
    return std::max(static_cast<long long>(ink.y) + ink.height, static_cast<long long>(logical.y) + logical.height);
}

class PangoDrawer final : public TextDrawer {
public:
    PangoDrawer();
    void draw(Image& image, long long x, long long y, std::u16string_view text, const FontSpec& font,
              Colour colour) override;
    LineExtents measure(std::u16string_view text, const FontSpec& font) override;
    void draw_coverage(std::span<std::uint8_t> changed, int width, int height, long long x, long long y,
                       std::u16string_view text, const FontSpec& font) override;
    Text face_of(const FontSpec& font) override;
    std::vector<std::uint8_t> breaks(std::u16string_view text) override
    {
        return pango::break_flags(text, [this] { piece_done(); });
    }

private:
    // Switches both contexts to the font's antialiasing, if it changed.
    void use_antialias(bool antialias);
    // How far draw() moves a layout down to put its baseline where GDI
    // would, in whole pixels.
    long long baseline_shift(PangoLayout* layout, const FontSpec& font);
    // Where draw() puts one layout at (x, y): the top it moves it to, its
    // bars and the area it can touch.
    struct Placed {
        long long y = 0;
        std::vector<PixelArea> bars;
        PixelArea area;
    };
    Placed place(PangoLayout* layout, long long x, long long y, const FontSpec& font);
    long long measure_pieces(std::u16string_view text, const FontSpec& font, PixelArea& reach);
    static glue::Layout layout_for(PangoContext* context, std::u16string_view text, const FontSpec& font);
    // The layout of a text short enough for one, on the main context: the
    // last one made is kept, since a text is measured, then drawn.
    PangoLayout* line_layout(std::u16string_view text, const FontSpec& font);
    glue::Layout piece_layout(std::u16string_view text, const FontSpec& font) const;
    glue::Items itemize(const std::string& utf8, const FontSpec& font) const;
    void draw_in_pieces(Image& image, long long x, long long y, std::u16string_view text, const FontSpec& font,
                        Colour colour);
    static void draw_tiles(Image& image, PangoLayout* layout, double x, double y, const PixelArea& area,
                           const std::vector<PixelArea>& bars, Colour colour);

    // The primary font's facts, kept for the font last drawn in.
    const PrimaryFont& primary_for(const FontSpec& font);

    glue::FontMap font_map_;
    glue::Context context_;
    FontSpec primary_spec_;
    PrimaryFont primary_;
    bool have_primary_ = false;
    // Pieces of a long line take the whole line's direction, not their own.
    glue::Context piece_context_;
    bool antialias_ = false;
    glue::Layout last_layout_;
    Text last_text_;
    FontSpec last_font_;
};

PangoDrawer::PangoDrawer() : font_map_(pango_cairo_font_map_new())
{
    if (!font_map_)
        fail(ErrorKind::OutOfMemory, "cannot create the font map");
    pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(font_map_.get()), kDpi);
    context_ = make_context(font_map_.get());
    piece_context_ = make_context(font_map_.get());
}

glue::Layout PangoDrawer::layout_for(PangoContext* context, std::u16string_view text, const FontSpec& font)
{
    glue::Layout layout(pango_layout_new(context));
    const std::string utf8 = to_utf8(text);
    pango_layout_set_text(layout.get(), utf8.data(), static_cast<int>(utf8.size()));
    pango_layout_set_font_description(layout.get(), font_description(font).get());
    // The context's base direction, never one Pango finds for itself.
    pango_layout_set_auto_dir(layout.get(), FALSE);
    return layout;
}

long long nearest_pixel(double units) { return std::llround(units / PANGO_SCALE); }

// The bars of a layout whose origin is at (x, y), across its logical width.
std::vector<PixelArea> bars_for(PangoLayout* layout, double x, double y, const FontStyle& style,
                                const PrimaryFont& metrics)
{
    std::vector<PixelArea> bars;
    if (!style.underline && !style.strikethru)
        return bars;
    PangoRectangle logical{};
    pango_layout_get_extents(layout, nullptr, &logical);
    const long long baseline = nearest_pixel(y * PANGO_SCALE + pango_layout_get_baseline(layout));
    const long long left = nearest_pixel(x * PANGO_SCALE + logical.x);
    const long long right = nearest_pixel(x * PANGO_SCALE + logical.x + static_cast<double>(logical.width));
    const auto add = [&](const Bar& bar) {
        bars.push_back({left, baseline + bar.top, right, baseline + bar.top + bar.height});
    };
    if (style.underline)
        add(metrics.underline);
    if (style.strikethru)
        add(metrics.strikethrough);
    return bars;
}

PixelArea united(PixelArea area, const PixelArea& other)
{
    return {std::min(area.left, other.left), std::min(area.top, other.top), std::max(area.right, other.right),
            std::max(area.bottom, other.bottom)};
}

PixelArea united(PixelArea area, const std::vector<PixelArea>& bars)
{
    for (const PixelArea& bar : bars)
        area = united(area, bar);
    return area;
}

// The area a layout with its origin at (x, y) can touch: its ink and
// logical boxes with a pixel of slack for antialiasing, in Pango units.
PixelArea layout_area(double x, double y, const PangoRectangle& ink, const PangoRectangle& logical)
{
    const auto edge = [](double origin, long long offset) { return origin + static_cast<double>(offset) / PANGO_SCALE; };
    return {static_cast<long long>(std::floor(edge(x, std::min(ink.x, logical.x)))) - 1,
            static_cast<long long>(std::floor(edge(y, std::min(ink.y, logical.y)))) - 1,
            static_cast<long long>(std::ceil(edge(x, right_of(ink, logical)))) + 1,
            static_cast<long long>(std::ceil(edge(y, bottom_of(ink, logical)))) + 1};
}

// Draws the layout with its origin at (x, y) over the part of `area` on the
// image. Cairo draws 32-bit pixels: each tile is read into a 32-bit band,
// drawn there and written back into the image's rows.
void PangoDrawer::draw_tiles(Image& image, PangoLayout* layout, double x, double y, const PixelArea& area,
                             const std::vector<PixelArea>& bars, Colour colour)
{
    std::vector<Pixel> band;
    for_each_tile(image, area, kTile, [&](const PixelArea& tile) {
        const int left = static_cast<int>(tile.left);
        const int width = static_cast<int>(tile.width());
        const int height = static_cast<int>(tile.height());
        band.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        for (int r = 0; r < height; ++r)
            image.read_pixels(left, static_cast<int>(tile.top) + r, width, band.data() + static_cast<std::size_t>(r) * width);
        auto* data = reinterpret_cast<unsigned char*>(band.data());
        glue::Surface surface(cairo_image_surface_create_for_data(data, CAIRO_FORMAT_RGB24, width, height,
                                                                  width * static_cast<int>(sizeof(Pixel))));
        glue::Cairo cr(cairo_create(surface.get()));
        // The bars lie on whole pixels; nothing else is filled.
        cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);
        cairo_set_source_rgb(cr.get(), (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                             ((colour >> 16) & 0xFF) / 255.0);
        cairo_move_to(cr.get(), x - static_cast<double>(tile.left), y - static_cast<double>(tile.top));
        pango_cairo_show_layout(cr.get(), layout);
        for (const PixelArea& bar : bars)
            cairo_rectangle(cr.get(), static_cast<double>(bar.left - tile.left),
                            static_cast<double>(bar.top - tile.top), static_cast<double>(bar.width()),
                            static_cast<double>(bar.height()));
        cairo_fill(cr.get());
        cairo_surface_flush(surface.get());
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
            fail(ErrorKind::OutOfMemory, "cannot draw text");
        // Cairo may fill the unused byte of RGB24 pixels; the image has none.
        for (int r = 0; r < height; ++r)
            image.write_pixels(left, static_cast<int>(tile.top) + r, width, band.data() + static_cast<std::size_t>(r) * width);
    });
}

void PangoDrawer::draw(Image& image, long long x, long long y, std::u16string_view text, const FontSpec& font,
                       Colour colour)
{
    if (text.empty() || image.width() == 0 || image.height() == 0)
        return;
    use_antialias(font.antialias);
    if (text.size() > piece_length(font)) {
        draw_in_pieces(image, x, y, text, font, colour);
        return;
    }
    PangoLayout* layout = line_layout(text, font);
    const Placed placed = place(layout, x, y, font);
    draw_tiles(image, layout, static_cast<double>(x), static_cast<double>(placed.y), placed.area, placed.bars, colour);
}

static bool same_font(const FontSpec& a, const FontSpec& b)
{
    return a.name == b.name && a.size_points == b.size_points && a.style == b.style && a.antialias == b.antialias &&
           a.file_face == b.file_face;
}

PangoLayout* PangoDrawer::line_layout(std::u16string_view text, const FontSpec& font)
{
    if (last_layout_ && text == last_text_ && same_font(font, last_font_))
        return last_layout_.get();
    pango_context_set_base_dir(context_.get(), base_direction(text));
    last_layout_ = layout_for(context_.get(), text, font);
    last_text_ = Text(text);
    last_font_ = font;
    return last_layout_.get();
}

// Drawn on an alpha surface: no colour to convert, and every pixel the
// text covers is non-zero. Without antialiasing, those are the pixels
// draw() changes; with it, the faintest coverage may leave a pixel as it
// was, which only drawing in colour tells.
void PangoDrawer::draw_coverage(std::span<std::uint8_t> changed, int width, int height, long long x, long long y,
                                std::u16string_view text, const FontSpec& font)
{
    // Larger areas are drawn in tiles, as draw() draws them.
    if (font.antialias || text.size() > piece_length(font) || text.empty() || width > kTile || height > kTile) {
        TextDrawer::draw_coverage(changed, width, height, x, y, text, font);
        return;
    }
    use_antialias(false);
    PangoLayout* layout = line_layout(text, font);
    const Placed placed = place(layout, x, y, font);
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, width);
    std::vector<unsigned char> alpha(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height), 0);
    glue::Surface surface(cairo_image_surface_create_for_data(alpha.data(), CAIRO_FORMAT_A8, width, height, stride));
    glue::Cairo cr(cairo_create(surface.get()));
    cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);
    cairo_move_to(cr.get(), static_cast<double>(x), static_cast<double>(placed.y));
    pango_cairo_show_layout(cr.get(), layout);
    for (const PixelArea& bar : placed.bars)
        cairo_rectangle(cr.get(), static_cast<double>(bar.left), static_cast<double>(bar.top),
                        static_cast<double>(bar.width()), static_cast<double>(bar.height()));
    cairo_fill(cr.get());
    cairo_surface_flush(surface.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
        fail(ErrorKind::OutOfMemory, "cannot draw text");
    for (int r = 0; r < height; ++r)
        std::copy_n(alpha.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(stride), width,
                    changed.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(width));
}

void PangoDrawer::use_antialias(bool antialias)
{
    if (antialias == antialias_)
        return;
    set_antialias(context_.get(), antialias);
    set_antialias(piece_context_.get(), antialias);
    antialias_ = antialias;
}

long long PangoDrawer::baseline_shift(PangoLayout* layout, const FontSpec& font)
{
    const PrimaryFont& primary = primary_for(font);
    if (primary.baseline < 0)
        return 0;
    return std::llround(static_cast<double>(primary.baseline - pango_layout_get_baseline(layout)) / PANGO_SCALE);
}

// Piece by piece, as draw_in_pieces places them, in the line's visual
// order; a width past any image's is enough to know. Returns the width in
// pixels and sets the area the pieces can touch. Without the primary
// font's baseline the pieces' heights are not known, and the area reaches
// two line heights above and below.
long long PangoDrawer::measure_pieces(std::u16string_view text, const FontSpec& font, PixelArea& reach)
{
    const Cuts cuts = cut_into_pieces(text, piece_length(font));
    const bool rtl = starts_right_to_left(text);
    pango_context_set_base_dir(piece_context_.get(), base_direction(text));
    const PrimaryFont& primary = primary_for(font);
    long long width = 0;
    for (std::size_t n = 0; n < cuts.ends.size() && width <= measure_limit() * 1024LL; ++n) {
        piece_done();
        const std::size_t i = rtl ? cuts.ends.size() - 1 - n : n;
        const std::size_t begin = i == 0 ? 0 : cuts.ends[i - 1];
        const glue::Layout layout = piece_layout(text.substr(begin, cuts.ends[i] - begin), font);
        PangoRectangle ink{};
        PangoRectangle piece{};
        pango_layout_get_extents(layout.get(), &ink, &piece);
        const double pen = static_cast<double>(width) / PANGO_SCALE;
        const double py = primary.baseline >= 0
                              ? static_cast<double>(primary.baseline - pango_layout_get_baseline(layout.get())) / PANGO_SCALE
                              : 0.0;
        const PixelArea area = united(layout_area(pen, py, ink, piece), bars_for(layout.get(), pen, py, font.style, primary));
        reach = n == 0 ? area : united(reach, area);
        width += piece.width;
    }
    if (primary.baseline < 0) {
        const long long line = std::max(primary.line_height, 1);
        reach.top = std::min(reach.top, -2 * line);
        reach.bottom = std::max(reach.bottom, 3 * line);
    }
    return nearest_pixel(static_cast<double>(width));
}

PangoDrawer::Placed PangoDrawer::place(PangoLayout* layout, long long x, long long y, const FontSpec& font)
{
    PangoRectangle ink{};
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    y += baseline_shift(layout, font);
    Placed placed{y, bars_for(layout, static_cast<double>(x), static_cast<double>(y), font.style, primary_for(font)), {}};
    // The area the run can touch, with a pixel of slack for antialiasing.
    const PixelArea area{x + std::min(ink.x, logical.x) - 1, y + std::min(ink.y, logical.y) - 1,
                         x + right_of(ink, logical) + 1, y + bottom_of(ink, logical) + 1};
    placed.area = united(area, placed.bars);
    return placed;
}

LineExtents PangoDrawer::measure(std::u16string_view text, const FontSpec& font)
{
    use_antialias(font.antialias);
    LineExtents extents;
    extents.right_to_left = starts_right_to_left(text);
    PangoRectangle logical{};
    if (text.size() <= piece_length(font)) {
        PangoLayout* layout = line_layout(text, font);
        pango_layout_get_pixel_extents(layout, nullptr, &logical);
        extents.reach = place(layout, 0, 0, font).area;
    } else {
        logical.width = static_cast<int>(std::min<long long>(measure_pieces(text, font, extents.reach), INT_MAX));
        const glue::Layout empty = layout_for(context_.get(), u"", font);
        PangoRectangle line{};
        pango_layout_get_pixel_extents(empty.get(), nullptr, &line);
        logical.height = line.height;
    }
    const PrimaryFont& primary = primary_for(font);
    extents.left = logical.x;
    extents.right = static_cast<long long>(logical.x) + logical.width;
    extents.line_height = primary.line_height > 0 ? primary.line_height : logical.height;
    return extents;
}

Text PangoDrawer::face_of(const FontSpec& font)
{
    const glue::Font loaded(pango_context_load_font(context_.get(), font_description(font).get()));
    if (!loaded)
        return {};
    const glue::FontDescription described(pango_font_describe(loaded.get()));
    const char* family = pango_font_description_get_family(described.get());
    Text face;
    if (!family || !from_utf8(family, face))
        return {};
    return face;
}

const PrimaryFont& PangoDrawer::primary_for(const FontSpec& font)
{
    if (!have_primary_ || primary_spec_.name != font.name || primary_spec_.size_points != font.size_points ||
        !(primary_spec_.style == font.style) || primary_spec_.file_face != font.file_face) {
        primary_ = primary_font(context_.get(), font);
        primary_spec_ = font;
        have_primary_ = true;
    }
    return primary_;
}

glue::Layout PangoDrawer::piece_layout(std::u16string_view text, const FontSpec& font) const
{
    return layout_for(piece_context_.get(), text, font);
}

glue::Items PangoDrawer::itemize(const std::string& utf8, const FontSpec& font) const
{
    glue::AttrList attrs(pango_attr_list_new());
    pango_attr_list_insert(attrs.get(), pango_attr_font_desc_new(font_description(font).get()));
    return glue::Items(
        pango_itemize(piece_context_.get(), utf8.data(), 0, static_cast<int>(utf8.size()), attrs.get(), nullptr));
}

// Pango shifts each run of a line onto the baseline of the line's first
// run, by the fonts' baseline tables, and puts the line's baseline where
// the shifted runs need it. One small layout, the first run followed by a
// few characters of each font and script on the line, gets the same
// baseline. It includes the pieces past the right edge; itemizing them,
// without shaping, is cheap.
class BaselineSample {
public:
    explicit BaselineSample(const PangoItem& first, const char* text) { add(first, text); }

    // `text` is where the item's own text starts.
    void add(const PangoItem& item, const char* text)
    {
        const std::pair<PangoFont*, int> key{item.analysis.font, static_cast<int>(item.analysis.script)};
        if (!key.first || std::find(seen_.begin(), seen_.end(), key) != seen_.end())
            return;
        // All of the first run, so that it itemizes as it did on the line;
        // of the others enough that marks find their base's font.
        const char* end = text;
        for (int c = 0; end < text + item.length && (seen_.empty() || c < 16); ++c)
            end = g_utf8_next_char(end);
        seen_.push_back(key);
        text_.append(text, end);
    }

    int baseline(const glue::Layout& layout) const
    {
        pango_layout_set_text(layout.get(), text_.data(), static_cast<int>(text_.size()));
        return pango_layout_get_baseline(layout.get());
    }

private:
    std::vector<std::pair<PangoFont*, int>> seen_;
    std::string text_;
};

void add_runs(BaselineSample& sample, PangoLayout* layout)
{
    const char* text = pango_layout_get_text(layout);
    for (const GSList* line = pango_layout_get_lines_readonly(layout); line; line = line->next)
        for (const GSList* run = static_cast<const PangoLayoutLine*>(line->data)->runs; run; run = run->next) {
            const PangoItem& item = *static_cast<const PangoGlyphItem*>(run->data)->item;
            sample.add(item, text + item.offset);
        }
}

// Pieces go left to right in the line's visual order, each at the pen where
// the one before it ended, all on the line's baseline. Laying out stops
// once the pen is past the right edge: nothing further can show.
void PangoDrawer::draw_in_pieces(Image& image, long long x, long long y, std::u16string_view text,
                                 const FontSpec& font, Colour colour)
{
    struct Piece {
        std::size_t begin = 0;
        std::size_t end = 0;
        double pen = 0;  // pixels right of x
        int baseline = 0;
        PangoRectangle ink{};
        PangoRectangle logical{};
        glue::Layout layout;  // null when it has to be laid out again
    };

    const Cuts cuts = cut_into_pieces(text, piece_length(font));
    const bool rtl = starts_right_to_left(text);
    pango_context_set_base_dir(piece_context_.get(), base_direction(text));
    const auto piece_text = [&](std::size_t i) {
        const std::size_t begin = i == 0 ? 0 : cuts.ends[i - 1];
        return text.substr(begin, cuts.ends[i] - begin);
    };

    const std::string first_utf8 = to_utf8(piece_text(0));
    const glue::Items first_items = itemize(first_utf8, font);
    if (!first_items)
        return;
    const auto& first = *static_cast<const PangoItem*>(first_items->data);
    BaselineSample sample(first, first_utf8.data() + first.offset);

    // Ink may start left of the pen (overhangs, marks); an em covers any
    // ordinary font.
    const double margin = static_cast<double>(font.size_points) * kDpi / 72.0 + 1.0;
    const double width = image.width();
    std::vector<Piece> visible;
    std::size_t kept = 0;
    double pen = 0;
    std::size_t n = 0;
    for (; n < cuts.ends.size() && static_cast<double>(x) + pen < width + margin; ++n) {
        piece_done();
        const std::size_t i = rtl ? cuts.ends.size() - 1 - n : n;
        Piece piece;
        piece.begin = i == 0 ? 0 : cuts.ends[i - 1];
        piece.end = cuts.ends[i];
        piece.pen = pen;
        glue::Layout layout = piece_layout(piece_text(i), font);
        pango_layout_get_extents(layout.get(), &piece.ink, &piece.logical);
        piece.baseline = pango_layout_get_baseline(layout.get());
        add_runs(sample, layout.get());
        pen += static_cast<double>(piece.logical.width) / PANGO_SCALE;

        const double from = static_cast<double>(std::min(piece.ink.x, piece.logical.x)) / PANGO_SCALE;
        const double to =
            static_cast<double>(right_of(piece.ink, piece.logical)) / PANGO_SCALE;
        const bool bars = font.style.underline || font.style.strikethru;
        if ((piece.ink.width == 0 && !bars) || static_cast<double>(x) + piece.pen + to + 1 <= 0 ||
            static_cast<double>(x) + piece.pen + from - 1 >= width)
            continue;
        if (kept < kKeptLayouts) {
            piece.layout = std::move(layout);
            ++kept;
        }
        visible.push_back(std::move(piece));
    }
    if (visible.empty())
        return;
    // The pieces not laid out lie at one end of the text.
    for (; n < cuts.ends.size(); ++n) {
        piece_done();
        const std::string utf8 = to_utf8(piece_text(rtl ? cuts.ends.size() - 1 - n : n));
        const glue::Items items = itemize(utf8, font);
        for (const GList* l = items.get(); l; l = l->next) {
            const auto& item = *static_cast<const PangoItem*>(l->data);
            sample.add(item, utf8.data() + item.offset);
        }
    }
    const PrimaryFont& primary = primary_for(font);
    const int baseline = primary.baseline >= 0 ? primary.baseline : sample.baseline(piece_layout(u"", font));

    for (Piece& piece : visible) {
        piece_done();
        if (!piece.layout)
            piece.layout = piece_layout(text.substr(piece.begin, piece.end - piece.begin), font);
        const double px = static_cast<double>(x) + piece.pen;
        const double py = static_cast<double>(y) + static_cast<double>(baseline - piece.baseline) / PANGO_SCALE;
        const PixelArea area = layout_area(px, py, piece.ink, piece.logical);
        const auto bars = bars_for(piece.layout.get(), px, py, font.style, primary);
        draw_tiles(image, piece.layout.get(), px, py, united(area, bars), bars, colour);
    }
}

}  // namespace

std::unique_ptr<TextDrawer> make_text_drawer()
{
    return std::make_unique<PangoDrawer>();
}

}  // namespace lumarin
