// The command's own pieces that a run at a terminal or a pipe cannot pin
// down exactly: the progress bar's text.
#include <gtest/gtest.h>

#include "tools/lumarin/progress.hpp"

namespace lumarin::cli {
namespace {

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
