#include "surface/text_drawer.hpp"

#include "common/text.hpp"

namespace lumarin {

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
