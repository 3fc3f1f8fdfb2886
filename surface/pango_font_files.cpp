// Font files added for the process, through fontconfig's application
// font set, and the face each one holds.
#include <fontconfig/fontconfig.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "surface/pango_internal.hpp"

namespace lumarin {

namespace {

// A font's face from its fontconfig entry; what it does not say is regular.
FileFace face_of_pattern(FcPattern* pattern)
{
    FileFace face;
    double weight = 0;
    if (FcPatternGetDouble(pattern, FC_WEIGHT, 0, &weight) == FcResultMatch)
        face.weight = static_cast<int>(std::lround(FcWeightToOpenTypeDouble(weight)));
    else if (int w = 0; FcPatternGetInteger(pattern, FC_WEIGHT, 0, &w) == FcResultMatch)
        face.weight = FcWeightToOpenType(w);
    face.weight = std::clamp(face.weight > 0 ? face.weight : 400, 100, 1000);
    int slant = FC_SLANT_ROMAN;
    if (FcPatternGetInteger(pattern, FC_SLANT, 0, &slant) == FcResultMatch)
        face.slant = slant == FC_SLANT_ITALIC   ? FileFace::Slant::Italic
                     : slant == FC_SLANT_OBLIQUE ? FileFace::Slant::Oblique
                                                 : FileFace::Slant::Upright;
    double width = 100;
    if (FcPatternGetDouble(pattern, FC_WIDTH, 0, &width) == FcResultMatch)
        face.width = width;
    else if (int w = 0; FcPatternGetInteger(pattern, FC_WIDTH, 0, &w) == FcResultMatch)
        face.width = w;
    return face;
}

}  // namespace

Text add_font_file(const std::string& path)
{
    FcConfig* config = FcConfigGetCurrent();
    // Fontconfig records the file by the name it is given: an absolute one
    // finds the entry again below.
    const std::unique_ptr<char, decltype(&std::free)> absolute(::realpath(path.c_str(), nullptr), &std::free);
    if (!absolute || ::access(absolute.get(), R_OK) != 0)
        fail(ErrorKind::FileNotFound, "cannot read the font file " + path);
    const std::string_view full(absolute.get());
    const auto* file = reinterpret_cast<const FcChar8*>(absolute.get());
    if (!FcConfigAppFontAddFile(config, file))
        fail(ErrorKind::InvalidPropertyValue, path + " holds no font this system can load");
    // The fonts just added are the application set's entries for this file.
    FcFontSet* added = FcConfigGetFonts(config, FcSetApplication);
    for (int i = 0; added && i < added->nfont; ++i) {
        FcChar8* entry_file = nullptr;
        FcChar8* family = nullptr;
        if (FcPatternGetString(added->fonts[i], FC_FILE, 0, &entry_file) == FcResultMatch &&
            std::string_view(reinterpret_cast<const char*>(entry_file)) == full &&
            FcPatternGetString(added->fonts[i], FC_FAMILY, 0, &family) == FcResultMatch) {
            Text name;
            if (from_utf8(reinterpret_cast<const char*>(family), name)) {
                remember_file_face(name, face_of_pattern(added->fonts[i]));
                pango::forget_font_names();
                return name;
            }
        }
    }
    fail(ErrorKind::InvalidPropertyValue, path + " holds no font with a family name");
}

}  // namespace lumarin
