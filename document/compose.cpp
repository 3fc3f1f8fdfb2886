#include "document/compose.hpp"

#include <algorithm>
#include <cmath>

#include "common/fail.hpp"
#include "common/text.hpp"
#include "document/png_read.hpp"
#include "layout/wrap.hpp"
#include "surface/mono.hpp"
#include "lumarin/error.hpp"

namespace lumarin {

namespace {

// The paper's cells: 12-pixel characters at 203 dpi, as receipt printers
// set them, scaled to the picture's dpi.
int default_cpl(int width, int dpi)
{
    const double cell = 12.0 * dpi / 203.0;
    return std::max(1, static_cast<int>(std::lround(width / cell)));
}

Side mirrored(Side side)
{
    return side == Side::Left ? Side::Right : side == Side::Right ? Side::Left : Side::Center;
}

// Emoji and other pictographs may come from a colour font, whose glyphs
// are drawn in their own colours rather than as a coverage mask.
bool may_have_colour_glyphs(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (is_high_surrogate(c) || (c >= 0x2600 && c <= 0x27BF) || (c >= 0x2B00 && c <= 0x2BFF) || c == 0xFE0F)
            return true;
    }
    return false;
}

void fill(Image& image, long long x, long long y, long long w, long long h, Pixel colour, Clip clip)
{
    const long long x0 = std::max({x, clip.left, 0LL});
    const long long x1 = std::min({x + w, clip.right, static_cast<long long>(image.width())});
    const long long y0 = std::max(y, 0LL);
    const long long y1 = std::min(y + h, static_cast<long long>(image.height()));
    if (x0 < x1 && y0 < y1)
        image.fill_area(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                        static_cast<int>(y1 - y0), colour);
}

// The ink of a mask, `wide` x `high` pixels a bit, the logical box's
// top-left corner at (x, y): each run of set bits in a row is one fill.
void paint_scaled(Image& image, const TextMetrics& m, long long x, long long y, int wide, int high, Pixel colour,
                  Clip clip)
{
    const InkMask& mask = m.mask;
    const long long w = mask.area.width();
    const auto row_bytes = static_cast<std::size_t>(w + 7) / 8;
    const long long left = x + (mask.area.left - m.logical.left) * wide;
    const long long top = y + mask.area.top * high;
    const auto bit = [&](const std::uint8_t* bits, long long i) { return (bits[i / 8] >> (7 - i % 8)) & 1; };
    for (long long r = 0; r < mask.area.height(); ++r) {
        const std::uint8_t* bits = mask.bits.data() + row_bytes * static_cast<std::size_t>(r);
        for (long long i = 0; i < w;) {
            if (bits[i / 8] == 0 && i % 8 == 0) {
                i += 8;
                continue;
            }
            if (!bit(bits, i)) {
                ++i;
                continue;
            }
            long long end = i + 1;
            while (end < w && bit(bits, end))
                ++end;
            fill(image, left + i * wide, top + r * high, (end - i) * wide, high, colour, clip);
            i = end;
        }
    }
}

}  // namespace

// The segments of each row, from the side the column is drawn toward, and
// from the right in a right-to-left paragraph.
void Composer::draw_column(Image& image, int top, const ColumnRows& column)
{
    const Clip clip{column.x, column.x + column.width};
    long long y = top;
    for (const Row& row : column.rows) {
        const long long room = column.width - row.width;
        long long x = column.x + (column.side == Side::Left ? 0 : column.side == Side::Right ? room : room / 2);
        if (row.right_to_left)
            x += row.width;
        for (const Segment& s : row.segments) {
            const long long advance = s.advance();
            const long long left = row.right_to_left ? x - advance : x;
            x = row.right_to_left ? x - advance : x + advance;
            // Boxes stand on the row's foot, as a printer scales characters
            // up from the foot of their cell.
            const long long box_top = y + row.pad_top + row.core - s.box_height();
            Colour ink = style_.fg;
            if (s.decoration.invert) {
                fill(image, left, y, advance, row.height, pixel_from_colour(style_.fg), clip);
                ink = style_.bg;
            }
            if (s.colour)
                draw_colour_segment(image, s, left, box_top, ink, clip);
            else if (s.metrics.has_ink)
                paint_scaled(image, s.metrics, left, box_top, s.decoration.wide, s.decoration.high,
                             pixel_from_colour(ink), clip);
        }
        y += row.height;
    }
}

// Colour glyphs keep their colours: the text is drawn on a scratch image
// of the background under it, and every pixel it changed is copied,
// scaled.
void Composer::draw_colour_segment(Image& image, const Segment& s, long long x, long long y, Colour ink, Clip clip)
{
    if (!s.metrics.has_ink)
        return;
    const PixelArea& area = s.metrics.ink;
    const Pixel back = pixel_from_colour(ink == style_.fg ? style_.bg : style_.fg);
    Image scratch(static_cast<int>(area.width()), static_cast<int>(area.height()), back);
    setter(s.decoration).draw(scratch, -area.left, -area.top, s.text, ink);
    const int wide = s.decoration.wide;
    const int high = s.decoration.high;
    const long long left = x + (area.left - s.metrics.logical.left) * wide;
    const long long top = y + area.top * high;
    for (int r = 0; r < scratch.height(); ++r)
        for (int c = 0; c < scratch.width(); ++c)
            if (const Pixel p = scratch.at(c, r); p != back)
                fill(image, left + c * wide, top + static_cast<long long>(r) * high, wide, high, p, clip);
}

Composer::Composer(const ReceiptStyle& style, const std::function<void(const std::string&)>& warn)
    : style_(style), warn_(warn), drawer_(make_text_drawer())
{
    if (style.dpi < 1 || style.dpi > 100000)
        fail(ErrorKind::InvalidPropertyValue, "a dpi of " + std::to_string(style.dpi) + " is not 1 to 100000");
    if (style.width < 1 || style.width > kMaxImageSide)
        fail(ErrorKind::InvalidPropertyValue, "a width of " + std::to_string(style.width) + " pixels is not 1 to " +
                                                  std::to_string(kMaxImageSide));
    grid_.width = style.width;
    grid_.cpl = style.cpl.value_or(default_cpl(style.width, style.dpi));
    if (grid_.cpl < 1 || grid_.cpl > style.width)
        fail(ErrorKind::InvalidPropertyValue, std::to_string(grid_.cpl) + " characters a line is not 1 to " +
                                                  std::to_string(style.width) + " (the width in pixels)");
    grid_.cell_height = std::max(1, static_cast<int>(std::lround(2 * grid_.cell_width())));
    grid_.rule = std::max(1, static_cast<int>(std::lround(grid_.cell_width() / 6)));
    family_ = chosen_family(style.font, style.font_file);
    base_.name = family_;
    base_.file_face = file_face_of(family_);
    drawer_->between_pieces([this] {
        if (check_stop_)
            check_stop_();
    });
    choose_size();
    if (const auto fell_back = setter({}).fallback_warning(style.font_file.empty() && !style.font.empty());
        fell_back && warn_)
        warn_(*fell_back);
}

// Each size tried costs a font lookup, so the first is where a '0' of
// the usual 0.6 em would fill the cell, its measure says where the answer
// lies, and sizes that scaling says cannot fit, after rounding, are not
// tried.
int cell_em(Typesetter& probe, double cell_across, int cell_down)
{
    FontSpec font = probe.font();
    const auto extents_at = [&](int em) {
        font.size_points = static_cast<Single>(em * 72.0 / 96.0);
        probe.font(font);
        return probe.logical(u"0");
    };
    const auto fits = [&](int em) {
        const LineExtents e = extents_at(em);
        return e.right - e.left <= static_cast<long long>(cell_across) && e.line_height <= cell_down;
    };
    const int most = std::max(1, std::min(cell_down * 2, kMaxFontPoints * 96 / 72));
    const int first = std::clamp(static_cast<int>(cell_across / 0.6), 1, most);
    const LineExtents e = extents_at(first);
    const double across = static_cast<double>(std::max<long long>(1, e.right - e.left)) / first;
    const double down = static_cast<double>(std::max(1, e.line_height)) / first;
    // The scale comes from whole pixels at one size, each rounded by up to
    // half a pixel: an advance may come out a pixel under the scaled one,
    // and a line's height, its ascent and descent rounded apart, two.
    const auto cannot_fit = [&](int em) { return em * across > cell_across + 1 || em * down > cell_down + 2; };
    int em = std::clamp(static_cast<int>(std::min(cell_across / across, cell_down / down)), 1, most);
    while (em > 1 && !fits(em))
        --em;
    while (em < most && !cannot_fit(em + 1) && fits(em + 1))
        ++em;
    return em;
}

// The grammar's characters are a cell each.
void Composer::choose_size()
{
    Typesetter probe(base_, drawer_);
    base_.size_points = static_cast<Single>(cell_em(probe, grid_.cell_width(), grid_.cell_height) * 72.0 / 96.0);
}

Typesetter& Composer::setter(const Decoration& d)
{
    const std::size_t index = (d.emphasis ? 1 : 0) | (d.underline ? 2 : 0);
    if (!setters_[index]) {
        FontSpec font = base_;
        font.style.bold = d.emphasis;
        font.style.underline = d.underline;
        setters_[index] = std::make_unique<Typesetter>(font, drawer_);
    }
    return *setters_[index];
}

int Composer::aligned_x(int width, Side side) const
{
    if (mirror_)
        side = mirrored(side);
    const int room = grid_.width - width;
    return side == Side::Left ? 0 : side == Side::Right ? room : room / 2;
}

std::optional<Block> Composer::compose(const Item& item)
{
    try {
        return std::visit(
            [&](const auto& what) -> std::optional<Block> {
                using T = std::decay_t<decltype(what)>;
                if constexpr (std::is_same_v<T, TextLine>)
                    return text_block(what, item.settings, item.line);
                else if constexpr (std::is_same_v<T, RuleLine>)
                    return rule_block(item.settings);
                else if constexpr (std::is_same_v<T, CodeLine>)
                    return code_block(what, item.settings);
                else if constexpr (std::is_same_v<T, ImageLine>)
                    return image_block(what, item.settings);
                else
                    return std::nullopt;
            },
            item.what);
    } catch (const Error& e) {
        throw e.at("line " + std::to_string(item.line));
    }
}

Flat flatten(const std::vector<Run>& runs)
{
    Flat flat;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        flat.text += runs[r].text;
        flat.run_of.insert(flat.run_of.end(), runs[r].text.size(), r);
    }
    return flat;
}

// A run is measured with its pixels when it may fit the paper; a longer
// one only as far as the paper's width, as it is wrapped or cut anyway.
Segment Composer::measure_run(const Run& run)
{
    Segment s{run.text, run.decoration, {}, may_have_colour_glyphs(run.text)};
    const auto limit = static_cast<std::size_t>(std::min(2000, 4 * grid_.cpl));
    if (run.text.size() <= limit) {
        s.metrics = setter(run.decoration).measure(run.text, true);
        s.measured = true;
    } else {
        const long long w = setter(run.decoration).width_up_to(run.text, grid_.width + 1);
        s.metrics.logical.right = w;
    }
    return s;
}

Composer::Paragraph Composer::measure_paragraph(const std::vector<Run>& runs)
{
    Paragraph p;
    for (const Run& run : runs) {
        Segment s = measure_run(run);
        p.pixels += s.advance();
        p.cells = std::min(p.cells + character_cells(run.text) * run.decoration.wide, 4 * grid_.cpl);
        p.whole = p.whole && s.measured;
        p.segments.push_back(std::move(s));
    }
    const double cell = grid_.cell_width();
    p.cells = std::max(p.cells, static_cast<int>(std::min<double>(std::ceil(p.pixels / cell - 1e-9), 4 * grid_.cpl)));
    return p;
}

// Where a paragraph's rows break in a column `width` pixels wide: at the
// language's breaks, or with `nowrap` only once, at the last character
// that fits, the rest left out.
std::vector<TextSpan> Composer::row_spans(const std::vector<Run>& runs, const Flat& flat, long long width, bool wrap)
{
    std::vector<std::uint8_t> flags = setter({}).breaks(flat.text);
    if (!wrap)
        for (std::uint8_t& f : flags)
            f = (f & kClusterStart) ? static_cast<std::uint8_t>(f | kLineBreak) : f;
    std::vector<TextSpan> spans = wrap_text(flat.text.size(), flags, width, [&](std::size_t b, std::size_t e) {
        long long w = 0;
        while (b < e && w <= width) {
            const std::size_t r = flat.run_of[b];
            std::size_t run_end = b;
            while (run_end < e && flat.run_of[run_end] == r)
                ++run_end;
            const Decoration& d = runs[r].decoration;
            w += setter(d).width_up_to(std::u16string_view(flat.text).substr(b, run_end - b), width + 1) * d.wide;
            b = run_end;
        }
        return w;
    });
    if (!wrap && spans.size() > 1)
        spans.resize(1);
    return spans;
}

// A row of the runs in [span.begin, span.end), each measured with its pixels.
Row Composer::make_row(const std::vector<Run>& runs, const Flat& flat, const TextSpan& span)
{
    Row row;
    for (std::size_t b = span.begin; b < span.end;) {
        const std::size_t r = flat.run_of[b];
        std::size_t e = b;
        while (e < span.end && flat.run_of[e] == r)
            ++e;
        Text piece = flat.text.substr(b, e - b);
        const Decoration& d = runs[r].decoration;
        TextMetrics m = setter(d).measure(piece, true);
        const bool colour = may_have_colour_glyphs(piece);
        row.segments.push_back({std::move(piece), d, std::move(m), colour, true});
        b = e;
    }
    return row;
}

// A row's height: the cells of its tallest run, and more where marks reach
// above or below the boxes.
void Composer::size_row(Row& row) const
{
    int core = grid_.cell_height;
    int pad_bottom = 0;
    for (const Segment& s : row.segments) {
        row.width += s.advance();
        core = std::max({core, grid_.cell_height * s.decoration.high, s.box_height()});
        if (s.metrics.has_ink) {
            row.pad_top = std::max(row.pad_top, static_cast<int>(-s.metrics.ink.top) * s.decoration.high);
            pad_bottom = std::max(pad_bottom,
                                  static_cast<int>(s.metrics.ink.bottom - s.metrics.logical.line_height) *
                                      s.decoration.high);
        }
    }
    row.core = core;
    row.height = core + row.pad_top + pad_bottom;
}

ColumnRows Composer::lay_out_column(const ColumnText& text, std::vector<Paragraph>& paragraphs, const ColumnCells& at,
                                    bool wrap)
{
    ColumnRows out;
    out.x = grid_.x_of(at.start);
    out.width = grid_.x_of(at.start + at.width) - out.x;
    out.side = mirror_ ? mirrored(text.side) : text.side;
    for (std::size_t p = 0; p < text.paragraphs.size(); ++p) {
        const std::vector<Run>& runs = text.paragraphs[p];
        Paragraph& measured = paragraphs[p];
        const Flat flat = flatten(runs);
        std::vector<Row> rows;
        if (measured.whole && measured.pixels <= out.width) {
            rows.emplace_back();
            rows.back().segments = std::move(measured.segments);
        } else {
            for (const TextSpan& span : row_spans(runs, flat, out.width, wrap))
                rows.push_back(make_row(runs, flat, span));
        }
        const bool rtl = starts_right_to_left(flat.text);
        for (Row& row : rows) {
            row.right_to_left = rtl;
            size_row(row);
            out.height += row.height;
            out.rows.push_back(std::move(row));
        }
    }
    return out;
}

Block Composer::text_block(const TextLine& line, const Settings& settings, std::size_t source)
{
    // Each column's paragraphs measured whole, and the cells they want.
    std::vector<std::vector<Paragraph>> measured(line.columns.size());
    std::vector<int> natural(line.columns.size(), 0);
    for (std::size_t c = 0; c < line.columns.size(); ++c)
        for (const std::vector<Run>& runs : line.columns[c].paragraphs) {
            measured[c].push_back(measure_paragraph(runs));
            natural[c] = std::max(natural[c], measured[c].back().cells);
        }
    LineCells cells = place_columns(natural, settings, grid_.cpl);
    if (cells.columns.size() < line.columns.size() && warn_)
        warn_("line " + std::to_string(source) + ": " + std::to_string(line.columns.size()) +
              " columns, but the widths give " + std::to_string(cells.columns.size()) + "; the rest are left out");
    if (mirror_) {
        for (ColumnCells& c : cells.columns)
            c.start = grid_.cpl - c.start - c.width;
        for (int& r : cells.rules)
            r = grid_.cpl - 1 - r;
    }

    auto columns = std::make_shared<std::vector<ColumnRows>>();
    int height = grid_.cell_height;
    for (std::size_t c = 0; c < cells.columns.size() && c < line.columns.size(); ++c) {
        if (cells.columns[c].width == 0)
            continue;
        columns->push_back(lay_out_column(line.columns[c], measured[c], cells.columns[c], settings.wrap));
        height = std::max(height, columns->back().height);
    }

    Block block;
    block.height = height;
    for (const ColumnRows& column : *columns)
        for (const Row& row : column.rows)
            for (const Segment& s : row.segments)
                if (s.colour)
                    block.colours = PixelArea{0, 0, grid_.width, height};
    for (int r : cells.rules)
        block.verticals.push_back(grid_.rule_x(r));
    block.draw = [this, columns, height, verticals = block.verticals](Image& image, int top) {
        for (const ColumnRows& column : *columns)
            draw_column(image, top, column);
        for (int x : verticals)
            fill(image, x, top, grid_.rule, height, pixel_from_colour(style_.fg), {0, grid_.width});
    };
    return block;
}

Block Composer::rule_block(const Settings& settings)
{
    long long left = 0;
    long long right = grid_.width;
    // Under vertical rules, a rule spans the table, from its first
    // vertical to its last.
    if (settings.border.line) {
        const LineCells cells = place_columns({}, settings, grid_.cpl);
        if (!cells.rules.empty()) {
            const auto [lo, hi] = std::minmax_element(cells.rules.begin(), cells.rules.end());
            const int first = mirror_ ? grid_.cpl - 1 - *hi : *lo;
            const int last = mirror_ ? grid_.cpl - 1 - *lo : *hi;
            left = grid_.rule_x(first);
            right = grid_.rule_x(last) + grid_.rule;
        }
    }
    Block block;
    block.height = grid_.cell_height;
    block.rule = true;
    block.draw = [this, left, right](Image& image, int top) {
        fill(image, left, top + (grid_.cell_height - grid_.rule) / 2, right - left, grid_.rule,
             pixel_from_colour(style_.fg), {0, grid_.width});
    };
    return block;
}

Block Composer::code_block(const CodeLine& line, const Settings& settings)
{
    auto code = std::make_shared<CodeImage>(draw_code(line.data, settings.code));
    if (code->width > grid_.width)
        fail(ErrorKind::InvalidPropertyValue,
             "the code is " + std::to_string(code->width) + " pixels wide, wider than the paper's " +
                 std::to_string(grid_.width) + ": use a smaller module or cell size, or less data");
    auto hri = std::make_shared<std::optional<Segment>>();
    if (settings.code.hri && settings.code.symbology != Symbology::QrCode && !code->hri.empty()) {
        Text text;
        if (from_utf8(code->hri, text))
            hri->emplace(Segment{text, {}, setter({}).measure(text, true), false});
    }
    Block block;
    // Bars get half a cell of space above and below, apart from the text
    // around them; a QR code's quiet zone is space enough.
    const int gap = settings.code.symbology == Symbology::QrCode ? 0 : grid_.cell_height / 2;
    block.height = gap + code->height + (*hri ? grid_.cell_height : 0) + gap;
    const int x = aligned_x(code->width, settings.align);
    block.draw = [this, code, hri, x, gap](Image& image, int at) {
        const int top = at + gap;
        const Pixel ink = pixel_from_colour(style_.fg);
        const Clip all{0, grid_.width};
        for (int r = 0; r < code->height; ++r) {
            const std::uint8_t* row = code->dark.data() + static_cast<std::size_t>(r) * code->width;
            for (int c = 0; c < code->width;) {
                if (!row[c]) {
                    ++c;
                    continue;
                }
                int end = c;
                while (end < code->width && row[end])
                    ++end;
                fill(image, x + c, top + r, end - c, 1, ink, all);
                c = end;
            }
        }
        if (const auto& text = *hri; text && text->metrics.has_ink) {
            const long long left = x + (code->width - text->advance()) / 2;
            const long long y = top + code->height + grid_.cell_height - text->box_height();
            paint_scaled(image, text->metrics, left, y, 1, 1, ink, all);
        }
    };
    return block;
}

Block Composer::image_block(const ImageLine& line, const Settings& settings)
{
    const std::vector<std::byte> png = decode_base64(line.base64);
    auto picture = std::make_shared<DecodedImage>(fit_width(decode_png(png, pixel_from_colour(style_.bg)), grid_.width));
    Block block;
    block.height = picture->height;
    const int x = aligned_x(picture->width, settings.align);
    block.colours = PixelArea{x, 0, x + picture->width, picture->height};
    block.draw = [picture, x](Image& image, int top) {
        for (int r = 0; r < picture->height; ++r) {
            const int y = top + r;
            if (y < 0 || y >= image.height())
                continue;
            image.write_pixels(x, y, picture->width,
                               picture->pixels.data() + static_cast<std::size_t>(r) * picture->width);
        }
    };
    return block;
}

void Composer::draw_page(Image& image, int top, const std::vector<Block>& blocks, bool mono) const
{
    const Pixel ink = pixel_from_colour(style_.fg);
    int y = top;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const Block& block = blocks[i];
        block.draw(image, y);
        if (block.rule) {
            // Verticals above and below meet the rule at its middle.
            const int middle = y + (grid_.cell_height - grid_.rule) / 2;
            if (i > 0)
                for (int x : blocks[i - 1].verticals)
                    fill(image, x, y, grid_.rule, middle - y + grid_.rule, ink, {0, grid_.width});
            if (i + 1 < blocks.size())
                for (int x : blocks[i + 1].verticals)
                    fill(image, x, middle, grid_.rule, y + block.height - middle, ink, {0, grid_.width});
        }
        if (mono && block.colours) {
            const PixelArea& a = *block.colours;
            dither_between(image, ink, pixel_from_colour(style_.bg), PixelArea{a.left, y + a.top, a.right, y + a.bottom});
        }
        y += block.height;
    }
}

}  // namespace lumarin
