#include "document/cells.hpp"

#include <algorithm>
#include <limits>
#include <numeric>

#include "common/text.hpp"

namespace lumarin {

namespace {

struct Range {
    char32_t first;
    char32_t last;
};

// East Asian Wide and Fullwidth blocks, and emoji, which terminals and
// printers give two cells.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x25FD, 0x25FE},
    {0x2614, 0x2615},   {0x2648, 0x2653},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},   {0x274C, 0x274C},   {0x2753, 0x2755},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x18AFF}, {0x1B000, 0x1B2FF}, {0x1F004, 0x1F004},
    {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F251}, {0x1F300, 0x1F64F},
    {0x1F680, 0x1F6FF}, {0x1F900, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x3FFFD},
};

// Marks that sit on the character before them, and the invisible format
// characters: no cell of their own.
constexpr Range kNoCell[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x05BF, 0x05BF}, {0x05C1, 0x05C2}, {0x05C4, 0x05C5},
    {0x05C7, 0x05C7}, {0x0610, 0x061A}, {0x064B, 0x065F}, {0x0670, 0x0670}, {0x06D6, 0x06DC}, {0x06DF, 0x06E4},
    {0x06E7, 0x06E8}, {0x06EA, 0x06ED}, {0x0900, 0x0902}, {0x093A, 0x093A}, {0x093C, 0x093C}, {0x0941, 0x0948},
    {0x094D, 0x094D}, {0x0951, 0x0957}, {0x0962, 0x0963}, {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E},
    {0x0EB1, 0x0EB1}, {0x0EB4, 0x0EBC}, {0x0EC8, 0x0ECD}, {0x17B4, 0x17B5}, {0x17B7, 0x17BD}, {0x17C6, 0x17C6},
    {0x17C9, 0x17D3}, {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F},
    {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

template <std::size_t N>
bool in(const Range (&ranges)[N], char32_t c)
{
    const Range* r = std::upper_bound(std::begin(ranges), std::end(ranges), c,
                                      [](char32_t v, const Range& range) { return v < range.first; });
    return r != std::begin(ranges) && c <= (r - 1)->last;
}

// Columns that must give up cells, widest first, each keeping at least
// one: every column is capped at the largest width that fits, and the
// cells left over go back to the first capped columns.
void narrow_to(std::vector<int>& widths, int room)
{
    const auto total_capped = [&](int cap) {
        long long t = 0;
        for (int w : widths)
            t += std::min(w, cap);
        return t;
    };
    if (total_capped(std::numeric_limits<int>::max()) <= room)
        return;
    int lo = 1;  // fits, or nothing does
    int hi = *std::max_element(widths.begin(), widths.end());
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        (total_capped(mid) <= room ? lo : hi) = mid;
    }
    long long spare = room - total_capped(lo);
    for (int& w : widths) {
        const bool capped = w > lo;
        w = std::min(w, lo);
        if (capped && spare > 0) {
            ++w;
            --spare;
        }
    }
}

}  // namespace

int character_cells(std::u16string_view text)
{
    int cells = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = code_point_at(text, i);
        if (c > 0xFFFF)
            ++i;
        cells += in(kWide, c) ? 2 : in(kNoCell, c) ? 0 : 1;
    }
    return cells;
}

LineCells place_columns(const std::vector<int>& natural, const Settings& settings, int cpl)
{
    const Border& border = settings.border;
    const bool fixed = !settings.widths.empty();
    const std::size_t n = fixed ? settings.widths.size() : std::max<std::size_t>(natural.size(), 1);
    std::vector<int> widths(n, 0);
    // Borders go between drawn columns, and with rules outside them too.
    const auto borders = [&](const std::vector<int>& w) {
        const int shown = static_cast<int>(std::count_if(w.begin(), w.end(), [](int x) { return x > 0; }));
        return shown == 0 ? 0 : border.cells * (shown - 1 + (border.line ? 2 : 0));
    };
    if (fixed) {
        int fills = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (settings.widths[i] == kFill) {
                ++fills;
                widths[i] = 1;  // counted as shown while the borders are found
            } else {
                widths[i] = settings.widths[i];
            }
        }
        const int used = std::accumulate(widths.begin(), widths.end(), 0) - fills + borders(widths);
        const int spare = std::max(0, cpl - used);
        int k = 0;
        for (std::size_t i = 0; i < n; ++i)
            if (settings.widths[i] == kFill) {
                widths[i] = spare / fills + (k < spare % fills ? 1 : 0);
                ++k;
            }
    } else {
        for (std::size_t i = 0; i < n; ++i)
            widths[i] = std::max(1, i < natural.size() ? natural[i] : 0);
        const int room = cpl - borders(widths);
        const int total = std::accumulate(widths.begin(), widths.end(), 0);
        if (total < room) {
            const int spare = room - total;
            for (std::size_t i = 0; i < n; ++i)
                widths[i] += spare / static_cast<int>(n) + (static_cast<int>(i) < spare % static_cast<int>(n) ? 1 : 0);
        }
    }
    narrow_to(widths, cpl - borders(widths));

    LineCells line;
    const int total = std::accumulate(widths.begin(), widths.end(), 0) + borders(widths);
    int x = 0;
    if (total < cpl)
        x = settings.align == Side::Left ? 0 : settings.align == Side::Right ? cpl - total : (cpl - total) / 2;
    bool first = true;
    for (int w : widths) {
        if (w == 0) {
            line.columns.push_back({x, 0});
            continue;
        }
        if (first && border.line)
            line.rules.push_back(x);
        if (first && border.line)
            x += border.cells;
        else if (!first) {
            if (border.line)
                line.rules.push_back(x);
            x += border.cells;
        }
        first = false;
        line.columns.push_back({x, w});
        x += w;
    }
    if (!first && border.line)
        line.rules.push_back(x);
    return line;
}

}  // namespace lumarin
