#include "tools/lumarin/limits.hpp"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "common/arith.hpp"
#include "common/text.hpp"
#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "renderer/sizing.hpp"
#include "surface/image.hpp"

namespace lumarin::cli {

namespace {


bool fits16(long long v) { return std::in_range<Integer>(v); }


// A size in whole pixels as the canvas takes it: narrowed to a Single,
// halves to even.
long long pixels(double value) { return static_cast<long long>(round_half_even(static_cast<Single>(value))); }

[[noreturn]] void refuse(ErrorKind kind, std::size_t lines, const std::string& what, const std::string& limit,
                         long long fit = -1)
{
    std::string message = grouped(static_cast<long long>(lines)) + " lines: " + what + ", past " + limit;
    if (fit >= 0)
        message += "; at most " + grouped(fit) + " lines fit";
    fail(kind, message);
}

// The surface after sizing, before the first line: what the renderer's
// MaximumStringLength, SidePadding and TopPadding make of the options, or
// nothing when one of them overflows (the renderer says so itself).
struct Sized {
    long long width = 0;
    long long height = 0;
    long long pitch = 0;  // LineSpacing
    long long step = 0;   // how much each line adds to the height
};

std::optional<Sized> sized(std::size_t longest, const Options& o)
{
    const long long factor = o.width_factor == 0 ? kDefaultWidthFactor : o.width_factor;
    const long long per_hundred = o.size * factor;
    const long long side = std::abs(static_cast<long long>(o.side));
    const long long top = std::abs(static_cast<long long>(o.top));
    const long long pitch = o.line_spacing.value_or(default_line_spacing(o.size));
    if (!fits16(per_hundred) || !fits16(side) || !fits16(2 * side) || !fits16(2 * top) || !fits16(2 * top + pitch) ||
        1 + 2 * top + pitch < 0)
        return std::nullopt;
    const long long text_width = pixels(static_cast<double>(per_hundred) / 100.0 * static_cast<double>(longest));
    if (text_width < 0)
        return std::nullopt;
    if (text_width > kMaxImageSide)
        fail(ErrorKind::OutOfMemory, "the longest line, " + grouped(static_cast<long long>(longest)) +
                                         " code units at --size " + std::to_string(o.size) + " and --width-factor " +
                                         std::to_string(factor) + ", makes the image " + grouped(text_width) +
                                         " px wide, past the limit of " + grouped(kMaxImageSide) + " px a side");
    return Sized{text_width + 2 * side, 1 + 2 * top + pitch, pitch, o.size + pitch};
}

// How many lines fit below `most` at `step` each, from `start`.
long long lines_within(long long most, long long start, long long step)
{
    return step <= 0 ? kMaxLines : std::max(0LL, (most - start) / step);
}

void check_line_positions(std::size_t lines, const Sized& s, const Options& o)
{
    const auto n = static_cast<long long>(lines);
    if (n > kMaxLines)
        refuse(ErrorKind::Overflow, lines, "more than one image holds", grouped(kMaxLines) + " lines");
    const long long last = n * s.pitch;
    if (!fits16(last)) {
        const long long fit = s.pitch > 0 ? 32767 / s.pitch : 32768 / -s.pitch;
        refuse(ErrorKind::Overflow, lines,
               "the last would lie at y = " + grouped(last) + " px (" + grouped(n) + " x --line-spacing " +
                   std::to_string(s.pitch) + ")",
               "the renderer's 16-bit line position", fit);
    }
    for (const long long position : {s.pitch, last})
        if (!std::in_range<Long>(position + o.y))
            refuse(ErrorKind::Overflow, lines, "--y " + std::to_string(o.y) + " moves a line", "32 bits");
}

void check_surface(std::size_t lines, const Sized& s)
{
    const auto n = static_cast<long long>(lines);
    const long long final_height = s.height + n * s.step;
    if (final_height < 0)
        refuse(ErrorKind::InvalidPropertyValue, lines,
               "each line takes " + grouped(-s.step) + " px off the image's height", "zero");
    const long long height = std::max(s.height, final_height);
    const std::string size = grouped(s.width) + " x " + grouped(height) + " px";
    if (height > kMaxImageSide)
        refuse(ErrorKind::OutOfMemory, lines, "the image would be " + size,
               "the limit of " + grouped(kMaxImageSide) + " px a side", lines_within(kMaxImageSide, s.height, s.step));
    if (s.width * height > kMaxImagePixels)
        refuse(ErrorKind::OutOfMemory, lines, "the image would be " + size, "the limit of 64 Mi pixels",
               lines_within(kMaxImagePixels / std::max(1LL, s.width), s.height, s.step));
}

}  // namespace

void check_job_fits(std::size_t lines, std::size_t longest, const Options& options)
{
    const std::optional<Sized> s = sized(longest, options);
    if (!s || lines == 0)
        return;
    check_line_positions(lines, *s, options);
    check_surface(lines, *s);
}

}  // namespace lumarin::cli
