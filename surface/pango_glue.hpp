// Owning handles for the Pango and Cairo objects the Linux drawer uses:
// a unique_ptr with a one-line deleter per type. Every constructor here
// adopts a reference the caller already owns; none adds one.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <memory>

namespace lumarin::glue {

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* p) const noexcept
    {
        Free(p);
    }
};

inline void unref_gobject(gpointer p) { g_object_unref(p); }
inline void free_item(gpointer p) { pango_item_free(static_cast<PangoItem*>(p)); }
inline void free_items(GList* items) { g_list_free_full(items, free_item); }

using FontMap = std::unique_ptr<PangoFontMap, Deleter<unref_gobject>>;
using Font = std::unique_ptr<PangoFont, Deleter<unref_gobject>>;
using FontMetrics = std::unique_ptr<PangoFontMetrics, Deleter<pango_font_metrics_unref>>;
using Context = std::unique_ptr<PangoContext, Deleter<unref_gobject>>;
using Layout = std::unique_ptr<PangoLayout, Deleter<unref_gobject>>;
using FontDescription = std::unique_ptr<PangoFontDescription, Deleter<pango_font_description_free>>;
using AttrList = std::unique_ptr<PangoAttrList, Deleter<pango_attr_list_unref>>;
using Surface = std::unique_ptr<cairo_surface_t, Deleter<cairo_surface_destroy>>;
using Cairo = std::unique_ptr<cairo_t, Deleter<cairo_destroy>>;
using FontOptions = std::unique_ptr<cairo_font_options_t, Deleter<cairo_font_options_destroy>>;
// A list of PangoItems, as pango_itemize returns it.
using Items = std::unique_ptr<GList, Deleter<free_items>>;

}  // namespace lumarin::glue
