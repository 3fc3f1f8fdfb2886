#include "tools/lumarin/render.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "common/text.hpp"
#include "lumarin/synapse.hpp"
#include "surface/canvas.hpp"
#include "tools/lumarin/input.hpp"
#include "tools/lumarin/layout.hpp"
#include "tools/lumarin/output.hpp"

namespace lumarin::cli {

namespace {

// Runs `step`, putting `where` in front of a renderer failure.
template <typename Step>
auto at(const std::string& where, Step step)
{
    try {
        return step();
    } catch (const lumarin::Error& e) {
        throw JobError(where, e);
    }
}

std::string line_name(std::size_t n) { return "line " + std::to_string(n); }

bool looks_like_font_file(const Text& font)
{
    const std::string name = to_utf8(font);
    const auto dot = name.find_last_of('.');
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
    return name.find('/') != std::string::npos || name.find('\\') != std::string::npos || ext == ".ttf" ||
           ext == ".otf" || ext == ".ttc" || ext == ".TTF" || ext == ".OTF" || ext == ".TTC";
}

// The family to ask for: a font file's fonts are loaded first.
Text font_family(const Options& o)
{
    if (!looks_like_font_file(o.font))
        return o.font;
    return at("--font", [&] { return add_font_file(to_utf8(o.font)); });
}

bool same_family(const Text& a, const Text& b) { return upper_for_ascii_compare(a) == upper_for_ascii_compare(b); }

void warn_about_fallback(PictureBox& canvas, const Options& o, const Text& family,
                         const std::function<void(const std::string&)>& warn)
{
    if (!o.font_given || looks_like_font_file(o.font) || font_name_is_known(family))
        return;
    const Text face = canvas.ResolvedFace();
    if (!face.empty() && !same_family(face, family))
        warn("--font '" + to_utf8(family) + "' is not installed; drawing with '" + to_utf8(face) + "'");
}

// --- the measured layout

void set_up_canvas(PictureBox& canvas, const Options& o, const Text& family)
{
    canvas.Font().Name(family);
    canvas.FontSize(static_cast<Single>(o.size) * static_cast<Single>(o.dpi) / 96.0f);
    canvas.Style(o.style);
    canvas.Antialias(o.antialias);
    canvas.ForeColor(o.fg);
    canvas.BackColor(o.bg);
}

// The measures are where a long layout spends its time (a line of marks
// cut to the width takes thousands), so the stop is checked before each.
std::vector<WrappedLine> lines_to_draw(PictureBox& canvas, std::vector<Text> lines, const Options& o,
                                       const std::function<void()>& check_stop)
{
    if (o.wrap) {
        const long long room = *o.width - 2LL * o.side;
        return wrap_lines(std::move(lines), std::max(1LL, room), [&](const Text& text) {
            check_stop();
            const LineExtents e = at("wrapping", [&] { return canvas.MeasureLogical(text); });
            return e.right - e.left;
        });
    }
    std::vector<WrappedLine> out;
    out.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        out.push_back({std::move(lines[i]), i + 1});
    return out;
}

void check_page_size(const Page& page, std::size_t lines, const Options& o)
{
    if (page.width <= kMaxImageSide && page.height <= kMaxImageSide && page.width * page.height <= kMaxImagePixels)
        return;
    throw LayoutError("the image would be " + std::to_string(page.width) + " x " + std::to_string(page.height) +
                      " pixels for " + std::to_string(lines) + " lines at --size " + std::to_string(o.size) +
                      " and --dpi " + std::to_string(o.dpi) +
                      ", more than 65535 pixels a side or 64 Mi pixels in all: lower --size, --dpi or "
                      "--line-spacing, set --width with --wrap, or split the input");
}

void render_measured(std::vector<Text> input, const Options& o, const std::function<void(std::size_t)>& on_line,
                     const std::function<void(const std::string&)>& warn, const std::function<void()>& check_stop)
{
    const Text family = font_family(o);
    Form1 form;
    PictureBox& canvas = form.Picture1;
    at("--size", [&] { set_up_canvas(canvas, o, family); });
    canvas.BetweenPieces(check_stop);  // a long line's measure or draw stops too
    warn_about_fallback(canvas, o, family, warn);

    const std::vector<WrappedLine> lines = lines_to_draw(canvas, std::move(input), o, check_stop);
    // Lines alone too many for any image are refused before each is measured.
    const LineExtents first = at(line_name(1), [&] { return canvas.MeasureLogical(lines.front().text); });
    const long long least_height =
        static_cast<long long>(lines.size() - 1) * o.line_spacing.value_or(first.line_height) + 2LL * o.top;
    if (least_height > kMaxImageSide)
        throw LayoutError("the image would be at least " + std::to_string(least_height) + " pixels tall for " +
                          std::to_string(lines.size()) + " lines at --size " + std::to_string(o.size) + " and --dpi " +
                          std::to_string(o.dpi) + ", more than 65535 pixels a side: lower --size, --dpi or "
                          "--line-spacing, or split the input");
    std::vector<TextMetrics> metrics;
    metrics.reserve(lines.size());
    for (const WrappedLine& line : lines) {
        check_stop();
        try {
            metrics.push_back(canvas.Measure(line.text));
        } catch (const lumarin::Error& e) {
            if (e.kind() == ErrorKind::OutOfMemory)
                throw LayoutError(line_name(line.source) + " is wider than the 65535 pixels an image may have at --size " +
                                  std::to_string(o.size) + ": give --width with --wrap, or a smaller --size");
            throw JobError(line_name(line.source), e);
        }
    }
    LayoutRules rules;
    rules.side = o.side;
    rules.top = o.top;
    if (o.line_spacing)
        rules.pitch = *o.line_spacing;
    rules.width = o.width;
    rules.align = o.align;
    const Page page = lay_out(metrics, rules, [&](std::size_t i) { return lines[i].source; });
    check_page_size(page, lines.size(), o);

    at("the image", [&] {
        canvas.Width(static_cast<Single>(page.width));
        canvas.Height(static_cast<Single>(page.height));
    });
    for (std::size_t i = 0; i < lines.size(); ++i) {
        at(line_name(lines[i].source), [&] {
            canvas.CurrentX(static_cast<Single>(page.lines[i].x));
            canvas.CurrentY(static_cast<Single>(page.lines[i].y));
            canvas.Print(lines[i].text);
        });
        if (o.every_line && i + 1 < lines.size())
            write_image(canvas.Image(), o, false, warn);
        on_line(i + 1);
    }
    write_image(canvas.Image(), o, true, warn);
}

// --- the object's job

void set_properties(synapse& s, const Options& o, const Text& family)
{
    s.FontName = family;
    s.FontSize = o.size;
    s.FinalBold = o.style.bold;
    s.FontItalic = o.style.italic;
    s.FontUnderline = o.style.underline;
    s.FontStrikethru = o.style.strikethru;
    s.ForeColor = o.fg_name;
    s.BackColor = o.bg_name;
    s.LineSpacing = o.line_spacing.value_or(default_line_spacing(o.size));
    s.FontWeight = o.width_factor;
    Text name;
    from_utf8(o.output, name);  // checked when the options were parsed
    s.FileName = name;
}

void render_object_job(const std::vector<Text>& lines, const Options& o,
                       const std::function<void(std::size_t)>& on_line,
                       const std::function<void(const std::string&)>& warn)
{
    const Text family = font_family(o);
    synapse s;
    set_properties(s, o, family);
    // The width comes first: it replaces whatever side margins were added.
    at("sizing the surface for the longest line (--size, --width-factor, --side, --top)", [&] {
        s.MaximumStringLength(longest_line(lines));
        s.SidePadding(o.side);
        s.TopPadding(static_cast<double>(o.top));
    });
    // One save at the end unless asked for one a line: the file is the
    // same. A monochrome job's only save is Monotize's.
    const std::size_t last = lines.size() - 1;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        s.Saving = save_options(o, i == last && !o.mono, warn);
        at(line_name(i + 1), [&] {
            if (o.every_line || (i == last && !o.mono))
                s.PrintText(lines[i], o.x, o.y);
            else
                s.PrintTextWithoutSaving(lines[i], o.x, o.y);
        });
        on_line(i + 1);
    }
    if (o.mono) {
        s.Saving = save_options(o, true, warn);
        at("-o " + o.output, [&] { s.Monotize(u""); });
    }
}

// Writing over the input would lose the text.
void refuse_writing_over_input(const Options& o)
{
    if (o.input == "-" || o.output == "-")
        return;
    // Paths from UTF-16, so that Windows does not read UTF-8 as its code page.
    Text input;
    Text output;
    from_utf8(o.input, input);
    from_utf8(o.output, output);
    std::error_code ec;
    if (std::filesystem::equivalent(std::filesystem::path(input), std::filesystem::path(output), ec))
        throw UsageError("-o " + o.output + " is the input file; writing there would replace the text");
}

}  // namespace

void render(std::vector<Text> lines, const Options& o, const std::function<void(std::size_t)>& on_line,
            const std::function<void(const std::string&)>& warn, const std::function<void()>& check_stop)
{
    if (lines.empty())
        throw InputError("the input has no lines");
    refuse_writing_over_input(o);
    if (o.compat)
        render_object_job(lines, o, on_line, warn);
    else
        render_measured(std::move(lines), o, on_line, warn, check_stop);
}

}  // namespace lumarin::cli
