// The command's own pieces that a run at a terminal or a pipe cannot pin
// down exactly: the progress bar's text, and lines split at every read
// boundary.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tools/lumarin/line_splitter.hpp"
#include "tools/lumarin/progress.hpp"

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

TEST(ProgressLine, FillsInProportion)
{
    EXPECT_EQ(progress_line(0, 0, 40), "[######################] 100% 0/0 lines");
    EXPECT_EQ(progress_line(50, 200, 40), "[####...............]  25% 50/200 lines");
    EXPECT_EQ(progress_line(50, 200, 12), " 25% 50/200");
}

}  // namespace
}  // namespace lumarin::cli
