// The canvas, its image, drawing in tiles, the 24-bit and 1-bit BMP writers,
// the atomic file replacement and the 1-bit conversion.
#include <array>
#include <cmath>
#include <optional>
#include <random>

#include "common/text.hpp"
#include "layout/typesetter.hpp"
#include "surface/bmp.hpp"
#include "surface/canvas.hpp"
#include "surface/file.hpp"
#include "surface/mono.hpp"
#include "surface/text_drawer.hpp"
#include "surface/tiles.hpp"
#include "support.hpp"

#ifndef _WIN32
#include "pango_text_counter.hpp"

#include <sys/stat.h>
#include <unistd.h>
#endif

namespace lumarin {
namespace {

using test::error_number;
using test::TempDir;

constexpr Pixel kWhite = 0xFFFFFF;

TEST(Canvas, StartsOnePixelSquareWhiteInCourierNew)
{
    Form1 form;
    PictureBox& c = form.Picture1;
    EXPECT_EQ(c.Width(), 1.0f);
    EXPECT_EQ(c.Height(), 1.0f);
    EXPECT_EQ(c.ScaleWidth(), c.Width());
    EXPECT_EQ(c.ScaleHeight(), c.Height());
    EXPECT_EQ(c.BackColor(), 0xFFFFFFu);
    EXPECT_EQ(c.ForeColor(), 0x000000u);
    EXPECT_EQ(c.Font().Name(), u"Courier New");
    EXPECT_EQ(c.FontSize(), 9.75f);
    EXPECT_EQ(c.Style(), FontStyle{});
    EXPECT_EQ(c.Image().at(0, 0), kWhite);
}

TEST(Canvas, GrowingKeepsTheImageAndFillsWithTheBackColour)
{
    Form1 form;
    PictureBox& c = form.Picture1;
    c.Width(4);
    c.BackColor(0x0000FF);  // red: clears to red
    EXPECT_EQ(c.Image().at(3, 0), 0xFF0000u);
    c.Height(3);
    c.BackColor(0x0000FF);  // the same colour again leaves the image alone
    EXPECT_EQ(c.Image().at(0, 2), 0xFF0000u);
    c.BackColor(0xFF0000);  // blue: clears everything
    c.Width(6);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(c.Image().at(x, y), 0x0000FFu) << x << "," << y;
    c.Width(2);
    c.Height(1);
    EXPECT_EQ(c.Image().width(), 2);
    EXPECT_EQ(c.Image().height(), 1);
}

TEST(Image, RowsKeepTheirPixelsThroughGrowingShrinkingAndRegrowing)
{
    // The image keeps room beyond its height: rows that come back after a
    // shrink take the new fill, never what was there before.
    Image image(5, 2, 0x112233);
    image.set(4, 1, 0xABCDEF);
    for (int h = 3; h <= 300; ++h)
        image.resize(5, h, 0x445566);
    image.resize(5, 10, 0);
    image.set(0, 9, 0x010203);
    image.resize(5, 4, 0);
    image.resize(5, 12, 0x778899);
    EXPECT_EQ(image.at(0, 0), 0x112233u);
    EXPECT_EQ(image.at(4, 1), 0xABCDEFu);
    EXPECT_EQ(image.at(2, 3), 0x445566u);
    for (int y = 4; y < 12; ++y)
        EXPECT_EQ(image.at(0, y), 0x778899u) << "row " << y;
    // Each row is the file's: B, G, R a pixel and zero padding.
    const auto row = image.row(0);
    ASSERT_EQ(row.size(), 16u);
    EXPECT_EQ(std::to_integer<int>(row[0]), 0x33);
    EXPECT_EQ(std::to_integer<int>(row[2]), 0x11);
    EXPECT_EQ(std::to_integer<int>(row[15]), 0);
    // A new width keeps what both widths share.
    image.resize(3, 12, 0);
    EXPECT_EQ(image.at(2, 3), 0x445566u);
    EXPECT_EQ(image.at(0, 11), 0x778899u);
}

TEST(Canvas, SizesRoundHalfToEvenAndRefuseNegativeOrHuge)
{
    Form1 form;
    PictureBox& c = form.Picture1;
    c.Width(10.5f);
    EXPECT_EQ(c.Width(), 10.0f);
    c.Width(11.5f);
    EXPECT_EQ(c.Width(), 12.0f);
    c.Height(-0.4f);
    EXPECT_EQ(c.Height(), 0.0f);
    EXPECT_EQ(error_number([&] { c.Width(-1); }), 380);
    EXPECT_EQ(error_number([&] { c.Height(std::nanf("")); }), 380);
    EXPECT_EQ(error_number([&] { c.Width(65536); }), 7);
    EXPECT_EQ(error_number([&] { c.Height(3.0e38f); }), 7);
    EXPECT_EQ(c.Width(), 12.0f);  // a refused size changes nothing
    c.Height(1);
    c.Width(65535);
    EXPECT_EQ(c.Width(), 65535.0f);
    c.Width(8193);
    EXPECT_EQ(error_number([&] { c.Height(8193); }), 7);
}

TEST(Canvas, SixtyFourMebipixelsFit)
{
    Form1 form;
    PictureBox& c = form.Picture1;
    c.Width(8192);
    c.Height(8192);
    EXPECT_EQ(c.Image().at(8191, 8191), kWhite);
}

TEST(Canvas, FontSettingsKeepTheCurrentValueForEmptyOrNonPositive)
{
    Form1 form;
    PictureBox& c = form.Picture1;
    c.Font().Name(u"");
    EXPECT_EQ(c.Font().Name(), u"Courier New");
    c.FontSize(0);
    c.FontSize(-3);
    EXPECT_EQ(c.FontSize(), 9.75f);
    c.FontSize(12);
    EXPECT_EQ(c.FontSize(), 12.0f);
    EXPECT_EQ(error_number([&] { c.FontSize(5000); }), 380);
}

// Draws `text` on a fresh 200 x 40 canvas and returns the image.
Image drawn(const Text& text, const std::function<void(PictureBox&)>& style = {})
{
    Form1 form;
    PictureBox& c = form.Picture1;
    c.Width(200);
    c.Height(40);
    c.FontSize(10);
    if (style)
        style(c);
    c.CurrentX(4);
    c.CurrentY(4);
    c.Print(text);
    return c.Image();
}

TEST(Canvas, ScaleTopMovesLaterTextDown)
{
    const Image plain = drawn(u"Hello");
    const Image moved = drawn(u"Hello", [](PictureBox& c) { c.ScaleTop(-10); });
    ASSERT_TRUE(test::first_ink_row(plain));
    EXPECT_EQ(*test::first_ink_row(moved), *test::first_ink_row(plain) + 10);
    const Image right = drawn(u"Hello", [](PictureBox& c) { c.ScaleLeft(-7); });
    EXPECT_EQ(*test::first_ink_column(right), *test::first_ink_column(plain) + 7);
}

TEST(Canvas, EveryStyleReallyChangesThePixels)
{
    const Image plain = drawn(u"Hello");
    const std::array<std::function<void(PictureBox&)>, 4> styles = {
        [](PictureBox& c) { c.Style({.bold = true}); },
        [](PictureBox& c) { c.Style({.italic = true}); },
        [](PictureBox& c) { c.Style({.underline = true}); },
        [](PictureBox& c) { c.Style({.strikethru = true}); },
    };
    for (std::size_t i = 0; i < styles.size(); ++i)
        EXPECT_FALSE(test::same_pixels(plain, drawn(u"Hello", styles[i]))) << "style " << i;
    // The underline lies below the strike-through.
    const Image under = drawn(u"Hello", styles[2]);
    EXPECT_GT(*test::last_ink_row(under), *test::last_ink_row(plain));
}

// Text is binary: each pixel is the text colour or untouched, in every
// style and size, and the bars of underline and strike-through are whole
// pixels even where the font's own are thinner than one.
TEST(Canvas, TextIsDrawnWithoutAntialiasingAndBarsCoverWholePixels)
{
    for (const Single size : {8.0f, 10.0f, 12.0f, 24.0f})
        for (unsigned bits = 0; bits < 16; ++bits) {
            const FontStyle style{.bold = (bits & 1) != 0, .italic = (bits & 2) != 0,
                                  .underline = (bits & 4) != 0, .strikethru = (bits & 8) != 0};
            const Image image = drawn(u"Ag ½© jq", [&](PictureBox& c) {
                c.FontSize(size);
                c.Style(style);
                c.BackColor(0x00FF00);
                c.ForeColor(0x0000FF);
            });
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    ASSERT_TRUE(image.at(x, y) == 0x00FF00 || image.at(x, y) == 0xFF0000)
                        << size << " pt, style " << bits << " at " << x << "," << y;
        }
    // At 8 pt each bar is a full row of ink under or through the text.
    const auto full_rows = [](const Image& image) {
        int rows = 0;
        for (int y = 0; y < image.height(); ++y) {
            int run = 0;
            int longest = 0;
            for (int x = 0; x < image.width(); ++x) {
                run = image.at(x, y) == 0 ? run + 1 : 0;
                longest = std::max(longest, run);
            }
            rows += longest >= 40;
        }
        return rows;
    };
    const auto small = [](bool under, bool strike) {
        return [=](PictureBox& c) {
            c.FontSize(8);
            c.Style({.underline = under, .strikethru = strike});
        };
    };
    EXPECT_EQ(full_rows(drawn(u"Hello there", small(false, false))), 0);
    EXPECT_GE(full_rows(drawn(u"Hello there", small(true, false))), 1);
    EXPECT_GE(full_rows(drawn(u"Hello there", small(false, true))), 1);
    EXPECT_GE(full_rows(drawn(u"Hello there", small(true, true))), 2);
}

TEST(Canvas, TextColourIsTheForeColourOnATransparentBackground)
{
    const Image red = drawn(u"\u2588", [](PictureBox& c) {
        c.BackColor(0x00FF00);
        c.ForeColor(0x0000FF);
    });
    bool saw_red = false;
    for (int y = 0; y < red.height(); ++y)
        for (int x = 0; x < red.width(); ++x)
            saw_red = saw_red || red.at(x, y) == 0xFF0000;
    EXPECT_TRUE(saw_red);
    EXPECT_EQ(red.at(0, 0), 0x00FF00u);
    EXPECT_EQ(red.at(199, 39), 0x00FF00u);
}

TEST(Canvas, AwkwardTextDrawsWithoutHarm)
{
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDFFF, 0};
    EXPECT_EQ(printable_text(lone), u"a\uFFFDb\uFFFD");
    EXPECT_EQ(printable_text(Text(u"a\0b\tc\r\nd\u0085e\U0001F600", 12)), u"a b c  d e\U0001F600");
    // Stream-safe: a joiner after every 30 marks, which draws nothing.
    EXPECT_EQ(printable_text(u"e" + Text(31, u'\x0301')), u"e" + Text(30, u'\x0301') + u"\u034F\u0301");
    drawn(lone);
    drawn(Text(u"\0\x01\x1b[31m\n\r", 8));
    drawn(Text(100000, u'W'));
    // Separators would start new lines, and a long run of them between
    // zero-width characters took Pango minutes to lay out.
    EXPECT_EQ(printable_text(u"a\u2028b\u2029c"), u"a b c");
    EXPECT_TRUE(test::same_pixels(drawn(u"A\u2028B\u2029C"), drawn(u"A B C")));
    Text zero_width_lines;
    for (int i = 0; i < 60000; ++i)
        zero_width_lines += u"\u200B\u200D\u2028\u2029";
    drawn(zero_width_lines);
    drawn(u"far away", [](PictureBox& c) { c.ScaleLeft(-3.0e38f); });
    drawn(u"far away", [](PictureBox& c) { c.ScaleTop(3.0e38f); });
    const Image empty = drawn(u"");
    EXPECT_FALSE(test::first_ink_row(empty));
}

// A line's direction is that of its first strong character, in the
// measure and in the drawing alike.
TEST(Canvas, AFormatCharacterFirstLeavesALineLeftToRight)
{
    const auto drawer = make_text_drawer();
    const FontSpec font{u"Courier New", 9.75f};
    EXPECT_FALSE(drawer->measure(u"\uFEFFHello", font).right_to_left);
    EXPECT_TRUE(drawer->measure(u"\u200FHello", font).right_to_left);
#ifndef _WIN32
    // Pango draws format characters as nothing; Wine's GDI gives U+FEFF
    // a glyph of its own.
    const Image plain = drawn(u"Hello");
    ASSERT_TRUE(test::first_ink_row(plain));
    EXPECT_TRUE(test::same_pixels(drawn(u"\uFEFFHello"), plain));
    EXPECT_TRUE(test::same_pixels(drawn(u"\u200B\uFEFFHello"), plain));
#endif
}

TEST(Canvas, DigitsBeforeHebrewFollowItInARightToLeftLine)
{
    // Right to left, the digits follow the Hebrew word: the same picture
    // as the word and the digits drawn apart. A left-to-right mark makes
    // the line left to right.
    const Text word = u"\u05E9\u05DC\u05D5\u05DD";
    const auto mono = [](PictureBox& c) { c.Font().Name(u"Liberation Mono"); };
    const Image rtl = drawn(u"123 " + word, mono);
    ASSERT_TRUE(test::first_ink_row(rtl));
    Form1 form;
    PictureBox& c = form.Picture1;
    c.Width(200);
    c.Height(40);
    c.FontSize(10);
    mono(c);
    c.CurrentX(4);
    c.CurrentY(4);
    c.Print(word);
    c.CurrentX(static_cast<Single>(4 + make_text_drawer()->measure(word + u" ", FontSpec{u"Liberation Mono", 10}).right));
    c.Print(u"123");
    const Image apart = c.Image();
    EXPECT_TRUE(test::same_pixels(rtl, apart));
    EXPECT_FALSE(test::same_pixels(rtl, drawn(u"\u200E123 " + word, mono)));
}

// The box of the pixels that are not the background, or none.
std::optional<PixelArea> ink_box(const Image& image)
{
    std::optional<PixelArea> box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.at(x, y) != kWhite) {
                const PixelArea pixel{x, y, x + 1LL, y + 1LL};
                box = box ? PixelArea{std::min(box->left, pixel.left), std::min(box->top, pixel.top),
                                      std::max(box->right, pixel.right), std::max(box->bottom, pixel.bottom)}
                          : pixel;
            }
    return box;
}

// The layout's measure finds the ink on a scratch image only as large as the drawer
// says the text can reach: the ink it reports is all the ink Print draws,
// for overhanging italics, marks above and below, bars and tall scripts.
TEST(Measure, TheInkBoxIsAllThePixelsPrintChanges)
{
    const Text texts[] = {u"Ag", u"f\u0301\u0327j", u"\u0E1B\u0E35\u0E49\u0E0D\u0E39", u"\u0645\u0631\u062D\u0628\u0627",
                          u"  "};
    for (const Single size : {10.0f, 72.0f, 300.0f})
        for (const Text& text : texts)
            for (const FontStyle style : {FontStyle{}, FontStyle{.italic = true, .underline = true}}) {
                Form1 form;
                PictureBox& c = form.Picture1;
                c.Width(2600);
                c.Height(1200);
                c.FontSize(size);
                c.Style(style);
                Typesetter measurer(FontSpec{u"Courier New", size, style});
                const TextMetrics m = measurer.measure(printable_text(text));
                c.CurrentX(300);
                c.CurrentY(200);
                c.Print(text);
                const auto drawn = ink_box(c.Image());
                ASSERT_EQ(m.has_ink, drawn.has_value()) << size << " pt, text " << to_utf8(text);
                if (drawn) {
                    EXPECT_EQ((PixelArea{m.ink.left + 300, m.ink.top + 200, m.ink.right + 300, m.ink.bottom + 200}),
                              *drawn)
                        << size << " pt, italic " << style.italic << ", text " << to_utf8(text);
                }
            }
}

TEST(Measure, HugeFontsFitTheScratchImage)
{
    // 1141 pt is an em of 1521 px, where two line heights on every side
    // made the scratch image larger than 64 Mi pixels; 1125 pt is a 360 pt
    // sign at 300 dpi.
    for (const Single size : {1141.0f, 1125.0f, 2048.0f}) {
        Typesetter measurer(FontSpec{u"Courier New", size});
        const TextMetrics m = measurer.measure(size == 1125.0f ? u"SIGN" : u"x");
        EXPECT_TRUE(m.has_ink) << size << " pt";
        EXPECT_GT(m.ink.height(), size / 2) << size << " pt";
    }
}

TEST(Tiles, CoverWhatOfTheAreaIsOnTheImageOnceInTilesOfAtMostTheSide)
{
    const Image image(10, 7, kWhite);
    const auto tiles_of = [&](const PixelArea& area) {
        std::vector<PixelArea> tiles;
        for_each_tile(image, area, 4, [&](const PixelArea& tile) { tiles.push_back(tile); });
        return tiles;
    };
    // Clipped to columns 0-9 and rows 2-6, then cut row by row.
    EXPECT_EQ(tiles_of({-3, 2, 12, 20}), (std::vector<PixelArea>{{0, 2, 4, 6},
                                                                 {4, 2, 8, 6},
                                                                 {8, 2, 10, 6},
                                                                 {0, 6, 4, 7},
                                                                 {4, 6, 8, 7},
                                                                 {8, 6, 10, 7}}));
    EXPECT_EQ(tiles_of({5, 1, 6, 2}), (std::vector<PixelArea>{{5, 1, 6, 2}}));
    EXPECT_TRUE(tiles_of({-9, 0, 0, 7}).empty());   // wholly left of the image
    EXPECT_TRUE(tiles_of({0, 7, 10, 30}).empty());  // wholly below it
    EXPECT_TRUE(tiles_of({6, 3, 6, 5}).empty());    // no width
}

#ifndef _WIN32
// Pango lays a line longer than 4096 code units out in pieces.

Image drawn_by_drawer(const Text& text, long long x, int width, const FontSpec& font)
{
    Image image(width, 30, kWhite);
    make_text_drawer()->draw(image, x, 4, text, font, 0);
    return image;
}

// The canvas default, a monospaced font.
const FontSpec kMono{u"Courier New", 10};

// Pixels from one character to the next in kMono.
long long mono_advance()
{
    const auto column = [](const Text& text) { return *test::first_ink_column(drawn_by_drawer(text, 0, 200, kMono)); };
    return (column(u"          x") - column(u"x")) / 10;
}

Text repeated(const Text& pattern, std::size_t length)
{
    Text text;
    while (text.size() < length)
        text += pattern;
    text.resize(length);
    return text;
}

TEST(LongLine, PiecesMeetWhereOneLayoutPutsTheirCharacters)
{
    const Text line = repeated(u"abcd efgh ", 12000);
    const long long advance = mono_advance();
    ASSERT_GT(advance, 0);
    const int width = static_cast<int>(800 * advance);
    // Characters 3600-4400 and 7800-8600 hold the first two cuts; in the
    // reference they lie inside one layout of 3000 characters.
    for (const long long shown : {3600, 7800})
        for (const bool underline : {false, true}) {
            FontSpec font = kMono;
            font.style.underline = underline;
            const long long x = -shown * advance;
            const Image pieces = drawn_by_drawer(line, x, width, font);
            const long long from = shown - 600;
            const Image whole = drawn_by_drawer(line.substr(from, 3000), x + from * advance, width, font);
            ASSERT_TRUE(test::first_ink_row(whole));
            EXPECT_TRUE(test::same_pixels(pieces, whole)) << "from character " << shown << " underline " << underline;
        }
}

TEST(LongLine, AFontPastTheRightEdgeStillSetsTheBaseline)
{
    const long long advance = mono_advance();
    ASSERT_GT(advance, 0);
    const int width = static_cast<int>(400 * advance);
    const long long x = -3600 * advance;
    // A fallback font with a taller ascent lowers the baseline of the whole
    // line; here it sits 6000 characters right of the image.
    Text line = repeated(u"abcd efgh ", 12000);
    line[10005] = u'\x4E2D';
    Text reference = line.substr(3000, 3000);
    const Image plain = drawn_by_drawer(reference, x + 3000 * advance, width, kMono);
    reference[2005] = u'\x4E2D';
    const Image lowered = drawn_by_drawer(reference, x + 3000 * advance, width, kMono);
    if (test::same_pixels(plain, lowered))
        GTEST_SKIP() << "no fallback font here with a taller ascent for U+4E2D";
    EXPECT_TRUE(test::same_pixels(drawn_by_drawer(line, x, width, kMono), lowered));
}

TEST(LongLine, ARightToLeftLineShowsItsLogicalEndAtTheLeft)
{
    Text line = repeated(u"\x0645\x0631\x062D\x0628\x0627 \x0628\x0627\x0644\x0639\x0627\x0644\x0645 ", 7000);
    line += u"\x05E9\x05DC\x05D5\x05DD 123 end";
    const Image pieces = drawn_by_drawer(line, 4, 600, kMono);
    EXPECT_TRUE(test::same_pixels(pieces, drawn_by_drawer(line.substr(line.size() - 2000), 4, 600, kMono)));
    EXPECT_FALSE(test::same_pixels(pieces, drawn_by_drawer(line.substr(0, 2000), 4, 600, kMono)));
}

TEST(LongLine, LinesWiderThanPangoCanMeasureStillDraw)
{
    // At 2048 pt a W is about 1,640 px wide: 1,500 of them, or one piece of
    // 4,096, would pass the 2^31 Pango units that layouts count in.
    FontSpec big = kMono;
    big.size_points = 2048;
    const auto drawn = [&](std::size_t count, long long x) {
        Image image(600, 3000, kWhite);
        make_text_drawer()->draw(image, x, 0, Text(count, u'W'), big, 0);
        return image;
    };
    const Image few = drawn(3, 0);
    ASSERT_TRUE(test::first_ink_row(few));
    EXPECT_TRUE(test::same_pixels(drawn(1500, 0), few));
    EXPECT_TRUE(test::same_pixels(drawn(5000, 0), few));
    EXPECT_FALSE(test::first_ink_row(drawn(5000, -20000000)));
}

// A piece, or the window looked at to cut it, is at most 4096 code units
// and a little look-ahead, at 3 UTF-8 bytes a code unit at most.
constexpr std::size_t kLargestPangoCall = 4 * 4096;
// Each byte of a line goes to Pango about twice: once to find where pieces
// may end, once to lay out or itemize its piece; visible pieces beyond the
// layouts kept are laid out again. The most measured was 2.4.
constexpr std::size_t kPangoBytesPerLineByte = 4;
// One layout of a cluster of 4,096 marks took 16 ms, of 256 marks 0.1 ms:
// shaping a cluster costs the square of its length.
constexpr std::size_t kLongestMarksInALayout = 256;

// Prints `text` at `x` on a canvas 2000 px wide and bounds what the drawer
// handed to Pango.
void print_huge_line(const Text& text, Single x, bool shows)
{
    Form1 form;
    PictureBox& c = form.Picture1;
    c.Width(2000);
    c.Height(40);
    c.FontSize(10);
    c.CurrentX(x);
    test::reset_pango_text_counts();
    c.Print(text);
    const test::PangoTextCounts counts = test::pango_text_counts();
    EXPECT_EQ(test::first_ink_row(c.Image()).has_value(), shows);
    const std::size_t line = to_utf8(text).size();
    ASSERT_GT(counts.calls, 0u) << "the drawer's calls to Pango are not being counted";
    ASSERT_LE(counts.largest, kLargestPangoCall) << "Pango was given more than a piece at once";
    ASSERT_LE(counts.bytes, kPangoBytesPerLineByte * line) << "in " << counts.calls << " calls";
    ASSERT_LE(counts.longest_marks, kLongestMarksInALayout) << "a layout was given one long cluster of marks";
}

TEST(LongLine, HugeLinesReachPangoOnlyInPieces)
{
    // One layout of a whole line took about 20 s at 250,000 code units and
    // 5 minutes at a million; Pango's work grows with the text of each
    // call, so bounding that bounds the work. Cheapest line first, and
    // fatal, so that a drawer laying out whole lines fails in seconds.
    //
    // One cluster of a million marks: no grapheme boundary to cut at, and
    // every piece lies on the image. In stream-safe form it has a joiner
    // every 30 marks, and the pieces are cut after those.
    ASSERT_NO_FATAL_FAILURE(print_huge_line(u"a" + Text(999999, u'\x0301'), 4, true));
    // A mix of scripts and fallback fonts from the fuzz corpus, all of it
    // left of the image: every piece is laid out for its width.
    const Text mixed = u"\xD6C9\x0502\x020C\x063A \x0100 \x1080 \x2721 ";
    ASSERT_NO_FATAL_FAILURE(print_huge_line(repeated(mixed, 250000), -1.0e9f, false));
    // Only the first pieces lie on the image; the rest are only itemized.
    ASSERT_NO_FATAL_FAILURE(print_huge_line(repeated(mixed, 1000000), 4, true));
}
#endif

TEST(Bmp, OnePixelFileByteForByte)
{
    const Image white(1, 1, kWhite);
    const auto expected = test::bytes_of({
        'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
        40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,             // biSize, biWidth, biHeight
        1, 0, 24, 0, 0, 0, 0, 0, 4, 0, 0, 0,             // planes, bit count, BI_RGB, image size
        0xC4, 0x0E, 0, 0, 0xC4, 0x0E, 0, 0,              // 96 dpi
        0, 0, 0, 0, 0, 0, 0, 0,                          // colours used, important
        0xFF, 0xFF, 0xFF, 0,                             // one pixel, padded to 4
    });
    EXPECT_EQ(encode_bmp24(white), expected);
}

TEST(Bmp, RowsAreBottomUpBlueGreenRedAndPadded)
{
    Image image(2, 2, 0);
    image.set(0, 0, 0x112233);  // top left
    image.set(1, 0, 0x445566);
    image.set(0, 1, 0x778899);  // bottom left
    image.set(1, 1, 0xAABBCC);
    const auto file = encode_bmp24(image);
    ASSERT_EQ(file.size(), 54u + 2 * 8);
    const auto rows = std::vector<std::byte>(file.begin() + 54, file.end());
    EXPECT_EQ(rows, test::bytes_of({0x99, 0x88, 0x77, 0xCC, 0xBB, 0xAA, 0, 0,    // bottom row first
                                    0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0, 0}));
    // Five pixels: four folded together, one alone, one byte of padding.
    Image wide(5, 1, 0);
    for (int x = 0; x < 5; ++x)
        wide.set(x, 0, 0x010203 * static_cast<Pixel>(x + 1));
    const auto five = encode_bmp24(wide);
    EXPECT_EQ(std::vector<std::byte>(five.begin() + 54, five.end()),
              test::bytes_of({3, 2, 1, 6, 4, 2, 9, 6, 3, 12, 8, 4, 15, 10, 5, 0}));
    EXPECT_EQ(bmp24_stride(1), 4u);
    EXPECT_EQ(bmp24_stride(4), 12u);
    EXPECT_EQ(bmp24_stride(5), 16u);
}

TEST(Bmp, OnePixelMonoFileByteForByte)
{
    const auto expected = test::bytes_of({
        'B', 'M', 66, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0,  // file header
        40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,             // biSize, biWidth, biHeight
        1, 0, 1, 0, 0, 0, 0, 0, 4, 0, 0, 0,              // planes, bit count, BI_RGB, image size
        0, 0, 0, 0, 0, 0, 0, 0,                          // no resolution given
        0, 0, 0, 0, 0, 0, 0, 0,                          // colours used, important
        0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0,                 // colour 0 black, colour 1 white
        0x80, 0, 0, 0,                                   // one white pixel, padded to 4
    });
    EXPECT_EQ(encode_bmp1(Image(1, 1, kWhite), kWhite), expected);
}

TEST(Bmp, MonoRowsAreBottomUpAndPaddedToWholeWords)
{
    // 33 pixels: a 32-bit word and one bit of the next.
    Image image(33, 2, kWhite);
    for (int x = 0; x < 32; ++x)
        image.set(x, 1, 0x000000);  // the bottom row is black but for its last pixel
    const auto expected = test::bytes_of({
        'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0,  // file header
        40, 0, 0, 0, 33, 0, 0, 0, 2, 0, 0, 0,            // biSize, biWidth, biHeight
        1, 0, 1, 0, 0, 0, 0, 0, 16, 0, 0, 0,             // planes, bit count, BI_RGB, image size
        0, 0, 0, 0, 0, 0, 0, 0,                          // no resolution given
        0, 0, 0, 0, 0, 0, 0, 0,                          // colours used, important
        0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0,                 // colour 0 black, colour 1 white
        0, 0, 0, 0, 0x80, 0, 0, 0,                       // bottom row first
        0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0, 0,           // top row
    });
    EXPECT_EQ(encode_bmp1(image, kWhite), expected);
}

// Both files are written a mebibyte or so at a time; rows must not move or
// repeat where one write ends and the next begins.
TEST(Bmp, LargeFilesKeepEveryRowInItsPlace)
{
    // Black on the diagonal: row y has its black pixel at x = y.
    constexpr int width = 8192;
    constexpr int height = 1100;  // 1-bit rows of 1 KiB: more than 1 MiB
    Image image(width, height, kWhite);
    for (int y = 0; y < height; ++y)
        image.set(y, y, 0x000000);
    const auto files = {std::pair{encode_bmp1(image, kWhite), kBmp1HeaderSize}, {encode_bmp24(image), kBmp24HeaderSize}};
    for (const auto& [file, header] : files) {
        const bool mono = header == kBmp1HeaderSize;
        const std::size_t stride = mono ? width / 8 : bmp24_stride(width);
        ASSERT_EQ(file.size(), header + stride * height);
        for (int y = 0; y < height; ++y) {
            std::vector<std::byte> row(stride, std::byte{0xFF});
            if (mono)
                row[static_cast<std::size_t>(y / 8)] ^= std::byte{0x80} >> (y % 8);
            else
                std::fill_n(row.begin() + 3 * y, 3, std::byte{0});
            const auto at = file.begin() + header + static_cast<std::ptrdiff_t>(stride * (height - 1 - y));
            ASSERT_TRUE(std::equal(row.begin(), row.end(), at)) << (mono ? "1-bit" : "24-bit") << " row " << y;
        }
    }
}

TEST(SaveFile, ReplacesTheFileWholeAndLeavesNoTemporary)
{
    TempDir dir;
    const auto target = dir / "out.bmp";
    test::write_bytes(target, std::vector<std::byte>(5000, std::byte{7}));
    const Image image(3, 2, 0x123456);
    SavePicture(image, test::text_of(target));
    EXPECT_EQ(test::read_bytes(target), encode_bmp24(image));
    SaveMonoPicture(image, kWhite, test::text_of(target));
    EXPECT_EQ(test::read_bytes(target), encode_bmp1(image, kWhite));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bmp"});
}

#ifndef _WIN32
// Windows stops whole paths at MAX_PATH (260) long before a name can reach
// its component limit, so this is a POSIX case.
TEST(SaveFile, ManyPiecesGoOutInOrder)
{
    // More pieces than one gathered write may take, some of them empty: the
    // file is all of them, in order.
    test::TempDir dir;
    std::mt19937 random(7);
    std::vector<std::vector<std::byte>> pieces(3000);
    std::vector<std::byte> expected;
    for (auto& piece : pieces) {
        piece.resize(random() % 4 == 0 ? 0 : random() % 700);
        for (auto& b : piece)
            b = static_cast<std::byte>(random());
        expected.insert(expected.end(), piece.begin(), piece.end());
    }
    const std::vector<std::span<const std::byte>> views(pieces.begin(), pieces.end());
    ReplacementFile file(test::text_of(dir / "out.bin"));
    file.write(std::span<const std::span<const std::byte>>(views));
    file.commit();
    EXPECT_EQ(test::read_bytes(dir / "out.bin"), expected);
}

TEST(SaveFile, ANameOfTheFullLengthSaves)
{
    // The temporary beside it must not need a longer name than the file;
    // the accented one puts a two-byte character where its name is cut.
    TempDir dir;
    const std::string longest = std::string(251, 'n') + ".bmp";
    const std::string accented = std::string(199, 'a') + "\xC3\xA9" + std::string(54, 'b');
    for (const std::string& name : {longest, accented}) {
        Text path;
        ASSERT_TRUE(from_utf8((dir / name).string(), path));
        EXPECT_EQ(error_number([&] { SavePicture(Image(1, 1, kWhite), path); }), 0) << name.size();
        EXPECT_EQ(test::read_bytes(dir / name), encode_bmp24(Image(1, 1, kWhite)));
    }
    EXPECT_EQ(dir.entries().size(), 2u);
    EXPECT_EQ(error_number([&] { SavePicture(Image(1, 1, kWhite), test::text_of(dir / std::string(256, 'n'))); }), 52);
}
#endif

TEST(SaveFile, AFailedSaveLeavesThePreviousFileAsItWas)
{
    TempDir dir;
    const auto target = dir / "keep.bmp";
    const auto before = test::bytes_of({1, 2, 3, 4});
    test::write_bytes(target, before);
    std::filesystem::create_directory(dir / "folder");
    const Image image(2, 2, kWhite);
    EXPECT_EQ(error_number([&] { SavePicture(image, u""); }), 52);
    EXPECT_EQ(error_number([&] { SavePicture(image, test::text_of(dir / "missing" / "x.bmp")); }), 76);
    EXPECT_EQ(error_number([&] { SavePicture(image, test::text_of(dir / "folder")); }), 75);
    const char16_t lone[] = {u'x', 0xD800, 0};
    EXPECT_EQ(error_number([&] { SavePicture(image, test::text_of(dir.path()) + u"/" + lone); }), 52);
    EXPECT_EQ(test::read_bytes(target), before);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"folder", "keep.bmp"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "folder"));
}

#ifndef _WIN32
TEST(SaveFile, FollowsSymbolicLinksAndKeepsPermissionBits)
{
    TempDir dir;
    const auto real = dir / "real.bmp";
    test::write_bytes(real, test::bytes_of({0}));
    ::chmod(real.c_str(), 0640);
    std::filesystem::create_symlink("real.bmp", dir / "link.bmp");
    const Image image(1, 1, kWhite);
    SavePicture(image, test::text_of(dir / "link.bmp"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.bmp"));
    EXPECT_EQ(test::read_bytes(real), encode_bmp24(image));
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// A replacement open for writing, for looking at the folder meanwhile.
std::vector<std::string> entries_while_writing(const TempDir& dir, ReplacementFile::Temporary kind)
{
    ReplacementFile file(test::text_of(dir / "out.bmp"), {}, kind);
    const auto bytes = test::bytes_of({1, 2, 3});
    file.write(bytes);
    return dir.entries();
}

TEST(SaveFile, TheTemporaryHasNoNameUntilItIsCompleteAndTheNamedFallbackCleansUp)
{
    TempDir dir;
    test::write_bytes(dir / "out.bmp", test::bytes_of({9}));
    // /tmp's file systems (tmpfs, ext4, xfs, btrfs) all have unnamed files.
    EXPECT_EQ(entries_while_writing(dir, ReplacementFile::Temporary::Unnamed), std::vector<std::string>{"out.bmp"});
    // Where a file system refuses them: a named temporary, gone with the
    // replacement that was never committed.
    const auto named = entries_while_writing(dir, ReplacementFile::Temporary::Named);
    ASSERT_EQ(named.size(), 2u);
    EXPECT_TRUE(named[0].starts_with(".out.bmp.") && named[0].ends_with(".tmp")) << named[0];
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bmp"});
    EXPECT_EQ(test::read_bytes(dir / "out.bmp"), test::bytes_of({9}));
    for (const auto kind : {ReplacementFile::Temporary::Unnamed, ReplacementFile::Temporary::Named}) {
        ReplacementFile file(test::text_of(dir / "out.bmp"), {}, kind);
        const auto bytes = test::bytes_of({4, 5});
        file.write(bytes);
        file.commit();
        EXPECT_EQ(test::read_bytes(dir / "out.bmp"), bytes);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bmp"});
    }
}

TEST(SaveFile, AnErrorNamesTheFileOnOneLine)
{
    TempDir dir;
    const auto target = dir / "missing" / "two\nlines\x1B.bmp";
    try {
        SavePicture(Image(1, 1, kWhite), test::text_of(target));
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "cannot write " + (dir / "missing").string() + "/two\\nlines\\x1B.bmp: Path not found");
    }
}

TEST(SaveFile, AReadOnlyFolderIsPermissionDenied)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: permission bits do not stop writes";
    TempDir dir;
    const auto target = dir / "locked" / "x.bmp";
    std::filesystem::create_directory(dir / "locked");
    test::write_bytes(target, test::bytes_of({9}));
    ::chmod((dir / "locked").c_str(), 0555);
    EXPECT_EQ(error_number([&] { SavePicture(Image(1, 1, kWhite), test::text_of(target)); }), 70);
    EXPECT_EQ(test::read_bytes(target), test::bytes_of({9}));
}
#endif

TEST(MonoConversion, BackgroundTakesItsNearerEntryAndAnyOtherPixelTheOpposite)
{
    // On white: the background is white (1), every other colour black,
    // however light; most significant bit leftmost, bottom row first.
    Image image(10, 2, kWhite);
    image.set(0, 1, 0x000000);
    image.set(9, 1, 0xFFFFFE);  // one step off white is ink
    image.set(2, 0, 0xFFFF00);  // yellow is ink
    image.set(3, 0, 0x00FFFF);  // and so is cyan
    std::vector<std::byte> bits(8, std::byte{0xAA});
    ASSERT_EQ(convert_to_mono_rows(image, kWhite, 0, 2, bits), 2);
    EXPECT_EQ(bits, test::bytes_of({0x7F, 0x80, 0, 0,     // 0111 1111 10
                                    0xCF, 0xC0, 0, 0}));  // 1100 1111 11

    // On a dark background the entries swap: navy is black, ink is white.
    constexpr Pixel kNavy = 0x000080;
    Image dark(3, 1, kNavy);
    dark.set(1, 0, 0x000000);
    ASSERT_EQ(convert_to_mono_rows(dark, kNavy, 0, 1, bits), 1);
    EXPECT_EQ(std::vector<std::byte>(bits.begin(), bits.begin() + 4), test::bytes_of({0x40, 0, 0, 0}));
}

TEST(MonoConversion, EveryPixelOfAWideRowFollowsTheRule)
{
    // Wide enough for the sixteen-at-a-time path and a ragged tail; pixels
    // that differ from the background in one channel only, in each.
    constexpr int width = 16 * 3 + 5;
    for (const Pixel background : {Pixel{0xFFFFFF}, Pixel{0x000000}, Pixel{0x808000}}) {
        Image image(width, 3, background);
        std::mt19937 random(42);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x)
                if (random() % 2 && !(y == 1 && x < 32))  // two blocks of pure background
                    image.set(x, y, background ^ (Pixel{1} << (random() % 24)));
        const auto stride = static_cast<std::size_t>(mono_stride(width));
        std::vector<std::byte> bits(stride * 3);
        ASSERT_EQ(convert_to_mono_rows(image, background, 0, 3, bits), 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x) {
                const int byte = std::to_integer<int>(bits[static_cast<std::size_t>(2 - y) * stride + x / 8]);
                ASSERT_EQ((byte >> (7 - x % 8)) & 1, mono_bit(image.at(x, y), background))
                    << x << "," << y << " on " << std::hex << background;
            }
    }
}

TEST(MonoConversion, ConvertsOnlyTheLinesThereAreAndThatFit)
{
    Image image(8, 4, kWhite);
    image.set(0, 0, 0x000000);  // top row: scan line 3
    std::vector<std::byte> bits(16, std::byte{0xAA});
    std::vector<std::byte> small(15);
    EXPECT_EQ(convert_to_mono_rows(image, kWhite, 0, 4, small), 0);
    EXPECT_EQ(convert_to_mono_rows(image, kWhite, -1, 4, bits), 0);
    EXPECT_EQ(convert_to_mono_rows(image, kWhite, 4, 1, bits), 0);
    EXPECT_EQ(convert_to_mono_rows(image, kWhite, 0, 0, bits), 0);
    EXPECT_EQ(bits, std::vector<std::byte>(16, std::byte{0xAA}));
    ASSERT_EQ(convert_to_mono_rows(image, kWhite, 3, 4, bits), 1);  // only the top line is left
    EXPECT_EQ(std::vector<std::byte>(bits.begin(), bits.begin() + 4), test::bytes_of({0x7F, 0, 0, 0}));
}

}  // namespace
}  // namespace lumarin
