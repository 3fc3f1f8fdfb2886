// The synapse object: its properties and PrintText.
#include <iostream>
#include <map>
#include <random>

#include "common/text.hpp"
#include "lumarin/synapse.hpp"
#include "renderer/canvas_access.hpp"
#include "surface/bmp.hpp"
#include "surface/canvas.hpp"
#include "support.hpp"

namespace lumarin {
namespace {

using test::error_number;
using test::TempDir;

// An object set up as a client typically sets one up, writing into `dir`.
void set_up(synapse& s, const TempDir& dir, const std::string& name = "out.bmp")
{
    s.FontName = u"Courier New";
    s.FontSize = 10;
    s.LineSpacing = 16;
    s.FileName = test::text_of(dir / name);
}

TEST(Properties, ANewObjectIsAllZeroEmptyAndFalse)
{
    const synapse s;
    EXPECT_EQ(s.LineSpacing, 0);
    EXPECT_EQ(s.FinalBold, kFalse);
    EXPECT_EQ(s.FileName, u"");
    EXPECT_EQ(s.FontSize, 0);
    EXPECT_EQ(s.FontName, u"");
    EXPECT_EQ(s.FontUnderline, kFalse);
    EXPECT_EQ(s.FontItalic, kFalse);
    EXPECT_EQ(s.FontStrikethru, kFalse);
    EXPECT_EQ(s.ForeColor, u"");
    EXPECT_EQ(s.BackColor, u"");
    EXPECT_EQ(s.FontWeight, 0);
    EXPECT_EQ(canvas_of(s).Width(), 1.0f);
}

TEST(ColourNames, UpperCasedThenComparedExactly)
{
    for (const char16_t* red : {u"red", u"Red", u"RED", u"rEd"})
        EXPECT_EQ(colour_from_name(red, 0), 0x0000FFu) << to_utf8(red);
    EXPECT_EQ(colour_from_name(u" RED", 0), 0u);
    EXPECT_EQ(colour_from_name(u"RED ", 0x123u), 0x123u);
    EXPECT_EQ(colour_from_name(u"purple", 0), 0u);
    EXPECT_EQ(colour_from_name(u"", 0xFFFFFF), 0xFFFFFFu);
    EXPECT_EQ(colour_from_name(u"black", 0xFFFFFF), 0u);
    EXPECT_EQ(colour_from_name(u"Green", 0), 0x00FF00u);
    EXPECT_EQ(colour_from_name(u"yellow", 0), 0x00FFFFu);
    EXPECT_EQ(colour_from_name(u"blue", 0), 0xFF0000u);
    EXPECT_EQ(colour_from_name(u"magenta", 0), 0xFF00FFu);
    EXPECT_EQ(colour_from_name(u"cyan", 0), 0xFFFF00u);
    EXPECT_EQ(colour_from_name(u"white", 0), 0xFFFFFFu);
    // Simple case mapping: dotless i upper-cases to I, long s to S.
    EXPECT_EQ(colour_from_name(u"wh\u0131te", 0), 0xFFFFFFu);
    EXPECT_EQ(colour_from_name(u"\u017fcyan", 0), 0u);
    EXPECT_EQ(colour_from_name(u"RE\u0044", 0), 0x0000FFu);
    EXPECT_EQ(colour_from_name(u"\uff32ED", 0), 0u);  // fullwidth R is no R
}

TEST(PrintText, AppliesColoursFromTheNames)
{
    TempDir dir;
    synapse s;
    set_up(s, dir);
    s.ForeColor = u"Red";
    s.BackColor = u"black";
    s.PrintText(u"x", 0, 0);
    EXPECT_EQ(canvas_of(s).ForeColor(), 0x0000FFu);
    EXPECT_EQ(canvas_of(s).BackColor(), 0x000000u);
    s.ForeColor = u" RED";
    s.BackColor = u"purple";
    s.PrintText(u"x", 0, 0);
    EXPECT_EQ(canvas_of(s).ForeColor(), 0x000000u);
    EXPECT_EQ(canvas_of(s).BackColor(), 0xFFFFFFu);
}

TEST(PrintText, EachLineIsOnePitchLowerAndTheSurfaceGrowsByALine)
{
    TempDir dir;
    synapse s;
    set_up(s, dir);
    s.PrintText(u"one", 3, 0);
    EXPECT_EQ(canvas_of(s).CurrentY(), 16.0f);
    EXPECT_EQ(canvas_of(s).CurrentX(), 3.0f);
    EXPECT_EQ(canvas_of(s).Height(), 1.0f + 26);
    s.PrintText(u"two", 0, 0);
    s.PrintText(u"three", 0, 5);
    EXPECT_EQ(canvas_of(s).CurrentY(), 48.0f + 5);
    EXPECT_EQ(canvas_of(s).Height(), 1.0f + 3 * 26);
    EXPECT_EQ(canvas_of(s).Font().Name(), u"Courier New");
    EXPECT_EQ(canvas_of(s).FontSize(), 10.0f);
}

TEST(PrintText, WithNoLineSpacingLinesOverlapButTheSurfaceStillGrows)
{
    TempDir dir;
    synapse s;
    set_up(s, dir);
    s.LineSpacing = 0;
    s.PrintText(u"a", 0, 7);
    s.PrintText(u"b", 0, 7);
    EXPECT_EQ(canvas_of(s).CurrentY(), 7.0f);
    EXPECT_EQ(canvas_of(s).Height(), 1.0f + 2 * 10);
}

TEST(PrintText, TheFirstLinesInkStartsOnePitchDown)
{
    TempDir dir;
    synapse s;
    set_up(s, dir);
    s.MaximumStringLength(u"Hello");
    s.PrintText(u"Hello", 0, 0);
    const auto top = test::first_ink_row(canvas_of(s).Image());
    ASSERT_TRUE(top);
    EXPECT_GE(*top, 16);
    EXPECT_LE(*top, 16 + 5);
    EXPECT_LE(*test::last_ink_row(canvas_of(s).Image()), 16 + 14);
}

TEST(PrintText, OverflowOfThePitchStopsAfterFontAndXBeforeDrawing)
{
    TempDir dir;
    synapse s;
    set_up(s, dir);
    s.FontSize = 1;
    s.LineSpacing = 300;
    for (int i = 1; i <= 109; ++i)
        s.PrintText(u"", 0, 0);
    const auto file_before = test::read_bytes(dir / "out.bmp");
    const Single height_before = canvas_of(s).Height();
    s.FontName = u"Liberation Sans";
    s.FontSize = 12;
    EXPECT_EQ(error_number([&] { s.PrintText(u"never", 42, 0); }), 6);
    EXPECT_EQ(canvas_of(s).Font().Name(), u"Liberation Sans");
    EXPECT_EQ(canvas_of(s).FontSize(), 12.0f);
    EXPECT_EQ(canvas_of(s).CurrentX(), 42.0f);
    EXPECT_EQ(canvas_of(s).Height(), height_before);
    EXPECT_EQ(test::read_bytes(dir / "out.bmp"), file_before);
    // The counter has advanced: the next call overflows too.
    s.LineSpacing = 1;
    s.PrintText(u"", 0, 0);
    EXPECT_EQ(canvas_of(s).CurrentY(), 111.0f);
}

TEST(PrintText, AThirtyTwoBitPositionOverflowIsAnError)
{
    TempDir dir;
    synapse s;
    set_up(s, dir);
    EXPECT_EQ(error_number([&] { s.PrintText(u"x", 0, 2147483647); }), 6);
    s.LineSpacing = -16;
    s.FontSize = 20;  // the surface still grows: 20 - 16 a line
    s.PrintText(u"x", 0, -2147483647 + 31);
    EXPECT_EQ(canvas_of(s).CurrentY(), static_cast<Single>(-2147483647 + 31 - 32));
}

TEST(PrintText, OnlyAnExactTrueMakesBold)
{
    TempDir dir;
    auto render = [&](Boolean bold) {
        synapse s;
        set_up(s, dir);
        s.MaximumStringLength(u"Bold?");
        s.FinalBold = bold;
        s.PrintText(u"Bold?", 0, 0);
        return canvas_of(s).Image();
    };
    const Image regular = render(kFalse);
    // A stored 1, as an automation client may store it, stays 1 and is not True.
    EXPECT_TRUE(test::same_pixels(render(Boolean::from_bits(1)), regular));
    const Image bold = render(kTrue);
    EXPECT_FALSE(test::same_pixels(bold, regular));
    // From C++, true is True.
    EXPECT_TRUE(test::same_pixels(render(true), bold));
    EXPECT_EQ(Boolean(true).bits(), -1);
    EXPECT_EQ(Boolean::from_bits(1).bits(), 1);
}

TEST(PrintText, EachStylePropertySwitchesItsOwnStyle)
{
    TempDir dir;
    const auto style_after = [&](Boolean synapse::*property) {
        synapse s;
        set_up(s, dir);
        // A stored 1 is not True: the other properties stay off.
        s.FinalBold = s.FontItalic = s.FontUnderline = s.FontStrikethru = Boolean::from_bits(1);
        s.*property = kTrue;
        s.PrintText(u"x", 0, 0);
        return canvas_of(s).Style();
    };
    EXPECT_EQ(style_after(&synapse::FinalBold), FontStyle{.bold = true});
    EXPECT_EQ(style_after(&synapse::FontItalic), FontStyle{.italic = true});
    EXPECT_EQ(style_after(&synapse::FontUnderline), FontStyle{.underline = true});
    EXPECT_EQ(style_after(&synapse::FontStrikethru), FontStyle{.strikethru = true});
}

TEST(PrintText, TwoObjectsKeepTheirOwnCountersAndSurfaces)
{
    TempDir dir;
    synapse a;
    synapse b;
    set_up(a, dir, "a.bmp");
    set_up(b, dir, "b.bmp");
    a.PrintText(u"a1", 0, 0);
    a.PrintText(u"a2", 0, 0);
    b.PrintText(u"b1", 0, 0);
    EXPECT_EQ(canvas_of(a).CurrentY(), 32.0f);
    EXPECT_EQ(canvas_of(b).CurrentY(), 16.0f);
    EXPECT_EQ(canvas_of(a).Height(), 1.0f + 52);
    EXPECT_EQ(canvas_of(b).Height(), 1.0f + 26);
    EXPECT_EQ(test::read_bytes(dir / "a.bmp"), encode_bmp24(canvas_of(a).Image()));
    EXPECT_EQ(test::read_bytes(dir / "b.bmp"), encode_bmp24(canvas_of(b).Image()));
}

TEST(PrintText, WithoutSavingLeavesTheFileAndTheLastSaveWritesTheSameBytes)
{
    TempDir dir;
    const Text lines[] = {u"CORNER BAKERY", u"2 x Sourdough   7.80", u"Total          18.15"};
    const auto job = [&](const std::string& name, bool save_each) {
        synapse s;
        set_up(s, dir, name);
        s.MaximumStringLength(lines[2]);
        s.SidePadding(4);
        s.TopPadding(4);
        for (const Text& line : lines) {
            if (save_each || &line == &lines[2]) {
                s.PrintText(line, 1, 2);
            } else {
                s.PrintTextWithoutSaving(line, 1, 2);
                EXPECT_FALSE(std::filesystem::exists(dir / name)) << "a line without saving wrote the file";
            }
        }
        return test::read_bytes(dir / name);
    };
    EXPECT_EQ(job("once.bmp", false), job("each.bmp", true));

    // An existing file stays as it was until the next save.
    synapse s;
    set_up(s, dir, "each.bmp");
    const auto before = test::read_bytes(dir / "each.bmp");
    s.PrintTextWithoutSaving(u"not yet", 0, 0);
    EXPECT_EQ(test::read_bytes(dir / "each.bmp"), before);
    EXPECT_EQ(canvas_of(s).Height(), 1.0f + 26);  // the line still grew the surface
}

TEST(PrintText, AFailedSaveKeepsTheLineTheGrowthAndTheOldFile)
{
    TempDir dir;
    synapse s;
    set_up(s, dir);
    s.MaximumStringLength(u"first line");
    s.PrintText(u"first line", 0, 0);
    const auto good = test::read_bytes(dir / "out.bmp");

    s.FileName = test::text_of(dir / "no-such-folder" / "out.bmp");
    EXPECT_EQ(error_number([&] { s.PrintText(u"second", 0, 0); }), 76);
    EXPECT_EQ(canvas_of(s).Height(), 1.0f + 52);
    s.FileName = u"";
    EXPECT_EQ(error_number([&] { s.PrintText(u"third", 0, 0); }), 52);
    EXPECT_EQ(test::read_bytes(dir / "out.bmp"), good);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bmp"});

    set_up(s, dir);
    s.PrintText(u"fourth", 0, 0);
    EXPECT_EQ(canvas_of(s).CurrentY(), 64.0f);
    EXPECT_EQ(test::read_bytes(dir / "out.bmp"), encode_bmp24(canvas_of(s).Image()));
}

TEST(PrintText, KeepingOneBackgroundKeepsEveryLine)
{
    TempDir dir;
    synapse s;
    set_up(s, dir);
    s.MaximumStringLength(u"line");
    s.BackColor = u"yellow";
    s.PrintText(u"line", 0, 0);
    s.PrintText(u"line", 0, 0);
    const Image& image = canvas_of(s).Image();
    constexpr Pixel yellow = 0xFFFF00;
    EXPECT_LT(*test::first_ink_row(image, yellow), 32);
    EXPECT_GT(*test::last_ink_row(image, yellow), 32);
    // A new background clears what was drawn before.
    s.BackColor = u"cyan";
    s.PrintText(u"line", 0, 0);
    EXPECT_GE(*test::first_ink_row(canvas_of(s).Image(), 0x00FFFF), 48);
}

TEST(PrintText, AnyTextPrintsWithoutHarm)
{
    TempDir dir;
    synapse s;
    set_up(s, dir);
    const char16_t awkward[] = {0xDC00, u'\t', u'\n', 0x0007, 0xD83D, 0xDE00, 0xD83D, 0};
    s.PrintText(awkward, 0, 0);
    s.PrintText(Text(20000, u'\u0627'), -100, 0);
    s.PrintText(u"x", 2147483600, 0);
    s.FontSize = 32767;
    EXPECT_EQ(error_number([&] { s.PrintText(u"huge", 0, 0); }), 380);
}

// The 24-bit file as plainly as it can be written: the header field by
// field and every pixel read back one at a time, bottom row first.
std::vector<std::byte> reference_bmp24(const Image& image)
{
    const std::uint32_t w = static_cast<std::uint32_t>(image.width());
    const std::uint32_t h = static_cast<std::uint32_t>(image.height());
    const std::uint32_t stride = (w * 3 + 3) / 4 * 4;
    std::vector<std::byte> out;
    const auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<std::byte>(v >> (8 * i)));
    };
    put('B', 1), put('M', 1), put(54 + stride * h, 4), put(0, 4), put(54, 4);
    put(40, 4), put(w, 4), put(h, 4), put(1, 2), put(24, 2), put(0, 4), put(stride * h, 4);
    put(3780, 4), put(3780, 4), put(0, 4), put(0, 4);
    for (std::uint32_t y = h; y-- > 0;) {
        for (std::uint32_t x = 0; x < w; ++x)
            put(image.at(static_cast<int>(x), static_cast<int>(y)), 3);  // B, G, R
        put(0, static_cast<int>(stride - 3 * w));
    }
    return out;
}

TEST(PrintText, RandomJobsSaveWhatAPlainEncodingOfTheirPixelsGives)
{
    // Prints with and without saving, widths, margins, fonts, pitches,
    // colours and styles in random order: every save must be the surface's
    // pixels, byte for byte, whatever the writer keeps or reuses between
    // saves.
    TempDir dir;
    std::mt19937 random(20261209);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const Text colours[] = {u"", u"black", u"red", u"GREEN", u"yellow", u"blue", u"Magenta", u"cyan", u"white", u"mauve"};
    const Text texts[] = {u"", u"Total 18.15", u"\u00C0 la carte \u00BD", u"gj|Wy", u"  spaced  "};
    int saves = 0;
    std::map<int, int> refused;
    for (int job = 0; job < 60; ++job) {
        synapse s;
        set_up(s, dir);
        for (int step = 0; step < 20; ++step) {
            try {
                switch (pick(9)) {
                case 0: s.MaximumStringLength(Text(static_cast<std::size_t>(pick(30)), u'x')); break;
                case 1: s.SidePadding(static_cast<Integer>(pick(12) - 2)); break;
                case 2: s.TopPadding(pick(12) - 2); break;
                case 3: s.BackColor = colours[pick(10)]; break;
                case 4: s.ForeColor = colours[pick(10)]; break;
                case 5: s.FontSize = static_cast<Integer>(6 + pick(10)), s.LineSpacing = static_cast<Integer>(pick(20)); break;
                case 6: s.FinalBold = pick(2) == 0, s.FontItalic = pick(2) == 0, s.FontUnderline = pick(2) == 0; break;
                case 7: s.PrintTextWithoutSaving(texts[pick(5)], pick(20) - 5, pick(10) - 5); break;
                default:
                    s.PrintText(texts[pick(5)], pick(20) - 5, pick(10) - 5);
                    ASSERT_EQ(test::read_bytes(dir / "out.bmp"), reference_bmp24(canvas_of(s).Image()))
                        << "job " << job << ", step " << step;
                    ++saves;
                }
            } catch (const Error& e) {
                ++refused[e.number()];
                // A refused step changes nothing that a later save would not show.
            }
        }
    }
    std::cout << saves << " saves compared; refused steps by error number:";
    for (const auto& [number, count] : refused)
        std::cout << " " << number << " x" << count;
    std::cout << "\n";
    EXPECT_GT(saves, 100);
}

}  // namespace
}  // namespace lumarin
