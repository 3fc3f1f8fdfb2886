// The same job on both platforms, for comparing their 1-bit pictures:
// Liberation Mono at four sizes in five styles, a line of ASCII and a line
// of Latin-1, each job ending with Monotize. The object is driven through
// an adaptor, so the Linux library and Lumarin.dll run the same calls.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace lumarin::parity {

struct Style {
    std::string_view name;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethru = false;
};

inline constexpr std::array<int, 4> kSizes{8, 10, 12, 24};
inline constexpr std::array<Style, 5> kStyles{{
    {"regular"},
    {"bold", true},
    {"italic", false, true},
    {"underline", false, false, true},
    {"strikethru", false, false, false, true},
}};
inline constexpr std::array<std::u16string_view, 2> kLines{
    u"The quick brown fox jumps over 13 lazy dogs: {}[]#@&%$?!",
    u"\u00c5g\u00e5rd \u00c6ble \u00e7\u00e0 d\u00e9j\u00e0 \u00f1 \u00fc \u00df \u00bd \u00a9 \u00b1 \u00b5 "
    u"\u00bf\u00a1 \u00ab\u00bb \u00be \u00d8\u00f8",
};
// Pixels of margin and line pitch. Line k (from 1) is drawn from row
// kTop + k * pitch on; lines lie far enough apart that its ink, accents
// above the cell included, falls in the size rows above that and the two
// sizes' rows below (compare.py).
inline constexpr int kSide = 4;
inline constexpr int kTop = 4;
inline int pitch(int size) { return 3 * size; }

inline std::string file_name(int size, const Style& style) { return std::to_string(size) + "-" + std::string(style.name) + ".bmp"; }

// Object needs: font(name, size), style(Style), spacing(short),
// width_factor(short), file(path), size_for(longest), pad(side, top),
// print(line), monotize().
template <typename Object>
void run_job(Object& o, int size, const Style& style, const std::u16string& path)
{
    o.font(u"Liberation Mono", size);
    o.style(style);
    o.spacing(pitch(size));
    // Room for every glyph: the width rule's default of 80 % of the size a
    // character is the advance itself, and hinting rounds advances up.
    o.width_factor(100);
    o.file(path);
    o.size_for(kLines[0].size() > kLines[1].size() ? kLines[0] : kLines[1]);
    o.pad(kSide, kTop);
    for (const auto line : kLines)
        o.print(line);
    o.monotize();
}

}  // namespace lumarin::parity
