#include "tools/lumarin/layout.hpp"

#include <algorithm>
#include <climits>

#include "common/text.hpp"

namespace lumarin::cli {

namespace {

long long logical_width(const TextMetrics& m) { return m.logical.right - m.logical.left; }

// Where the line's logical box starts within a content area `content` wide.
long long aligned_start(const TextMetrics& m, long long content, Align align)
{
    if (align == Align::Natural)
        align = m.logical.right_to_left ? Align::Right : Align::Left;
    const long long spare = content - logical_width(m);
    switch (align) {
    case Align::Right: return spare;
    case Align::Center: return spare / 2;
    default: return 0;
    }
}

std::string line_name(std::size_t n) { return "line " + std::to_string(n); }

}  // namespace

Page lay_out(const std::vector<TextMetrics>& lines, const LayoutRules& rules,
             const std::function<std::size_t(std::size_t)>& source_line)
{
    Page page;
    if (lines.empty())
        return page;
    const int line_height = std::max(1, lines.front().logical.line_height);
    const long long pitch = rules.pitch.value_or(line_height);

    // Across: each line's logical box aligned in the content area; ink that
    // reaches past it widens the image, or must fit the margins at a fixed
    // width.
    long long content = 0;
    if (rules.width) {
        content = *rules.width - 2LL * rules.side;
        if (content <= 0)
            throw LayoutError("--width " + std::to_string(*rules.width) + " leaves no room between margins of " +
                              std::to_string(rules.side) + " (--side)");
    } else {
        for (const TextMetrics& m : lines)
            content = std::max(content, logical_width(m));
    }
    std::vector<long long> starts;  // logical left edge, content coordinates
    long long ink_left = 0;
    long long ink_right = content;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const TextMetrics& m = lines[i];
        if (logical_width(m) > content)
            throw LayoutError(line_name(source_line(i)) + " is " + std::to_string(logical_width(m)) +
                              " pixels wide; --width " + std::to_string(*rules.width) + " leaves " +
                              std::to_string(content) + " between the margins: give --wrap, or a smaller --size");
        const long long start = aligned_start(m, content, rules.align);
        starts.push_back(start);
        if (m.has_ink) {
            ink_left = std::min(ink_left, start - m.logical.left + m.ink.left);
            ink_right = std::max(ink_right, start - m.logical.left + m.ink.right);
        }
    }
    long long shift = rules.side;
    if (rules.width) {
        if (-ink_left > rules.side || ink_right - content > rules.side)
            throw LayoutError("the text's ink reaches " + std::to_string(std::max(-ink_left, ink_right - content)) +
                              " pixels past the text area, more than --side " + std::to_string(rules.side) +
                              ": give a larger --side");
        page.width = *rules.width;
    } else {
        shift += -ink_left;
        page.width = (ink_right - ink_left) + 2LL * rules.side;
    }

    // Down: line i's box starts i pitches below the first. The image spans
    // the ink and the margins, so that no blank band of the font's ascent
    // or descent is left above or below; a blank first or last line keeps
    // its whole box, since the user asked for that space.
    const long long last = static_cast<long long>(lines.size() - 1) * pitch;
    long long top = lines.front().has_ink ? LLONG_MAX : 0;
    long long bottom = lines.back().has_ink ? LLONG_MIN : last + line_height;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const TextMetrics& m = lines[i];
        const long long y = static_cast<long long>(i) * pitch;
        if (m.has_ink) {
            top = std::min(top, y + m.ink.top);
            bottom = std::max(bottom, y + m.ink.bottom);
        }
    }
    if (top == LLONG_MAX) {  // no ink anywhere
        top = 0;
        bottom = last + line_height;
    }
    page.height = (bottom - top) + 2LL * rules.top;
    for (std::size_t i = 0; i < lines.size(); ++i)
        page.lines.push_back({shift + starts[i] - lines[i].logical.left,
                              rules.top - top + static_cast<long long>(i) * pitch});
    return page;
}

namespace {

// The longest prefix of `word` (whole characters) no wider than `width`;
// at least one character, so that wrapping always moves on.
std::size_t fitting_prefix(std::u16string_view word, long long width,
                           const std::function<long long(const Text&)>& measure)
{
    std::vector<std::size_t> ends;  // after each character
    for (std::size_t i = 0; i < word.size();) {
        i += is_surrogate_pair_at(word, i) ? 2 : 1;
        ends.push_back(i);
    }
    // Double the prefix until it no longer fits, then halve the gap: a very
    // long word costs measures of at most twice the part that fits.
    std::size_t low = 0;  // ends[low] is taken anyway
    std::size_t high = ends.size() - 1;
    for (std::size_t step = 64; step < high; step *= 2) {
        if (static_cast<long long>(ends[step]) > 4 * width || measure(Text(word.substr(0, ends[step]))) > width) {
            high = step;
            break;
        }
        low = step;
    }
    while (low < high) {
        const std::size_t mid = (low + high + 1) / 2;
        if (measure(Text(word.substr(0, ends[mid]))) <= width)
            low = mid;
        else
            high = mid - 1;
    }
    return ends[low];
}

std::u16string_view without_trailing_spaces(std::u16string_view text)
{
    while (!text.empty() && text.back() == u' ')
        text.remove_suffix(1);
    return text;
}

void wrap_line(const Text& line, std::size_t source, long long width,
               const std::function<long long(const Text&)>& measure, std::vector<WrappedLine>& out)
{
    Text current;
    const auto flush = [&] {
        out.push_back({Text(without_trailing_spaces(current)), source});
        current.clear();
    };
    std::size_t space = 0;  // the next space at or after i, once looked up
    bool looked_up = false;
    for (std::size_t i = 0; i < line.size();) {
        // The next word with the spaces that follow it.
        if (!looked_up || (space != Text::npos && space < i)) {
            space = line.find(u' ', i);  // once per word, not once per cut of a long one
            looked_up = true;
        }
        std::size_t end = space;
        end = end == Text::npos ? line.size() : line.find_first_not_of(u' ', end);
        end = end == Text::npos ? line.size() : end;
        const std::u16string_view word = std::u16string_view(line).substr(i, end - i);
        const std::u16string_view bare = without_trailing_spaces(word);
        if (current.empty() && bare.empty() && i > 0) {
            i = end;  // spaces where a line was broken
            continue;
        }
        // More code units than four a pixel cannot fit (it would take
        // glyphs under a quarter of a pixel wide): not worth laying out.
        const bool could_fit = static_cast<long long>(current.size() + bare.size()) <= 4 * width;
        if (could_fit && measure(Text(without_trailing_spaces(current + Text(word)))) <= width) {
            current += word;
            i = end;
        } else if (!current.empty()) {
            flush();  // the word starts the next line
        } else {
            // A word wider than a line on its own: cut between characters.
            // Only what could fit is searched (see could_fit above).
            const std::size_t limit = static_cast<std::size_t>(std::min<long long>(
                static_cast<long long>(bare.size()), 4 * width + 2));
            const std::size_t cut = fitting_prefix(bare.substr(0, limit), width, measure);
            current = Text(bare.substr(0, cut));
            i += cut;
            flush();
        }
    }
    if (!current.empty())
        flush();
}

}  // namespace

std::vector<WrappedLine> wrap_lines(std::vector<Text> lines, long long width,
                                    const std::function<long long(const Text&)>& measure)
{
    std::vector<WrappedLine> out;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        // The rule of wrap_line's could_fit for the whole line: a line that
        // cannot fit is not measured whole, so that no measure takes longer
        // than one of a line's width (the stop is checked between them).
        const bool could_fit = static_cast<long long>(lines[n].size()) <= 4 * width;
        if (could_fit && measure(lines[n]) <= width)
            out.push_back({std::move(lines[n]), n + 1});
        else
            wrap_line(lines[n], n + 1, width, measure, out);
        Text().swap(lines[n]);
    }
    return out;
}

}  // namespace lumarin::cli
