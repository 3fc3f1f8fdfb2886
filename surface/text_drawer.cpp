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

void TextDrawer::draw_coverage(std::span<std::uint8_t> changed, int width, int height, long long x, long long y,
                               std::u16string_view text, const FontSpec& font)
{
    // Drawn black on white: every pixel the text changes is no longer white.
    Image scratch(width, height, 0xFFFFFF);
    draw(scratch, x, y, text, font, 0x000000);
    for (int r = 0; r < height; ++r) {
        const std::byte* px = scratch.row(r).data();
        std::uint8_t* out = changed.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
        for (int c = 0; c < width; ++c, px += 3)
            out[c] = px[0] != std::byte{0xFF} || px[1] != std::byte{0xFF} || px[2] != std::byte{0xFF};
    }
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
