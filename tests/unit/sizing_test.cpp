// MaximumStringLength, TopPadding and SidePadding, and the typical job.
#include "lumarin/synapse.hpp"
#include "renderer/canvas_access.hpp"
#include "surface/canvas.hpp"
#include "support.hpp"

namespace lumarin {
namespace {

using test::error_number;

TEST(MaximumStringLength, WidthIsSizeTimesFactorPerCharacter)
{
    synapse s;
    s.FontSize = 10;
    s.MaximumStringLength(u"abc");
    EXPECT_EQ(s.FontWeight, 80);
    EXPECT_EQ(canvas_of(s).Width(), 24.0f);

    synapse t;
    t.FontSize = 12;
    t.FontWeight = 50;
    t.MaximumStringLength(u"0123456789");
    EXPECT_EQ(t.FontWeight, 50);
    EXPECT_EQ(canvas_of(t).Width(), 60.0f);
    t.MaximumStringLength(u"");
    EXPECT_EQ(canvas_of(t).Width(), 0.0f);
    // Code units, not characters: a surrogate pair counts twice.
    t.MaximumStringLength(u"\U0001F600");
    EXPECT_EQ(canvas_of(t).Width(), 12.0f);
}

TEST(MaximumStringLength, TheDefaultFactorIsStoredBeforeTheProductOverflows)
{
    synapse s;
    s.FontSize = 200;
    s.FontWeight = 200;
    EXPECT_EQ(error_number([&] { s.MaximumStringLength(u"x"); }), 6);
    EXPECT_EQ(s.FontWeight, 200);
    EXPECT_EQ(canvas_of(s).Width(), 1.0f);

    synapse t;
    t.FontSize = 500;
    EXPECT_EQ(error_number([&] { t.MaximumStringLength(u"x"); }), 6);
    EXPECT_EQ(t.FontWeight, 80);
}

TEST(MaximumStringLength, ASurfaceTooWideIsRefusedBeforeAllocation)
{
    synapse s;
    s.FontSize = 100;
    s.FontWeight = 300;
    EXPECT_EQ(error_number([&] { s.MaximumStringLength(Text(2000, u'x')); }), 7);
    s.FontSize = -10;
    EXPECT_EQ(error_number([&] { s.MaximumStringLength(u"abc"); }), 380);
    EXPECT_EQ(canvas_of(s).Width(), 1.0f);
}

TEST(TopPadding, AddsTwoMarginsAndAPitchAndMovesTheOriginByTheArgument)
{
    synapse s;
    s.LineSpacing = 2;
    s.TopPadding(5.0);
    EXPECT_EQ(canvas_of(s).Height(), 1.0f + 12);
    EXPECT_EQ(canvas_of(s).ScaleTop(), -5.0f);

    synapse t;
    t.LineSpacing = 2;
    t.TopPadding(-5.0);
    EXPECT_EQ(canvas_of(t).Height(), 1.0f + 12);
    EXPECT_EQ(canvas_of(t).ScaleTop(), 5.0f);

    synapse u;
    u.TopPadding(2.5);  // the margin rounds to even, the origin does not
    EXPECT_EQ(canvas_of(u).Height(), 1.0f + 4);
    EXPECT_EQ(canvas_of(u).ScaleTop(), -2.5f);
    u.TopPadding(Empty{});
    EXPECT_EQ(canvas_of(u).Height(), 1.0f + 4);
    EXPECT_EQ(canvas_of(u).ScaleTop(), 0.0f);
}

TEST(TopPadding, NumericTextActsAsItsNumber)
{
    synapse s;
    synapse t;
    synapse u;
    s.TopPadding(Text(u" 7 "));
    t.TopPadding(7.0);
    u.TopPadding(7);  // C++ integers need no Variant
    EXPECT_EQ(canvas_of(s).Height(), canvas_of(t).Height());
    EXPECT_EQ(canvas_of(s).ScaleTop(), canvas_of(t).ScaleTop());
    EXPECT_EQ(canvas_of(u).Height(), canvas_of(t).Height());
    s.TopPadding(Text(u"&H10"));
    EXPECT_EQ(canvas_of(s).ScaleTop(), -16.0f);
    s.TopPadding(Text(u"1e1"));
    EXPECT_EQ(canvas_of(s).ScaleTop(), -10.0f);
}

TEST(TopPadding, BadArgumentsChangeNothing)
{
    synapse s;
    s.LineSpacing = 3;
    s.TopPadding(4.0);
    const Single height = canvas_of(s).Height();
    for (const auto& [value, number] : std::initializer_list<std::pair<Variant, int>>{
             {Text(u"seven"), 13},
             {Text(u""), 13},
             {Null{}, 94},
             {32767.5, 6},
             {-32768.0, 6},
             {1e300, 6},
             {16384.0, 6},  // the margins overflow 16 bits: nothing drawn
         }) {
        EXPECT_EQ(error_number([&] { s.TopPadding(value); }), number);
        EXPECT_EQ(canvas_of(s).Height(), height);
        EXPECT_EQ(canvas_of(s).ScaleTop(), -4.0f);
    }
}

TEST(SidePadding, WidensByTwoMarginsAndMovesTheOriginByTheArgument)
{
    synapse s;
    s.SidePadding(-4);
    EXPECT_EQ(canvas_of(s).Width(), 1.0f + 8);
    EXPECT_EQ(canvas_of(s).ScaleLeft(), 4.0f);
    s.SidePadding(3);
    EXPECT_EQ(canvas_of(s).Width(), 1.0f + 8 + 6);
    EXPECT_EQ(canvas_of(s).ScaleLeft(), -3.0f);
    EXPECT_EQ(error_number([&] { s.SidePadding(-32768); }), 6);
    EXPECT_EQ(error_number([&] { s.SidePadding(16384); }), 6);
    EXPECT_EQ(canvas_of(s).Width(), 1.0f + 8 + 6);
    EXPECT_EQ(canvas_of(s).ScaleLeft(), -3.0f);
}

TEST(SidePadding, MaximumStringLengthAfterwardsDropsTheMarginsButKeepsTheOrigin)
{
    synapse s;
    s.FontSize = 10;
    s.SidePadding(4);
    s.MaximumStringLength(u"abc");
    EXPECT_EQ(canvas_of(s).Width(), 24.0f);
    EXPECT_EQ(canvas_of(s).ScaleLeft(), -4.0f);
}

TEST(TypicalJob, MarginsOriginAndGrowthLineByLine)
{
    test::TempDir dir;
    synapse s;
    s.FontName = u"Courier New";
    s.FontSize = 10;
    s.LineSpacing = 16;
    s.FileName = test::text_of(dir / "job.bmp");
    s.MaximumStringLength(u"Twenty-five characters ok");
    EXPECT_EQ(s.FontWeight, 80);
    EXPECT_EQ(canvas_of(s).Width(), 200.0f);
    s.SidePadding(4);
    EXPECT_EQ(canvas_of(s).Width(), 208.0f);
    s.TopPadding(4.0);
    EXPECT_EQ(canvas_of(s).Height(), 1.0f + 24);
    for (int line = 1; line <= 3; ++line) {
        s.PrintText(u"Twenty-five characters ok", 0, 0);
        EXPECT_EQ(canvas_of(s).Height(), 25.0f + 26 * line);
    }
    // Ink starts at the left margin and one pitch below the top margin.
    const Image& image = canvas_of(s).Image();
    EXPECT_GE(*test::first_ink_column(image), 4);
    EXPECT_LE(*test::first_ink_column(image), 6);
    EXPECT_GE(*test::first_ink_row(image), 4 + 16);
    s.Monotize(u"ignored");
    const auto file = test::read_bytes(dir / "job.bmp");
    EXPECT_EQ(file.size(), 62u + 103 * 28);
}

}  // namespace
}  // namespace lumarin
