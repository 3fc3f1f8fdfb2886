// The layout module's placement, wrapping and tab stops, with stand-ins for
// the drawer (every character one em, 10 px, wide unless said otherwise),
// then wrapping real text of several scripts through the platform's drawer.
#include <algorithm>
#include <optional>

#include <gtest/gtest.h>

#include "common/text.hpp"
#include "layout/place.hpp"
#include "layout/printable.hpp"
#include "layout/typesetter.hpp"
#include "layout/tabs.hpp"
#include "layout/wrap.hpp"
#include "lumarin/error.hpp"
#include "lumarin/page.hpp"
#include "surface/canvas.hpp"
#include "surface/picture.hpp"
#include "surface/text_drawer.hpp"
#include "support.hpp"

namespace lumarin {
namespace {

constexpr int kEm = 10;

LineBox line_of(long long width, bool rtl = false, std::optional<PixelArea> ink = std::nullopt)
{
    LineBox box;
    box.width = width;
    box.right_to_left = rtl;
    box.has_ink = ink.has_value() || width > 0;
    box.ink = ink.value_or(PixelArea{0, 3, width, 12});
    return box;
}

std::size_t same_line(std::size_t i) { return i + 1; }

PlaceRules rules(int side, int top, std::optional<int> pitch = {}, std::optional<int> width = {},
                 Align align = Align::Natural)
{
    PlaceRules r;
    r.side = side;
    r.top = top;
    r.line_height = 15;
    r.pitch = pitch;
    r.width = width;
    r.align = align;
    return r;
}

TEST(Place, SizedToTheInkWithMarginsAndNaturalSides)
{
    // A right-to-left line goes to the right; the picture ends a margin
    // below the last ink, not below the font's descent.
    const Placed page = place_lines({line_of(100), line_of(40, true)}, rules(4, 4), same_line);
    EXPECT_EQ(page.width, 108);
    EXPECT_EQ(page.lines[0].x, 4);
    EXPECT_EQ(page.lines[1].x, 4 + 60);
    // Ink rows 3..12 of line 0 and 18..27 of line 1 (pitch 15).
    EXPECT_EQ(page.lines[0].y, 4 - 3);
    EXPECT_EQ(page.height, (27 - 3) + 8);
}

TEST(Place, InkPastTheAdvanceWidensThePicture)
{
    // An overhang 3 px left of the first line's start and 5 px right of its end.
    const Placed page = place_lines({line_of(50, false, PixelArea{-3, 2, 55, 12})}, rules(2, 1), same_line);
    EXPECT_EQ(page.width, 58 + 4);
    EXPECT_EQ(page.lines[0].x, 2 + 3);
}

TEST(Place, AFixedWidthAlignsOrRefusesNamingTheLine)
{
    const PlaceRules centred = rules(4, 4, {}, 100, Align::Center);
    const Placed page = place_lines({line_of(40), line_of(92)}, centred, same_line);
    EXPECT_EQ(page.width, 100);
    EXPECT_EQ(page.lines[0].x, 4 + 26);
    EXPECT_EQ(page.lines[1].x, 4);
    try {
        place_lines({line_of(40), line_of(93)}, centred, [](std::size_t i) { return i + 7; });
        FAIL() << "a line too wide was placed";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::InvalidPropertyValue);
        EXPECT_EQ(std::string(e.what()).rfind("line 8 is 93 pixels wide", 0), 0u) << e.what();
    }
}

TEST(Place, BlankEdgeLinesKeepTheirBoxAndAPitchMayBeGiven)
{
    const Placed page = place_lines({line_of(0), line_of(30), line_of(0)}, rules(0, 0, 20), same_line);
    EXPECT_EQ(page.lines[2].y, 40);
    EXPECT_EQ(page.height, 40 + 15);
}

TEST(Place, LineBoxesGiveOneHeightWhateverTheInk)
{
    // "ace", "ABC" and "gyp": ink of different heights in the same box.
    PlaceRules boxed = rules(4, 4);
    boxed.line_box = true;
    std::vector<long long> heights;
    for (const PixelArea ink : {PixelArea{0, 6, 30, 12}, PixelArea{0, 3, 30, 12}, PixelArea{0, 6, 30, 15}})
        heights.push_back(place_lines({line_of(30, false, ink)}, boxed, same_line).height);
    EXPECT_EQ(heights, (std::vector<long long>{15 + 8, 15 + 8, 15 + 8}));
    // From the ink they differ.
    EXPECT_NE(place_lines({line_of(30, false, PixelArea{0, 6, 30, 12})}, rules(4, 4), same_line).height,
              place_lines({line_of(30, false, PixelArea{0, 3, 30, 15})}, rules(4, 4), same_line).height);
}

// --- wrapping

// The base rule's flags: a break after spaces, every code point a cluster.
std::vector<std::uint8_t> flags_of(std::u16string_view text)
{
    struct Base : TextDrawer {
        void draw(Image&, long long, long long, std::u16string_view, const FontSpec&, Colour) override {}
        LineExtents measure(std::u16string_view, const FontSpec&) override { return {}; }
        Text face_of(const FontSpec&) override { return {}; }
    } base;
    return base.breaks(text);
}

struct Wrapped {
    std::vector<Text> lines;
    std::size_t measures = 0;
    std::size_t longest = 0;  // code units in one measure
};

Wrapped wrap(std::u16string_view text, long long width, std::vector<std::uint8_t> flags = {})
{
    if (flags.empty())
        flags = flags_of(text);
    Wrapped out;
    const auto spans = wrap_text(text.size(), flags, width, [&](std::size_t begin, std::size_t end) {
        ++out.measures;
        out.longest = std::max(out.longest, end - begin);
        long long units = 0;  // a surrogate pair is one character
        for (std::size_t i = begin; i < end; ++i)
            units += (text[i] & 0xFC00) == 0xDC00 ? 0 : 1;
        return units * kEm;
    });
    for (const TextSpan& s : spans)
        out.lines.emplace_back(text.substr(s.begin, s.end - s.begin));
    return out;
}

TEST(Wrap, BreaksWhereAllowedKeepsIndentationAndCutsLongWords)
{
    EXPECT_EQ(wrap(u"  the quick brown fox", 100).lines, (std::vector<Text>{u"  the", u"quick", u"brown fox"}));
    EXPECT_EQ(wrap(u"abcdefghijklmnop end", 100).lines, (std::vector<Text>{u"abcdefghij", u"klmnop end"}));
    // Spaces at a break belong to neither line, and a line that fits is one.
    EXPECT_EQ(wrap(u"ab      cd", 40).lines, (std::vector<Text>{u"ab", u"cd"}));
    EXPECT_EQ(wrap(u"short", 100).lines, (std::vector<Text>{u"short"}));
    EXPECT_EQ(wrap(u"", 100).lines, (std::vector<Text>{u""}));
}

TEST(Wrap, CutsOnlyAtClusterStartsAndAlwaysMovesOn)
{
    // Four emoji, two code units each, in a width of three: the cut falls
    // between characters, never inside one.
    const Text emoji = u"\U0001F600\U0001F601\U0001F602\U0001F603";
    EXPECT_EQ(wrap(emoji, 3 * kEm).lines,
              (std::vector<Text>{u"\U0001F600\U0001F601\U0001F602", u"\U0001F603"}));
    // A width narrower than any character still takes one a line, and says
    // it does not fit, so that no page is drawn that cannot hold it.
    EXPECT_EQ(wrap(u"abc", 1).lines.size(), 3u);
    const auto narrow = wrap_text(3, flags_of(u"abc"), 1, [](std::size_t b, std::size_t e) {
        return static_cast<long long>(e - b) * kEm;
    });
    EXPECT_TRUE(narrow.size() == 3 && narrow[0].too_wide && narrow[2].too_wide);
    EXPECT_FALSE(wrap_text(3, flags_of(u"abc"), 10, [](std::size_t b, std::size_t e) {
                     return static_cast<long long>(e - b) * kEm;
                 })[0].too_wide);
    // A cluster of a letter and its marks is never cut.
    std::vector<std::uint8_t> clusters(8, 0);
    clusters[0] = clusters[4] = kClusterStart;
    EXPECT_EQ(wrap(u"a\u0301\u0301\u0301b\u0301\u0301\u0301", 5 * kEm, clusters).lines,
              (std::vector<Text>{u"a\u0301\u0301\u0301", u"b\u0301\u0301\u0301"}));
}

TEST(Wrap, MeasuresGrowWithTheLogOfALineNotWithTheText)
{
    // 100,000 units of one word and 20,000 words: every line measured a
    // bounded number of times, each measure a few lines' worth at most.
    const Text word(100000, u'a');
    const Wrapped long_word = wrap(word, 100);
    EXPECT_EQ(long_word.lines.size(), 10000u);
    EXPECT_LE(long_word.measures, 6u * 10000);
    EXPECT_LE(long_word.longest, 64u + 10);

    Text spaced;
    for (int i = 0; i < 20000; ++i)
        spaced += u"abcd ";
    const Wrapped words = wrap(spaced, 100);
    EXPECT_EQ(words.lines.size(), 10000u);
    EXPECT_EQ(words.lines.back(), u"abcd abcd");
    EXPECT_LE(words.measures, 6u * 10000);
    EXPECT_LE(words.longest, 64u + 10);

    // One cluster of a million units that draws no wider than a line: one
    // line, found with a measure or two, not one per unit.
    std::vector<std::uint8_t> one(1000000, 0);
    one[0] = kClusterStart;
    const Wrapped marks = wrap(Text(1000000, u'\u0301'), 1LL << 40, one);
    EXPECT_EQ(marks.lines.size(), 1u);
    EXPECT_LE(marks.measures, 2u);
}

// --- tab stops

long long ems(std::u16string_view text) { return static_cast<long long>(text.size()) * kEm; }

std::vector<long long> starts(std::u16string_view text, const TabStops& tabs, long long area = 400)
{
    std::vector<long long> out;
    for (const TabbedRun& run : set_on_tabs(text, resolve_tabs(tabs, kEm, area), ems).runs)
        out.push_back(run.x);
    return out;
}

TEST(Tabs, EveryEightCellsByDefaultAndNeverOverlapping)
{
    EXPECT_EQ(starts(u"a\tb\tc", {}), (std::vector<long long>{0, 80, 160}));
    // Text already past a stop goes to the next one.
    EXPECT_EQ(starts(u"abcdefghi\tx", {}), (std::vector<long long>{0, 160}));
    EXPECT_EQ(starts(u"\t\tx", {}), (std::vector<long long>{160}));
}

TEST(Tabs, RightCentreAndDecimalStopsAndOneAtTheEnd)
{
    TabStops tabs;
    tabs.stops = {{TabStop::Kind::Center, 10}, {TabStop::Kind::Decimal, 20}, {TabStop::Kind::Right, 0, false, true}};
    // "ab" centred on 100, "12.5" with its point at 200, "x" ending at 400.
    EXPECT_EQ(starts(u"i\tab\t12.5\tx", tabs), (std::vector<long long>{0, 90, 180, 390}));
    // The item/price line: the price flush with the text area's end.
    TabStops price;
    price.stops = {{TabStop::Kind::Right, 0, false, true}};
    const TabbedLine total = set_on_tabs(u"Total\t21.35", resolve_tabs(price, kEm, 480), ems);
    EXPECT_EQ(total.runs.back().x, 480 - 50);
    EXPECT_EQ(total.width, 480);
    // A stop in pixels.
    TabStops pixels;
    pixels.stops = {{TabStop::Kind::Left, 33, true}};
    EXPECT_EQ(starts(u"a\tb", pixels), (std::vector<long long>{0, 33}));
}

}  // namespace
}  // namespace lumarin

namespace lumarin {
namespace {

// Real text through the platform's drawer: every wrapped line starts where
// the drawer allows a break, fits 200 px, and would not fit with the next
// word on it.
TEST(WrapScripts, LinesBreakOnlyWhereTheLanguageAllowsAndTakeAllThatFits)
{
    const struct {
        const char16_t* font;
        const char16_t* text;
    } cases[] = {
        {u"Noto Sans Thai", u"ยินดีต้อนรับ ขอบคุณที่ใช้บริการ ยินดีต้อนรับสู่ร้านของเรา ขอบคุณมากครับ"},
        {u"Noto Sans Khmer", u"សូមស្វាគមន៍ អរគុណច្រើន សូមអរគុណសម្រាប់ការទិញទំនិញ"},
        {u"Noto Sans CJK JP", u"日本語のテキスト、ひらがなとカタカナと漢字をまぜた長い文です。ありがとうございました。"},
        {u"Liberation Mono", u"https://example.com/receipts/2026/12/09/order-number-123456789?lang=th&print=yes"},
    };
    for (const auto& c : cases) {
        Typesetter ts(FontSpec{c.font, 10});
        const Text text = printable_text(c.text);
        const std::vector<std::uint8_t> flags = ts.breaks(text);
        const auto width = [&](std::size_t begin, std::size_t end) {
            return ts.width(std::u16string_view(text).substr(begin, end - begin));
        };
        const auto spans = wrap_text(text.size(), flags, 200, width);
        ASSERT_GT(spans.size(), 1u) << to_utf8(c.text);
        for (std::size_t i = 0; i < spans.size(); ++i) {
            const TextSpan& s = spans[i];
            EXPECT_LE(width(s.begin, s.end), 200) << to_utf8(text.substr(s.begin, s.end - s.begin));
            // A line starts at a break, or cuts a word too long for a line
            // of its own (where a drawer allows no break in a long URL).
            const bool at_break = i == 0 || (flags[s.begin] & kLineBreak);
            if (!at_break) {
                EXPECT_TRUE(flags[s.begin] & kClusterStart) << s.begin << " in " << to_utf8(c.text);
                for (std::size_t p = spans[i - 1].begin + 1; p < s.begin; ++p)
                    EXPECT_FALSE(flags[p] & kLineBreak) << "a cut at " << s.begin << " past a break at " << p;
            }
            const bool next_at_break = i + 1 < spans.size() && (flags[spans[i + 1].begin] & kLineBreak);
            if (next_at_break) {
                // The next allowed break past this line's end is too far.
                std::size_t next = spans[i + 1].begin + 1;
                while (next < text.size() && !(flags[next] & kLineBreak))
                    ++next;
                std::size_t end = next;
                while (end > s.begin && (flags[end - 1] & kWhite))
                    --end;
                EXPECT_GT(width(s.begin, end), 200) << "line " << i << " of " << to_utf8(c.text);
            }
        }
    }
    // Thai words are never cut: not "ต้อ|นรับ" nor "ข|อบคุณ".
    Typesetter thai(FontSpec{u"Noto Sans Thai", 10});
    const Text welcome = printable_text(u"ยินดีต้อนรับ ขอบคุณ ยินดีต้อนรับ ขอบคุณ ยินดีต้อนรับ ขอบคุณ");
    const auto flags = thai.breaks(welcome);
    for (const TextSpan& s : wrap_text(welcome.size(), flags, 60, [&](std::size_t b, std::size_t e) {
             return thai.width(std::u16string_view(welcome).substr(b, e - b));
         })) {
        const Text line = welcome.substr(s.begin, s.end - s.begin);
        EXPECT_FALSE(line.ends_with(u"ต้อ") || line.starts_with(u"นรับ") || line == u"ข") << to_utf8(line);
    }
}

}  // namespace
}  // namespace lumarin

namespace lumarin {
namespace {

// Painting the pixels a measure kept is drawing the text again, for every
// script, the bars, and text long enough to be drawn in pieces; and the
// ink box is exactly the pixels drawing changes.
TEST(InkMask, PaintingItIsDrawingTheTextAgain)
{
    const std::u16string texts[] = {
        u"Sourdough loaf  \u00A37.80",
        u"\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD",
        u"\u0E2A\u0E27\u0E31\u0E2A\u0E14\u0E35\u0E04\u0E23\u0E31\u0E1A",
        u"\u0627\u0644\u0633\u0644\u0627\u0645 \u0639\u0644\u064A\u0643\u0645",
        std::u16string(3000, u'x') + u"yz",
    };
    for (const bool bars : {false, true}) {
        FontSpec font;
        font.name = u"Liberation Mono";
        font.size_points = 14;
        font.style.underline = bars;
        font.style.strikethru = bars;
        Typesetter ts(font);
        for (const std::u16string& text : texts) {
            const TextMetrics m = ts.measure(text, true);
            ASSERT_TRUE(m.has_ink);
            const long long width = m.ink.right + 20;
            Image drawn(static_cast<int>(std::min<long long>(width, 40000)), 60, 0xFFFFFF);
            Image painted = drawn;
            ts.draw(drawn, 10, 10, text, 0x102030);
            m.mask.paint(painted, 10 + m.mask.area.left, 10 + m.mask.area.top, 0x102030);
            EXPECT_TRUE(test::same_pixels(drawn, painted))
                << to_utf8(text.substr(0, 20)) << (bars ? " with bars" : "");
            // The ink box holds every changed pixel and touches one on each side.
            int left = drawn.width(), right = -1, top = drawn.height(), bottom = -1;
            for (int y = 0; y < drawn.height(); ++y)
                for (int x = 0; x < drawn.width(); ++x)
                    if (drawn.at(x, y) != 0xFFFFFF) {
                        left = std::min(left, x), right = std::max(right, x);
                        top = std::min(top, y), bottom = std::max(bottom, y);
                    }
            EXPECT_EQ(PixelArea(left - 10, top - 10, right + 1 - 10, bottom + 1 - 10), m.ink) << to_utf8(text.substr(0, 20));
        }
    }
}

// A page laid out as it goes, for a stream, is the page laid out whole; its
// rows are handed on in order, each once final, the last call the height.
TEST(StreamedPage, IsThePageLaidOutWholeAndItsRowsOnlyGrow)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 60; ++i)
        lines.push_back(i % 7 == 3 ? "" : "Item " + std::to_string(i) + " with a longer name to wrap here\t" +
                                               std::to_string(i * 37 % 1000) + ".99");
    lines.push_back("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xC3\x89\xC3\x80");  // Hebrew and capitals with accents
    for (const bool wrap : {false, true}) {
        PageStyle style;
        style.dpi = 203;
        style.mono = true;
        style.line_box = true;
        style.wrap = wrap;
        style.size = wrap ? 10 : 5;
        style.width = wrap ? 384 : 576;
        style.tabs.stops.push_back({TabStop::Kind::Right, 0, false, true});
        PageLayout layout(style);
        const Picture whole = layout.render(lines);
        std::vector<int> calls;
        PageEvents events;
        const PictureData* seen = nullptr;
        events.rows_final = [&](const Picture& so_far, int rows) {
            seen = &so_far.data();
            calls.push_back(rows);
        };
        const Picture streamed = layout.render(lines, events);
        EXPECT_TRUE(test::same_pixels(whole.data().image, streamed.data().image)) << "wrap " << wrap;
        ASSERT_FALSE(calls.empty());
        EXPECT_TRUE(std::is_sorted(calls.begin(), calls.end()));
        EXPECT_EQ(calls.back(), streamed.height());
        EXPECT_EQ(seen, &streamed.data());
        // Rows leave well before the last line is drawn.
        EXPECT_LT(calls.front(), streamed.height() / 4);
    }
}

}  // namespace
}  // namespace lumarin

namespace lumarin {
namespace {

// The printable form of a whole line at once, from UTF-16, as the drawer
// takes it: each part between tabs, white space at the end dropped.
std::string printable_whole(const std::string& line)
{
    Text wide;
    EXPECT_TRUE(from_utf8(line, wide));
    Text out;
    std::size_t begin = 0;
    for (std::size_t tab; (tab = wide.find(u'\t', begin)) != Text::npos; begin = tab + 1)
        out += printable_text(wide.substr(begin, tab - begin)) + u'\t';
    out += printable_text(wide.substr(begin));
    while (!out.empty() && (out.back() == u' ' || out.back() == u'\t' || out.back() == 0x3000))
        out.pop_back();
    return to_utf8(out);
}

TEST(LongLines, AreMadePrintableInPiecesInPlaceAsTheyWouldBeWhole)
{
    // Controls, a C1 control, a line separator, tabs, emoji, and runs of
    // marks long enough to be parted: spread over pieces of a mebibyte.
    const std::string chunk = "total\x01 12.50\tcaf\xC3\xA9\xC2\x85\xE2\x80\xA8 \xF0\x9F\x98\x80 ";
    std::string marks = "a";
    for (int i = 0; i < 40; ++i)
        marks += "\xCC\x81";  // U+0301
    std::string plain, marked;
    while (plain.size() < 2'500'000)
        plain += chunk;
    marked = plain.substr(0, 1'200'000) + marks + plain.substr(1'200'000);
    for (std::string line : {plain + " \xE3\x80\x80\t ", marked, marks + plain, std::string("\t\t"), std::string()}) {
        const std::string want = printable_whole(line);
        const bool parted = line.find("\xCC\x81") != std::string::npos;
        const char* before = line.data();
        int asked = 0;
        ASSERT_TRUE(make_printable(line, [&] { ++asked; }));
        EXPECT_TRUE(line == want) << line.size() << " bytes, " << want.size() << " wanted";
        if (!parted) {
            EXPECT_EQ(line.data(), before) << "made in place";
        }
        if (line.size() > 2'000'000) {
            EXPECT_GE(asked, 2);
        }
    }
    std::string bad = plain + "\xC3";
    EXPECT_FALSE(make_printable(bad));
}

TEST(LongLines, AreWrappedInPiecesAsTheyWouldBeWhole)
{
    // Several pieces' worth of sentences in several scripts, with brackets
    // and quotes whose breaks look at their neighbours.
    const std::string sentence =
        "Order (no. 12) \"paid\" \xE0\xB8\xA2\xE0\xB8\xB4\xE0\xB8\x99\xE0\xB8\x94\xE0\xB8\xB5 "
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88\xE3\x80\x82 "
        "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D total 12.50 ";
    std::string paragraph;
    while (paragraph.size() < 700'000)
        paragraph += sentence;
    PageStyle style;
    style.font = u"DejaVu Sans";
    style.size = 3;
    style.dpi = 96;
    style.mono = true;
    style.width = 4016;
    style.side = 8;  // a text area of 4000
    style.wrap = true;
    const Picture wrapped = render_page(std::vector<std::string>{paragraph}, style);

    std::string printable = paragraph;
    ASSERT_TRUE(make_printable(printable));
    Text whole;
    ASSERT_TRUE(from_utf8(printable, whole));
    Typesetter ts(FontSpec{u"DejaVu Sans", 3});
    const auto flags = ts.breaks(whole);
    std::vector<std::string> lines;
    for (const TextSpan& s : wrap_text(whole.size(), flags, 4000, [&](std::size_t begin, std::size_t end) {
             return ts.width_up_to(std::u16string_view(whole).substr(begin, end - begin), 4001);
         }))
        lines.push_back(to_utf8(std::u16string_view(whole).substr(s.begin, s.end - s.begin)));
    ASSERT_GT(lines.size(), 100u);
    style.wrap = false;
    const Picture whole_lines = render_page(lines, style);
    EXPECT_TRUE(test::same_pixels(wrapped.data().image, whole_lines.data().image));
}

TEST(LongLines, OneWhoseFirstPieceIsWiderThanAnyPictureIsRefusedNamingIt)
{
    PageStyle style;
    try {
        render_page(std::vector<std::string>{"short", std::string(8'000'000, 'x')}, style);
        FAIL() << "not refused";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::OutOfMemory);
        EXPECT_NE(std::string(e.what()).find("line 2 is wider than the 65,535 pixels"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace lumarin
