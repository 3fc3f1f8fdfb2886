#include "layout/wrap.hpp"

#include <algorithm>

#include "surface/text_drawer.hpp"

namespace lumarin {

namespace {

// One wrapped line's search: positions are cluster boundaries between the
// line's start and the text's end, where a part can be measured.
class LineSearch {
public:
    LineSearch(std::size_t length, std::span<const std::uint8_t> flags, long long width,
               const std::function<long long(std::size_t, std::size_t)>& width_of)
        : n_(length), flags_(flags), width_(width), width_of_(width_of)
    {
    }

    std::size_t end_without_white(std::size_t begin, std::size_t end) const
    {
        while (end > begin && (flags_[end - 1] & kWhite))
            --end;
        return end;
    }

    // The first cluster boundary at or after p (the end is one).
    std::size_t boundary_from(std::size_t p) const
    {
        while (p < n_ && !(flags_[p] & kClusterStart))
            ++p;
        return std::min(p, n_);
    }

    bool fits(std::size_t start, std::size_t end) const
    {
        const std::size_t stripped = end_without_white(start, end);
        return stripped == start || width_of_(start, stripped) <= width_;
    }

    // The furthest boundary after `start` whose part fits (`start` when not
    // even one cluster does), galloping from `guess` code units.
    std::size_t furthest_fit(std::size_t start, std::size_t guess) const
    {
        std::size_t lo = start;  // fits
        std::size_t hi = n_ + 1;  // too wide; n_ + 1: not known
        std::size_t step = std::max<std::size_t>(4, guess / 8);
        std::size_t q = boundary_from(std::min(n_, start + std::max<std::size_t>(1, guess)));
        if (fits(start, q)) {
            lo = q;
            while (lo < n_) {
                q = boundary_from(std::min(n_, lo + step));
                if (!fits(start, q)) {
                    hi = q;
                    break;
                }
                lo = q;
                step *= 2;
            }
            if (lo == n_)
                return n_;
        } else {
            hi = q;
            while (hi > start + 1) {
                const std::size_t back = std::min(step, hi - start - 1);
                q = boundary_from(hi - back);
                if (q <= start || q >= hi) {
                    q = boundary_from(start + 1);
                    if (q >= hi)
                        break;
                }
                if (fits(start, q)) {
                    lo = q;
                    break;
                }
                hi = q;
                step *= 2;
            }
        }
        // Halve the gap between a part that fits and one that does not.
        while (true) {
            const std::size_t mid = boundary_from(lo + std::max<std::size_t>(1, (hi - lo) / 2));
            if (mid >= hi)
                break;
            if (fits(start, mid))
                lo = mid;
            else
                hi = mid;
        }
        return lo;
    }

    // Where the line that starts at `start` ends.
    std::size_t line_end(std::size_t start, std::size_t guess) const
    {
        const std::size_t fit = furthest_fit(start, guess);
        if (fit == n_)
            return n_;
        // The last break the language allows within what fits; shaping
        // across a break can differ from shaping within a word, so the
        // chosen part is measured again.
        for (std::size_t b = fit; b > start; --b) {
            if (!(flags_[b] & kLineBreak))
                continue;
            if (b == fit || fits(start, b))
                return b;
        }
        // No break: cut the word between clusters, at least one.
        return fit > start ? fit : boundary_from(start + 1);
    }

private:
    std::size_t n_;
    std::span<const std::uint8_t> flags_;
    long long width_;
    const std::function<long long(std::size_t, std::size_t)>& width_of_;
};

}  // namespace

std::vector<TextSpan> wrap_text(std::size_t length, std::span<const std::uint8_t> flags, long long width,
                                const std::function<long long(std::size_t, std::size_t)>& width_of)
{
    const LineSearch search(length, flags, width, width_of);
    std::vector<TextSpan> lines;
    std::size_t start = 0;
    std::size_t guess = 64;
    while (start < length || lines.empty()) {
        const std::size_t end = start < length ? search.line_end(start, guess) : length;
        lines.push_back({start, search.end_without_white(start, end)});
        guess = std::max<std::size_t>(1, end - start);
        start = end;
        // White space where a line was broken belongs to neither line.
        while (start < length && (flags[start] & kWhite))
            ++start;
        if (start >= length)
            break;
    }
    return lines;
}

}  // namespace lumarin
