// What a font name means on Linux: an installed family, an alias that
// fontconfig substitutes (Sans, monospace), or a family followed by the
// style words of a Pango font description ("Liberation Sans Bold"); and
// the Pango description of the font asked for.
#include <fontconfig/fontconfig.h>
#include <pango/pango.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "surface/pango_glue.hpp"
#include "surface/pango_internal.hpp"
#include "surface/text_drawer.hpp"

namespace lumarin::pango {

namespace {

using Pattern = std::unique_ptr<FcPattern, glue::Deleter<FcPatternDestroy>>;
using ObjectSet = std::unique_ptr<FcObjectSet, glue::Deleter<FcObjectSetDestroy>>;
using FontSet = std::unique_ptr<FcFontSet, glue::Deleter<FcFontSetDestroy>>;

bool family_installed(const std::string& family)
{
    const Pattern pattern(FcPatternCreate());
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    const ObjectSet objects(FcObjectSetBuild(FC_FAMILY, nullptr));
    const FontSet fonts(FcFontList(nullptr, pattern.get(), objects.get()));
    return fonts && fonts->nfont > 0;
}

// Fontconfig puts the families an alias stands for in front of it; any
// other name stays first, with fallbacks after it.
bool is_alias(const std::string& family)
{
    const Pattern pattern(FcPatternCreate());
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    if (!FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern))
        return false;
    FcChar8* first = nullptr;
    return FcPatternGetString(pattern.get(), FC_FAMILY, 0, &first) == FcResultMatch &&
           FcStrCmpIgnoreCase(first, reinterpret_cast<const FcChar8*>(family.c_str())) != 0;
}

bool is_family_or_alias(const std::string& family) { return family_installed(family) || is_alias(family); }

double width_of(PangoStretch stretch)
{
    constexpr double kWidths[] = {50, 62.5, 75, 87.5, 100, 112.5, 125, 150, 200};
    return kWidths[std::clamp(static_cast<int>(stretch), 0, 8)];
}

// The family and face a name that is no family describes, if its family
// is one.
std::optional<NamedFont> described(const std::string& name)
{
    const glue::FontDescription desc(pango_font_description_from_string(name.c_str()));
    const char* family = pango_font_description_get_family(desc.get());
    const int styled = PANGO_FONT_MASK_WEIGHT | PANGO_FONT_MASK_STYLE | PANGO_FONT_MASK_STRETCH;
    if (!family || !(pango_font_description_get_set_fields(desc.get()) & styled) || !is_family_or_alias(family))
        return std::nullopt;
    NamedFont named{family, {}};
    named.face.weight = pango_font_description_get_weight(desc.get());
    const PangoStyle style = pango_font_description_get_style(desc.get());
    named.face.slant = style == PANGO_STYLE_ITALIC    ? FileFace::Slant::Italic
                       : style == PANGO_STYLE_OBLIQUE ? FileFace::Slant::Oblique
                                                      : FileFace::Slant::Upright;
    named.face.width = width_of(pango_font_description_get_stretch(desc.get()));
    return named;
}

// Names looked up, kept for the process: each lookup lists fonts. A font
// file added changes the answers.
struct Names {
    std::mutex mutex;
    std::map<Text, std::optional<NamedFont>> meaning;
    std::map<Text, bool> known;
};

Names& names()
{
    static Names n;
    return n;
}

// `name`'s entry in `cache`, worked out unlocked (fontconfig takes its
// time) when it is not there yet.
template <typename Value, typename Work>
Value remembered(std::map<Text, Value>& cache, const Text& name, Work work)
{
    Names& n = names();
    {
        const std::lock_guard lock(n.mutex);
        if (const auto found = cache.find(name); found != cache.end())
            return found->second;
    }
    Value value = work();
    const std::lock_guard lock(n.mutex);
    cache.emplace(name, value);
    return value;
}

}  // namespace

std::optional<NamedFont> font_named(const Text& name)
{
    return remembered(names().meaning, name, [&] {
        const std::string utf8 = to_utf8(name);
        return is_family_or_alias(utf8) ? std::nullopt : described(utf8);
    });
}

void forget_font_names()
{
    Names& n = names();
    const std::lock_guard lock(n.mutex);
    n.meaning.clear();
    n.known.clear();
}

namespace {

// Pango's nearest stretch to a width in percent, fontconfig's scale.
PangoStretch stretch_for(double width)
{
    constexpr std::pair<double, PangoStretch> kWidths[] = {
        {50, PANGO_STRETCH_ULTRA_CONDENSED}, {62.5, PANGO_STRETCH_EXTRA_CONDENSED}, {75, PANGO_STRETCH_CONDENSED},
        {87.5, PANGO_STRETCH_SEMI_CONDENSED}, {100, PANGO_STRETCH_NORMAL},         {112.5, PANGO_STRETCH_SEMI_EXPANDED},
        {125, PANGO_STRETCH_EXPANDED},       {150, PANGO_STRETCH_EXTRA_EXPANDED}, {200, PANGO_STRETCH_ULTRA_EXPANDED}};
    const auto nearest = std::min_element(std::begin(kWidths), std::end(kWidths), [&](const auto& a, const auto& b) {
        return std::abs(a.first - width) < std::abs(b.first - width);
    });
    return nearest->second;
}

}  // namespace

glue::FontDescription font_description(const FontSpec& font)
{
    glue::FontDescription desc(pango_font_description_new());
    const std::optional<NamedFont> named = font_named(font.name);
    const std::string family = named ? named->family : to_utf8(font.name);
    pango_font_description_set_family(desc.get(), family.c_str());
    // Whole pixels, as GDI draws: the same hinted glyphs on both platforms.
    pango_font_description_set_absolute_size(desc.get(), em_pixels(font) * PANGO_SCALE);
    const FileFace face = font.file_face ? *font.file_face : named ? named->face : FileFace{};
    const int weight = font.style.bold ? std::max(face.weight, static_cast<int>(PANGO_WEIGHT_BOLD)) : face.weight;
    pango_font_description_set_weight(desc.get(), static_cast<PangoWeight>(weight));
    pango_font_description_set_style(desc.get(), font.style.italic || face.slant == FileFace::Slant::Italic
                                                     ? PANGO_STYLE_ITALIC
                                                 : face.slant == FileFace::Slant::Oblique ? PANGO_STYLE_OBLIQUE
                                                                                          : PANGO_STYLE_NORMAL);
    pango_font_description_set_stretch(desc.get(), stretch_for(face.width));
    return desc;
}

}  // namespace lumarin::pango

namespace lumarin {

bool font_name_is_known(std::u16string_view name)
{
    const Text key(name);
    return pango::remembered(pango::names().known, key, [&] {
        return pango::is_family_or_alias(to_utf8(key)) || pango::font_named(key).has_value();
    });
}

}  // namespace lumarin
