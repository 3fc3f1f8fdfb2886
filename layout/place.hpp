// Where each measured line goes and how large the picture is, so that no ink
// is cut on any side. Margins are measured from the ink (no blank band is
// left below the last line, as a thermal printer would feed it), or with
// `line_box` from the lines' boxes, so that every picture with the same
// style and line count has the same height.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "lumarin/page.hpp"
#include "surface/tiles.hpp"

namespace lumarin {

// A line as measured: its logical width from x = 0, the direction it
// starts in, and its ink from the top-left corner of its box.
struct LineBox {
    long long width = 0;
    bool right_to_left = false;
    bool has_ink = false;
    PixelArea ink;
};

struct PlaceRules {
    int side = 4;
    int top = 4;  // and bottom
    int line_height = 1;
    std::optional<int> pitch;  // unset: line_height
    std::optional<int> width;  // the whole picture's
    Align align = Align::Natural;
    bool line_box = false;
    bool wrapped = false;  // lines were wrapped to the width already
};

struct Placed {
    long long width = 0;
    long long height = 0;
    struct Point {
        long long x = 0;  // the line box's top-left corner
        long long y = 0;
    };
    std::vector<Point> lines;
};

// Refuses a wrapped line of one character too wide for the text area.
[[noreturn]] void refuse_too_wide_character(std::size_t line, int width, int side);

// `source_line(i)` is line i's number in the input, for messages. Throws
// InvalidPropertyValue for a line wider than `width` allows.
Placed place_lines(const std::vector<LineBox>& lines, const PlaceRules& rules,
                   const std::function<std::size_t(std::size_t)>& source_line);

// Line `index` of a page with a fixed width and margins from the line
// boxes, where no other line moves it; refuses it as place_lines would.
Placed::Point place_streamed(const LineBox& line, std::size_t index, const PlaceRules& rules, std::size_t source_line);

}  // namespace lumarin
