// A receipt document read by its grammar: lines of columns separated by
// pipes, each column drawn toward the pipe it touches; lines of '-' are
// rules and lines of '=' cuts; a line of one column in braces sets
// properties, some kept from line to line; text marks underline ('_'),
// emphasis ('"'), invert ('`') and sizes ('^' to '^^^^^^^'), '~' is a space
// and '\' escapes. What the grammar lets a reader pass over (an unknown
// key, a value it cannot read) is a warning, and its default applies.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "document/codes.hpp"
#include "lumarin/types.hpp"

namespace lumarin {

// How a run of text is drawn: `wide` and `high` scale it, as a printer
// scales its dots, 1 to 6 times.
struct Decoration {
    bool underline = false;
    bool emphasis = false;
    bool invert = false;
    int wide = 1;
    int high = 1;

    friend bool operator==(const Decoration&, const Decoration&) noexcept = default;
};

struct Run {
    Text text;  // no control characters
    Decoration decoration;
};

enum class Side { Left, Center, Right };

// A column's text as paragraphs ("\n" starts a new one), each a list of
// runs, and the side it is drawn toward.
struct ColumnText {
    std::vector<std::vector<Run>> paragraphs;
    Side side = Side::Center;
};

// The gap between columns: `cells` blank cells, or with `line` one cell
// with a vertical rule through it, and rules at the table's two sides.
struct Border {
    bool line = false;
    int cells = 1;

    friend bool operator==(const Border&, const Border&) noexcept = default;
};

// A column width in cells; kFill shares the cells that the others leave.
inline constexpr int kFill = -1;

// What property lines set and later lines keep.
struct Settings {
    std::vector<int> widths;  // empty: auto, each column as wide as its text
    Border border;
    Side align = Side::Center;  // where a line narrower than the paper goes
    bool wrap = true;
    CodeOptions code;
};

struct TextLine {
    std::vector<ColumnText> columns;
};
struct RuleLine {};
struct CutLine {};
struct ImageLine {
    std::string base64;
};
struct CodeLine {
    std::string data;  // UTF-8
};

// One thing to draw, with the settings in force and where it was written.
struct Item {
    std::variant<TextLine, RuleLine, CutLine, ImageLine, CodeLine> what;
    Settings settings;
    std::size_t line = 0;  // from 1
};

struct Document {
    std::vector<Item> items;
};

// `warn` hears each thing passed over, as "line N, column C: ...".
// `check_stop` is called between lines. Throws TypeMismatch for a document
// that is not UTF-8, naming the line.
Document parse_document(std::string_view utf8, const std::function<void(const std::string&)>& warn,
                        const std::function<void()>& check_stop = {});

}  // namespace lumarin
