// Receipt documents: the grammar's tables as small documents of our own,
// the cell model, and what each draws, checked from the pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "document/cells.hpp"
#include "document/compose.hpp"
#include "document/grammar.hpp"
#include "lumarin/receipt.hpp"
#include "lumarin/text.hpp"
#include "surface/mono.hpp"
#include "surface/picture.hpp"
#include "support.hpp"

namespace lumarin {
namespace {

struct Parsed {
    Document doc;
    std::vector<std::string> warnings;
};

Parsed parse(std::string_view text)
{
    Parsed p;
    p.doc = parse_document(text, [&](const std::string& w) { p.warnings.push_back(w); });
    return p;
}

const TextLine& text_line(const Parsed& p, std::size_t i = 0)
{
    return std::get<TextLine>(p.doc.items.at(i).what);
}

std::u16string column_text(const ColumnText& c)
{
    std::u16string out;
    for (std::size_t p = 0; p < c.paragraphs.size(); ++p) {
        if (p > 0)
            out += u'\n';
        for (const Run& r : c.paragraphs[p])
            out += r.text;
    }
    return out;
}

TEST(ReceiptGrammar, ColumnsAreDrawnTowardThePipeTheyTouch)
{
    struct Case {
        const char* line;
        Side side;
    };
    const Case cases[] = {
        {"column", Side::Center},   {"|column|", Side::Center},  {"| column |", Side::Center},
        {"|column", Side::Left},    {"|column |", Side::Left},   {"column |", Side::Left},
        {"column|", Side::Right},   {"| column|", Side::Right},  {"| column", Side::Right},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.line);
        ASSERT_EQ(text_line(p).columns.size(), 1u) << c.line;
        EXPECT_EQ(text_line(p).columns[0].side, c.side) << c.line;
        EXPECT_EQ(column_text(text_line(p).columns[0]), u"column") << c.line;
    }
    const Parsed two = parse("Asparagus | 0.99");
    ASSERT_EQ(text_line(two).columns.size(), 2u);
    EXPECT_EQ(text_line(two).columns[0].side, Side::Left);
    EXPECT_EQ(text_line(two).columns[1].side, Side::Right);
    const Parsed three = parse("|a | b | c|");
    ASSERT_EQ(text_line(three).columns.size(), 3u);
    EXPECT_EQ(text_line(three).columns[1].side, Side::Center);
    EXPECT_EQ(column_text(text_line(three).columns[2]), u"c");
}

TEST(ReceiptGrammar, RulesCutsAndBlankLines)
{
    const Parsed p = parse("---\n  -  \n===\n\\---\n\n-x-\n");
    ASSERT_EQ(p.doc.items.size(), 6u);
    EXPECT_TRUE(std::holds_alternative<RuleLine>(p.doc.items[0].what));
    EXPECT_TRUE(std::holds_alternative<RuleLine>(p.doc.items[1].what));
    EXPECT_TRUE(std::holds_alternative<CutLine>(p.doc.items[2].what));
    EXPECT_EQ(column_text(text_line(p, 3).columns[0]), u"---");  // an escaped '-' cancels the rule
    EXPECT_TRUE(column_text(text_line(p, 4).columns[0]).empty());
    EXPECT_EQ(column_text(text_line(p, 5).columns[0]), u"-x-");
    EXPECT_EQ(p.doc.items[5].line, 6u);
}

TEST(ReceiptGrammar, EscapesAndSpecialCharacters)
{
    const Parsed p = parse(R"(\\\|\{\}\-\=\~\_\"\`\^\x41\q~a)");
    EXPECT_EQ(column_text(text_line(p).columns[0]), u"\\|{}-=~_\"`^A a");
    EXPECT_EQ(text_line(p).columns[0].paragraphs[0].size(), 1u) << "escaped marks decorate nothing";
    const Parsed lines = parse(R"(one\ntwo)");
    EXPECT_EQ(text_line(lines).columns[0].paragraphs.size(), 2u);
    // Control characters are left out, also when escaped as \xNN.
    const Parsed controls = parse("a\x01\tb\\x07c\x7f");
    EXPECT_EQ(column_text(text_line(controls).columns[0]), u"abc");
}

TEST(ReceiptGrammar, DecorationsToggleAndCaretsSetSevenSizes)
{
    const Parsed p = parse(R"(_u_"e"`i`n)");
    const auto& runs = text_line(p).columns[0].paragraphs[0];
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_TRUE(runs[0].decoration.underline && !runs[0].decoration.emphasis);
    EXPECT_TRUE(runs[1].decoration.emphasis && !runs[1].decoration.underline);
    EXPECT_TRUE(runs[2].decoration.invert);
    EXPECT_EQ(runs[3].decoration, Decoration{});

    const std::pair<const char*, std::pair<int, int>> sizes[] = {
        {"^x", {2, 1}},      {"^^x", {1, 2}},      {"^^^x", {2, 2}},       {"^^^^x", {3, 3}},
        {"^^^^^x", {4, 4}},  {"^^^^^^x", {5, 5}},  {"^^^^^^^x", {6, 6}},   {"^^^^^^^^^^x", {6, 6}},
    };
    for (const auto& [doc, size] : sizes) {
        const Parsed p = parse(doc);
        const lumarin::Run& run = text_line(p).columns[0].paragraphs[0].at(0);
        EXPECT_EQ(std::make_pair(run.decoration.wide, run.decoration.high), size) << doc;
    }
    // The same carets again end the size; decorations start over in each column.
    const Parsed back = parse("^^^a^^^b | c");
    EXPECT_EQ(text_line(back).columns[0].paragraphs[0].at(1).decoration, Decoration{});
    const Parsed open = parse("\"a | b");
    EXPECT_EQ(text_line(open).columns[1].paragraphs[0].at(0).decoration, Decoration{});
}

TEST(ReceiptGrammar, PropertiesAreKeptFromLineToLineAndCodesTakeTheirLinesOptions)
{
    const Parsed p = parse("{w: 10 * 4; b: line; a: right; t: nowrap; _: a comment}\n"
                           "x\n"
                           "{ code: 123\\;4; option: qrcode, 5 , h }\n"
                           "{border: none}\n"
                           "y\n"
                           "{i: iVBO Rw0=}\n");
    ASSERT_EQ(p.doc.items.size(), 4u) << "property lines draw nothing themselves";
    const Settings& first = p.doc.items[0].settings;
    EXPECT_EQ(first.widths, (std::vector<int>{10, kFill, 4}));
    EXPECT_EQ(first.border, (Border{true, 1}));
    EXPECT_EQ(first.align, Side::Right);
    EXPECT_FALSE(first.wrap);
    const Item& code = p.doc.items[1];
    EXPECT_EQ(std::get<CodeLine>(code.what).data, "123;4");
    EXPECT_EQ(code.settings.code.symbology, Symbology::QrCode);
    EXPECT_EQ(code.settings.code.cell, 5);
    EXPECT_EQ(code.settings.code.level, 'H');
    const Settings& later = p.doc.items[2].settings;
    EXPECT_EQ(later.border, (Border{false, 0}));
    EXPECT_EQ(later.widths, first.widths);
    EXPECT_EQ(later.code.symbology, Symbology::QrCode) << "options are kept too";
    EXPECT_EQ(std::get<ImageLine>(p.doc.items[3].what).base64, "iVBORw0=");
    EXPECT_TRUE(p.warnings.empty()) << p.warnings.front();
}

TEST(ReceiptGrammar, BarcodeOptions)
{
    const CodeOptions o = parse("{c:1; o: ean 3 120 hri}").doc.items.at(0).settings.code;
    EXPECT_EQ(o.symbology, Symbology::Ean);
    EXPECT_EQ(o.module, 3);
    EXPECT_EQ(o.height, 120);
    EXPECT_TRUE(o.hri);
    const CodeOptions d = parse("{c:1}").doc.items.at(0).settings.code;
    EXPECT_EQ(d.symbology, Symbology::Code128);
    EXPECT_EQ(d.module, 2);
    EXPECT_EQ(d.height, 72);
    EXPECT_FALSE(d.hri);
    EXPECT_EQ(d.level, 'L');
    for (const char* name : {"upc", "jan", "code39", "itf", "codabar", "nw7", "code93", "CODE128"})
        EXPECT_NE(parse(std::string("{c:1; o:") + name + "}").doc.items.at(0).settings.code.symbology,
                  Symbology::QrCode)
            << name;
}

TEST(ReceiptGrammar, WhatCannotBeReadIsAWarningNamingLineAndColumnAndTheDefaultApplies)
{
    const Parsed p = parse("ok\n{width: 3 x; colour: red; border: thick; align: middle; text: maybe}\n"
                           "{option: qrcode 9 z}\n{code: 1}\n{width 3}\n");
    ASSERT_EQ(p.warnings.size(), 8u);
    EXPECT_EQ(p.warnings[0].rfind("line 2, column 2: width", 0), 0u) << p.warnings[0];
    EXPECT_EQ(p.warnings[1].rfind("line 2, column 14: unknown property 'colour'", 0), 0u) << p.warnings[1];
    EXPECT_NE(p.warnings[2].find("thick"), std::string::npos);
    EXPECT_NE(p.warnings[5].find("option 9"), std::string::npos) << p.warnings[5];
    EXPECT_NE(p.warnings[6].find("'z'"), std::string::npos);
    EXPECT_NE(p.warnings[7].find("line 5"), std::string::npos);
    const Settings& s = p.doc.items.at(1).settings;
    EXPECT_TRUE(s.widths.empty());
    EXPECT_EQ(s.border, Border{});
    EXPECT_EQ(s.align, Side::Center);
    EXPECT_TRUE(s.wrap);
    EXPECT_EQ(s.code.cell, 3);
}

TEST(ReceiptGrammar, DocumentsThatAreNotUtf8AreRefusedNamingTheLine)
{
    try {
        parse("fine\nbad \xff byte\n");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::TypeMismatch);
        EXPECT_NE(e.context().find("line 2"), std::string::npos);
    }
}

TEST(ReceiptCells, CharactersTakeCellsByTheirWidth)
{
    EXPECT_EQ(character_cells(u"abc"), 3);
    EXPECT_EQ(character_cells(u"日本語"), 6);
    EXPECT_EQ(character_cells(u"ｶﾅ"), 2) << "halfwidth forms take one";
    EXPECT_EQ(character_cells(u"e\u0301"), 1);
    EXPECT_EQ(character_cells(u"ที่"), 1);
    EXPECT_EQ(character_cells(u"\U0001F600"), 2);
}

TEST(ReceiptCells, ColumnsSharePaperCells)
{
    Settings s;
    // Auto: spare cells shared; a line too long gives up cells widest first.
    LineCells auto_fit = place_columns({9, 4}, s, 48);
    ASSERT_EQ(auto_fit.columns.size(), 2u);
    EXPECT_EQ(auto_fit.columns[0].start, 0);
    EXPECT_EQ(auto_fit.columns[0].width + 1 + auto_fit.columns[1].width, 48);
    LineCells narrowed = place_columns({60, 5}, s, 48);
    EXPECT_EQ(narrowed.columns[1].width, 5) << "the short price keeps its cells";
    EXPECT_EQ(narrowed.columns[0].width, 42);

    // Fixed widths and '*', and a line narrower than the paper aligned.
    s.widths = {10, kFill, 8};
    LineCells fixed = place_columns({1, 1, 1}, s, 48);
    EXPECT_EQ(fixed.columns[1].start, 11);
    EXPECT_EQ(fixed.columns[1].width, 48 - 10 - 8 - 2);
    s.widths = {10, 10};
    s.align = Side::Right;
    EXPECT_EQ(place_columns({}, s, 48).columns[0].start, 48 - 21);
    s.align = Side::Left;
    EXPECT_EQ(place_columns({}, s, 48).columns[0].start, 0);

    // Vertical rules: outside the table and between its columns.
    s.align = Side::Center;
    s.widths = {kFill, 4};
    s.border = {true, 1};
    LineCells ruled = place_columns({}, s, 48);
    EXPECT_EQ(ruled.rules, (std::vector<int>{0, 48 - 6, 47}));
    EXPECT_EQ(ruled.columns[0].start, 1);
    EXPECT_EQ(ruled.columns[1].width, 4);

    // A width of 0 hides its column and its border.
    s.border = {false, 2};
    s.widths = {5, 0, 5};
    LineCells hidden = place_columns({}, s, 48);
    EXPECT_EQ(hidden.columns[1].width, 0);
    EXPECT_EQ(hidden.columns[2].start - (hidden.columns[0].start + 5), 2);
}

TEST(ReceiptCells, TheFontIsTheLargestWhoseZeroAndLineFitACell)
{
    // Against every size tried in turn: line heights round their ascent
    // and descent apart, so scaling from one size alone misjudges them.
    for (const char16_t* family : {u"Liberation Mono", u"Liberation Serif", u"DejaVu Sans"}) {
        FontSpec font;
        font.name = family;
        Typesetter probe(font);
        for (const auto& [across, down] : std::initializer_list<std::pair<double, int>>{
                 {12.0, 24}, {13.71, 27}, {5.66, 11}, {9.0, 18}, {15.6, 31}, {10.0, 20}, {7.5, 15}}) {
            int largest = 1;
            for (int em = 1; em <= 2 * down; ++em) {
                font.size_points = static_cast<Single>(em * 72.0 / 96.0);
                probe.font(font);
                const LineExtents e = probe.logical(u"0");
                if (e.right - e.left <= static_cast<long long>(across) && e.line_height <= down)
                    largest = em;
            }
            font.size_points = 10;
            probe.font(font);
            EXPECT_EQ(cell_em(probe, across, down), largest) << to_utf8(family) << " " << across << " x " << down;
        }
    }
}

// --- drawn: every check reads the pixels

ReceiptStyle style_576()
{
    ReceiptStyle style;
    style.width = 576;
    style.dpi = 203;
    return style;
}

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    bool empty() const { return right < 0; }
};

// The ink inside [x0, x1) x [y0, y1), as a box.
Box ink(const Picture& picture, int x0 = 0, int x1 = 1 << 30, int y0 = 0, int y1 = 1 << 30)
{
    const Image& image = picture.data().image;
    Box b;
    for (int y = std::max(0, y0); y < std::min(image.height(), y1); ++y)
        for (int x = std::max(0, x0); x < std::min(image.width(), x1); ++x)
            if (image.at(x, y) != 0xFFFFFF) {
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x + 1);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y + 1);
            }
    return b;
}

Picture one_page(std::string_view doc, const ReceiptStyle& style = style_576())
{
    const std::vector<Picture> pages = render_receipt(doc, style);
    EXPECT_EQ(pages.size(), 1u);
    return pages.at(0);
}

TEST(ReceiptDrawn, ColumnsStartAtTheirCells)
{
    // 48 cells of 12 pixels: columns 10 wide with one blank cell between.
    const Picture p = one_page("{width: 10 10 *}\n|A |B |C \n");
    EXPECT_EQ(p.width(), 576);
    EXPECT_EQ(p.data().dpi, 203);
    const Box a = ink(p, 0, 132);
    const Box b = ink(p, 132, 264);
    const Box c = ink(p, 264);
    EXPECT_LT(a.left, 12);
    EXPECT_GE(b.left, 11 * 12);
    EXPECT_LT(b.left, 12 * 12);
    EXPECT_GE(c.left, 22 * 12);
    EXPECT_LT(c.left, 23 * 12);
    // Drawn toward the right pipe: the last cell's ink ends in the last cell.
    const Box price = ink(one_page("Item | 9.99\n"), 288);
    EXPECT_GT(price.right, 576 - 12);
}

TEST(ReceiptDrawn, RulesSpanTheLineOrTheTable)
{
    const Picture plain = one_page("-\n");
    EXPECT_EQ(plain.height(), 24);
    const Box rule = ink(plain);
    EXPECT_EQ(rule.left, 0);
    EXPECT_EQ(rule.right, 576);
    EXPECT_EQ(rule.bottom - rule.top, 2);

    // Under vertical rules, from the first vertical to the last, and the
    // verticals of the table below meet it.
    const Picture table = one_page("{border: line; width: 10 10}\n-\n|a|b|\n-\n");
    const Box top_rule = ink(table, 0, 576, 0, 12);
    // 23 cells, centred: the verticals go through cells 12, 23 and 34.
    const int left_rule = (12 * 12 + 13 * 12 - 2) / 2;
    EXPECT_EQ(top_rule.left, left_rule);
    EXPECT_EQ(top_rule.right, (34 * 12 + 35 * 12 - 2) / 2 + 2);
    const Box vertical = ink(table, left_rule, left_rule + 2, 24, 48);
    EXPECT_EQ(vertical.top, 24);
    EXPECT_EQ(vertical.bottom, 48);
}

TEST(ReceiptDrawn, InvertFillsTheTextsCells)
{
    const Picture p = one_page("`INVERT`\n");
    const Box box = ink(p);
    const Image& image = p.data().image;
    int dark = 0;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x)
            dark += image.at(x, y) == 0 ? 1 : 0;
    EXPECT_GT(dark * 10, (box.right - box.left) * (box.bottom - box.top) * 6) << "mostly foreground";
    EXPECT_EQ(box.bottom - box.top, 24) << "the whole row";
    EXPECT_GE(box.right - box.left, 6 * 12 - 2);
}

TEST(ReceiptDrawn, SizesScaleEachDirectionAsAPrinterDoes)
{
    const Box plain = ink(one_page("H\n"));
    const Box wide = ink(one_page("^H\n"));
    const Box high = ink(one_page("^^H\n"));
    const Box big = ink(one_page("^^^^H\n"));
    const auto w = [](const Box& b) { return b.right - b.left; };
    const auto h = [](const Box& b) { return b.bottom - b.top; };
    EXPECT_EQ(w(wide), 2 * w(plain));
    EXPECT_EQ(h(wide), h(plain));
    EXPECT_EQ(w(high), w(plain));
    EXPECT_EQ(h(high), 2 * h(plain));
    EXPECT_EQ(w(big), 3 * w(plain));
    EXPECT_EQ(h(big), 3 * h(plain));
    EXPECT_EQ(one_page("^^^^H\n").height(), 3 * 24);
}

TEST(ReceiptDrawn, RightToLeftColumnsAndMirroredDocuments)
{
    // Hebrew and Arabic items with Latin prices: the item left, the price right.
    for (const char* doc : {"שלום | 12.50\n", "خبز عربي | 2.40\n"}) {
        const Picture mixed = one_page(doc);
        EXPECT_LT(ink(mixed, 0, 288).left, 12) << doc;
        EXPECT_GT(ink(mixed, 288).right, 576 - 12) << doc;
    }
    // Right to left inside its column: a Hebrew column drawn toward its
    // right pipe ends at the column's right edge.
    const Picture right = one_page("{width: 20 *}\n  שלום עולם|x\n");
    EXPECT_GT(ink(right, 0, 240).right, 240 - 12);
    // A document all in Hebrew mirrors its columns: the first on the right.
    const Picture mirrored = one_page("אא | בבבבבבבבבבבב\n");
    const Picture kept = [] {
        ReceiptStyle s = style_576();
        s.order = ColumnOrder::LeftToRight;
        return one_page("אא | בבבבבבבבבבבב\n", s);
    }();
    // The short first column: at the left edge kept, at the right mirrored.
    EXPECT_LT(ink(kept).left, 12);
    EXPECT_GT(ink(mirrored).right, 576 - 12);
    EXPECT_FALSE(test::same_pixels(mirrored.data().image, kept.data().image));
}

TEST(ReceiptDrawn, ThaiWrapsInsideItsColumnWithItsMarksInsideTheRows)
{
    ReceiptStyle s = style_576();
    s.width = 240;  // 20 cells
    const Picture p = one_page("{width: * 6}\nสวัสดีครับ ยินดีต้อนรับ ขอบคุณครับ | 9.00\n", s);
    EXPECT_GE(p.height(), 3 * 24) << "wrapped to three rows or more";
    const Box item = ink(p, 0, 13 * 12);
    EXPECT_GE(item.top, 0);
    EXPECT_LT(item.right, 13 * 12 + 1) << "inside its column";
    EXPECT_GE(ink(p, 14 * 12).left, 14 * 12);
}

TEST(ReceiptDrawn, LongParagraphsWrapAndNowrapCutsAtTheColumnsEdge)
{
    std::string words;
    for (int i = 0; i < 3000; ++i)
        words += "word ";
    // Far wider than a picture may be, as one line: wrapped all the same.
    const Picture wrapped = one_page(words + "\n");
    EXPECT_GT(wrapped.height(), 100 * 24);
    EXPECT_LE(ink(wrapped).right, 576);
    // Without wrapping, one row, cut at the last character that fits its column.
    const Picture cut = one_page("{text: nowrap; width: * 6}\n" + words + "| 1.00\n");
    EXPECT_EQ(cut.height(), 24);
    EXPECT_LE(ink(cut, 0, 41 * 12).right, 41 * 12);
    EXPECT_GE(ink(cut, 0, 41 * 12).right, 40 * 12 - 12) << "filled to the column's end";
    EXPECT_GE(ink(cut, 42 * 12).left, 42 * 12) << "the price in its own column";
}

TEST(ReceiptDrawn, AStopIsHeardBetweenLinesAndInsideLongOnes)
{
    struct Stop {};
    int calls = 0;
    PageEvents events;
    events.check_stop = [&] {
        if (++calls == 3)
            throw Stop{};
    };
    EXPECT_THROW(render_receipt("a\nb\nc\nd\ne\n", style_576(), events), Stop);
}

TEST(ReceiptDrawn, CutsMakePagesAndEmptyDocumentsAreRefused)
{
    EXPECT_EQ(render_receipt("a\n=\nb\n", style_576()).size(), 2u);
    EXPECT_EQ(render_receipt("=\na\n==\n=\nb\n=\n", style_576()).size(), 2u) << "no empty pages";
    EXPECT_EQ(test::error_number([] { render_receipt("=\n{width: 4}\n", style_576()); }),
              static_cast<int>(ErrorKind::InvalidPropertyValue));
    ReceiptStyle bad = style_576();
    bad.cpl = 0;
    EXPECT_EQ(test::error_number([&] { render_receipt("a", bad); }), static_cast<int>(ErrorKind::InvalidPropertyValue));
}

TEST(ReceiptDrawn, MonoDitheringKeepsTextAndDithersGreysInProportion)
{
    Image image(200, 40, 0xFFFFFF);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 200; ++x)
            image.set(x, y, x < 100 ? 0x404040 : 0xC0C0C0);
    for (int x = 10; x < 190; ++x)
        image.set(x, 30, 0x000000);  // a stroke of text
    dither_between(image, 0x000000, 0xFFFFFF);
    int dark_left = 0;
    int dark_right = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 200; ++x) {
            const Pixel p = image.at(x, y);
            ASSERT_TRUE(p == 0 || p == 0xFFFFFF);
            (x < 100 ? dark_left : dark_right) += p == 0 ? 1 : 0;
        }
    EXPECT_NEAR(dark_left / 2000.0, 1 - 0x40 / 255.0, 0.03);
    EXPECT_NEAR(dark_right / 2000.0, 1 - 0xC0 / 255.0, 0.03);
    for (int x = 0; x < 200; ++x) {
        EXPECT_EQ(image.at(x, 30), x >= 10 && x < 190 ? 0u : 0xFFFFFFu);
        EXPECT_EQ(image.at(x, 25), 0xFFFFFFu) << "no error leaks into the background";
    }
}

}  // namespace
}  // namespace lumarin
