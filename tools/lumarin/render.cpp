#include "tools/lumarin/render.hpp"

#include "common/text.hpp"
#include "lumarin/synapse.hpp"
#include "tools/lumarin/input.hpp"

namespace lumarin::cli {

namespace {

void set_properties(synapse& s, const Options& o)
{
    s.FontName = o.font;
    s.FontSize = o.size;
    s.FinalBold = o.style.bold;
    s.FontItalic = o.style.italic;
    s.FontUnderline = o.style.underline;
    s.FontStrikethru = o.style.strikethru;
    s.ForeColor = o.fg;
    s.BackColor = o.bg;
    s.LineSpacing = o.line_spacing.value_or(default_line_spacing(o.size));
    s.FontWeight = o.width_factor;
    Text name;
    from_utf8(o.output, name);  // checked when the options were parsed
    s.FileName = name;
}

}  // namespace

void render(const std::vector<Text>& lines, const Options& o, const std::function<void(std::size_t)>& on_line)
{
    if (lines.empty())
        throw InputError("the input has no lines");
    synapse s;
    set_properties(s, o);
    // The width comes first: it replaces whatever side margins were added.
    s.MaximumStringLength(longest_line(lines));
    s.SidePadding(o.side);
    s.TopPadding(static_cast<double>(o.top));
    // One save at the end unless asked for one a line: the file is the
    // same. A monochrome job's only save is Monotize's.
    const std::size_t last = lines.size() - 1;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (o.every_line || (i == last && !o.mono))
            s.PrintText(lines[i], o.x, o.y);
        else
            s.PrintTextWithoutSaving(lines[i], o.x, o.y);
        on_line(i + 1);
    }
    if (o.mono)
        s.Monotize(u"");
}

}  // namespace lumarin::cli
