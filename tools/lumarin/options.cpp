#include "tools/lumarin/options.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <string_view>
#include <utility>

#include "common/text.hpp"
#include "lumarin/error.hpp"
#include "lumarin/limits.hpp"
#include "lumarin/synapse.hpp"
#include "printer/destination.hpp"

namespace lumarin::cli {

namespace {

constexpr Integer kMaxPoints = kMaxFontPoints;

template <typename T>
T parse_integer(std::string_view option, std::string_view value, long long low = std::numeric_limits<T>::min(),
                long long high = std::numeric_limits<T>::max())
{
    long long n = 0;
    const char* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, n);
    if (value.empty() || ptr != end || ec == std::errc::invalid_argument)
        usage_error(std::string(option) + " needs a whole number, not '" + std::string(value) + "'");
    if (ec == std::errc::result_out_of_range || n < low || n > high)
        usage_error(std::string(option) + " must be between " + std::to_string(low) + " and " +
                    std::to_string(high) + ", not " + std::string(value));
    return static_cast<T>(n);
}

// Seconds, whole or with a fraction, from a millisecond to an hour.
std::chrono::milliseconds parse_seconds(std::string_view option, std::string_view value)
{
    double seconds = 0;
    const char* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, seconds);
    if (value.empty() || ptr != end || ec != std::errc() || !(seconds >= 0.001 && seconds <= 3600))
        usage_error(std::string(option) + " needs seconds from 0.001 to 3600, not '" + std::string(value) + "'");
    return std::chrono::milliseconds(std::llround(seconds * 1000));
}

Text text_argument(std::string_view option, std::string_view value)
{
    Text text;
    if (!from_utf8(value, text))
        usage_error(std::string(option) + " is not valid UTF-8");
    return text;
}


std::string lower_ascii(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

// The object's colour names, as the help shows them.
std::string colour_names()
{
    std::string names;
    for (const NamedColour& known : lumarin::colour_names()) {
        if (!names.empty())
            names += ' ';
        names += lower_ascii(to_utf8(known.name));
    }
    return names;
}

// A colour name (any case, as the object takes it) or #RRGGBB.
void set_colour(std::string_view option, std::string_view value, Colour& colour, Text& name)
{
    const Text text = text_argument(option, value);
    if (const auto known = parse_colour(value)) {
        colour = *known;
        name = text;
        return;
    }
    usage_error(std::string(option) + " '" + std::string(value) + "' is not a colour: give #RRGGBB or one of " +
                colour_names());
}

Align parse_align(std::string_view value)
{
    static constexpr std::array<std::pair<std::string_view, Align>, 3> kAligns{
        {{"left", Align::Left}, {"center", Align::Center}, {"right", Align::Right}}};
    for (const auto& [name, align] : kAligns)
        if (value == name)
            return align;
    usage_error("--align must be left, center or right, not '" + std::string(value) + "'");
}

ColumnOrder parse_column_order(std::string_view value)
{
    static constexpr std::array<std::pair<std::string_view, ColumnOrder>, 3> kOrders{
        {{"auto", ColumnOrder::Auto}, {"ltr", ColumnOrder::LeftToRight}, {"rtl", ColumnOrder::RightToLeft}}};
    for (const auto& [name, order] : kOrders)
        if (value == name)
            return order;
    usage_error("--column-order must be auto, ltr or rtl, not '" + std::string(value) + "'");
}

// Tab stops, their faults a usage error naming the option.
TabStops parse_tabs(std::string_view value)
{
    try {
        return parse_tab_stops(value);
    } catch (const Error& e) {
        usage_error("--tabs: " + e.context());
    }
}

constexpr std::array<std::pair<std::string_view, PictureFormat>, 3> kFormats{
    {{"bmp", PictureFormat::Bmp}, {"png", PictureFormat::Png}, {"pbm", PictureFormat::Pbm}}};

std::optional<PictureFormat> format_named(std::string_view name)
{
    const std::string lower = lower_ascii(name);
    for (const auto& [known, format] : kFormats)
        if (lower == known)
            return format;
    return std::nullopt;
}

std::string_view name_of(PictureFormat format)
{
    for (const auto& [name, f] : kFormats)
        if (f == format)
            return name;
    return "bmp";
}

// What the parser collects before the checks: which options were given.
struct Given {
    std::optional<std::string> format;
    bool width_factor = false;
    bool offset = false;
    bool dpi = false;
    bool align = false;
    std::optional<std::string> printer;
    std::optional<int> dots;
    std::optional<int> band_rows;
    std::optional<int> left_margin;
    std::optional<bool> cut;
    bool column_order = false;
    std::map<std::string, std::string> once;  // options that may be given once, by their first value
};

using Setter = std::function<void(Options&, Given&, std::string_view)>;

// Options that take a value, by name.
std::map<std::string_view, Setter> valued_options()
{
    const auto output = [](Options& o, Given&, std::string_view v) { o.output = std::string(v); };
    return {
        {"--font", [](Options& o, Given&, std::string_view v) {
             o.font = text_argument("--font", v);
             o.font_given = true;
         }},
        {"--size", [](Options& o, Given&, std::string_view v) { o.size = parse_integer<Integer>("--size", v, 1, kMaxPoints); }},
        {"--dpi", [](Options& o, Given& g, std::string_view v) {
             o.dpi = parse_integer<int>("--dpi", v, 1, 9600);
             g.dpi = true;
         }},
        {"--fg", [](Options& o, Given&, std::string_view v) { set_colour("--fg", v, o.fg, o.fg_name); }},
        {"--bg", [](Options& o, Given&, std::string_view v) { set_colour("--bg", v, o.bg, o.bg_name); }},
        {"--line-spacing",
         [](Options& o, Given&, std::string_view v) { o.line_spacing = parse_integer<Integer>("--line-spacing", v, 1); }},
        {"--width-factor", [](Options& o, Given& g, std::string_view v) {
             o.width_factor = parse_integer<Integer>("--width-factor", v, 1);
             g.width_factor = true;
         }},
        {"--top", [](Options& o, Given&, std::string_view v) { o.top = parse_integer<Integer>("--top", v, 0, 10000); }},
        {"--side", [](Options& o, Given&, std::string_view v) { o.side = parse_integer<Integer>("--side", v, 0, 10000); }},
        {"--width", [](Options& o, Given&, std::string_view v) { o.width = parse_integer<int>("--width", v, 1, kMaxImageSide); }},
        {"--columns", [](Options& o, Given&, std::string_view v) { o.columns = parse_integer<int>("--columns", v, 1, 10000); }},
        {"--tabs", [](Options& o, Given&, std::string_view v) { o.tabs = parse_tabs(v); }},
        {"--align", [](Options& o, Given& g, std::string_view v) {
             o.align = parse_align(v);
             g.align = true;
         }},
        {"--format", [](Options&, Given& g, std::string_view v) { g.format = std::string(v); }},
        {"--encoding", [](Options& o, Given&, std::string_view v) { o.encoding = std::string(v); }},
        {"--x", [](Options& o, Given& g, std::string_view v) {
             o.x = parse_integer<Long>("--x", v);
             g.offset = true;
         }},
        {"--y", [](Options& o, Given& g, std::string_view v) {
             o.y = parse_integer<Long>("--y", v);
             g.offset = true;
         }},
        {"--printer", [](Options&, Given& g, std::string_view v) { g.printer = std::string(v); }},
        {"--to", [](Options& o, Given&, std::string_view v) {
             o.to = std::string(v);
             try {
                 network_address(v);  // a tcp:// name that cannot be an address is a usage error
             } catch (const Error& e) {
                 usage_error("--to " + e.context());
             }
         }},
        {"--timeout", [](Options& o, Given&, std::string_view v) { o.timeout = parse_seconds("--timeout", v); }},
        {"--dots", [](Options&, Given& g, std::string_view v) { g.dots = parse_integer<int>("--dots", v, 1, 65535); }},
        {"--band-rows",
         [](Options&, Given& g, std::string_view v) { g.band_rows = parse_integer<int>("--band-rows", v, 1, 2303); }},
        {"--left-margin", [](Options&, Given& g, std::string_view v) {
             g.left_margin = parse_integer<int>("--left-margin", v, 0, 65534);
         }},
        {"--cpl", [](Options& o, Given&, std::string_view v) { o.cpl = parse_integer<int>("--cpl", v, 1, 10000); }},
        {"--column-order", [](Options& o, Given& g, std::string_view v) {
             o.column_order = parse_column_order(v);
             g.column_order = true;
         }},
        {"--output", output},
        {"-o", output},
    };
}

std::map<std::string_view, bool Options::*> switches()
{
    return {
        {"--mono", &Options::mono},
        {"--antialias", &Options::antialias},
        {"--no-antialias", &Options::no_antialias},
        {"--line-box", &Options::line_box},
        {"--every-line", &Options::every_line},
        {"--no-sync", &Options::no_sync},
        {"--allow-lost-access", &Options::allow_lost_access},
        {"--wrap", &Options::wrap},
        {"--compat", &Options::compat},
        {"--help", &Options::help},
        {"-h", &Options::help},
        {"--version", &Options::version},
        {"--list-printers", &Options::list_printers},
        {"--receipt", &Options::receipt},
    };
}

std::map<std::string_view, bool FontStyle::*> style_switches()
{
    return {
        {"--bold", &FontStyle::bold},
        {"--italic", &FontStyle::italic},
        {"--underline", &FontStyle::underline},
        {"--strikethru", &FontStyle::strikethru},
    };
}

struct OptionTable {
    std::map<std::string_view, Setter> valued = valued_options();
    std::map<std::string_view, bool Options::*> switches = cli::switches();
    std::map<std::string_view, bool FontStyle::*> style_switches = cli::style_switches();
};

// Where the output goes and how the input and output are read: given
// twice with two values, one is a mistake, and which would be a guess. The
// drawing options may be given again, the last one winning, so that a
// script's defaults can be overridden.
void refuse_second(Given& given, std::string_view name, std::string_view value)
{
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 5> kOnce{
        {{"-o", "-o"}, {"--output", "-o"}, {"--format", "--format"}, {"--encoding", "--encoding"}, {"--to", "--to"}}};
    for (const auto& [spelling, option] : kOnce) {
        if (name != spelling)
            continue;
        const auto [first, fresh] = given.once.try_emplace(std::string(option), value);
        if (!fresh && first->second != value)
            usage_error(std::string(option) + " is given twice ('" + first->second + "' and '" + std::string(value) +
                        "'): give it once");
    }
}

// Handles one option at args[i]; returns how many arguments it used.
std::size_t take_option(const OptionTable& table, Options& o, Given& given, std::span<const char* const> args,
                        std::size_t i)
{
    std::string_view arg = args[i];
    if (const auto s = table.switches.find(arg); s != table.switches.end()) {
        o.*(s->second) = true;
        return 1;
    }
    if (const auto s = table.style_switches.find(arg); s != table.style_switches.end()) {
        o.style.*(s->second) = true;
        return 1;
    }
    if (arg == "--cut" || arg == "--no-cut") {
        given.cut = arg == "--cut";
        return 1;
    }
    std::string_view name = arg;
    std::optional<std::string_view> inline_value;
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
        name = arg.substr(0, eq);
        inline_value = arg.substr(eq + 1);
    }
    const auto v = table.valued.find(name);
    if (v == table.valued.end())
        usage_error("unknown option '" + std::string(arg) + "' (try --help)");
    if (!inline_value && i + 1 >= args.size())
        usage_error(std::string(name) + " needs a value");
    const std::string_view value = inline_value ? *inline_value : std::string_view(args[i + 1]);
    refuse_second(given, name, value);
    v->second(o, given, value);
    return inline_value ? 1 : 2;
}

// The format from --format or the output's extension; they must agree.
PictureFormat choose_format(const Options& o, const Given& given)
{
    std::optional<PictureFormat> chosen;
    if (given.format) {
        chosen = format_named(*given.format);
        if (!chosen)
            usage_error("--format must be bmp, png, pbm, escpos, escpos-graphics, escpos-bitimage or star, not '" +
                        *given.format + "'");
    }
    if (o.output == "-") {
        if (!chosen)
            usage_error("-o - writes to standard output: give --format bmp, png or pbm");
        return *chosen;
    }
    const auto dot = o.output.find_last_of("./\\");
    const std::optional<PictureFormat> named =
        dot != std::string::npos && o.output[dot] == '.' ? format_named(o.output.substr(dot + 1)) : std::nullopt;
    if (chosen && named && *chosen != *named)
        usage_error("--format " + std::string(name_of(*chosen)) + " does not match the name '" + o.output + "'");
    if (!chosen && !named)
        usage_error("cannot tell the format of '" + o.output +
                    "': name it .bmp, .png or .pbm, or give --format bmp, png or pbm");
    return chosen ? *chosen : *named;
}

void refuse_unless(bool ok, const std::string& message)
{
    if (!ok)
        usage_error(message);
}

std::optional<CommandSet> printer_format(const Given& given)
{
    return given.format ? command_set_named(lower_ascii(*given.format)) : std::nullopt;
}

// The profile with the options that override its fields.
PrinterProfile chosen_profile(const Options& o, const Given& given)
{
    const auto set = printer_format(given);
    PrinterProfile profile;
    try {
        profile = printer_profile(given.printer.value_or(set == CommandSet::StarRaster ? "star-576" : "80mm"));
    } catch (const Error& e) {
        usage_error("--printer: " + e.context() + " (see --list-printers)");
    }
    if (set)
        profile.commands = *set;
    if (given.dots)
        profile.width_dots = *given.dots;
    if (given.band_rows)
        profile.band_rows = *given.band_rows;
    if (given.left_margin)
        profile.left_margin = *given.left_margin;
    if (given.cut)
        profile.cutter = *given.cut;
    if (given.dpi)
        profile.dpi = o.dpi;
    try {
        check_profile(profile);
    } catch (const Error& e) {
        usage_error(e.context());
    }
    return profile;
}

// A printer's job: its profile sets the layout's width and dpi, and the
// output is the printer's bytes unless a picture format is asked for.
void choose_printer(Options& o, const Given& given)
{
    const bool wanted = given.printer || printer_format(given) || !o.to.empty() || given.dots || given.band_rows ||
                        given.left_margin || given.cut;
    if (!wanted)
        return;
    refuse_unless(!o.compat, "--compat draws the object's own BMP; a printer's job uses the measured layout");
    const PrinterProfile profile = chosen_profile(o, given);
    if (o.width && *o.width > profile.printable_dots())
        usage_error("--width " + std::to_string(*o.width) + " is wider than the " +
                    std::to_string(profile.printable_dots()) + " dots the printer '" + profile.name +
                    "' prints: the picture would be cut off");
    if (!o.width)
        o.width = profile.printable_dots();
    o.dpi = profile.dpi;
    o.mono = true;
    // Margins from the line boxes: a line's place then needs no later
    // line, and the job can leave while it is drawn.
    o.line_box = true;
    o.printer = profile;
    if (!o.to.empty()) {
        refuse_unless(o.output.empty(), "give --to (a printer) or -o (a file), not both");
        if (given.format && !printer_format(given))
            usage_error("--to sends the printer's bytes; --format " + *given.format + " is a picture format");
        o.printer_bytes = true;
        return;
    }
    if (o.output.empty())
        usage_error("a printer's job needs --to PRINTER, or -o FILE for its bytes (try --help)");
    if (o.output != "-")
        o.output_path = text_argument("the output file name", o.output);
    const auto dot = o.output.find_last_of("./\\");
    const bool picture_named =
        dot != std::string::npos && o.output[dot] == '.' && format_named(o.output.substr(dot + 1)).has_value();
    o.printer_bytes = printer_format(given) || (!given.format && !picture_named);
}

void choose_picture_output(Options& o, const Given& given)
{
    if (o.output.empty())
        usage_error("no output file: give -o OUT.bmp, OUT.png or OUT.pbm, or --printer (try --help)");
    if (o.output != "-")
        o.output_path = text_argument("the output file name", o.output);
    o.format = choose_format(o, given);
    refuse_unless(can_write(o.format), "this build cannot write " + std::string(format_name(o.format)) +
                                           ": write BMP or PBM");
    if (o.format == PictureFormat::Pbm)
        o.mono = true;  // PBM has one bit a pixel and nothing else
}

// A receipt is laid out on its paper's cells: 576 pixels at 203 dpi unless
// a printer or --width and --dpi say otherwise. Options of the line layout
// have no meaning there.
void check_receipt(Options& o, const Given& given)
{
    o.receipt = o.receipt || (o.input.size() > 8 && lower_ascii(o.input.substr(o.input.size() - 8)) == ".receipt");
    if (!o.receipt) {
        refuse_unless(!o.cpl && !given.column_order, "--cpl and --column-order are for receipts: add --receipt");
        return;
    }
    refuse_unless(!o.compat && !o.every_line && !o.wrap && !o.columns && !o.line_box && o.tabs.stops.empty() &&
                      !given.align && !o.line_spacing,
                  "--compat, --every-line, --wrap, --columns, --line-box, --tabs, --align and --line-spacing lay "
                  "out lines of text; a receipt lays itself out (see its width, align and text properties)");
}

void check_complete(Options& o, const Given& given)
{
    if (o.help || o.version || o.list_printers)
        return;
    check_receipt(o, given);
    choose_printer(o, given);
    if (o.receipt && !o.printer) {
        o.width = o.width.value_or(576);
        if (!given.dpi)
            o.dpi = 203;
    }
    if (o.printer_bytes) {
        refuse_unless(!o.every_line, "--every-line replaces a picture file; a printer's bytes are written once");
    } else {
        choose_picture_output(o, given);
    }
    refuse_unless(!(o.antialias && o.mono), "--antialias is for colour output; a 1-bit image has no grey edges");
    refuse_unless(!o.wrap || o.width, "--wrap needs --width, the width to wrap at");
    refuse_unless(!o.columns || o.width, "--columns needs --width, the width the columns fill");
    refuse_unless(!(o.antialias && o.no_antialias), "give --antialias or --no-antialias, not both");
    if (o.compat) {
        refuse_unless(o.format == PictureFormat::Bmp, "--compat writes BMP only");
        refuse_unless(o.output != "-", "--compat writes a file, not standard output");
        refuse_unless(!given.dpi && !o.width && !given.align && !o.antialias && !o.columns && !o.line_box &&
                          o.tabs.stops.empty() && o.tabs.every == 8,
                      "--dpi, --width, --wrap, --columns, --tabs, --line-box, --align and --antialias need the "
                      "measured layout; leave out --compat");
        // The object knows colours only by these names.
        // A colour given as neither a name nor #RRGGBB was refused already.
        refuse_unless(!o.fg_name.starts_with(u'#') && !o.bg_name.starts_with(u'#'),
                      "--compat takes colour names only (" + colour_names() + "), not #RRGGBB");
    } else {
        refuse_unless(!given.offset, "--x and --y move lines on the object's surface; they need --compat");
        refuse_unless(!given.width_factor, "--width-factor sizes the object's surface; it needs --compat");
        // The canvas takes points at 96 dpi.
        refuse_unless(static_cast<long long>(o.size) * o.dpi <= kMaxPoints * 96LL,
                      "--size " + std::to_string(o.size) + " at --dpi " + std::to_string(o.dpi) + " is " +
                          std::to_string(static_cast<long long>(o.size) * o.dpi / 96) +
                          " points at 96 dpi, more than the " + std::to_string(kMaxPoints) +
                          " a font may have: lower --size or --dpi");
    }
    // Colour pictures have grey edges, as other programs draw them; 1-bit
    // pictures and the object's job keep whole pixels.
    if (!o.compat && !o.mono && !o.no_antialias && !o.receipt)
        o.antialias = true;
    if (o.font.empty())
        o.font = default_font(o.compat);
}

}  // namespace

Text default_font(bool compat)
{
#if defined(_WIN32)
    (void)compat;
    return u"Courier New";
#else
    // The object's default, through fontconfig's alias, is the same face.
    return compat ? u"Courier New" : u"Liberation Mono";
#endif
}

Integer default_line_spacing(Integer size)
{
    const double pitch = std::round(size * 1.6);
    return static_cast<Integer>(std::min<double>(pitch, std::numeric_limits<Integer>::max()));
}

Options parse_options(std::span<const char* const> args)
{
    const OptionTable table;
    Options o;
    Given given;
    bool have_input = false;
    bool options_done = false;
    for (std::size_t i = 0; i < args.size();) {
        const std::string_view arg = args[i];
        if (!options_done && arg == "--") {
            options_done = true;
            ++i;
        } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
            i += take_option(table, o, given, args, i);
        } else {
            if (have_input)
                usage_error("more than one input file ('" + o.input + "' and '" + std::string(arg) + "')");
            o.input = std::string(arg);
            have_input = true;
            ++i;
        }
    }
    check_complete(o, given);
    return o;
}

// The layout help2man reads (see cmake/LumarinInstall.cmake): a heading
// ending in ':' on its own line, each option at two spaces with its text
// from column 26, continuation lines at 26 only, and a blank line before
// any paragraph that is not an option's.
std::string usage_text()
{
    return R"(Usage: lumarin [OPTIONS] [FILE|-] -o OUT.bmp|OUT.png|OUT.pbm|-
       lumarin [OPTIONS] --printer NAME [FILE|-] --to PRINTER|-o OUT|-

Renders each line of a text file (standard input when FILE is - or absent)
into a BMP, PNG or PBM picture, one line below the other, sized to the
text: nothing is cut off and no blank rows are left below the last line.
For a receipt or label printer, it writes the printer's own raster bytes
and sends them, band by band, while the rest is still being drawn. A
receipt document (--receipt, or a FILE named *.receipt) is laid out by its
own markup: columns, rules, cuts, sizes, barcodes, QR codes and images.

Input:
      --encoding NAME    the text's encoding (default UTF-8), for example
                         CP437, CP858, CP1252 or ISO-8859-15; lines end
                         with LF, CR LF or CR

Output:
  -o, --output OUT       file to write, once all lines are drawn (replaced
                         atomically); - writes to standard output
      --format F         bmp, png or pbm (default: from OUT's extension;
                         needed with -o -)
      --mono             1 bit a pixel: the background white (or black for
                         a dark --bg), everything drawn the other colour;
                         PBM is always 1-bit
      --every-line       replace the file after every line, for a watcher;
                         the final file is the same, and only it is synced
      --no-sync          do not wait for the file to reach the disk before
                         it replaces the old one (scratch files)
      --allow-lost-access
                         replace a file even where the new one cannot keep
                         its ACL, extended attributes or capabilities, and
                         say what was lost (otherwise such a save is refused)

Printers:
      --printer NAME     lay out for a printer profile (its width in dots
                         and its dpi, one bit a pixel) and write its bytes;
                         see --list-printers (default 80mm where --to or a
                         printer --format is given)
      --to PRINTER       send the bytes to a printer: tcp://HOST[:PORT] for
                         a network printer's raw port (9100 by default), or
                         a device such as /dev/usb/lp0 or a serial port
      --format SET       with -o: escpos (GS v 0 raster, the default),
                         escpos-graphics, escpos-bitimage or star; with
                         --printer, png, pbm or bmp write the picture
      --dots N           the printer's dots across (overrides the profile)
      --band-rows N      most rows one raster command carries
      --left-margin N    blank dots left of the picture
      --cut, --no-cut    cut the paper at the end of the job, or only feed
      --timeout SECONDS  how long to wait to connect, and for the printer
                         to take more (default 10)
      --list-printers    show the printer profiles and exit

Text:
      --font NAME|FILE   family, or a .ttf/.otf file (default Liberation
                         Mono); a family that is not installed falls back,
                         with a warning
      --size N           point size, 1 to 2048 (default 10)
      --dpi N            dots per inch the sizes are meant for, and the
                         resolution the file states (default 96): 203 or
                         300 for thermal printers
      --bold, --italic, --underline, --strikethru
                         the font's styles (default: none)
      --fg COLOUR        text colour: #RRGGBB, or black, red, green,
                         yellow, blue, magenta, cyan or white in any case
                         (default black)
      --bg COLOUR        background colour, as for --fg (default white)
      --no-antialias     whole-pixel glyph edges in colour output too
                         (colour output has grey edges by default; 1-bit
                         output never has)

Layout (pixels):
      --width PX         image width; a longer line is an error, or wrapped
                         at spaces with --wrap
      --wrap             wrap lines longer than --width where the language
                         allows (a word longer than a line between
                         characters)
      --columns N        the size at which N cells of the font (the width
                         of a 0) fill --width, instead of --size
      --tabs STOPS       tab stops, comma-separated: a position in cells,
                         or in pixels with "px", or "end" for the right
                         edge; each with l: r: c: or d: for a left, right,
                         centred or decimal stop; every:N for the stops
                         after the last (default: a stop every 8 cells)
                         e.g. --tabs r:end puts "Total<TAB>9.99" flush right
      --line-box         measure the top and bottom margins from the
                         lines' boxes, not their ink, so that pictures with
                         the same options and line count are the same height
      --align A          left, center or right (default: each line's
                         natural side: right for Arabic, Hebrew ...)
      --line-spacing N   line pitch (default: the font's line height)
      --top N            top and bottom margin (default 4)
      --side N           left and right margin (default 4)

Receipt documents:
      --receipt          FILE is a receipt document: "Item | 9.99" puts
                         the item left and the price right; lines of -
                         are rules, lines of = cut the paper; { } lines
                         set widths, borders, codes and images. Each page
                         is its own picture: OUT-1.png, OUT-2.png ... (a
                         %d in OUT is the page number); a printer cuts
                         after each (default width 576, dpi 203)
      --cpl N            characters a line: the cells the width is cut
                         into (default: a cell of 12 dots at 203 dpi, 48
                         on 576)
      --column-order O   auto, ltr or rtl: with auto (the default), a
                         document whose text is all right to left sets its
                         columns right to left

The object's job:
      --compat           size the surface by the object's own rules, as a
                         client of the renderer gets it (width from the
                         longest line's UTF-16 length, FontSize +
                         LineSpacing more height a line); BMP only
      --width-factor N   column width in percent of the size (default 80)
      --line-spacing N   line pitch (default: round(1.6 x size))
      --x N, --y N       offset of every line (default 0)

Other:
  -h, --help             show this help and exit
      --version          show the version and exit

Each of -o, --to, --format and --encoding may be given once; any other
option given again replaces its earlier value.

Examples:
  a receipt for an 80 mm thermal printer (576 dots at 203 dpi):
      lumarin --mono --dpi 203 --width 576 --wrap receipt.txt -o r.png
  a label, centred, bold:
      lumarin --size 24 --bold --align center label.txt -o label.png
  a sign in white on blue, to standard output:
      echo 'OPEN' | lumarin --size 72 --fg white --bg blue --format png -o - >sign.png

  a receipt sent to a network printer:
      lumarin --printer 80mm --wrap receipt.txt --to tcp://192.0.2.7
  a receipt document with columns and a QR code, printed:
      lumarin --printer 80mm sale.receipt --to tcp://192.0.2.7

Exit status:
  0 success, 2 bad usage, 3 bad input or text that cannot be drawn as asked,
  4 a file that cannot be read or written, 5 a printer that cannot be
  reached or did not take the whole job.
)";
}

std::string printers_text()
{
    const auto pad = [](std::string text, std::size_t width, bool right) {
        const std::string fill(text.size() < width ? width - text.size() : 0, ' ');
        return right ? fill + text : text + fill;
    };
    std::string out = "NAME      DOTS  DPI  COMMANDS          BAND  CUTTER  MARGIN  DESCRIPTION\n";
    for (const PrinterProfile& p : printer_profiles())
        out += pad(p.name, 8, false) + pad(std::to_string(p.width_dots), 6, true) + pad(std::to_string(p.dpi), 5, true) +
               "  " + pad(std::string(command_set_name(p.commands)), 16, false) +
               pad(std::to_string(p.band_rows), 5, true) + "  " + pad(p.cutter ? "yes" : "no", 6, false) +
               pad(std::to_string(p.left_margin), 8, true) + "  " + p.description + "\n";
    return out;
}

}  // namespace lumarin::cli
