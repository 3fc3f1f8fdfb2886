#include "layout/place.hpp"

#include <algorithm>
#include <climits>
#include <string>

#include "common/fail.hpp"
#include "lumarin/error.hpp"

namespace lumarin {

namespace {

// Where the line's box starts within a text area `area` wide.
long long aligned_start(const LineBox& line, long long area, Align align)
{
    if (align == Align::Natural)
        align = line.right_to_left ? Align::Right : Align::Left;
    const long long spare = area - line.width;
    switch (align) {
    case Align::Right: return spare;
    case Align::Center: return spare / 2;
    default: return 0;
    }
}

long long text_area(const std::vector<LineBox>& lines, const PlaceRules& rules)
{
    if (!rules.width) {
        long long widest = 0;
        for (const LineBox& line : lines)
            widest = std::max(widest, line.width);
        return widest;
    }
    const long long area = *rules.width - 2LL * rules.side;
    if (area <= 0)
        fail(ErrorKind::InvalidPropertyValue, "a width of " + std::to_string(*rules.width) +
                                                  " leaves no room between side margins of " +
                                                  std::to_string(rules.side));
    return area;
}

// A line wider than a fixed width's text area: a single character when
// the lines were wrapped already.
void refuse_wider_than(const LineBox& line, long long area, const PlaceRules& rules, std::size_t source_line)
{
    if (line.width <= area)
        return;
    if (rules.wrapped)
        refuse_too_wide_character(source_line, *rules.width, rules.side);
    fail(ErrorKind::InvalidPropertyValue,
         "line " + std::to_string(source_line) + " is " + std::to_string(line.width) + " pixels wide, but a width of " +
             std::to_string(*rules.width) + " leaves " + std::to_string(area) +
             " between the side margins: wrap it, or use a smaller size");
}

// Ink `past` pixels beyond a fixed width's text area must fit the margins.
void refuse_ink_past_margins(long long past, const PlaceRules& rules)
{
    if (past > rules.side)
        fail(ErrorKind::InvalidPropertyValue,
             "the text's ink reaches " + std::to_string(past) + " pixels past the text area, more than the side margin of " +
                 std::to_string(rules.side) + ": give a larger side margin");
}

}  // namespace

void refuse_too_wide_character(std::size_t line, int width, int side)
{
    fail(ErrorKind::InvalidPropertyValue,
         "line " + std::to_string(line) + " holds a character wider than the " + std::to_string(width - 2LL * side) +
             " pixels a width of " + std::to_string(width) + " leaves between the side margins: give a larger "
                                                                "width, smaller side margins or a smaller size");
}

Placed place_lines(const std::vector<LineBox>& lines, const PlaceRules& rules,
                   const std::function<std::size_t(std::size_t)>& source_line)
{
    Placed page;
    if (lines.empty())
        return page;
    const int line_height = std::max(1, rules.line_height);
    const long long pitch = rules.pitch.value_or(line_height);

    // Across: each line's box aligned in the text area; ink that reaches
    // past it widens the picture, or must fit the margins at a fixed width.
    const long long area = text_area(lines, rules);
    std::vector<long long> starts;
    long long ink_left = 0;
    long long ink_right = area;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const LineBox& line = lines[i];
        refuse_wider_than(line, area, rules, source_line(i));
        const long long start = aligned_start(line, area, rules.align);
        starts.push_back(start);
        if (line.has_ink) {
            ink_left = std::min(ink_left, start + line.ink.left);
            ink_right = std::max(ink_right, start + line.ink.right);
        }
    }
    long long shift = rules.side;
    if (rules.width) {
        refuse_ink_past_margins(std::max(-ink_left, ink_right - area), rules);
        page.width = *rules.width;
    } else {
        shift += -ink_left;
        page.width = (ink_right - ink_left) + 2LL * rules.side;
    }

    // Down: line i's box starts i pitches below the first. From the ink,
    // the picture spans the ink and the margins; a blank first or last line
    // keeps its whole box, since that space was asked for.
    const long long last = static_cast<long long>(lines.size() - 1) * pitch;
    long long top = 0;
    long long bottom = last + line_height;
    if (!rules.line_box) {
        top = lines.front().has_ink ? LLONG_MAX : 0;
        bottom = lines.back().has_ink ? LLONG_MIN : last + line_height;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const LineBox& line = lines[i];
            const long long y = static_cast<long long>(i) * pitch;
            if (line.has_ink) {
                top = std::min(top, y + line.ink.top);
                bottom = std::max(bottom, y + line.ink.bottom);
            }
        }
        if (top == LLONG_MAX) {  // no ink anywhere
            top = 0;
            bottom = last + line_height;
        }
    }
    page.height = (bottom - top) + 2LL * rules.top;
    for (std::size_t i = 0; i < lines.size(); ++i)
        page.lines.push_back({shift + starts[i], rules.top - top + static_cast<long long>(i) * pitch});
    return page;
}

Placed::Point place_streamed(const LineBox& line, std::size_t index, const PlaceRules& rules, std::size_t source_line)
{
    const long long area = text_area({}, rules);
    refuse_wider_than(line, area, rules, source_line);
    const long long start = aligned_start(line, area, rules.align);
    if (line.has_ink)
        refuse_ink_past_margins(std::max(-(start + line.ink.left), start + line.ink.right - area), rules);
    const long long pitch = rules.pitch.value_or(std::max(1, rules.line_height));
    return {rules.side + start, rules.top + static_cast<long long>(index) * pitch};
}

}  // namespace lumarin
