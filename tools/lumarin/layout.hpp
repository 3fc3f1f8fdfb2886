// The measured layout: where each line goes and how large the image is, from
// what the text drawer measured, so that no ink is cut on any side and the
// margins are measured from the ink: no blank band is left below the last
// line, as a thermal printer would feed it.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "lumarin/types.hpp"
#include "surface/canvas.hpp"
#include "tools/lumarin/options.hpp"

namespace lumarin::cli {

// A line that cannot be laid out as asked; the message names it and what to
// change.
class LayoutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct LayoutRules {
    int side = 4;
    int top = 4;                 // and bottom
    std::optional<int> pitch;    // unset: the font's line height
    std::optional<int> width;    // the whole image's
    Align align = Align::Natural;
};

struct Placement {
    long long x = 0;  // where Print puts the line's top-left corner
    long long y = 0;
};

struct Page {
    long long width = 0;
    long long height = 0;
    std::vector<Placement> lines;
};

// Places measured lines; `source_line(i)` is line i's number in the input,
// for messages. Throws LayoutError for a line wider than --width allows.
Page lay_out(const std::vector<TextMetrics>& lines, const LayoutRules& rules,
             const std::function<std::size_t(std::size_t)>& source_line);

// A wrapped line and the input line it came from (from 1).
struct WrappedLine {
    Text text;
    std::size_t source = 0;
};

// Breaks each line wider than `width` pixels after spaces, and a word wider
// than `width` between characters. `measure` gives a text's logical width.
// Each line is let go once wrapped, so that the text is held about once.
std::vector<WrappedLine> wrap_lines(std::vector<Text> lines, long long width,
                                    const std::function<long long(const Text&)>& measure);

}  // namespace lumarin::cli
