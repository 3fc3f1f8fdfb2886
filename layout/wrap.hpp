// Breaking a line into lines no wider than a width, at the positions its
// language allows, and a word wider than a line between grapheme clusters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace lumarin {

// [begin, end) of a line's text; white space at a wrapped line's end is
// left out.
struct TextSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
    // One cluster, measured wider than the width: no wrapping fits it.
    bool too_wide = false;
};

// `flags` holds a BreakFlag set for each code unit of the text;
// `width_of(begin, end)` is the width of that part set as a line. Greedy:
// each line takes as much as fits. The measures taken grow with the log of
// a line's length, each of at most about twice its text, so the work is
// close to linear in the text's length. A text that fits is one line.
std::vector<TextSpan> wrap_text(std::size_t length, std::span<const std::uint8_t> flags, long long width,
                                const std::function<long long(std::size_t, std::size_t)>& width_of);

}  // namespace lumarin
