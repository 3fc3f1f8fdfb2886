// Monotize: the 1-bit file byte for byte, its pixels, and what it replaces.
#include <array>
#include <string_view>
#include <utility>

#include "lumarin/synapse.hpp"
#include "renderer/canvas_access.hpp"
#include "surface/canvas.hpp"
#include "surface/mono.hpp"
#include "support.hpp"

namespace lumarin {
namespace {

using test::error_number;
using test::TempDir;

// An object whose surface is width x height pixels, white, writing to `dir`.
void sized(synapse& s, const TempDir& dir, int width, int height)
{
    s.FontSize = 1;
    s.FontWeight = 100;
    s.MaximumStringLength(Text(static_cast<std::size_t>(width), u'x'));
    s.LineSpacing = static_cast<Integer>(height - 1);
    s.TopPadding(Empty{});  // adds one pitch: the height asked for
    s.FileName = test::text_of(dir / "mono.bmp");
}

std::uint32_t u32_at(const std::vector<std::byte>& b, std::size_t at)
{
    return std::to_integer<std::uint32_t>(b[at]) | std::to_integer<std::uint32_t>(b[at + 1]) << 8 |
           std::to_integer<std::uint32_t>(b[at + 2]) << 16 | std::to_integer<std::uint32_t>(b[at + 3]) << 24;
}

TEST(Monotize, HeaderOfA100By20SurfaceByteForByte)
{
    TempDir dir;
    synapse s;
    sized(s, dir, 100, 20);
    s.LineSpacing = 0;
    ASSERT_EQ(canvas_of(s).ScaleHeight(), 20.0f);
    s.Monotize(u"");
    const auto file = test::read_bytes(dir / "mono.bmp");
    ASSERT_EQ(file.size(), 382u);
    const auto header = std::vector<std::byte>(file.begin(), file.begin() + 62);
    EXPECT_EQ(header, test::bytes_of({
                          'B', 'M', 0x7E, 0x01, 0, 0,  // bfType, bfSize 382
                          0, 0, 0, 0,                  // reserved
                          62, 0, 0, 0,                 // bfOffBits
                          40, 0, 0, 0,                 // biSize
                          100, 0, 0, 0,                // biWidth
                          20, 0, 0, 0,                 // biHeight
                          1, 0, 1, 0,                  // biPlanes, biBitCount
                          0, 0, 0, 0,                  // biCompression
                          0x40, 0x01, 0, 0,            // biSizeImage 320
                          0, 0, 0, 0, 0, 0, 0, 0,      // pixels per metre
                          0, 0, 0, 0, 0, 0, 0, 0,      // colours used, important
                          0, 0, 0, 0,                  // colour 0: black
                          255, 255, 255, 0,            // colour 1: white
                      }));
    // White everywhere: 100 set bits a row, then zero padding to 16 bytes.
    for (int row = 0; row < 20; ++row)
        for (int i = 0; i < 16; ++i)
            ASSERT_EQ(std::to_integer<int>(file[62 + row * 16 + i]), i < 12 ? 0xFF : i == 12 ? 0xF0 : 0)
                << "row " << row << " byte " << i;
}

TEST(Monotize, OnePixelIsA66ByteFile)
{
    TempDir dir;
    synapse s;
    s.FileName = test::text_of(dir / "one.bmp");
    s.Monotize(u"anything");
    const auto file = test::read_bytes(dir / "one.bmp");
    ASSERT_EQ(file.size(), 66u);
    EXPECT_EQ(u32_at(file, 2), 66u);
    EXPECT_EQ(u32_at(file, 34), 4u);
    EXPECT_EQ(std::to_integer<int>(file[62]), 0x80);
}

TEST(Monotize, RowsArePaddedToWholeWords)
{
    for (const auto& [width, stride] : {std::pair{32, 4}, {33, 8}, {34, 8}, {35, 8}, {64, 8}, {65, 12}}) {
        TempDir dir;
        synapse s;
        sized(s, dir, width, 3);
        s.Monotize(u"");
        const auto file = test::read_bytes(dir / "mono.bmp");
        EXPECT_EQ(file.size(), 62u + 3 * stride) << "width " << width;
        EXPECT_EQ(u32_at(file, 34), 3u * stride) << "width " << width;
    }
}

TEST(Monotize, ABlackSurfaceIsAllZeroAndInkLandsBottomRowFirst)
{
    TempDir dir;
    synapse s;
    s.FontName = u"Courier New";
    s.FontSize = 10;
    s.LineSpacing = 16;
    s.BackColor = u"black";
    s.ForeColor = u"white";
    s.FileName = test::text_of(dir / "mono.bmp");
    s.MaximumStringLength(u"\u2588\u2588\u2588\u2588");
    s.PrintText(u"", 0, 0);
    s.Monotize(u"");
    auto file = test::read_bytes(dir / "mono.bmp");
    EXPECT_TRUE(std::all_of(file.begin() + 62, file.end(), [](std::byte b) { return b == std::byte{0}; }));

    s.PrintText(u"\u2588\u2588\u2588\u2588", 0, 0);
    s.Monotize(u"");
    file = test::read_bytes(dir / "mono.bmp");
    const Image& image = canvas_of(s).Image();
    const int height = image.height();
    const int stride = 4;
    for (int y = 0; y < height; ++y) {
        const auto* row = file.data() + 62 + static_cast<std::size_t>(height - 1 - y) * stride;
        const bool mono_ink = std::any_of(row, row + stride, [](std::byte b) { return b != std::byte{0}; });
        bool colour_ink = false;
        for (int x = 0; x < image.width(); ++x)
            colour_ink = colour_ink || image.at(x, y) != 0x000000;
        EXPECT_EQ(mono_ink, colour_ink) << "row " << y;
    }
    EXPECT_GE(*test::first_ink_row(image, 0), 32);
}

TEST(Monotize, ReplacesALongerColourFileWhole)
{
    TempDir dir;
    synapse s;
    s.FontSize = 10;
    s.LineSpacing = 6;
    s.FileName = test::text_of(dir / "mono.bmp");
    s.MaximumStringLength(u"abcd");  // 32 pixels wide
    s.PrintText(u"ab", 0, 0);
    ASSERT_GT(test::read_bytes(dir / "mono.bmp").size(), 500u);
    ASSERT_EQ(canvas_of(s).ScaleHeight(), 17.0f);
    s.Monotize(u"");
    const auto file = test::read_bytes(dir / "mono.bmp");
    EXPECT_EQ(file.size(), 62u + 17 * 4);
    EXPECT_EQ(u32_at(file, 2), file.size());
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"mono.bmp"});
}

TEST(Monotize, FailuresLeaveTheFileUntouched)
{
    TempDir dir;
    const auto before = test::bytes_of({1, 2, 3});
    test::write_bytes(dir / "mono.bmp", before);

    synapse s;
    s.FontSize = 10;
    s.FileName = test::text_of(dir / "mono.bmp");
    s.MaximumStringLength(u"");  // no width: nothing to convert
    EXPECT_EQ(error_number([&] { s.Monotize(u""); }), 9);
    EXPECT_EQ(test::read_bytes(dir / "mono.bmp"), before);

    synapse t;
    EXPECT_EQ(error_number([&] { t.Monotize(test::text_of(dir / "mono.bmp")); }), 52);
    t.FileName = test::text_of(dir / "missing" / "mono.bmp");
    EXPECT_EQ(error_number([&] { t.Monotize(u""); }), 76);
    EXPECT_EQ(test::read_bytes(dir / "mono.bmp"), before);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"mono.bmp"});
}

// Every ordered pair of distinct named colours, text on background: the
// 1-bit picture has ink (the entry opposite the background's own) exactly
// where the colour picture differs from its background.
TEST(Monotize, InkSurvivesInEveryPairOfNamedColours)
{
    static constexpr std::array<std::pair<std::u16string_view, Pixel>, 8> kNamed{{
        {u"black", 0x000000}, {u"red", 0xFF0000}, {u"green", 0x00FF00}, {u"yellow", 0xFFFF00},
        {u"blue", 0x0000FF}, {u"magenta", 0xFF00FF}, {u"cyan", 0x00FFFF}, {u"white", 0xFFFFFF},
    }};
    TempDir dir;
    for (const auto& [back_name, back] : kNamed)
        for (const auto& [fore_name, fore] : kNamed) {
            if (back == fore)
                continue;
            synapse s;
            s.FontName = u"Liberation Mono";
            s.FontSize = 10;
            s.FontUnderline = Boolean(true);
            s.BackColor = Text(back_name);
            s.ForeColor = Text(fore_name);
            s.FileName = test::text_of(dir / "pair.bmp");
            s.MaximumStringLength(u"Ag½©");
            s.PrintText(u"Ag½©", 0, 0);
            const Image& image = canvas_of(s).Image();
            s.Monotize(u"");
            const auto file = test::read_bytes(dir / "pair.bmp");
            const auto stride = static_cast<std::size_t>(mono_stride(image.width()));
            const int background_bit = is_light(back) ? 1 : 0;
            int ink = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const auto byte = std::to_integer<int>(
                        file[62 + static_cast<std::size_t>(image.height() - 1 - y) * stride + x / 8]);
                    const bool mono_ink = ((byte >> (7 - x % 8)) & 1) != background_bit;
                    const Pixel p = image.at(x, y);
                    ASSERT_EQ(mono_ink, p != back) << std::hex << fore << " on " << back << " at " << std::dec << x
                                                   << "," << y;
                    // Text is drawn without antialiasing: text colour or background.
                    ASSERT_TRUE(p == back || p == fore);
                    ink += mono_ink;
                }
            EXPECT_GT(ink, 50) << std::hex << fore << " on " << back;
        }
}

}  // namespace
}  // namespace lumarin
