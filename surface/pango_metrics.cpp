// The primary font's figures for a whole line, read as GDI reads them.
#include <hb-ot.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "surface/pango_internal.hpp"

namespace lumarin::pango {

namespace {

// The font's own figures, in its units; figures it lacks come from Pango's
// metrics, which fall back in turn to estimates.
class FontUnits {
public:
    FontUnits(PangoFont* font, double em)
        : em_(em), face_(hb_font_get_face(pango_font_get_hb_font(font))), unscaled_(hb_font_create(face_)),
          upem_(hb_face_get_upem(face_))
    {
    }
    ~FontUnits() { hb_font_destroy(unscaled_); }
    FontUnits(const FontUnits&) = delete;
    FontUnits& operator=(const FontUnits&) = delete;

    // The figure in whole pixels, halves up as GDI scales, or `fallback`
    // (Pango units) rounded.
    int pixels(hb_ot_metrics_tag_t tag, int fallback) const
    {
        hb_position_t value = 0;
        if (upem_ > 0 && hb_ot_metrics_get_position(unscaled_, tag, &value))
            return static_cast<int>(std::floor(value * em_ / upem_ + 0.5));
        return static_cast<int>(std::lround(static_cast<double>(fallback) / PANGO_SCALE));
    }

private:
    double em_;
    hb_face_t* face_;  // owned by the font
    hb_font_t* unscaled_;  // positions in font units
    unsigned upem_;
};

// A bar centred on `position` pixels above the baseline, GDI's way.
Bar bar_at(int position, int thickness)
{
    const int height = std::max(1, thickness);
    return {-(position + height / 2), height};
}

}  // namespace

PrimaryFont primary_font(PangoContext* context, const FontSpec& font)
{
    const glue::Font loaded(pango_context_load_font(context, font_description(font).get()));
    if (!loaded)
        return {};
    const glue::FontMetrics m(pango_font_get_metrics(loaded.get(), nullptr));
    const FontUnits units(loaded.get(), em_pixels(font));
    const int ascent = units.pixels(HB_OT_METRICS_TAG_HORIZONTAL_CLIPPING_ASCENT, -PANGO_SCALE);
    const int descent = std::abs(units.pixels(HB_OT_METRICS_TAG_HORIZONTAL_CLIPPING_DESCENT, 0));
    return {
        ascent > 0 ? ascent * PANGO_SCALE : -1,
        ascent > 0 ? ascent + descent : -1,
        bar_at(units.pixels(HB_OT_METRICS_TAG_UNDERLINE_OFFSET, pango_font_metrics_get_underline_position(m.get())),
               units.pixels(HB_OT_METRICS_TAG_UNDERLINE_SIZE, pango_font_metrics_get_underline_thickness(m.get()))),
        bar_at(units.pixels(HB_OT_METRICS_TAG_STRIKEOUT_OFFSET,
                            pango_font_metrics_get_strikethrough_position(m.get())),
               units.pixels(HB_OT_METRICS_TAG_STRIKEOUT_SIZE,
                            pango_font_metrics_get_strikethrough_thickness(m.get()))),
    };
}

}  // namespace lumarin::pango
