// The Linux text drawer: Pango lays the run out and Cairo draws it straight
// into the canvas image, at 96 dpi with fixed hinting and antialiasing so
// that the same text gives the same pixels on every machine with the same
// fonts.
#include <algorithm>
#include <string>

#include "common/error.hpp"
#include "common/text.hpp"
#include "surface/pango_glue.hpp"
#include "surface/text_drawer.hpp"

namespace lumarin {

namespace {

constexpr double kDpi = 96.0;
// Cairo's image surfaces stop at 32767 pixels a side; larger areas are
// drawn in tiles.
constexpr long long kTile = 16384;

class PangoDrawer final : public TextDrawer {
public:
    PangoDrawer();
    void draw(Image& image, long long x, long long y, std::u16string_view text, const FontSpec& font,
              Colour colour) override;

private:
    glue::Layout layout_for(std::u16string_view text, const FontSpec& font) const;
    static void draw_tile(Image& image, PangoLayout* layout, long long x, long long y, long long x0, long long y0,
                          long long w, long long h, Colour colour);

    glue::FontMap font_map_;
    glue::Context context_;
};

PangoDrawer::PangoDrawer() : font_map_(pango_cairo_font_map_new())
{
    if (!font_map_)
        fail(ErrorKind::OutOfMemory, "cannot create the font map");
    pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(font_map_.get()), kDpi);
    context_.reset(pango_font_map_create_context(font_map_.get()));
    glue::FontOptions options(cairo_font_options_create());
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(context_.get(), options.get());
    pango_cairo_context_set_resolution(context_.get(), kDpi);
}

glue::Layout PangoDrawer::layout_for(std::u16string_view text, const FontSpec& font) const
{
    glue::Layout layout(pango_layout_new(context_.get()));
    const std::string utf8 = to_utf8(text);
    pango_layout_set_text(layout.get(), utf8.data(), static_cast<int>(utf8.size()));

    glue::FontDescription desc(pango_font_description_new());
    const std::string family = to_utf8(font.name);
    pango_font_description_set_family(desc.get(), family.c_str());
    pango_font_description_set_size(desc.get(), static_cast<gint>(font.size_points * PANGO_SCALE + 0.5f));
    pango_font_description_set_weight(desc.get(), font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(desc.get(), font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_layout_set_font_description(layout.get(), desc.get());

    glue::AttrList attrs(pango_attr_list_new());
    if (font.underline)
        pango_attr_list_insert(attrs.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (font.strikethru)
        pango_attr_list_insert(attrs.get(), pango_attr_strikethrough_new(TRUE));
    pango_layout_set_attributes(layout.get(), attrs.get());
    return layout;
}

void PangoDrawer::draw_tile(Image& image, PangoLayout* layout, long long x, long long y, long long x0, long long y0,
                            long long w, long long h, Colour colour)
{
    auto* data = reinterpret_cast<unsigned char*>(image.row(static_cast<int>(y0)) + x0);
    glue::Surface surface(cairo_image_surface_create_for_data(
        data, CAIRO_FORMAT_RGB24, static_cast<int>(w), static_cast<int>(h), static_cast<int>(image.stride_bytes())));
    glue::Cairo cr(cairo_create(surface.get()));
    cairo_set_source_rgb(cr.get(), (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                         ((colour >> 16) & 0xFF) / 255.0);
    cairo_move_to(cr.get(), static_cast<double>(x - x0), static_cast<double>(y - y0));
    pango_cairo_show_layout(cr.get(), layout);
    cairo_surface_flush(surface.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
        fail(ErrorKind::OutOfMemory, "cannot draw text");
    // Cairo may fill the unused byte of RGB24 pixels; the image keeps it 0.
    for (long long row = y0; row < y0 + h; ++row) {
        Pixel* p = image.row(static_cast<int>(row)) + x0;
        for (long long col = 0; col < w; ++col)
            p[col] &= 0xFFFFFF;
    }
}

void PangoDrawer::draw(Image& image, long long x, long long y, std::u16string_view text, const FontSpec& font,
                       Colour colour)
{
    if (text.empty() || image.width() == 0 || image.height() == 0)
        return;
    const glue::Layout layout = layout_for(text, font);
    PangoRectangle ink{};
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout.get(), &ink, &logical);

    // The area the run can touch, with a pixel of slack for antialiasing,
    // clipped to the image.
    const long long left = std::max<long long>(0, x + std::min(ink.x, logical.x) - 1);
    const long long top = std::max<long long>(0, y + std::min(ink.y, logical.y) - 1);
    const long long right =
        std::min<long long>(image.width(), x + std::max(ink.x + ink.width, logical.x + logical.width) + 1);
    const long long bottom =
        std::min<long long>(image.height(), y + std::max(ink.y + ink.height, logical.y + logical.height) + 1);
    for (long long ty = top; ty < bottom; ty += kTile)
        for (long long tx = left; tx < right; tx += kTile)
            draw_tile(image, layout.get(), x, y, tx, ty, std::min(kTile, right - tx), std::min(kTile, bottom - ty),
                      colour);
}

}  // namespace

std::unique_ptr<TextDrawer> make_text_drawer()
{
    return std::make_unique<PangoDrawer>();
}

}  // namespace lumarin
