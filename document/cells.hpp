// The printer's cell model: a line is `cpl` cells, a character takes one
// (two when it is wide, as CJK is, none when it is a combining mark), and
// columns and borders are whole cells.
#pragma once

#include <string_view>
#include <vector>

#include "document/grammar.hpp"

namespace lumarin {

// The cells a text takes by its characters.
int character_cells(std::u16string_view text);

// Where a line's columns go, in cells from the line's left.
struct ColumnCells {
    int start = 0;
    int width = 0;  // 0: the column is not drawn
};

struct LineCells {
    std::vector<ColumnCells> columns;  // one for each of the settings' widths, or the text's columns
    // Cells whose middles carry vertical rules (border: line).
    std::vector<int> rules;
};

// Columns for a line of `natural.size()` columns whose text wants
// `natural[i]` cells each. Fixed widths are kept, '*' columns share what
// they leave; auto columns share the spare cells equally, or give up
// cells widest first when the text does not fit. A line narrower than
// `cpl` goes where `settings.align` puts it.
LineCells place_columns(const std::vector<int>& natural, const Settings& settings, int cpl);

}  // namespace lumarin
