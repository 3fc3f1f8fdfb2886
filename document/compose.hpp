// A document's items laid out on the cells of a paper width: each item a
// block of rows, blocks stacked into pages, a cut ending a page.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/cells.hpp"
#include "document/grammar.hpp"
#include "layout/typesetter.hpp"
#include "layout/wrap.hpp"
#include "lumarin/receipt.hpp"
#include "surface/image.hpp"

namespace lumarin {

// The cell grid on the paper, in pixels.
struct CellGrid {
    int width = 0;  // the paper's
    int cpl = 1;
    int cell_height = 1;
    int rule = 1;  // the thickness of rules

    int x_of(int cell) const noexcept
    {
        return static_cast<int>((static_cast<long long>(cell) * width + cpl / 2) / cpl);
    }
    // Where a vertical rule through `cell` starts.
    int rule_x(int cell) const noexcept { return (x_of(cell) + x_of(cell + 1) - rule) / 2; }
    double cell_width() const noexcept { return static_cast<double>(width) / cpl; }
};

// A horizontal span of pixels a drawing may change.
struct Clip {
    long long left = 0;
    long long right = 0;
};

// A measured piece of a line: one run's text, or the part of it on this row.
struct Segment {
    Text text;
    Decoration decoration;
    TextMetrics metrics;
    bool colour = false;  // drawn through a scratch image, keeping its colours
    bool measured = false;  // `metrics` whole; else only its advance, as far as the paper's width

    long long advance() const { return (metrics.logical.right - metrics.logical.left) * decoration.wide; }
    int box_height() const { return metrics.logical.line_height * decoration.high; }
};

struct Row {
    std::vector<Segment> segments;
    bool right_to_left = false;
    long long width = 0;
    int height = 0;
    int pad_top = 0;  // for marks that reach above the boxes
    int core = 0;     // below pad_top: where the boxes stand
};

struct ColumnRows {
    std::vector<Row> rows;
    Side side = Side::Center;
    long long x = 0;
    long long width = 0;
    int height = 0;
};

// A paragraph as one text, and which run each code unit is in.
struct Flat {
    Text text;
    std::vector<std::size_t> run_of;
};

Flat flatten(const std::vector<Run>& runs);

// The largest whole-pixel em at which a '0' in the probe's font fits a
// cell `cell_across` pixels wide and its line one `cell_down` high (1 when
// none does). The probe is left at some size.
int cell_em(Typesetter& probe, double cell_across, int cell_down);

// One item, measured and ready to draw at any height.
struct Block {
    int height = 0;
    bool rule = false;          // a horizontal rule, joined to the verticals around it
    // Where it may draw colours other than the text's (pictures, colour
    // glyphs), from its top-left corner: dithered in 1-bit pictures.
    std::optional<PixelArea> colours;
    std::vector<int> verticals;  // x of the vertical rules through it
    std::function<void(Image&, int top)> draw;
};

class Composer {
public:
    Composer(const ReceiptStyle& style, const std::function<void(const std::string&)>& warn);

    void mirror(bool on) noexcept { mirror_ = on; }
    // The job's events: warnings, and a stop checked inside long measures.
    void events_to(const PageEvents& events)
    {
        warn_ = events.warn;
        check_stop_ = events.check_stop;
    }

    // The block for an item; a cut makes none.
    std::optional<Block> compose(const Item& item);
    // Every block on one picture, rules joined to the verticals beside them.
    // With `mono`, the rows of blocks with colours are dithered.
    void draw_page(Image& image, int top, const std::vector<Block>& blocks, bool mono) const;

private:
    Typesetter& setter(const Decoration& d);
    void choose_size();
    // A paragraph's runs measured whole, and the cells it wants.
    struct Paragraph {
        std::vector<Segment> segments;
        long long pixels = 0;
        int cells = 0;
        bool whole = true;  // every segment measured with its pixels
    };
    Segment measure_run(const Run& run);
    Paragraph measure_paragraph(const std::vector<Run>& runs);
    std::vector<TextSpan> row_spans(const std::vector<Run>& runs, const Flat& flat, long long width, bool wrap);
    Row make_row(const std::vector<Run>& runs, const Flat& flat, const TextSpan& span);
    void size_row(Row& row) const;
    ColumnRows lay_out_column(const ColumnText& text, std::vector<Paragraph>& paragraphs, const ColumnCells& at,
                              bool wrap);
    Block text_block(const TextLine& line, const Settings& settings, std::size_t source);
    Block rule_block(const Settings& settings);
    Block code_block(const CodeLine& code, const Settings& settings);
    Block image_block(const ImageLine& image, const Settings& settings);
    int aligned_x(int width, Side side) const;
    void draw_column(Image& image, int top, const ColumnRows& column);
    void draw_colour_segment(Image& image, const Segment& s, long long x, long long y, Colour ink, Clip clip);

    ReceiptStyle style_;
    std::function<void(const std::string&)> warn_;
    std::function<void()> check_stop_;
    Text family_;
    FontSpec base_;
    CellGrid grid_;
    // One drawer for every style: the fonts are loaded once.
    std::shared_ptr<TextDrawer> drawer_;
    // Regular, emphasised, underlined, both: made as they are first needed.
    std::array<std::unique_ptr<Typesetter>, 4> setters_;
    bool mirror_ = false;
};

}  // namespace lumarin
