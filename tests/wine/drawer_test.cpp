// The GDI text drawer on its own: what it changes in the image, and what
// it must leave alone. Runs under Wine with Courier New mapped to
// Liberation Mono.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "surface/image.hpp"
#include "surface/text_drawer.hpp"

namespace {

using lumarin::FontSpec;
using lumarin::Image;
using lumarin::Pixel;

int g_failures = 0;

void check(bool ok, const std::string& what)
{
    if (!ok) {
        std::printf("FAIL: %s\n", what.c_str());
        ++g_failures;
    }
}

constexpr Pixel kWhite = 0xFFFFFF;
constexpr Pixel kBlack = 0x000000;

FontSpec courier(float points)
{
    FontSpec f;
    f.name = u"Courier New";
    f.size_points = points;
    return f;
}

struct Ink {
    long long count = 0;
    int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
    bool only_two_colours = true;
};

Ink ink_of(const Image& image, Pixel background, Pixel colour)
{
    Ink ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const Pixel p = image.at(x, y);
            if (p == background)
                continue;
            if (p != colour)
                ink.only_two_colours = false;
            ++ink.count;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
        }
    return ink;
}

Ink draw(const std::u16string& text, const FontSpec& font, long long x = 4, long long y = 4, int w = 300,
         int h = 60)
{
    Image image(w, h, kWhite);
    lumarin::make_text_drawer()->draw(image, x, y, text, font, 0x000000);
    return ink_of(image, kWhite, kBlack);
}

void test_plain_run()
{
    const Ink ink = draw(u"Hello, world", courier(10));
    check(ink.count > 50, "a run leaves ink");
    check(ink.only_two_colours, "glyphs are not antialiased: text colour or background only");
    check(ink.left >= 4 && ink.top >= 4, "ink starts at the given corner");
    // 12 characters of Liberation Mono 13 px: 7.8 px advance each.
    check(ink.right < 4 + 12 * 9, "ink ends within the run's advance, at " + std::to_string(ink.right));
    check(ink.bottom < 4 + 16, "ink within a line height, bottom " + std::to_string(ink.bottom));
    check(draw(u"", courier(10)).count == 0, "empty text draws nothing");
}

void test_colour_and_transparency()
{
    Image image(100, 30, 0x0000FF);  // blue background
    // Colours are 0x00BBGGRR; the image holds 0x00RRGGBB.
    lumarin::make_text_drawer()->draw(image, 2, 2, u"Red", courier(12), 0x0000FF);
    const Ink ink = ink_of(image, 0x0000FF, 0xFF0000);
    check(ink.count > 20 && ink.only_two_colours, "red text over blue, the background left as it was");
}

void test_styles()
{
    const long long plain = draw(u"Style", courier(14)).count;
    FontSpec bold = courier(14);
    bold.style.bold = true;
    check(draw(u"Style", bold).count > plain, "bold has more ink");
    FontSpec under = courier(14);
    under.style.underline = true;
    const Ink u = draw(u"Style", under);
    check(u.count > plain, "underline adds ink");
    FontSpec strike = courier(14);
    strike.style.strikethru = true;
    check(draw(u"Style", strike).count > plain, "strikethrough adds ink");
    FontSpec italic = courier(14);
    italic.style.italic = true;
    const Ink i = draw(u"lllll", italic);
    const Ink n = draw(u"lllll", courier(14));
    check(i.count > 0 && (i.left != n.left || i.right != n.right || i.count != n.count), "italic leans");
    check(draw(u"Size", courier(20)).bottom - 4 > draw(u"Size", courier(10)).bottom - 4, "larger size, taller ink");
}

void test_outside_the_image()
{
    const long long far = 1'000'000'000LL;
    const struct {
        long long x, y;
    } places[] = {{-far, 5}, {far, 5}, {5, -far}, {5, far}, {300, 5}, {5, 60}, {-400, 5}, {5, -40}};
    for (const auto& p : places)
        check(draw(u"Nowhere to be seen", courier(10), p.x, p.y).count == 0,
              "text at " + std::to_string(p.x) + "," + std::to_string(p.y) + " leaves the image alone");
    const Ink clipped = draw(u"Clipped on the left", courier(10), -40, 3);
    check(clipped.count > 0 && clipped.left <= 3, "a run partly left of the image draws its visible part");
    const Ink above = draw(u"Cut at the top", courier(20), 3, -10);
    check(above.count > 0 && above.top <= 1, "a run partly above the image draws its visible part");
    check(draw(u"x", courier(10), 0, 0, 1, 1).only_two_colours, "a 1x1 image");
}

void test_tiles()
{
    // A run larger than one drawing tile: ink crosses the seams unbroken.
    Image image(3400, 2800, kWhite);
    lumarin::make_text_drawer()->draw(image, 0, 0, u"HH", courier(2048), 0x000000);
    const Ink ink = ink_of(image, kWhite, kBlack);
    check(ink.count > 100000 && ink.only_two_colours, "a huge run draws");
    check(ink.right > 2048 && ink.bottom > 2048, "it reaches past the first tile");
    // The crossbar of the second H runs through x = 2048; a seam would
    // leave columns 2047 and 2048 different along it.
    int differ = 0;
    for (int y = 0; y < image.height(); ++y)
        if (image.at(2047, y) != image.at(2048, y))
            ++differ;
    check(differ < 40, "no seam at the tile edge (" + std::to_string(differ) + " rows differ)");
}

// Wine's ScriptBreak follows the Unicode line rules for Latin and CJK text
// but has no dictionary for Thai and takes every Thai or Khmer character,
// sign and mark for a cluster of its own; only what it does as Windows
// does is checked.
void test_breaks()
{
    using lumarin::kClusterStart;
    using lumarin::kLineBreak;
    using lumarin::kWhite;
    const auto drawer = lumarin::make_text_drawer();
    const auto spaces = drawer->breaks(u"ab  cd");
    check(spaces == std::vector<std::uint8_t>{kClusterStart, kClusterStart, kClusterStart | kWhite,
                                              kClusterStart | kWhite, kClusterStart | kLineBreak, kClusterStart},
          "spaces are white and a line breaks after them");

    const auto marks = drawer->breaks(u"e\u0301\u0302 x\U0001F600y");
    check(marks.size() == 8 && marks[1] == 0 && marks[2] == 0, "combining marks belong to their base");
    check(marks.size() == 8 && marks[6] == 0 && (marks[5] & kClusterStart) && (marks[7] & kClusterStart),
          "a surrogate pair is one cluster");

    const auto thai = drawer->breaks(u"\u0E22\u0E34\u0E19\u0E14\u0E35\u0E15\u0E49\u0E2D\u0E19\u0E23\u0E31\u0E1A "
                                     u"\u0E02\u0E2D\u0E1A\u0E04\u0E38\u0E13");
    check(thai.size() == 19 && !(thai[8] & kLineBreak) && !(thai[14] & kLineBreak),
          "no break inside a Thai word");
    check(thai.size() == 19 && thai[12] == (kClusterStart | kWhite) && (thai[13] & kLineBreak),
          "a Thai line breaks after a space");

    const auto japanese = drawer->breaks(u"\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8\u3002");
    check(japanese.size() == 9 && (japanese[1] & kLineBreak) && (japanese[2] & kLineBreak) &&
              (japanese[5] & kLineBreak) && !(japanese[8] & kLineBreak),
          "Japanese breaks between ideographs and kana, not before a full stop");

    // A huge line is itemized once and broken run by run.
    const auto many = drawer->breaks(u"a" + std::u16string(999999, u'\x0301'));
    check(many.size() == 1000000 && many[0] == kClusterStart &&
              std::all_of(many.begin() + 1, many.end(), [](std::uint8_t f) { return f == 0; }),
          "a million marks are one cluster");
    const auto xs = drawer->breaks(std::u16string(1000000, u'x'));
    check(xs.size() == 1000000 && std::none_of(xs.begin(), xs.end(), [](std::uint8_t f) { return f & kLineBreak; }),
          "a million letters are one word");
}

// The measure and the drawing take a line's direction from its first
// strong character; a byte order mark has none.
void test_direction()
{
    const auto drawer = lumarin::make_text_drawer();
    check(!drawer->measure(u"\uFEFFHello", courier(10)).right_to_left, "U+FEFF leaves a line left to right");
    check(drawer->measure(u"\u200FHello", courier(10)).right_to_left, "a right-to-left mark is strong");
    const auto image_of = [](const std::u16string& text) {
        Image image(300, 40, kWhite);
        lumarin::make_text_drawer()->draw(image, 4, 4, text, courier(10), 0);
        return image;
    };
    const auto same = [](const Image& a, const Image& b) {
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.at(x, y) != b.at(x, y))
                    return false;
        return true;
    };
    // Right to left, the digits follow the Hebrew word: the same picture
    // as the word first in a left-to-right line.
    const Image rtl = image_of(u"123 \u05E9\u05DC\u05D5\u05DD");
    check(ink_of(rtl, kWhite, kBlack).count > 0, "a Hebrew line draws");
    Image apart(300, 40, kWhite);
    const std::u16string word = u"\u05E9\u05DC\u05D5\u05DD";
    drawer->draw(apart, 4, 4, word, courier(10), 0);
    drawer->draw(apart, 4 + drawer->measure(word + u" ", courier(10)).right, 4, u"123", courier(10), 0);
    check(same(rtl, apart), "digits first, a Hebrew line is right to left");
    check(!same(rtl, image_of(u"\u200E123 \u05E9\u05DC\u05D5\u05DD")), "a left-to-right mark first, it is not");
}

void test_font_names()
{
    check(lumarin::font_name_is_known(u"Courier New"), "a substituted family is known");
    check(lumarin::font_name_is_known(u"Liberation Mono"), "an installed family is known");
    check(!lumarin::font_name_is_known(u"No Such Family"), "a missing one is not");
}

}  // namespace

int main()
{
    test_plain_run();
    test_colour_and_transparency();
    test_styles();
    test_outside_the_image();
    test_tiles();
    test_breaks();
    test_direction();
    test_font_names();
    std::printf("%d failure(s)\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
