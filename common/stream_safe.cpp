#include "common/stream_safe.hpp"

#include <algorithm>
#include <iterator>

#include "common/text.hpp"

namespace lumarin {

namespace {

struct NonStarters {
    char32_t first;
    char32_t last;
    int leading;   // non-starters the decomposition begins with
    int trailing;  // and ends with
    bool only;     // it is non-starters only (leading == trailing == its length)
};

constexpr NonStarters kTable[] = {
#include "common/stream_safe_table.inc"
};

// Characters below U+00A0 all decompose to themselves, and are starters.
constexpr char32_t kFirstInTable = 0x00A0;

NonStarters counts_of(char32_t c)
{
    if (c < kFirstInTable)
        return {c, c, 0, 0, false};
    const auto* row = std::upper_bound(std::begin(kTable), std::end(kTable), c,
                                       [](char32_t value, const NonStarters& r) { return value < r.first; });
    if (row == std::begin(kTable) || c > (row - 1)->last)
        return {c, c, 0, 0, false};
    return *(row - 1);
}

}  // namespace

Text stream_safe(std::u16string_view text)
{
    Text out;
    out.reserve(text.size());
    int run = 0;  // non-starters since the last starter or joiner
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t units = is_surrogate_pair_at(text, i) ? 2 : 1;
        const NonStarters c = counts_of(code_point_at(text, i));
        if (run + c.leading > kMaxNonStarters) {
            out += kGraphemeJoiner;
            run = 0;
        }
        run = c.only ? run + c.leading : c.trailing;
        out.append(text.substr(i, units));
        i += units;
    }
    return out;
}

}  // namespace lumarin
