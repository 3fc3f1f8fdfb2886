#include "tools/lumarin/options.hpp"

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <string_view>

#include "common/text.hpp"

namespace lumarin::cli {

namespace {

template <typename T>
T parse_integer(std::string_view option, std::string_view value, long long low = std::numeric_limits<T>::min())
{
    constexpr long long high = std::numeric_limits<T>::max();
    long long n = 0;
    const char* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, n);
    if (value.empty() || ptr != end || ec == std::errc::invalid_argument)
        throw UsageError(std::string(option) + " needs a whole number, not '" + std::string(value) + "'");
    if (ec == std::errc::result_out_of_range || n < low || n > high)
        throw UsageError(std::string(option) + " must be between " + std::to_string(low) + " and " +
                         std::to_string(high) + ", not " + std::string(value));
    return static_cast<T>(n);
}

Text text_argument(std::string_view option, std::string_view value)
{
    Text text;
    if (!from_utf8(value, text))
        throw UsageError(std::string(option) + " is not valid UTF-8");
    return text;
}

using Setter = std::function<void(Options&, std::string_view)>;

// Options that take a value, by name.
std::map<std::string_view, Setter> valued_options()
{
    return {
        {"--font", [](Options& o, std::string_view v) { o.font = text_argument("--font", v); }},
        {"--size", [](Options& o, std::string_view v) { o.size = parse_integer<Integer>("--size", v, 1); }},
        {"--fg", [](Options& o, std::string_view v) { o.fg = text_argument("--fg", v); }},
        {"--bg", [](Options& o, std::string_view v) { o.bg = text_argument("--bg", v); }},
        {"--line-spacing",
         [](Options& o, std::string_view v) { o.line_spacing = parse_integer<Integer>("--line-spacing", v); }},
        {"--width-factor",
         [](Options& o, std::string_view v) { o.width_factor = parse_integer<Integer>("--width-factor", v); }},
        {"--top", [](Options& o, std::string_view v) { o.top = parse_integer<Integer>("--top", v); }},
        {"--side", [](Options& o, std::string_view v) { o.side = parse_integer<Integer>("--side", v); }},
        {"--x", [](Options& o, std::string_view v) { o.x = parse_integer<Long>("--x", v); }},
        {"--y", [](Options& o, std::string_view v) { o.y = parse_integer<Long>("--y", v); }},
        {"--output", [](Options& o, std::string_view v) { o.output = std::string(v); }},
        {"-o", [](Options& o, std::string_view v) { o.output = std::string(v); }},
    };
}

std::map<std::string_view, bool Options::*> switches()
{
    return {
        {"--mono", &Options::mono},
        {"--every-line", &Options::every_line},
        {"--help", &Options::help},
        {"-h", &Options::help},
        {"--version", &Options::version},
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

// Handles one option at args[i]; returns how many arguments it used.
std::size_t take_option(const OptionTable& table, Options& o, std::span<const char* const> args, std::size_t i)
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
    std::string_view name = arg;
    std::optional<std::string_view> inline_value;
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
        name = arg.substr(0, eq);
        inline_value = arg.substr(eq + 1);
    }
    const auto v = table.valued.find(name);
    if (v == table.valued.end())
        throw UsageError("unknown option '" + std::string(arg) + "' (try --help)");
    if (inline_value) {
        v->second(o, *inline_value);
        return 1;
    }
    if (i + 1 >= args.size())
        throw UsageError(std::string(name) + " needs a value");
    v->second(o, args[i + 1]);
    return 2;
}

void check_complete(const Options& o)
{
    if (o.help || o.version)
        return;
    if (o.output.empty())
        throw UsageError("no output file: give -o OUT.bmp (try --help)");
    text_argument("the output file name", o.output);
}

}  // namespace

Integer default_line_spacing(Integer size)
{
    const double pitch = std::round(size * 1.6);
    return static_cast<Integer>(std::min<double>(pitch, std::numeric_limits<Integer>::max()));
}

Options parse_options(std::span<const char* const> args)
{
    const OptionTable table;
    Options o;
    bool have_input = false;
    bool options_done = false;
    for (std::size_t i = 0; i < args.size();) {
        const std::string_view arg = args[i];
        if (!options_done && arg == "--") {
            options_done = true;
            ++i;
        } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
            i += take_option(table, o, args, i);
        } else {
            if (have_input)
                throw UsageError("more than one input file ('" + o.input + "' and '" + std::string(arg) + "')");
            o.input = std::string(arg);
            have_input = true;
            ++i;
        }
    }
    check_complete(o);
    return o;
}

std::string usage_text()
{
    return R"(Usage: lumarin [OPTIONS] [FILE|-] -o OUT.bmp

Renders each line of a UTF-8 text file (standard input when FILE is - or
absent) into a 24-bit BMP, one line below the other; --mono rewrites the
result as a 1-bit BMP.

Output:
  -o, --output OUT.bmp   file to write, once all lines are drawn (replaced
                         atomically)
      --mono             write a 1-bit black-and-white bitmap
      --every-line       replace the file after every line, for a watcher;
                         the final file is the same

Text style:
      --font NAME        typeface (default "Courier New")
      --size N           point size, 1 to 32767 (default 10)
      --bold, --italic, --underline, --strikethru
      --fg COLOUR        text colour name (default black)
      --bg COLOUR        background colour name (default white)
                         Known names: black red green yellow blue magenta
                         cyan white, in any case; any other name is passed on
                         and the renderer uses its default for it.
      --width-factor N   column width in percent of the size, used to size
                         the surface for the longest line (default 80)

Layout (pixels):
      --line-spacing N   line pitch (default: round(1.6 x size))
      --top N            top and bottom margin (default 4)
      --side N           left and right margin (default 4)
      --x N, --y N       offset of every line (default 0)

      -h, --help         show this help and exit
      --version          show the version and exit

Exit status: 0 success, 2 bad usage, 3 bad input or a value the renderer
refuses, 4 a file that cannot be written.
)";
}

}  // namespace lumarin::cli
