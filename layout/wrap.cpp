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

    // The part's width without its trailing white space.
    long long width_of(std::size_t start, std::size_t end) const
    {
        const std::size_t stripped = end_without_white(start, end);
        return stripped == start ? 0 : width_of_(start, stripped);
    }

    bool fits(std::size_t start, std::size_t end) const { return width_of(start, end) <= width_; }

    // The furthest boundary after `start` whose part fits (`start` when not
    // even one cluster does). Probes go where the widths measured so far
    // say the line ends, as most lines hold text of an even width, and
    // every other probe halves the gap, so that uneven text costs a
    // bisection at worst.
    std::size_t furthest_fit(std::size_t start, std::size_t guess) const
    {
        std::size_t lo = start;  // fits
        long long lo_width = 0;
        std::size_t hi = n_ + 1;  // too wide; n_ + 1: not known yet
        long long hi_width = 0;
        std::size_t step = std::max<std::size_t>(1, guess / 8);
        const auto probe = [&](std::size_t p) {
            const std::size_t q = boundary_from(std::min(n_, p));
            if (q <= lo || q >= hi)
                return false;
            const long long w = width_of(start, q);
            if (w <= width_) {
                lo = q;
                lo_width = w;
            } else {
                hi = q;
                hi_width = w;
            }
            return true;
        };
        probe(start + std::max<std::size_t>(1, guess));
        // Grow until a part is too wide, by the width per code unit so far.
        while (hi == n_ + 1 && lo < n_) {
            std::size_t next = lo + step;
            if (lo > start && lo_width > 0) {
                const double per_unit = static_cast<double>(lo_width) / static_cast<double>(lo - start);
                next = lo + 1 + static_cast<std::size_t>(static_cast<double>(width_ - lo_width) / per_unit);
                next = std::min(next, lo + step);
            }
            if (!probe(next))
                probe(n_);
            step *= 2;
        }
        if (lo == n_)
            return n_;
        // Narrow down: interpolate, then bisect, in turn.
        for (bool interpolate = true; hi - lo > 1; interpolate = !interpolate) {
            std::size_t p = lo + (hi - lo) / 2;
            if (interpolate && hi_width > lo_width) {
                const double share =
                    static_cast<double>(width_ - lo_width) / static_cast<double>(hi_width - lo_width);
                p = lo + 1 + static_cast<std::size_t>(share * static_cast<double>(hi - lo - 1));
            }
            if (!probe(p) && !probe(lo + (hi - lo) / 2) && !probe(lo + 1))
                break;  // no boundary between them
        }
        return lo;
    }

    // Where the line that starts at `start` ends; `too_wide` when it is one
    // cluster that does not fit.
    std::size_t line_end(std::size_t start, std::size_t guess, bool& too_wide) const
    {
        too_wide = false;
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
        too_wide = fit == start;
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
        bool too_wide = false;
        const std::size_t end = start < length ? search.line_end(start, guess, too_wide) : length;
        lines.push_back({start, search.end_without_white(start, end), too_wide});
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
