// Fonts loaded from files, and font names: a file draws in its own face,
// not its family's regular one. One process for these alone, since a
// loaded file changes how its family draws for the rest of the process.
#include <filesystem>

#include "common/text.hpp"

#include "surface/canvas.hpp"
#include "surface/text_drawer.hpp"
#include "support.hpp"

namespace lumarin {
namespace {

const std::filesystem::path kDejaVu = "/usr/share/fonts/truetype/dejavu";
const std::filesystem::path kUrw = "/usr/share/fonts/opentype/urw-base35";

Image drawn_in(const Text& family, const FontStyle& style = {})
{
    Form1 form;
    PictureBox& c = form.Picture1;
    c.Width(400);
    c.Height(50);
    c.FontSize(20);
    c.Font().Name(family);
    c.Style(style);
    c.CurrentX(4);
    c.CurrentY(4);
    c.Print(u"Hamburgefonstiv");
    return c.Image();
}

TEST(FontFile, DrawsInTheFilesOwnWeightSlantAndWidth)
{
    for (const char* file : {"DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf", "DejaVuSerif-Italic.ttf",
                             "DejaVuSerifCondensed-Bold.ttf"})
        if (!std::filesystem::exists(kDejaVu / file))
            GTEST_SKIP() << "no " << file;
    const Image regular = drawn_in(u"DejaVu Serif");
    const Image bold = drawn_in(u"DejaVu Serif", {.bold = true});
    const Image italic = drawn_in(u"DejaVu Serif", {.italic = true});
    const Image condensed_bold = drawn_in(u"DejaVu Serif Condensed", {.bold = true});
    ASSERT_FALSE(test::same_pixels(regular, bold));
    ASSERT_FALSE(test::same_pixels(bold, condensed_bold));

    EXPECT_EQ(add_font_file(kDejaVu / "DejaVuSerif-Bold.ttf"), u"DejaVu Serif");
    EXPECT_TRUE(test::same_pixels(drawn_in(u"DejaVu Serif"), bold)) << "the bold file draws bold";
    EXPECT_TRUE(test::same_pixels(drawn_in(u"dejavu serif"), bold)) << "by its name in any case";
    EXPECT_TRUE(test::same_pixels(drawn_in(u"DejaVu Serif", {.bold = true}), bold));

    add_font_file(kDejaVu / "DejaVuSerif.ttf");
    EXPECT_TRUE(test::same_pixels(drawn_in(u"DejaVu Serif"), regular)) << "the last file added decides";
    EXPECT_TRUE(test::same_pixels(drawn_in(u"DejaVu Serif", {.bold = true}), bold)) << "bold adds to a regular file";

    add_font_file(kDejaVu / "DejaVuSerif-Italic.ttf");
    EXPECT_TRUE(test::same_pixels(drawn_in(u"DejaVu Serif"), italic)) << "the italic file leans";

    add_font_file(kDejaVu / "DejaVuSerifCondensed-Bold.ttf");
    EXPECT_TRUE(test::same_pixels(drawn_in(u"DejaVu Serif"), condensed_bold)) << "the condensed file is narrow";
    // Other families are as they were.
    EXPECT_FALSE(test::same_pixels(drawn_in(u"Liberation Serif"), drawn_in(u"Liberation Serif", {.bold = true})));
}

TEST(FontFile, AnOpenTypeItalicFileDrawsItalic)
{
    const auto file = kUrw / "NimbusMonoPS-Italic.otf";
    if (!std::filesystem::exists(file))
        GTEST_SKIP() << "no " << file;
    const Image upright = drawn_in(u"Nimbus Mono PS");
    const Image italic = drawn_in(u"Nimbus Mono PS", {.italic = true});
    ASSERT_FALSE(test::same_pixels(upright, italic));
    EXPECT_EQ(add_font_file(file), u"Nimbus Mono PS");
    EXPECT_TRUE(test::same_pixels(drawn_in(u"Nimbus Mono PS"), italic));
}

TEST(FontNames, FamiliesAliasesAndFamiliesWithStyleWordsAreKnown)
{
    for (const Text name : {u"Liberation Sans", u"liberation mono", u"Sans", u"monospace", u"serif", u"sans-serif",
                            u"Liberation Sans Bold", u"Liberation Serif Bold Italic", u"Sans Bold"})
        EXPECT_TRUE(font_name_is_known(name)) << to_utf8(name);
    for (const Text name : {u"No Such Family", u"No Such Family Bold", u"Bold", u""})
        EXPECT_FALSE(font_name_is_known(name)) << to_utf8(name);
}

TEST(FontNames, StyleWordsAfterAFamilyDrawThatFamilyInThatFace)
{
    const Image bold = drawn_in(u"Liberation Sans", {.bold = true});
    EXPECT_TRUE(test::same_pixels(drawn_in(u"Liberation Sans Bold"), bold));
    EXPECT_TRUE(test::same_pixels(drawn_in(u"Liberation Sans Bold", {.bold = true}), bold));
    EXPECT_TRUE(test::same_pixels(drawn_in(u"Liberation Serif Italic"), drawn_in(u"Liberation Serif", {.italic = true})));
    EXPECT_EQ(make_text_drawer()->face_of(FontSpec{u"Liberation Sans Bold", 10}), u"Liberation Sans");
    // A family of that whole name is that family, whatever it ends with.
    EXPECT_FALSE(test::same_pixels(drawn_in(u"Liberation Sans Narrow"), drawn_in(u"Liberation Sans")));
}

}  // namespace
}  // namespace lumarin
