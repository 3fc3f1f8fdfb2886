// Text after a tab goes to the next tab stop: where each part of a line
// starts, in pixels from the line's start.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

#include "lumarin/page.hpp"

namespace lumarin {

// Stops in pixels, for one font and one text area.
struct PixelTabs {
    struct Stop {
        TabStop::Kind kind = TabStop::Kind::Left;
        long long x = 0;
    };
    std::vector<Stop> stops;  // increasing
    long long every = 0;      // a left stop at each multiple past the last
};

// `cell` is the font's cell in pixels; `area` the text area's width, where
// stops `at_end` lie.
PixelTabs resolve_tabs(const TabStops& tabs, long long cell, long long area);

// A part of a line between tabs, and where its logical box starts.
struct TabbedRun {
    std::size_t begin = 0;
    std::size_t end = 0;
    long long x = 0;
};

struct TabbedLine {
    std::vector<TabbedRun> runs;
    long long width = 0;  // where the last part ends
};

// Sets `text` on the stops; `width_of` measures a part without tabs. A part
// that would start before the end of the one before it starts there.
TabbedLine set_on_tabs(std::u16string_view text, const PixelTabs& tabs,
                       const std::function<long long(std::u16string_view)>& width_of);

}  // namespace lumarin
