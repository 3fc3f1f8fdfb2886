#include "layout/tabs.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <utility>

#include "common/fail.hpp"
#include "lumarin/limits.hpp"
#include "lumarin/page.hpp"

namespace lumarin {

namespace {

int whole_number(std::string_view what, std::string_view value, int low, int high)
{
    int n = 0;
    const char* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, n);
    if (value.empty() || ptr != end || ec == std::errc::invalid_argument)
        fail(ErrorKind::InvalidPropertyValue,
             std::string(what) + " needs a whole number, not '" + std::string(value) + "'");
    if (ec == std::errc::result_out_of_range || n < low || n > high)
        fail(ErrorKind::InvalidPropertyValue, std::string(what) + " must be between " + std::to_string(low) +
                                                  " and " + std::to_string(high) + ", not " + std::string(value));
    return n;
}

// One stop: [l:|r:|c:|d:]POSITION, the position in cells, in pixels with
// "px", or "end" for the right edge of the text area.
TabStop parse_tab_stop(std::string_view item)
{
    static constexpr std::array<std::pair<std::string_view, TabStop::Kind>, 4> kKinds{
        {{"l:", TabStop::Kind::Left}, {"r:", TabStop::Kind::Right}, {"c:", TabStop::Kind::Center},
         {"d:", TabStop::Kind::Decimal}}};
    TabStop stop;
    for (const auto& [prefix, kind] : kKinds)
        if (item.starts_with(prefix)) {
            stop.kind = kind;
            item.remove_prefix(2);
        }
    if (item == "end") {
        stop.at_end = true;
        return stop;
    }
    if (item.ends_with("px")) {
        stop.in_pixels = true;
        item.remove_suffix(2);
    }
    stop.position = whole_number("a tab stop", item, 0, kMaxImageSide);
    return stop;
}

}  // namespace

TabStops parse_tab_stops(std::string_view value)
{
    TabStops tabs;
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        const std::string_view item = value.substr(0, comma);
        if (item.starts_with("every:"))
            tabs.every = whole_number("every:", item.substr(6), 1, 1000);
        else
            tabs.stops.push_back(parse_tab_stop(item));
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
    }
    return tabs;
}

PixelTabs resolve_tabs(const TabStops& tabs, long long cell, long long area)
{
    PixelTabs out;
    for (const TabStop& stop : tabs.stops) {
        const double x = stop.at_end ? static_cast<double>(area)
                                     : stop.in_pixels ? stop.position : stop.position * static_cast<double>(cell);
        out.stops.push_back({stop.kind, std::llround(x)});
    }
    std::stable_sort(out.stops.begin(), out.stops.end(), [](const auto& a, const auto& b) { return a.x < b.x; });
    out.every = std::max(1LL, static_cast<long long>(std::max(1, tabs.every)) * std::max(1LL, cell));
    return out;
}

namespace {

// The first stop past `pen`.
PixelTabs::Stop next_stop(const PixelTabs& tabs, long long pen)
{
    for (const PixelTabs::Stop& stop : tabs.stops)
        if (stop.x > pen)
            return stop;
    const long long last = tabs.stops.empty() ? 0 : std::max(0LL, tabs.stops.back().x);
    const long long from = std::max(pen, last);
    return {TabStop::Kind::Left, (from / tabs.every + 1) * tabs.every};
}

long long run_start(const PixelTabs::Stop& stop, std::u16string_view part,
                    const std::function<long long(std::u16string_view)>& width_of, long long width)
{
    switch (stop.kind) {
    case TabStop::Kind::Right: return stop.x - width;
    case TabStop::Kind::Center: return stop.x - width / 2;
    case TabStop::Kind::Decimal: {
        const std::size_t dot = part.find(u'.');
        return stop.x - (dot == std::u16string_view::npos ? width : width_of(part.substr(0, dot)));
    }
    default: return stop.x;
    }
}

}  // namespace

TabbedLine set_on_tabs(std::u16string_view text, const PixelTabs& tabs,
                       const std::function<long long(std::u16string_view)>& width_of)
{
    TabbedLine line;
    std::size_t begin = 0;
    long long pen = 0;
    while (true) {
        const std::size_t tab = text.find(u'\t', begin);
        const std::size_t end = tab == std::u16string_view::npos ? text.size() : tab;
        const std::u16string_view part = text.substr(begin, end - begin);
        const long long width = part.empty() ? 0 : width_of(part);
        long long x = pen;
        if (begin > 0)
            x = std::max(pen, run_start(next_stop(tabs, pen), part, width_of, width));
        if (!part.empty())
            line.runs.push_back({begin, end, x});
        pen = x + width;
        if (tab == std::u16string_view::npos)
            break;
        begin = tab + 1;
    }
    line.width = pen;
    return line;
}

}  // namespace lumarin
