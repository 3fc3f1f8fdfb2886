// Where Pango allows a line to be broken: its Unicode line and grapheme
// rules with its tailoring per script (a dictionary for Thai, for one),
// mapped from characters to UTF-16 code units.
#include <pango/pango.h>

#include <algorithm>

#include "surface/pango_internal.hpp"
#include "surface/text_drawer.hpp"

namespace lumarin::pango {

namespace {

// Pango's break rules take time at least linear in the text given, and
// dictionary segmentation more; long text is looked at in windows of this
// many code units, each with look-ahead so the rules near its end see
// what follows.
constexpr std::size_t kWindow = 4096;
constexpr std::size_t kLookAhead = 64;

std::uint8_t flags_of(const PangoLogAttr& attr)
{
    return static_cast<std::uint8_t>((attr.is_cursor_position ? kClusterStart : 0) |
                                      (attr.is_line_break ? kLineBreak : 0) | (attr.is_white ? kWhite : 0));
}

// The flags of text[start, end) and the Pango attributes behind them, one
// per character position of the window.
struct Window {
    std::vector<std::size_t> units;  // where each character starts
    std::vector<PangoLogAttr> attrs;
};

Window look_at(std::u16string_view text, std::size_t start, std::size_t end)
{
    Window w;
    for (std::size_t at = start; at < end; at += char_units(text, at))
        w.units.push_back(at);
    const std::string utf8 = to_utf8(text.substr(start, end - start));
    w.attrs.resize(w.units.size() + 1);
    pango_get_log_attrs(utf8.data(), static_cast<int>(utf8.size()), -1, pango_language_get_default(),
                        w.attrs.data(), static_cast<int>(w.attrs.size()));
    return w;
}

// Where the next window may start: the rules' state is simplest after
// white space, where a line may break before a non-white character; else
// at a line break, else at a cluster boundary; in a cluster longer than a
// window, anywhere. Only positions in the window's second half count, so
// each window moves on by at least half its length.
std::size_t restart_in(const Window& w, std::size_t first, std::size_t last)
{
    std::size_t line_break = 0;
    std::size_t cluster = 0;
    std::size_t any = 0;
    for (std::size_t k = last; k >= first && k > 0; --k) {
        const PangoLogAttr& a = w.attrs[k];
        if (a.is_line_break && w.attrs[k - 1].is_white && !a.is_white)
            return k;
        if (!line_break && a.is_line_break)
            line_break = k;
        if (!cluster && a.is_cursor_position)
            cluster = k;
        if (!any)
            any = k;
    }
    return line_break ? line_break : cluster ? cluster : any;
}

}  // namespace

std::vector<std::uint8_t> break_flags(std::u16string_view text, const std::function<void()>& between)
{
    std::vector<std::uint8_t> flags(text.size(), 0);
    std::size_t start = 0;
    while (start < text.size()) {
        if (start > 0 && between)
            between();
        std::size_t end = std::min(text.size(), start + kWindow + kLookAhead);
        if (end < text.size() && is_surrogate_pair_at(text, end - 1))
            ++end;
        const Window w = look_at(text, start, end);
        // The character index up to which this window's flags are kept.
        std::size_t keep = w.units.size();
        if (end < text.size()) {
            const std::size_t limit = std::min(w.units.size() - 1, static_cast<std::size_t>(
                std::upper_bound(w.units.begin(), w.units.end(), start + kWindow) - w.units.begin()) - 1);
            keep = restart_in(w, std::max<std::size_t>(1, limit / 2), limit);
        }
        // A window's first position was decided by the window before it,
        // with the context before it.
        for (std::size_t k = start == 0 ? 0 : 1; k < keep; ++k)
            flags[w.units[k]] = flags_of(w.attrs[k]);
        if (keep < w.units.size())
            flags[w.units[keep]] = flags_of(w.attrs[keep]);
        start = keep < w.units.size() ? w.units[keep] : text.size();
    }
    return flags;
}

}  // namespace lumarin::pango
