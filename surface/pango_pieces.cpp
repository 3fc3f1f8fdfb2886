// Cutting a long line into pieces Pango lays out one at a time: after
// white space near a piece's limit, else at a grapheme boundary, else after
// a grapheme joiner inside an over-long cluster.
#include <pango/pango.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/stream_safe.hpp"
#include "surface/pango_internal.hpp"

namespace lumarin::pango {

namespace {

// Pango's layout time grows with the square of a line's length once scripts
// and directions mix. Longer lines are laid out in pieces of at most this
// many code units, where the cost is still close to linear.
constexpr std::size_t kPiece = 4096;
// A piece ends after white space within this many code units of its limit,
// else at the last grapheme boundary; the look-ahead gives the boundary
// rules the context they need.
constexpr std::size_t kSpaceWindow = 256;
constexpr std::size_t kLookAhead = 32;
// Shaping one cluster takes time that grows with the square of its length,
// so a cluster longer than a piece is cut into pieces of at most this many
// code units, after the grapheme joiners that stream-safe text has at least
// every 31 characters.
constexpr std::size_t kClusterPiece = 128;

}  // namespace

// Pango keeps positions in int units of 1/1024 px, so a layout must stay
// well short of 2^31 of them, about two million pixels. In large fonts a
// piece is therefore shorter: some 250,000 px at one em a code unit.
std::size_t piece_length(const FontSpec& font)
{
    const double em = std::max(1.0, static_cast<double>(font.size_points) * kDpi / 72.0);
    return std::clamp<std::size_t>(static_cast<std::size_t>(250000.0 / em), 16, kPiece);
}

namespace {

// Cuts [start, limit), which holds no grapheme boundary, just after grapheme
// joiners, in pieces of at most `most` code units; returns where the last
// cut fell, `start` when there was none.
std::size_t cut_at_joiners(std::u16string_view text, std::size_t start, std::size_t limit, std::size_t most,
                           std::vector<std::size_t>& ends)
{
    std::size_t from = start;
    std::size_t joined = start;  // just after the last joiner seen
    for (std::size_t at = start; at < limit; ++at) {
        if (text[at] == kGraphemeJoiner)
            joined = at + 1;
        if (at + 1 - from >= most && joined > from) {
            ends.push_back(joined);
            from = joined;
        }
    }
    return from;
}

}  // namespace

Cuts cut_into_pieces(std::u16string_view text, std::size_t piece)
{
    Cuts cuts;
    std::vector<PangoLogAttr> attrs;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t limit = start + piece;
        if (limit >= text.size()) {
            cuts.ends.push_back(text.size());
            break;
        }
        std::size_t window_end = std::min(text.size(), limit + kLookAhead);
        if (is_surrogate_pair_at(text, window_end - 1))
            ++window_end;
        const std::u16string_view window = text.substr(start, window_end - start);
        const std::string utf8 = to_utf8(window);
        attrs.resize(static_cast<std::size_t>(g_utf8_strlen(utf8.data(), static_cast<gssize>(utf8.size()))) + 1);
        pango_get_log_attrs(utf8.data(), static_cast<int>(utf8.size()), -1, pango_language_get_default(),
                            attrs.data(), static_cast<int>(attrs.size()));
        std::size_t after_space = 0;
        std::size_t boundary = 0;
        std::size_t character = 0;
        std::size_t k = 0;  // index of the character that starts at `at`
        for (std::size_t at = start; at <= limit;) {
            if (k > 0) {
                character = at;
                if (attrs[k].is_cursor_position) {
                    boundary = at;
                    if (attrs[k - 1].is_white && at + kSpaceWindow >= limit)
                        after_space = at;
                }
            }
            at += char_units(text, at);
            ++k;
        }
        if (!after_space && !boundary) {
            const std::size_t cut = cut_at_joiners(text, start, limit, std::min(piece, kClusterPiece), cuts.ends);
            if (cut > start) {
                start = cut;
                continue;
            }
        }
        const std::size_t end = after_space ? after_space : boundary ? boundary : character;
        cuts.ends.push_back(end);
        start = end;
    }
    return cuts;
}

}  // namespace lumarin::pango
