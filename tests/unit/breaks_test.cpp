// Where the platform's drawer lets a line break: positions pinned for
// scripts whose rules differ (Thai words, Japanese characters, a URL,
// Khmer clusters, combining marks), and the work of a huge line bounded.
#include <string>
#include <vector>

#include "common/stream_safe.hpp"
#include "common/text.hpp"
#include "surface/canvas.hpp"
#include "surface/text_drawer.hpp"
#include "support.hpp"

#ifndef _WIN32
#include "pango_text_counter.hpp"
#endif

namespace lumarin {
namespace {

std::vector<std::uint8_t> breaks_of(const Text& text) { return make_text_drawer()->breaks(text); }

// The positions (code units) where `flag` is set.
std::vector<std::size_t> where(const std::vector<std::uint8_t>& flags, std::uint8_t flag)
{
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < flags.size(); ++i)
        if (flags[i] & flag)
            at.push_back(i);
    return at;
}

TEST(Breaks, SpacesAreWhiteAndALineBreaksAfterThem)
{
    const auto flags = breaks_of(u"ab  cd");
    ASSERT_EQ(flags.size(), 6u);
    EXPECT_EQ(where(flags, kWhite), (std::vector<std::size_t>{2, 3}));
    EXPECT_EQ(where(flags, kLineBreak), (std::vector<std::size_t>{4}));
    EXPECT_EQ(where(flags, kClusterStart), (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
}

TEST(Breaks, MarksAndSecondSurrogatesNeverStartAClusterOrALine)
{
    const Text text = u"e\u0301\u0302 x\U0001F600y a\u034F\u0301";
    const auto flags = breaks_of(text);
    ASSERT_EQ(flags.size(), text.size());
    for (const std::size_t mark : {1, 2, 11})
        EXPECT_EQ(flags[mark] & (kClusterStart | kLineBreak), 0) << "at " << mark;
    EXPECT_EQ(flags[6], 0) << "the second unit of a surrogate pair";
    EXPECT_TRUE(flags[5] & kClusterStart);
    EXPECT_TRUE(flags[7] & kClusterStart);
#ifndef _WIN32
    // Wine's Uniscribe takes the grapheme joiner for a cluster of its own.
    EXPECT_EQ(flags[10], 0) << "the grapheme joiner";
#endif
}

#ifndef _WIN32
// Pango's rules, with libthai's dictionary for Thai.

bool allows_break(const std::vector<std::uint8_t>& flags, std::size_t i) { return (flags[i] & kLineBreak) != 0; }

TEST(Breaks, ThaiBreaksBetweenWordsOnly)
{
    // ยินดี|ต้อนรับ ขอบคุณ: "welcome, thank you".
    const Text text = u"\u0E22\u0E34\u0E19\u0E14\u0E35\u0E15\u0E49\u0E2D\u0E19\u0E23\u0E31\u0E1A "
                      u"\u0E02\u0E2D\u0E1A\u0E04\u0E38\u0E13";
    const auto flags = breaks_of(text);
    EXPECT_TRUE(allows_break(flags, 5)) << "between two words";
    EXPECT_FALSE(allows_break(flags, 8)) << "inside ต้อนรับ";
    EXPECT_TRUE(allows_break(flags, 13)) << "after the space";
    EXPECT_FALSE(allows_break(flags, 14)) << "inside ขอบคุณ";
    EXPECT_EQ(flags[12], kClusterStart | kWhite);
    EXPECT_EQ(flags[6] & kClusterStart, 0) << "a tone mark";
}

TEST(Breaks, JapaneseBreaksBetweenCharactersButNotBeforeAFullStop)
{
    const Text text = u"\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8\u3002\u3067\u3059";
    const auto flags = breaks_of(text);
    EXPECT_EQ(where(flags, kLineBreak), (std::vector<std::size_t>{1, 2, 3, 4, 5, 6, 7, 9, 10}));
    EXPECT_TRUE(where(flags, kWhite).empty());
}

TEST(Breaks, AUrlBreaksAfterItsSlashesBeforeLetters)
{
    const auto flags = breaks_of(u"https://example.com/a/very/long/path");
    EXPECT_EQ(where(flags, kLineBreak), (std::vector<std::size_t>{8, 20, 22, 27, 32}));
}

TEST(Breaks, KhmerSignsAndTheSubscriptMarkBelongToTheirConsonant)
{
    // សួស្តីពិភពលោក: "hello world", one word with no break inside.
    const Text text = u"\u179F\u17BD\u179F\u17D2\u178F\u17B8\u1796\u17B7\u1797\u1796\u179B\u17C4\u1780";
    const auto flags = breaks_of(text);
    for (const std::size_t sign : {1, 3, 5, 7, 11})
        EXPECT_EQ(flags[sign], 0) << "at " << sign;
    EXPECT_TRUE(where(flags, kLineBreak).empty());
}

// Pango's break rules are linear only in each call's text; a drawer that
// handed them a whole huge line, or looked at windows that overlap
// much, would do quadratic work.
void expect_bounded_work(const Text& text)
{
    test::reset_pango_text_counts();
    const auto flags = breaks_of(text);
    const test::PangoTextCounts counts = test::pango_text_counts();
    ASSERT_EQ(flags.size(), text.size());
    ASSERT_GT(counts.calls, 0u) << "the drawer's calls to Pango are not being counted";
    EXPECT_LE(counts.largest, 4u * 4200) << "a window bigger than a few thousand code units";
    EXPECT_LE(counts.bytes, 3 * to_utf8(text).size()) << "in " << counts.calls << " calls";
}

TEST(Breaks, AMillionUnitLineIsLookedAtInWindows)
{
    const Text marks = stream_safe(u"a" + Text(999999, u'\x0301'));
    ASSERT_NO_FATAL_FAILURE(expect_bounded_work(marks));
    const auto flags = breaks_of(marks);
    EXPECT_EQ(where(flags, kClusterStart), (std::vector<std::size_t>{0}));
    EXPECT_TRUE(where(flags, kLineBreak).empty());

    const Text xs(1000000, u'x');
    ASSERT_NO_FATAL_FAILURE(expect_bounded_work(xs));
    EXPECT_TRUE(where(breaks_of(xs), kLineBreak).empty());
}

TEST(Breaks, AStopIsHeardBetweenTheWindowsOfALongText)
{
    // A stop is asked for between windows of a few thousand code units,
    // not once the whole text is looked at.
    const auto drawer = make_text_drawer();
    std::size_t asked = 0;
    drawer->between_pieces([&] { ++asked; });
    drawer->breaks(Text(200000, u'x'));
    EXPECT_GE(asked, 200000u / (4u * 4200));
    struct Stop {};
    drawer->between_pieces([] { throw Stop{}; });
    EXPECT_THROW(drawer->breaks(Text(200000, u'x')), Stop);
}

TEST(Breaks, WindowsGiveWhatOneLookAtTheWholeTextGives)
{
    // Words of varied lengths and scripts across many window edges,
    // compared with the same text looked at in short stretches that end
    // after a space, where nothing carries over.
    const Text words[] = {u"hello ", u"\u0E2A\u0E27\u0E31\u0E2A\u0E14\u0E35 ", u"(x) ", u"\u65E5\u672C ",
                          u"e\u0301\u0301 ", u"\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA "};
    Text text;
    std::vector<std::uint8_t> expected;
    for (std::size_t i = 0; text.size() < 30000; ++i) {
        const Text& word = words[(i * 7) % std::size(words)];
        const auto part = breaks_of(word + u"a");
        const bool first = text.empty();
        text += word;
        expected.insert(expected.end(), part.begin(), part.end() - 1);
        if (!first)
            expected[expected.size() - word.size()] |= kLineBreak;
    }
    EXPECT_EQ(breaks_of(text), expected);

    // Flags pair up from the start of their run: a window that started
    // between the two halves of one would pair them all wrongly after it.
    Text flags = u"ab";
    for (int i = 0; i < 5000; ++i)
        flags += u"\U0001F1EB\U0001F1F7";
    const auto starts = where(breaks_of(flags), kClusterStart);
    ASSERT_EQ(starts.size(), 5002u);
    for (std::size_t i = 2; i < starts.size(); ++i)
        ASSERT_EQ(starts[i], 4 * i - 6);
}
#endif

}  // namespace
}  // namespace lumarin
