#include "surface/text_drawer.hpp"

#include <map>
#include <mutex>

#include "common/text.hpp"

namespace lumarin {

namespace {

// Font files are added for the whole process, so their faces are
// remembered for it too.
struct FileFaces {
    std::mutex mutex;
    std::map<Text, FileFace> by_family;  // keyed in upper case
};

FileFaces& file_faces()
{
    static FileFaces faces;
    return faces;
}

}  // namespace

std::optional<FileFace> file_face_of(std::u16string_view family)
{
    FileFaces& faces = file_faces();
    const std::lock_guard lock(faces.mutex);
    const auto found = faces.by_family.find(upper_for_ascii_compare(family));
    if (found == faces.by_family.end())
        return std::nullopt;
    return found->second;
}

void remember_file_face(std::u16string_view family, const FileFace& face)
{
    FileFaces& faces = file_faces();
    const std::lock_guard lock(faces.mutex);
    faces.by_family[upper_for_ascii_compare(family)] = face;
}

std::vector<std::uint8_t> TextDrawer::breaks(std::u16string_view text)
{
    std::vector<std::uint8_t> flags(text.size(), 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool white = text[i] == u' ' || text[i] == u'\t';
        std::uint8_t f = kClusterStart;
        if (white)
            f |= kWhite;
        else if (i > 0 && (flags[i - 1] & kWhite))
            f |= kLineBreak;
        flags[i] = f;
        if (is_surrogate_pair_at(text, i))
            ++i;
    }
    return flags;
}

}  // namespace lumarin
