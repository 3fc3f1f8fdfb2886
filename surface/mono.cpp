#include "surface/mono.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "surface/bytes.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumarin {

namespace {

constexpr std::array<std::uint8_t, 256> kReversedBits = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v) {
        unsigned r = 0;
        for (int b = 0; b < 8; ++b)
            r |= ((v >> b) & 1u) << (7 - b);
        table[v] = static_cast<std::uint8_t>(r);
    }
    return table;
}();

// The background's three bytes as a row stores them: B, G, R.
struct BackgroundBytes {
    std::uint8_t b, g, r;
    explicit BackgroundBytes(Pixel p) noexcept
        : b(static_cast<std::uint8_t>(p)), g(static_cast<std::uint8_t>(p >> 8)), r(static_cast<std::uint8_t>(p >> 16))
    {
    }
    bool matches(const std::byte* px) const noexcept
    {
        return std::to_integer<std::uint8_t>(px[0]) == b && std::to_integer<std::uint8_t>(px[1]) == g &&
               std::to_integer<std::uint8_t>(px[2]) == r;
    }
};

#if defined(__SSE2__)
// Sixteen pixels (48 bytes) at once: bit i of the result is set when pixel
// i equals the background. The row's bytes are compared with the
// background repeated; a pixel matches when its three byte-matches are all
// set, and every third bit is then gathered into sixteen.
class BackgroundMatcher16 {
public:
    explicit BackgroundMatcher16(const BackgroundBytes& bg) noexcept
    {
        alignas(16) std::uint8_t pattern[48];
        for (int i = 0; i < 16; ++i) {
            pattern[3 * i] = bg.b;
            pattern[3 * i + 1] = bg.g;
            pattern[3 * i + 2] = bg.r;
        }
        for (int k = 0; k < 3; ++k)
            pattern_[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(pattern + 16 * k));
    }

    unsigned operator()(const std::byte* px) const noexcept
    {
        __m128i eq[3];
        for (int k = 0; k < 3; ++k)
            eq[k] = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(px + 16 * k)), pattern_[k]);
        // Most of a picture of text is background: sixteen matching pixels
        // need no gathering.
        if (_mm_movemask_epi8(_mm_and_si128(_mm_and_si128(eq[0], eq[1]), eq[2])) == 0xFFFF)
            return 0xFFFF;
        std::uint64_t same = 0;  // bit j: byte j matches
        for (int k = 0; k < 3; ++k)
            same |= std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(eq[k]))} << (16 * k);
        return every_third_bit(same & (same >> 1) & (same >> 2));
    }

private:
    // Bits 0, 3, 6, ... 45 of x as bits 0 to 15.
    static unsigned every_third_bit(std::uint64_t x) noexcept
    {
        x &= 0x249249249249ULL;
        x = (x ^ (x >> 2)) & 0x10c30c30c30c30c3ULL;
        x = (x ^ (x >> 4)) & 0x100f00f00f00f00fULL;
        x = (x ^ (x >> 8)) & 0x001f0000ff0000ffULL;
        x = (x ^ (x >> 16)) & 0x001f00000000ffffULL;
        x = (x ^ (x >> 32)) & 0x1fffffULL;
        return static_cast<unsigned>(x);
    }

    __m128i pattern_[3];
};
#endif

// One row of the image, leftmost pixel into the most significant bit of
// the first byte. `flip` turns "equals the background" into the bit value.
void pack_mono_row(std::span<const std::byte> row, int width, const BackgroundBytes& bg, unsigned flip,
                   std::byte* dst)
{
    const std::byte* px = row.data();
    int x = 0;
#if defined(__SSE2__)
    const BackgroundMatcher16 matcher(bg);
    for (; x + 16 <= width; x += 16, px += 48) {
        const unsigned bits = matcher(px) ^ (flip & 0xFFFF);
        *dst++ = std::byte{kReversedBits[bits & 0xFF]};
        *dst++ = std::byte{kReversedBits[bits >> 8]};
    }
#endif
    for (; x < width; x += 8) {
        const int n = std::min(8, width - x);
        unsigned byte = 0;
        for (int k = 0; k < n; ++k, px += 3)
            byte |= (static_cast<unsigned>(bg.matches(px)) ^ (flip & 1)) << (7 - k);
        *dst++ = static_cast<std::byte>(byte);
    }
}

}  // namespace

int convert_to_mono_rows(const Image& image, Pixel background, int start, int lines, std::span<std::byte> bits)
{
    if (start < 0 || lines <= 0)
        return 0;
    const int count = std::min(lines, image.height() - start);
    if (count <= 0)
        return 0;
    const auto stride = static_cast<std::size_t>(mono_stride(image.width()));
    if (bits.size() < stride * static_cast<std::size_t>(count))
        return 0;

    const BackgroundBytes bg(background);
    // Matching pixels take the background's entry: white (1) when it is light.
    const unsigned flip = mono_bit(background, background) == 1 ? 0u : ~0u;
    const std::size_t used_bytes = (static_cast<std::size_t>(image.width()) + 7) / 8;
    // The image keeps its bottom row (scan line 0) first, so this reads it
    // forward in memory, as the hardware prefetches it.
    for (int line = 0; line < count; ++line) {
        std::byte* row = bits.data() + static_cast<std::size_t>(line) * stride;
        std::fill(row + used_bytes, row + stride, std::byte{0});
        pack_mono_row(image.row(image.height() - 1 - (start + line)), image.width(), bg, flip, row);
    }
    return count;
}

void pack_print_row(const Image& image, Pixel background, int y, std::byte* out)
{
    // Set where black: where the pixel differs from a light background, or
    // equals a dark one.
    const unsigned flip = mono_bit(background, background) == 1 ? ~0u : 0u;
    pack_mono_row(image.row(y), image.width(), BackgroundBytes(background), flip, out);
}

void for_each_mono_run(const Image& image, Pixel background, const std::function<void(std::span<std::byte>)>& take)
{
    const auto row_bytes = static_cast<std::size_t>(packed_mono_row_bytes(image.width()));
    const auto height = static_cast<std::size_t>(image.height());
    if (row_bytes == 0 || height == 0)
        return;
    const auto stride = static_cast<std::size_t>(mono_stride(image.width()));
    const std::size_t rows_per_run = std::clamp<std::size_t>(kWriteChunkBytes / row_bytes, 1, height);
    // Each row is converted at its packed place; the word padding the
    // conversion adds runs into the next row's place, which that row then
    // overwrites, or into the slack after the last row.
    std::vector<std::byte> run(rows_per_run * row_bytes + (stride - row_bytes));
    for (std::size_t top = 0; top < height; top += rows_per_run) {
        const std::size_t count = std::min(rows_per_run, height - top);
        for (std::size_t i = 0; i < count; ++i) {
            const auto scan_line = static_cast<int>(height - 1 - (top + i));
            if (convert_to_mono_rows(image, background, scan_line, 1, std::span(run).subspan(i * row_bytes, stride)) != 1)
                fail(ErrorKind::InvalidPicture, "cannot convert the surface to one bit per pixel");
        }
        take(std::span(run.data(), count * row_bytes));
    }
}

namespace {

int luminance(Pixel p) noexcept
{
    return static_cast<int>((299 * ((p >> 16) & 0xFF) + 587 * ((p >> 8) & 0xFF) + 114 * (p & 0xFF) + 500) / 1000);
}

}  // namespace

void dither_between(Image& image, Pixel ink, Pixel background, std::optional<PixelArea> area)
{
    const PixelArea all{0, 0, image.width(), image.height()};
    const PixelArea in = area ? PixelArea{std::max(area->left, 0LL), std::max(area->top, 0LL),
                                          std::min(area->right, all.right), std::min(area->bottom, all.bottom)}
                              : all;
    if (in.width() <= 0 || in.height() <= 0)
        return;
    const int left = static_cast<int>(in.left);
    const int width = static_cast<int>(in.width());
    const float ink_l = static_cast<float>(luminance(ink));
    float span = static_cast<float>(luminance(background)) - ink_l;
    // Two colours of one luminance: by luminance alone, dark is ink.
    const float from = span == 0 ? 0.0F : ink_l;
    if (span == 0)
        span = luminance(background) >= 128 ? 255.0F : -255.0F;
    // The error carried into this row and the next, one slot of slack at each end.
    std::vector<float> here(static_cast<std::size_t>(width) + 2);
    std::vector<float> next(here.size());
    std::vector<Pixel> row(static_cast<std::size_t>(width));
    for (int y = static_cast<int>(in.top); y < in.bottom; ++y) {
        image.read_pixels(left, y, width, row.data());
        const bool forward = y % 2 == 0;
        const int step = forward ? 1 : -1;
        bool changed = false;
        for (int i = 0; i < width; ++i) {
            const int x = forward ? i : width - 1 - i;
            const std::size_t at = static_cast<std::size_t>(x) + 1;
            const Pixel p = row[static_cast<std::size_t>(x)];
            if (p == ink || p == background)
                continue;
            const float value = (static_cast<float>(luminance(p)) - from) / span + here[at];
            const bool light = value >= 0.5F;
            row[static_cast<std::size_t>(x)] = light ? background : ink;
            changed = true;
            const float error = value - (light ? 1.0F : 0.0F);
            here[at + step] += error * 7 / 16;
            next[at - step] += error * 3 / 16;
            next[at] += error * 5 / 16;
            next[at + step] += error * 1 / 16;
        }
        if (changed)
            image.write_pixels(left, y, width, row.data());
        here.swap(next);
        std::fill(next.begin(), next.end(), 0.0F);
    }
}

}  // namespace lumarin
