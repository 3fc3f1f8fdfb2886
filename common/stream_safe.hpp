// Unicode's Stream-Safe Text Format (UAX #15): no run of more than 30
// non-starters. A character may carry any number of combining marks, and
// text engines treat a base and its marks as one cluster that cannot be
// split; in stream-safe text no cluster holds more than 31 characters
// between two U+034F COMBINING GRAPHEME JOINERs, which draw nothing.
#pragma once

#include <string_view>

#include "lumarin/types.hpp"

namespace lumarin {

inline constexpr char16_t kGraphemeJoiner = 0x034F;
inline constexpr int kMaxNonStarters = 30;

// The text with a U+034F inserted wherever the Stream-Safe Text Process
// inserts one: before a character whose leading non-starters (in its full
// compatibility decomposition) would make the run longer than 30. Text
// already in that form comes back unchanged. A lone surrogate counts as a
// starter.
Text stream_safe(std::u16string_view text);

}  // namespace lumarin
