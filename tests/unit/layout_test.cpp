// The command's measured layout and wrapping, with a stand-in for the
// drawer: every character one em (10 px) wide, unless said otherwise.
#include <algorithm>

#include <gtest/gtest.h>

#include "tools/lumarin/layout.hpp"

namespace lumarin::cli {
namespace {

constexpr int kEm = 10;

TextMetrics line_of(long long width, bool rtl = false, std::optional<PixelArea> ink = std::nullopt)
{
    TextMetrics m;
    m.logical = {0, width, 15, rtl};
    m.has_ink = ink.has_value();
    m.ink = ink.value_or(PixelArea{0, 3, width, 12});
    if (!ink && width > 0)
        m.has_ink = true;
    return m;
}

std::size_t same_line(std::size_t i) { return i + 1; }

LayoutRules rules(int side, int top, std::optional<int> pitch = {}, std::optional<int> width = {},
                  Align align = Align::Natural)
{
    LayoutRules r;
    r.side = side;
    r.top = top;
    r.pitch = pitch;
    r.width = width;
    r.align = align;
    return r;
}

TEST(Layout, SizedToTheInkWithMarginsAndNaturalSides)
{
    // A right-to-left line goes to the right; the image ends a margin
    // below the last ink, not below the font's descent.
    const Page page = lay_out({line_of(100), line_of(40, true)}, rules(4, 4), same_line);
    EXPECT_EQ(page.width, 108);
    EXPECT_EQ(page.lines[0].x, 4);
    EXPECT_EQ(page.lines[1].x, 4 + 60);
    // Ink rows 3..12 of line 0 and 18..27 of line 1 (pitch 15).
    EXPECT_EQ(page.lines[0].y, 4 - 3);
    EXPECT_EQ(page.height, (27 - 3) + 8);
}

TEST(Layout, InkPastTheAdvanceWidensTheImage)
{
    // An overhang 3 px left of the first line's start and 5 px right of its end.
    const Page page = lay_out({line_of(50, false, PixelArea{-3, 2, 55, 12})}, rules(2, 1), same_line);
    EXPECT_EQ(page.width, 58 + 4);
    EXPECT_EQ(page.lines[0].x, 2 + 3);
}

TEST(Layout, AFixedWidthAlignsOrRefusesNamingTheLine)
{
    const LayoutRules centred = rules(4, 4, {}, 100, Align::Center);
    const Page page = lay_out({line_of(40), line_of(92)}, centred, same_line);
    EXPECT_EQ(page.width, 100);
    EXPECT_EQ(page.lines[0].x, 4 + 26);
    EXPECT_EQ(page.lines[1].x, 4);
    try {
        lay_out({line_of(40), line_of(93)}, centred, [](std::size_t i) { return i + 7; });
        FAIL() << "a line too wide was laid out";
    } catch (const LayoutError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("line 8 is 93 pixels wide", 0), 0u) << e.what();
    }
}

TEST(Layout, BlankEdgeLinesKeepTheirBoxAndAPitchMayBeGiven)
{
    const Page page = lay_out({line_of(0), line_of(30), line_of(0)}, rules(0, 0, 20), same_line);
    EXPECT_EQ(page.lines[2].y, 40);
    EXPECT_EQ(page.height, 40 + 15);
}

long long columns(const Text& text) { return static_cast<long long>(text.size()) * kEm; }

std::vector<Text> texts(const std::vector<WrappedLine>& lines)
{
    std::vector<Text> out;
    for (const auto& line : lines)
        out.push_back(line.text);
    return out;
}

TEST(Wrap, BreaksAfterSpacesKeepsIndentationAndCutsLongWords)
{
    const auto lines = wrap_lines({u"  the quick brown fox", u"short", u"abcdefghijklmnop end"}, 100, columns);
    EXPECT_EQ(texts(lines), (std::vector<Text>{u"  the", u"quick", u"brown fox", u"short", u"abcdefghij", u"klmnop end"}));
    EXPECT_EQ(lines[3].source, 2u);
    EXPECT_EQ(lines[5].source, 3u);
}

TEST(Wrap, NeverSplitsASurrogatePairAndAlwaysMovesOn)
{
    // Four emoji, two code units each, in a width of three columns: the
    // cut falls between characters, never inside one.
    const Text emoji = u"\U0001F600\U0001F601\U0001F602\U0001F603";
    const auto lines = wrap_lines({emoji}, 3 * kEm, columns);
    EXPECT_EQ(texts(lines), (std::vector<Text>{u"\U0001F600", u"\U0001F601", u"\U0001F602", u"\U0001F603"}));
    // A width narrower than any character still takes one a line.
    EXPECT_EQ(wrap_lines({u"abc"}, 1, columns).size(), 3u);
}

TEST(Wrap, NoMeasureIsLongerThanWhatCouldFitOneLine)
{
    // Each measure of a long line costs time the command cannot stop in:
    // a line of 100,000 units is cut with measures of a line's worth each.
    std::size_t longest = 0;
    const auto measure = [&](const Text& text) {
        longest = std::max(longest, text.size());
        return columns(text);
    };
    const Text word(100000, u'a');
    const Text spaced = [] {
        Text t;
        for (int i = 0; i < 20000; ++i)
            t += u"abcd ";
        return t;
    }();
    const auto lines = wrap_lines({word, spaced}, 100, measure);
    EXPECT_LE(longest, 4u * 100 + 2);
    EXPECT_EQ(lines.size(), 100000u / 10 + 20000u / 2);
    EXPECT_EQ(lines.back().text, u"abcd abcd");
}

}  // namespace
}  // namespace lumarin::cli
