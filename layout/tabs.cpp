#include "layout/tabs.hpp"

#include <algorithm>
#include <cmath>

namespace lumarin {

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
