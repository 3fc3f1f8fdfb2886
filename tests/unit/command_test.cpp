// The command's own pieces that a run at a terminal or a pipe cannot pin
// down exactly: the progress bar's text, lines split at every read
// boundary, and where decoding finds the first bad byte.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/text.hpp"
#include "tools/lumarin/command_error.hpp"
#include "tools/lumarin/decoder.hpp"
#include "tools/lumarin/input.hpp"
#include "tools/lumarin/line_splitter.hpp"
#include "tools/lumarin/progress.hpp"
#include "support.hpp"

namespace lumarin::cli {
namespace {

using Lines = std::vector<std::pair<std::string, std::size_t>>;  // bytes, offset

// The lines of `input` read in pieces of `piece` bytes.
Lines split(std::string_view input, std::size_t piece)
{
    Lines lines;
    const LineSink keep = [&](const RawLine& line) { lines.emplace_back(std::string(line.bytes), line.offset); };
    LineSplitter splitter;
    for (std::size_t at = 0; at < input.size(); at += piece)
        splitter.add(input.substr(at, piece), keep);
    splitter.finish(keep);
    return lines;
}

TEST(LineSplitter, EveryEndingAtEveryReadBoundary)
{
    const std::vector<std::pair<std::string, Lines>> cases{
        {"a\nb\n", {{"a", 0}, {"b", 2}}},
        {"a\r\nb\r\n", {{"a", 0}, {"b", 3}}},
        {"a\rb\r", {{"a", 0}, {"b", 2}}},
        {"a\rb", {{"a", 0}, {"b", 2}}},
        // Mixed, and blank lines of each kind: CR CR is two endings, LF CR
        // two, CR LF one.
        {"a\r\rb\n\rc\r\n\nd", {{"a", 0}, {"", 2}, {"b", 3}, {"", 5}, {"c", 6}, {"", 9}, {"d", 10}}},
        {"\r\n\r\n", {{"", 0}, {"", 2}}},
        {"x\r\n\n", {{"x", 0}, {"", 3}}},
    };
    for (const auto& [input, want] : cases)
        for (std::size_t piece = 1; piece <= input.size(); ++piece)
            EXPECT_EQ(split(input, piece), want) << testing::PrintToString(input) << " in pieces of " << piece;
}

TEST(LineSplitter, ALongLineIsHandedOverInItsOwnBufferAndWhatFollowsKept)
{
    // Lines of more than a mebibyte, read 64 KiB at a time, one ending in
    // CR LF split between two reads, the last with no ending at all.
    const std::string first(1'500'000, 'a');
    const std::string last(1'200'000, 'c');
    std::string input = first + "\r\nb\n" + last;
    std::size_t piece = 1 << 16;
    while ((first.size() + 1) % piece != 0)  // the CR ends a read
        ++piece;
    Lines lines;
    std::vector<bool> handed;
    const LineSink keep = [&](const RawLine& line) {
        handed.push_back(line.own != nullptr);
        if (line.own) {
            EXPECT_EQ(*line.own, line.bytes);
            lines.emplace_back(std::move(*line.own), line.offset);
        } else {
            lines.emplace_back(std::string(line.bytes), line.offset);
        }
    };
    LineSplitter splitter;
    for (std::size_t at = 0; at < input.size(); at += piece)
        splitter.add(std::string_view(input).substr(at, piece), keep);
    splitter.finish(keep);
    const Lines want{{first, 0}, {"b", first.size() + 2}, {last, first.size() + 4}};
    EXPECT_EQ(lines, want);
    EXPECT_EQ(handed, (std::vector<bool>{true, false, true}));
}

TEST(ProgressLine, HeldToAFullBarWhenMoreIsDoneThanCounted)
{
    // --wrap draws more lines than the input has: never past 100 %, never
    // wider than the terminal.
    for (const int columns : {80, 40, 12, 1, 0}) {
        const std::string line = progress_line(1000, 200, columns);
        EXPECT_LE(line.size(), static_cast<std::size_t>(std::max(columns - 1, 0))) << columns;
        if (columns >= 40) {
            EXPECT_NE(line.find("100%"), std::string::npos) << line;
            EXPECT_EQ(line.find('.'), std::string::npos) << line;  // no empty cell left
        }
    }
}

// The first bad byte is found exactly where the strict conversion the
// renderer uses would refuse: every one- and two-byte string, every three
// bytes after a lead byte of three or four, and four-byte forms.
TEST(Utf8, FirstBadByteAgreesWithTheStrictConversion)
{
    Text out;
    const auto agree = [&](const std::string& bytes) {
        return first_bad_utf8(bytes).has_value() == !from_utf8(bytes, out);
    };
    int disagreements = 0;
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            disagreements += !agree({static_cast<char>(a), static_cast<char>(b)});
            if (a >= 0xE0 && a <= 0xF4)
                for (int c = 0; c < 256; ++c) {
                    disagreements += !agree({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)});
                    if (a >= 0xF0)
                        disagreements += !agree({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                                                 '\x80'});
                }
        }
    EXPECT_EQ(disagreements, 0);
    // The offset is the bad sequence's first byte.
    EXPECT_EQ(first_bad_utf8("ab\xC3\xA9\xE2\x82x"), 4u);
    EXPECT_EQ(first_bad_utf8("\xF0\x9F\x98\x80\xF0\x8F\xBF\xBF"), 4u);  // an emoji, then an overlong form
    EXPECT_EQ(first_bad_utf8("\xED\xA0\x80"), 0u);                     // a surrogate
    EXPECT_EQ(first_bad_utf8("caf\xC3\xA9"), std::nullopt);
}

TEST(Decoder, ALongLineIsDecodedInPiecesWithAStopBetweenThem)
{
    // Characters of one to four bytes across the pieces' edges.
    std::string line;
    Text expected;
    while (line.size() < (std::size_t{5} << 20)) {
        line += "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
        expected += u"a\u00E9\u20AC\U0001F600";
    }
    const auto decoder = Decoder::for_encoding("UTF-8");
    std::size_t asked = 0;
    Text out;
    EXPECT_EQ(decoder->decode(line, out, [&] { ++asked; }), std::nullopt);
    EXPECT_EQ(out, expected);
    EXPECT_GE(asked, 4u) << "a stop asked for about every mebibyte";
    // A bad byte past the first piece is found where it is.
    const std::size_t bad = (std::size_t{3} << 20) + 2;  // an 'a'
    line[bad] = '\xFF';
    EXPECT_EQ(decoder->decode(line, out), bad);
}

TEST(ReadLines, AStopIsAskedForAfterEveryRead)
{
    // Bytes handled between two reads interrupt no read: the stop must be
    // asked for all the same.
    const test::TempDir dir;
    const auto path = dir / "input.txt";
    std::string text;
    while (text.size() < 300000)
        text += "a line of text\n";
    test::write_bytes(path, std::vector<std::byte>(reinterpret_cast<const std::byte*>(text.data()),
                                                   reinterpret_cast<const std::byte*>(text.data() + text.size())));
    const auto decoder = Decoder::for_encoding("UTF-8");
    std::size_t asked = 0;
    const auto lines = read_lines(path.string(), InputLimits{}, *decoder, [&] { ++asked; });
    EXPECT_EQ(lines.size(), text.size() / 15);
    EXPECT_GE(asked, text.size() >> 16);
    struct Stop {};
    EXPECT_THROW(read_lines(path.string(), InputLimits{}, *decoder, [] { throw Stop{}; }), Stop);
}

#ifndef _WIN32
TEST(Decoder, ACodePageLineIsConvertedInPiecesAndCharactersCutBetweenThemKept)
{
    // CP932 characters of two bytes, one byte off the pieces' edges.
    std::string line = "a";
    Text expected = u"a";
    while (line.size() < (std::size_t{3} << 20)) {
        line += "\x93\xfa\x96\x7b";  // 日本
        expected += u"\u65E5\u672C";
    }
    const auto decoder = Decoder::for_encoding("CP932");
    std::size_t asked = 0;
    Text out;
    EXPECT_EQ(decoder->decode(line, out, [&] { ++asked; }), std::nullopt);
    EXPECT_EQ(out, expected);
    EXPECT_GE(asked, 2u);
    // Straight to UTF-8, as the command holds lines: the same text.
    std::string utf8;
    EXPECT_EQ(decoder->decode_utf8(line, utf8), std::nullopt);
    EXPECT_TRUE(utf8 == to_utf8(expected));
    line += "\x93";  // a character cut short at the very end
    EXPECT_EQ(decoder->decode(line, out), line.size() - 1);
    EXPECT_EQ(decoder->decode_utf8(line, utf8), line.size() - 1);
}
#endif

TEST(Decoder, CodePagesToTheirCharacters)
{
    struct Case {
        std::string_view encoding;
        std::string bytes;
        Text text;
    };
    const Case cases[] = {
        {"CP437", "\xB0\xC9\xCD\x9B", u"\u2591\u2554\u2550\u00A2"},
        {"CP858", "\xD5\x82", u"\u20AC\u00E9"},
        {"CP1252", "\x80\x93x\x94\xE9", u"\u20AC\u201Cx\u201D\u00E9"},
        {"ISO-8859-1", "\xA4\xE9", u"\u00A4\u00E9"},
        {"ISO-8859-15", "\xA4\xBC", u"\u20AC\u0152"},
        {"utf-8", "\xE2\x82\xAC", u"\u20AC"},
    };
    for (const Case& c : cases) {
        const auto decoder = Decoder::for_encoding(c.encoding);
        Text out;
        EXPECT_EQ(decoder->decode(c.bytes, out), std::nullopt) << c.encoding;
        EXPECT_EQ(out, c.text) << c.encoding;
        EXPECT_EQ(decoder->is_utf8(), c.encoding == "utf-8");
    }
#ifndef _WIN32
    // Undefined in CP1252 to iconv; Windows' own page gives U+0081.
    Text out;
    EXPECT_EQ(Decoder::for_encoding("CP1252")->decode("ab\x81", out), 2u);
#endif
    try {
        Decoder::for_encoding("NO-SUCH-ENCODING");
        ADD_FAILURE() << "an unknown encoding was taken";
    } catch (const CommandError& e) {
        EXPECT_EQ(e.exit_status(), 2);
        EXPECT_NE(std::string(e.what()).find("'NO-SUCH-ENCODING'"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace lumarin::cli
