// The decoders' portable parts: base64 text to bytes, and pictures scaled
// down to the paper's width.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/fail.hpp"
#include "document/png_read.hpp"
#include "lumarin/error.hpp"

namespace lumarin {

namespace {

// The value of one character of RFC 4648's alphabet, or -1.
int sextet(char c) noexcept
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool is_space(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// A character as a message names it: printable ones quoted, others by value.
std::string shown(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F)
        return std::string("'") + c + "'";
    char hex[16];
    std::snprintf(hex, sizeof hex, "byte 0x%02X", byte);
    return hex;
}

[[noreturn]] void fail_base64(const std::string& what)
{
    fail(ErrorKind::InvalidPicture, "base64 " + what);
}

// Which source pixels one destination pixel covers, and how much of each:
// along an axis of `from` pixels scaled to `to`, destination pixel d spans
// [d * from, (d + 1) * from) in units where each source pixel is `to` wide.
struct Coverage {
    int first = 0;               // first source pixel
    std::vector<long long> weights;  // of first, first + 1, ...; they sum to `from`
};

std::vector<Coverage> coverages(int from, int to)
{
    std::vector<Coverage> result(static_cast<std::size_t>(to));
    for (int d = 0; d < to; ++d) {
        const long long begin = static_cast<long long>(d) * from;
        const long long end = begin + from;
        Coverage& c = result[static_cast<std::size_t>(d)];
        c.first = static_cast<int>(begin / to);
        for (long long s = c.first; s * to < end; ++s)
            c.weights.push_back(std::min(end, (s + 1) * to) - std::max(begin, s * to));
    }
    return result;
}

std::uint8_t channel(Pixel p, int shift) noexcept
{
    return static_cast<std::uint8_t>(p >> shift);
}

// One source row's channels summed over each destination column, each
// weighted by its coverage; the sums carry a factor of the source width.
void sum_row(const Pixel* row, const std::vector<Coverage>& columns, std::vector<long long>& sums)
{
    for (std::size_t d = 0; d < columns.size(); ++d) {
        long long r = 0, g = 0, b = 0;
        const Coverage& c = columns[d];
        for (std::size_t i = 0; i < c.weights.size(); ++i) {
            const Pixel p = row[static_cast<std::size_t>(c.first) + i];
            r += c.weights[i] * channel(p, 16);
            g += c.weights[i] * channel(p, 8);
            b += c.weights[i] * channel(p, 0);
        }
        sums[d * 3] = r;
        sums[d * 3 + 1] = g;
        sums[d * 3 + 2] = b;
    }
}

Pixel rounded_pixel(const long long* sums, long long total) noexcept
{
    auto value = [&](int i) { return static_cast<Pixel>((sums[i] + total / 2) / total); };
    return value(0) << 16 | value(1) << 8 | value(2);
}

}  // namespace

std::vector<std::byte> decode_base64(std::string_view text)
{
    std::vector<std::byte> out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t bits = 0;
    int held = 0;             // bits in `bits` not yet written
    std::size_t symbols = 0;  // alphabet characters seen
    std::size_t pads = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (is_space(c))
            continue;
        if (c == '=') {
            if (++pads > 2)
                fail_base64("has more than two '=' at offset " + std::to_string(at));
            continue;
        }
        const int value = sextet(c);
        if (value < 0)
            fail_base64("has a bad character, " + shown(c) + ", at offset " + std::to_string(at));
        if (pads > 0)
            fail_base64("goes on after its '=' padding, at offset " + std::to_string(at));
        bits = bits << 6 | static_cast<std::uint32_t>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            out.push_back(static_cast<std::byte>(bits >> held));
            bits &= (1u << held) - 1;
        }
        ++symbols;
    }
    // One character of a group carries only six bits: less than a byte.
    if (symbols % 4 == 1)
        fail_base64("ends in a group of one character, which holds no whole byte");
    if (pads > 0 && (symbols + pads) % 4 != 0)
        fail_base64("padding does not fill its last group of four");
    return out;
}

DecodedImage fit_width(DecodedImage image, int max_width)
{
    if (max_width < 1)
        fail(ErrorKind::InvalidPropertyValue, "a picture cannot fit in " + std::to_string(max_width) + " px");
    if (image.width <= max_width)
        return image;
    const int width = max_width;
    const long long scaled = (static_cast<long long>(image.height) * width + image.width / 2) / image.width;
    const int height = static_cast<int>(std::max(scaled, 1LL));
    const auto columns = coverages(image.width, width);
    const auto rows = coverages(image.height, height);
    // Each destination pixel's weights sum to the source's width times its height.
    const long long total = static_cast<long long>(image.width) * image.height;

    DecodedImage out{width, height, std::vector<Pixel>(static_cast<std::size_t>(width) * height)};
    std::vector<long long> row_sums(static_cast<std::size_t>(width) * 3);
    std::vector<long long> sums(row_sums.size());
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        const Coverage& c = rows[static_cast<std::size_t>(y)];
        for (std::size_t i = 0; i < c.weights.size(); ++i) {
            const std::size_t source = static_cast<std::size_t>(c.first) + i;
            sum_row(image.pixels.data() + source * static_cast<std::size_t>(image.width), columns, row_sums);
            for (std::size_t k = 0; k < sums.size(); ++k)
                sums[k] += c.weights[i] * row_sums[k];
        }
        for (int x = 0; x < width; ++x)
            out.pixels[static_cast<std::size_t>(y) * width + x] = rounded_pixel(&sums[static_cast<std::size_t>(x) * 3], total);
    }
    return out;
}

Pixel over_background(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha,
                      Pixel background) noexcept
{
    auto mix = [alpha](unsigned colour, unsigned under) {
        return static_cast<Pixel>((colour * alpha + under * (255u - alpha) + 127) / 255);
    };
    return mix(red, channel(background, 16)) << 16 | mix(green, channel(background, 8)) << 8 |
           mix(blue, channel(background, 0));
}

}  // namespace lumarin
