// The page: fonts chosen, lines wrapped and set on tab stops, measured,
// placed and drawn into one picture.
#include "lumarin/page.hpp"

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <string>
#include <utility>

#include "common/text.hpp"
#include "layout/place.hpp"
#include "layout/printable.hpp"
#include "layout/tabs.hpp"
#include "layout/typesetter.hpp"
#include "layout/wrap.hpp"
#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "lumarin/limits.hpp"
#include "lumarin/version.hpp"
#include "surface/canvas.hpp"
#include "surface/picture.hpp"

namespace lumarin {

namespace {

// 0x00BBGGRR as #RRGGBB.
std::string hex_colour(std::uint32_t colour)
{
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "#";
    for (const int shift : {0, 8, 16})
        for (const int nibble : {4, 0})
            out += kHex[(colour >> (shift + nibble)) & 0xF];
    return out;
}

std::string line_name(std::size_t n) { return "line " + std::to_string(n); }

// Puts `where` in front of a failure's message, keeping its kind.
template <typename Step>
auto at(const std::string& where, Step step)
{
    try {
        return step();
    } catch (const Error& e) {
        throw e.at(where);
    }
}

// A line's text is held as UTF-8, half the size of UTF-16 for most text,
// and set out as UTF-16 only while it is measured or drawn. The lines a
// line wraps into share its text rather than copy it.
struct Line {
    std::shared_ptr<const std::string> whole;  // printable, tabs kept, in UTF-8
    std::size_t begin = 0;                     // this line's bytes of it
    std::size_t end = 0;
    std::size_t source = 0;

    Line(std::string text, std::size_t source_line)
        : whole(std::make_shared<const std::string>(std::move(text))), end(whole->size()), source(source_line)
    {
    }
    Line(const Line& from, std::size_t first, std::size_t last)
        : whole(from.whole), begin(first), end(last), source(from.source)
    {
    }
    std::string_view text() const { return std::string_view(*whole).substr(begin, end - begin); }
};

Text utf16_of(std::string_view utf8)
{
    Text wide;
    from_utf8(utf8, wide);  // made from valid text, so valid
    return wide;
}

Text utf16_of(const Line& line) { return utf16_of(line.text()); }

// UTF-8 bytes of the first `units` UTF-16 code units of `wide`.
std::size_t utf8_length(std::u16string_view wide, std::size_t units)
{
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t c = wide[i];
        bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : is_high_surrogate(c) ? 4 : is_low_surrogate(c) ? 0 : 3;
    }
    return bytes;
}

// Where a long line's next piece to wrap ends, about `from` bytes in: after
// a space before an ASCII character that is not one, where the breaks on
// either side need nothing from the other; else before any ASCII
// character; the end where neither comes soon.
std::size_t wrap_piece_end(std::string_view text, std::size_t from)
{
    constexpr std::size_t kSearch = 1 << 16;
    const std::size_t limit = std::min(text.size(), from + kSearch);
    for (std::size_t at = std::max<std::size_t>(from, 1); at < limit; ++at)
        if (text[at - 1] == ' ' && static_cast<unsigned char>(text[at]) < 0x80 && text[at] != ' ')
            return at;
    for (std::size_t at = from; at < limit; ++at)
        if (static_cast<unsigned char>(text[at]) < 0x80)
            return at;
    return text.size();
}

// A part of a line where it is drawn: x from the line box's left edge.
struct DrawnRun {
    std::size_t begin = 0;
    std::size_t end = 0;
    long long x = 0;
    bool has_ink = true;
    InkMask mask;  // the pixels to paint, where whole-pixel edges keep them
};

class PageMaker {
public:
    PageMaker(PageStyle style, const PageEvents& events);
    Picture make(std::vector<Line> lines, const PageEvents& events);
    std::vector<Line> wrap(std::vector<Line> lines);
    // The bytes of a long line wrapped at once.
    static constexpr std::size_t kWrapPiece = std::size_t{1} << 18;

private:
    FontSpec font_for(double points96) const;
    void choose_font();
    void fit_columns();
    long long area() const { return *style_.width - 2LL * style_.side; }
    // The size in points and the dpi, for messages.
    std::string size_name() const
    {
        return std::to_string(std::lround(ts_.font().size_points * 96.0 / style_.dpi)) + " and " +
               std::to_string(style_.dpi) + " dpi";
    }
    long long part_width(std::u16string_view part) { return part.empty() ? 0 : ts_.width(part); }
    std::vector<TextSpan> wrap_piece(std::u16string_view text, long long width, std::size_t source);
    void refuse_long_and_too_wide(std::string_view text);
    LineBox measure_line(const Line& line, std::vector<DrawnRun>& runs);
    // measure_line, its failures naming the line.
    LineBox measure_placed(const Line& line, std::vector<DrawnRun>& runs);
    void draw_line(Image& image, const Placed::Point& at, const Line& line, std::vector<DrawnRun>& runs);
    PlaceRules place_rules(int line_height) const;
    std::shared_ptr<PictureData> new_picture(long long width, long long height) const;
    void refuse_too_many(std::size_t lines, long long pitch) const;
    Picture make_streamed(std::vector<Line> lines);
    void warn(const std::string& message) const
    {
        if (events_->warn)
            events_->warn(message);
    }
    void check_stop() const
    {
        if (events_->check_stop)
            events_->check_stop();
    }

    static const PageEvents& no_events()
    {
        static const PageEvents none;
        return none;
    }

    PageStyle style_;
    const PageEvents* events_;  // the set-up's or the job's while it runs
    Text family_;
    Typesetter ts_;
    PixelTabs tabs_;
};

PageMaker::PageMaker(PageStyle style_given, const PageEvents& events)
    : style_(std::move(style_given)), events_(&events), ts_(FontSpec{})
{
    const PageStyle& style = style_;
    if (style.dpi < 1)
        fail(ErrorKind::InvalidPropertyValue, "a dpi of " + std::to_string(style.dpi) + " is not at least 1");
    if ((style.wrap || style.columns) && !style.width)
        fail(ErrorKind::InvalidPropertyValue,
             std::string(style.wrap ? "wrapping" : "fitting columns") + " needs a width");
    choose_font();
    ts_.between_pieces([this] { check_stop(); });
    if (style.columns)
        fit_columns();
    const long long cell = std::max(1LL, part_width(u"0"));
    tabs_ = resolve_tabs(style.tabs, cell, style.width ? area() : 0);
    if ((style.fg & 0xFFFFFF) == (style.bg & 0xFFFFFF))
        warn("the text and the background are both " + hex_colour(style.fg) + ": the text will not show");
    events_ = &no_events();
}

FontSpec PageMaker::font_for(double points96) const
{
    FontSpec font;
    font.name = family_;
    font.size_points = static_cast<Single>(points96);
    font.style = {style_.bold, style_.italic, style_.underline, style_.strikethrough};
    font.antialias = style_.antialias && !style_.mono;
    font.file_face = file_face_of(family_);
    return font;
}

void PageMaker::choose_font()
{
    family_ = chosen_family(style_.font, style_.font_file);
    const double points96 = style_.size * style_.dpi / 96.0;
    if (!(style_.size > 0) || points96 > kMaxFontPoints)
        fail(ErrorKind::InvalidPropertyValue,
             "a size of " + std::to_string(std::lround(style_.size)) + " points at " + std::to_string(style_.dpi) +
                 " dpi is " + std::to_string(std::lround(points96)) + " points at 96 dpi; a font may have 1 to " +
                 std::to_string(kMaxFontPoints));
    ts_.font(font_for(points96));
    if (const auto fell_back = ts_.fallback_warning(style_.font_file.empty() && !style_.font.empty()))
        warn(*fell_back);
}

// The largest whole-pixel em at which `columns` cells fill the text area.
void PageMaker::fit_columns()
{
    const int columns = *style_.columns;
    if (columns < 1)
        fail(ErrorKind::InvalidPropertyValue, std::to_string(columns) + " columns is not at least 1");
    const Text cells(static_cast<std::size_t>(columns), u'0');
    const auto fits = [&](int em) {
        ts_.font(font_for(em * 72.0 / 96.0));
        return ts_.width(cells) <= area();
    };
    int lo = 0;
    int hi = kMaxFontPoints * 96 / 72 + 1;
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        (fits(mid) ? lo : hi) = mid;
    }
    if (lo == 0)
        fail(ErrorKind::InvalidPropertyValue, std::to_string(columns) + " columns do not fit in " +
                                                  std::to_string(area()) + " pixels at any size");
    ts_.font(font_for(lo * 72.0 / 96.0));
}

// A long line is wrapped a piece at a time, so that no more than a piece
// is held as UTF-16 with its breaks: the last line a piece makes is
// wrapped again with the next piece, which gives the lines wrapping the
// whole would. A piece that makes one line grows until it makes more.
std::vector<Line> PageMaker::wrap(std::vector<Line> lines)
{
    std::vector<Line> out;
    const long long width = std::max(1LL, area());
    const long long pitch = style_.line_spacing.value_or(std::max(1, ts_.logical(u"").line_height));
    for (Line& line : lines) {
        const std::string_view whole = line.text();
        std::size_t piece = kWrapPiece;
        for (std::size_t start = 0; start < whole.size() || start == 0;) {
            check_stop();
            const std::size_t end =
                whole.size() - start <= piece ? whole.size() : wrap_piece_end(whole, start + piece);
            const Text wide = utf16_of(whole.substr(start, end - start));
            const std::vector<TextSpan> spans = wrap_piece(wide, width, line.source);
            const bool last_piece = end == whole.size();
            if (!last_piece && spans.size() < 2) {
                piece *= 2;
                continue;
            }
            const std::size_t kept = last_piece ? spans.size() : spans.size() - 1;
            for (std::size_t k = 0; k < kept; ++k) {
                const std::size_t begin = line.begin + start + utf8_length(wide, spans[k].begin);
                out.emplace_back(line, begin, begin + utf8_length(std::u16string_view(wide).substr(spans[k].begin),
                                                                  spans[k].end - spans[k].begin));
            }
            // Lines alone too many for any picture: refused before the rest is wrapped.
            refuse_too_many(out.size(), pitch);
            if (last_piece)
                break;
            start += utf8_length(wide, spans.back().begin);
            piece = kWrapPiece;
        }
        line.whole.reset();  // its text lives on in the lines it made
    }
    return out;
}

std::vector<TextSpan> PageMaker::wrap_piece(std::u16string_view text, long long width, std::size_t source)
{
    std::vector<std::uint8_t> flags;
    {
        Text for_breaks(text);
        std::replace(for_breaks.begin(), for_breaks.end(), u'\t', u' ');
        flags = at(line_name(source), [&] { return ts_.breaks(for_breaks); });
    }
    auto spans = at(line_name(source), [&] {
        return wrap_text(text.size(), flags, width, [&](std::size_t begin, std::size_t end) {
            check_stop();
            return set_on_tabs(text.substr(begin, end - begin), tabs_, [&](std::u16string_view part) {
                       return part.empty() ? 0 : ts_.width_up_to(part, width + 1);
                   }).width;
        });
    });
    for (const TextSpan& span : spans)
        if (span.too_wide)
            refuse_too_wide_character(source, *style_.width, style_.side);
    return spans;
}

// A long line whose first piece is already wider than any picture is
// refused before the whole is set out as UTF-16: the rest only adds to
// its width.
void PageMaker::refuse_long_and_too_wide(std::string_view text)
{
    if (text.size() <= kWrapPiece)
        return;
    const std::size_t end = std::min(text.find('\t'), wrap_piece_end(text, kWrapPiece));
    const long long width = ts_.width_up_to(utf16_of(text.substr(0, end)), kMaxImageSide);
    if (width > kMaxImageSide)
        fail(ErrorKind::OutOfMemory, "text more than " + grouped(kMaxImageSide) + " pixels wide");
}

LineBox PageMaker::measure_line(const Line& line, std::vector<DrawnRun>& runs)
{
    refuse_long_and_too_wide(line.text());
    const Text wide = utf16_of(line);
    const std::u16string_view text(wide);
    // Each part between tabs is measured once, ink and all, as the stops
    // ask for its width; a decimal stop's part before its point is only
    // measured across.
    std::vector<std::pair<std::size_t, TextMetrics>> parts;  // by where they start
    const TabbedLine set = set_on_tabs(text, tabs_, [&](std::u16string_view part) -> long long {
        const auto begin = static_cast<std::size_t>(part.data() - text.data());
        const std::size_t end = begin + part.size();
        if (end < text.size() && text[end] != u'\t')
            return part_width(part);
        parts.emplace_back(begin, ts_.measure(part, !ts_.font().antialias));
        const LineExtents& logical = parts.back().second.logical;
        return logical.right - logical.left;
    });
    LineBox box;
    box.width = set.width;
    box.right_to_left = starts_right_to_left(text);
    for (const TabbedRun& run : set.runs) {
        const auto found = std::find_if(parts.begin(), parts.end(), [&](const auto& p) { return p.first == run.begin; });
        TextMetrics& m = found->second;
        const long long width = m.logical.right - m.logical.left;
        // A line that starts right to left runs its tab stops from the right.
        const long long x = box.right_to_left ? set.width - run.x - width : run.x;
        runs.push_back({run.begin, run.end, x - m.logical.left, m.has_ink, std::move(m.mask)});
        if (!m.has_ink)
            continue;
        const PixelArea ink{x - m.logical.left + m.ink.left, m.ink.top, x - m.logical.left + m.ink.right,
                            m.ink.bottom};
        box.ink = box.has_ink ? bounding(box.ink, ink) : ink;
        box.has_ink = true;
    }
    return box;
}

void check_picture_size(const Placed& page, std::size_t lines, const std::string& size)
{
    if (page.width <= kMaxImageSide && page.height <= kMaxImageSide && page.width * page.height <= kMaxImagePixels)
        return;
    fail(ErrorKind::OutOfMemory, "the picture would be " + grouped(page.width) + " x " + grouped(page.height) +
                                     " pixels for " + grouped(static_cast<long long>(lines)) + " lines at size " +
                                     size + ", more than " +
                                     grouped(kMaxImageSide) + " pixels a side or " +
                                     grouped(kMaxImagePixels) +
                                     " pixels in all: use a smaller size, dpi or line spacing, a width with "
                                     "wrapping, or fewer lines");
}

LineBox PageMaker::measure_placed(const Line& line, std::vector<DrawnRun>& runs)
{
    try {
        return measure_line(line, runs);
    } catch (const Error& e) {
        if (e.kind() == ErrorKind::OutOfMemory)
            fail(ErrorKind::OutOfMemory, line_name(line.source) + " is wider than the " + grouped(kMaxImageSide) +
                                             " pixels a picture may have at size " + size_name() +
                                             ": give a width and wrap, or a smaller size");
        throw e.at(line_name(line.source));
    }
}

void PageMaker::draw_line(Image& image, const Placed::Point& at_point, const Line& line, std::vector<DrawnRun>& runs)
{
    at(line_name(line.source), [&] {
        Text wide;  // set out only when a run has no mask
        for (const DrawnRun& run : runs) {
            const long long x = at_point.x + run.x;
            if (!run.mask.empty())
                run.mask.paint(image, x + run.mask.area.left, at_point.y + run.mask.area.top, style_.fg);
            else if (run.has_ink) {
                if (wide.empty())
                    wide = utf16_of(line);
                ts_.draw(image, x, at_point.y, std::u16string_view(wide).substr(run.begin, run.end - run.begin),
                         style_.fg);
            }
        }
        std::vector<DrawnRun>().swap(runs);
    });
}

PlaceRules PageMaker::place_rules(int line_height) const
{
    PlaceRules rules;
    rules.side = style_.side;
    rules.top = style_.top;
    rules.line_height = line_height;
    rules.pitch = style_.line_spacing;
    rules.width = style_.width;
    rules.align = style_.align;
    rules.line_box = style_.line_box;
    rules.wrapped = style_.wrap;
    return rules;
}

std::shared_ptr<PictureData> PageMaker::new_picture(long long width, long long height) const
{
    auto data = std::make_shared<PictureData>();
    data->dpi = style_.dpi;
    data->mono = style_.mono;
    data->background = pixel_from_colour(style_.bg);
    data->image = Image(static_cast<int>(width), static_cast<int>(height), data->background);
    return data;
}

void PageMaker::refuse_too_many(std::size_t lines, long long pitch) const
{
    // Lines alone too many for any picture are refused before each is measured.
    const long long least = static_cast<long long>(lines - 1) * pitch + 2LL * style_.top;
    if (least > kMaxImageSide)
        fail(ErrorKind::OutOfMemory, "the picture would be at least " + grouped(least) + " pixels tall for " +
                                         grouped(static_cast<long long>(lines)) + " lines at size " + size_name() +
                                         ", more than " + grouped(kMaxImageSide) +
                                         ": use a smaller size, dpi or line spacing, or fewer lines");
}

Picture PageMaker::make(std::vector<Line> lines, const PageEvents& events)
{
    events_ = &events;
    const std::unique_ptr<PageMaker, void (*)(PageMaker*)> forget(this, [](PageMaker* m) { m->events_ = &no_events(); });
    if (lines.empty())
        lines.emplace_back(std::string(), 1);
    if (style_.width && style_.line_box && events.rows_final)
        return make_streamed(std::move(lines));
    if (style_.wrap)
        lines = wrap(std::move(lines));
    const int line_height = std::max(1, ts_.logical(u"").line_height);
    refuse_too_many(lines.size(), style_.line_spacing.value_or(line_height));
    std::vector<LineBox> boxes;
    std::vector<std::vector<DrawnRun>> runs(lines.size());
    boxes.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        check_stop();
        boxes.push_back(measure_placed(lines[i], runs[i]));
    }
    const Placed page = place_lines(boxes, place_rules(line_height), [&](std::size_t i) { return lines[i].source; });
    check_picture_size(page, lines.size(), size_name());

    const auto data = new_picture(page.width, page.height);
    const Picture picture(data);
    // Rows above every later line's ink are final once the lines before
    // them are drawn.
    std::vector<long long> later_ink_top(lines.size() + 1, page.height);
    for (std::size_t i = lines.size(); i-- > 0;)
        later_ink_top[i] = std::min(later_ink_top[i + 1],
                                    boxes[i].has_ink ? page.lines[i].y + boxes[i].ink.top : page.height);
    const auto rows_final = [&](std::size_t next) {
        if (events_->rows_final)
            events_->rows_final(picture, static_cast<int>(std::clamp(later_ink_top[next], 0LL, page.height)));
    };
    rows_final(0);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        check_stop();
        draw_line(data->image, page.lines[i], lines[i], runs[i]);
        if (events_->line_drawn)
            events_->line_drawn(i + 1, lines.size(), picture);
        rows_final(i + 1);
    }
    return picture;
}

// With a fixed width and margins from the line boxes, a line's place needs
// no other line: each is wrapped, measured and drawn in turn, a few lines
// ahead, and rows leave once no line still to come can reach them. A line
// not yet measured is taken to reach no further above its box than twice
// the most any line has so far, or a line height; one that reaches into
// rows already sent is told of, and the picture still holds all of it.
Picture PageMaker::make_streamed(std::vector<Line> lines)
{
    constexpr std::size_t kLookahead = 8;
    const int line_height = std::max(1, ts_.logical(u"").line_height);
    const long long pitch = style_.line_spacing.value_or(line_height);
    refuse_too_many(lines.size(), pitch);
    const PlaceRules rules = place_rules(line_height);
    const long long width = *style_.width;
    // As tall as the lines need unwrapped, but at first no more than a
    // thousand rows, so that a long job's first rows leave at once.
    const auto height_for = [&](std::size_t count) {
        return static_cast<long long>(count - 1) * pitch + line_height + 2LL * style_.top;
    };
    const long long expected = std::min<long long>(height_for(lines.size()), kMaxImageSide);
    const auto data = new_picture(width, std::min<long long>(expected, 1024));
    const Picture picture(data);
    Image& image = data->image;

    struct Pending {
        Line line;
        std::vector<DrawnRun> runs;
        LineBox box;
        Placed::Point at;
    };
    std::deque<Pending> pending;
    std::size_t next_source = 0;
    std::size_t placed = 0;  // lines placed so far
    std::size_t drawn = 0;
    long long overhang = line_height;  // the most a line's ink reaches above its box, or a line
    long long sent = 0;                // rows handed on as final
    bool warned = false;

    const auto grow_to = [&](long long rows) {
        if (rows <= image.height())
            return;
        if (rows > kMaxImageSide || rows * width > kMaxImagePixels) {
            Placed page;
            page.width = width;
            page.height = rows;
            check_picture_size(page, placed, size_name());
        }
        const long long doubled = std::min<long long>({std::max({rows, expected, 2LL * image.height()}), kMaxImageSide,
                                                       kMaxImagePixels / std::max(1LL, width)});
        image.resize(static_cast<int>(width), static_cast<int>(std::max(rows, doubled)), data->background);
    };
    const auto measure_next = [&] {
        std::vector<Line> visual;
        visual.push_back(std::move(lines[next_source++]));
        if (style_.wrap)
            visual = wrap(std::move(visual));
        for (Line& line : visual) {
            check_stop();
            Pending p{std::move(line), {}, {}, {}};
            p.box = measure_placed(p.line, p.runs);
            p.at = place_streamed(p.box, placed++, rules, p.line.source);
            if (p.box.has_ink) {
                overhang = std::max(overhang, -p.box.ink.top);
                if (p.at.y + p.box.ink.top < sent && !warned) {
                    warn(line_name(p.line.source) + " reaches " + std::to_string(-p.box.ink.top) +
                         " pixels above its line, into rows already sent: those rows of it are not in the stream");
                    warned = true;
                }
            }
            pending.push_back(std::move(p));
        }
    };
    while (true) {
        while (pending.size() < kLookahead && next_source < lines.size())
            measure_next();
        if (pending.empty())
            break;
        check_stop();
        Pending& line = pending.front();
        grow_to(std::max(line.at.y + line_height, line.at.y + (line.box.has_ink ? line.box.ink.bottom : 0)) + style_.top);
        draw_line(image, line.at, line.line, line.runs);
        pending.pop_front();
        ++drawn;
        if (events_->line_drawn)
            events_->line_drawn(drawn, drawn + pending.size() + (lines.size() - next_source), picture);
        // Once every line is placed, the page's height is known.
        long long final_rows = next_source < lines.size()
                                   ? rules.top + static_cast<long long>(placed) * pitch - 2 * overhang
                                   : height_for(placed);
        for (const Pending& p : pending)
            if (p.box.has_ink)
                final_rows = std::min(final_rows, p.at.y + p.box.ink.top);
        final_rows = std::clamp(final_rows, sent, static_cast<long long>(image.height()));
        if (final_rows > sent && events_->rows_final) {
            events_->rows_final(picture, static_cast<int>(final_rows));
            sent = final_rows;
        }
    }
    const long long height = height_for(placed);
    grow_to(height);
    image.resize(static_cast<int>(width), static_cast<int>(height), data->background);
    events_->rows_final(picture, static_cast<int>(height));
    return picture;
}

// Each line made printable, taken from `lines` and let go as it is, so
// that the text is held once.
template <typename Source>
std::vector<Line> printable_lines(std::span<Source> lines, const std::function<void()>& check_stop)
{
    std::vector<Line> out;
    out.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string text;
        if constexpr (std::is_same_v<std::remove_const_t<Source>, std::u16string>)
            text = to_utf8(lines[i]);
        else if constexpr (std::is_const_v<Source>)
            text = lines[i];
        else
            text = std::move(lines[i]);
        if (!make_printable(text, check_stop))
            fail(ErrorKind::TypeMismatch, line_name(i + 1) + " is not valid UTF-8");
        out.emplace_back(std::move(text), i + 1);
    }
    return out;
}

}  // namespace

// Held in place: the maker's hooks into its drawer point at it.
struct PageLayout::Maker {
    Maker(const PageStyle& style, const PageEvents& events) : maker(style, events) {}
    PageMaker maker;
};

PageLayout::PageLayout(const PageStyle& style, const PageEvents& events)
    : maker_(std::make_unique<Maker>(style, events))
{
}

PageLayout::~PageLayout() = default;
PageLayout::PageLayout(PageLayout&&) noexcept = default;
PageLayout& PageLayout::operator=(PageLayout&&) noexcept = default;

Picture PageLayout::render(std::span<const std::u16string> lines, const PageEvents& events)
{
    return maker_->maker.make(printable_lines(lines, events.check_stop), events);
}

Picture PageLayout::render(std::span<const std::string> lines, const PageEvents& events)
{
    return maker_->maker.make(printable_lines(lines, events.check_stop), events);
}

Picture PageLayout::render(std::vector<std::string>&& lines, const PageEvents& events)
{
    std::vector<std::string> taken = std::move(lines);
    return maker_->maker.make(printable_lines(std::span<std::string>(taken), events.check_stop), events);
}

Picture PageLayout::render_text(std::string_view text, const PageEvents& events)
{
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        const std::size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string_view::npos) {
            if (begin < text.size())
                lines.emplace_back(text.substr(begin));
            break;
        }
        lines.emplace_back(text.substr(begin, end - begin));
        begin = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return render(std::move(lines), events);
}

Picture render_page(std::span<const std::u16string> lines, const PageStyle& style, const PageEvents& events)
{
    return PageLayout(style, events).render(lines, events);
}

Picture render_page(std::span<const std::string> lines, const PageStyle& style, const PageEvents& events)
{
    return PageLayout(style, events).render(lines, events);
}

Picture render_page(std::vector<std::string>&& lines, const PageStyle& style, const PageEvents& events)
{
    return PageLayout(style, events).render(std::move(lines), events);
}

Picture render_text(std::string_view text, const PageStyle& style, const PageEvents& events)
{
    return PageLayout(style, events).render_text(text, events);
}

const char* version() noexcept { return LUMARIN_VERSION_STRING; }

}  // namespace lumarin
