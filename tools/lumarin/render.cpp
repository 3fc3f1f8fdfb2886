#include "tools/lumarin/render.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "common/text.hpp"
#include "lumarin/synapse.hpp"
#include "lumarin/page.hpp"
#include "lumarin/printer.hpp"
#include "lumarin/receipt.hpp"
#include "surface/text_drawer.hpp"
#include "tools/lumarin/input.hpp"
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
        throw e.at(where);
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

// --font as a layout takes it: a file to load, or a family when one is
// named (unnamed, the layout's default).
template <typename Style>
void set_font(Style& style, const Options& o)
{
    if (looks_like_font_file(o.font))
        style.font_file = to_utf8(o.font);
    else if (o.font_given)
        style.font = o.font;
}

// --- the measured layout

PageStyle page_style(const Options& o)
{
    PageStyle style;
    set_font(style, o);
    style.size = o.size;
    style.dpi = o.dpi;
    style.bold = o.style.bold;
    style.italic = o.style.italic;
    style.underline = o.style.underline;
    style.strikethrough = o.style.strikethru;
    style.fg = o.fg;
    style.bg = o.bg;
    style.antialias = o.antialias;
    style.mono = o.mono;
    style.width = o.width;
    style.wrap = o.wrap;
    style.columns = o.columns;
    style.tabs = o.tabs;
    style.line_box = o.line_box;
    style.align = o.align;
    style.line_spacing = o.line_spacing;
    style.side = o.side;
    style.top = o.top;
    return style;
}

void render_measured(std::vector<std::string> input, const Options& o,
                     const std::function<void(std::size_t, std::size_t)>& on_line,
                     const std::function<void(const std::string&)>& warn, const std::function<void()>& check_stop)
{
    PageEvents events;
    events.check_stop = check_stop;
    events.warn = warn;
    events.line_drawn = [&](std::size_t done, std::size_t total, const Picture& so_far) {
        if (o.every_line && done < total)
            write_image(so_far, o, false, warn);
        on_line(done, total);
    };
    const Picture picture = render_page(std::move(input), page_style(o), events);
    write_image(picture, o, true, warn);
}

// --- a printer's job: bands leave as the page is drawn

void render_for_printer(std::vector<std::string> input, const Options& o,
                        const std::function<void(std::size_t, std::size_t)>& on_line,
                        const std::function<void(const std::string&)>& warn, const std::function<void()>& check_stop)
{
    ByteOutput output(o, check_stop, warn);
    PrinterEncoder encoder(*o.printer, [&](std::span<const std::byte> bytes) { output.write(bytes); });
    PageEvents events;
    events.check_stop = check_stop;
    events.warn = warn;
    events.line_drawn = [&](std::size_t done, std::size_t total, const Picture&) { on_line(done, total); };
    events.rows_final = [&](const Picture& so_far, int rows) { encoder.rows_final(so_far, rows); };
    const Picture picture = render_page(std::move(input), page_style(o), events);
    encoder.finish(picture);
    output.finish();
}

// --- a receipt document: one picture a page, or the printer's bytes with a
// cut after each page

ReceiptStyle receipt_style(const Options& o)
{
    ReceiptStyle style;
    set_font(style, o);
    if (o.width)
        style.width = *o.width;
    style.dpi = o.dpi;
    style.cpl = o.cpl;
    style.fg = o.fg;
    style.bg = o.bg;
    style.mono = o.mono;
    style.order = o.column_order;
    return style;
}

// Page `n` of `pages`: -o's name where there is one page, NAME-N.EXT where
// there are more, and "%d" in the name replaced by N whatever the count.
std::string page_name(const std::string& output, std::size_t n, std::size_t pages)
{
    if (const auto mark = output.find("%d"); mark != std::string::npos)
        return output.substr(0, mark) + std::to_string(n) + output.substr(mark + 2);
    if (pages == 1)
        return output;
    const auto dot = output.find_last_of("./\\");
    const auto at = dot != std::string::npos && output[dot] == '.' ? dot : output.size();
    return output.substr(0, at) + "-" + std::to_string(n) + output.substr(at);
}

void render_receipt_job(std::vector<std::string> lines, const Options& o,
                        const std::function<void(const std::string&)>& warn, const std::function<void()>& check_stop)
{
    std::string document;
    for (std::string& line : lines) {
        document += line;
        document += '\n';
        std::string().swap(line);
    }
    PageEvents events;
    events.check_stop = check_stop;
    events.warn = warn;
    const std::vector<Picture> pages = render_receipt(document, receipt_style(o), events);
    if (o.printer_bytes) {
        ByteOutput output(o, check_stop, warn);
        for (const Picture& page : pages) {
            PrinterEncoder encoder(*o.printer, [&](std::span<const std::byte> bytes) { output.write(bytes); });
            encoder.finish(page);
        }
        output.finish();
        return;
    }
    if (o.output == "-" && pages.size() > 1)
        input_error("the document has " + std::to_string(pages.size()) +
                    " pages (a line of '=' is a cut): give -o NAME.png for NAME-1.png, NAME-2.png...");
    for (std::size_t n = 1; n <= pages.size(); ++n) {
        Options page = o;
        page.output = page_name(o.output, n, pages.size());
        if (page.output != "-")
            from_utf8(page.output, page.output_path);
        write_image(pages[n - 1], page, true, warn);
    }
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
    s.FileName = o.output_path;
}

void render_object_job(const std::vector<std::string>& lines, const Options& o,
                       const std::function<void(std::size_t, std::size_t)>& on_line,
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
            Text line;
            from_utf8(lines[i], line);
            if (o.every_line || (i == last && !o.mono))
                s.PrintText(line, o.x, o.y);
            else
                s.PrintTextWithoutSaving(line, o.x, o.y);
        });
        on_line(i + 1, lines.size());
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
    from_utf8(o.input, input);
    const Text& output = o.output_path;
    std::error_code ec;
    if (std::filesystem::equivalent(std::filesystem::path(input), std::filesystem::path(output), ec))
        usage_error("-o " + o.output + " is the input file; writing there would replace the text");
}

}  // namespace

void render(std::vector<std::string> lines, const Options& o, const std::function<void(std::size_t, std::size_t)>& on_line,
            const std::function<void(const std::string&)>& warn, const std::function<void()>& check_stop)
{
    if (lines.empty())
        input_error("the input has no lines");
    refuse_writing_over_input(o);
    if (o.receipt)
        render_receipt_job(std::move(lines), o, warn, check_stop);
    else if (o.compat)
        render_object_job(lines, o, on_line, warn);
    else if (o.printer_bytes)
        render_for_printer(std::move(lines), o, on_line, warn, check_stop);
    else
        render_measured(std::move(lines), o, on_line, warn, check_stop);
}

}  // namespace lumarin::cli
