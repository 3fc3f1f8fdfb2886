#include "surface/mono.hpp"

#include <algorithm>
#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumarin {

namespace {

#if defined(__SSE2__)
// Sixteen pixels' light/dark decisions as a 16-bit mask, bit i for pixel i.
// pmaddwd forms 114 B + 587 G and 299 R + 0 exactly in 32 bits per pixel,
// so the decision is the same as is_light's, only sixteen at a time.
unsigned light_mask16(const Pixel* src)
{
    const __m128i weights = _mm_set_epi16(0, 299, 587, 114, 0, 299, 587, 114);
    const __m128i zero = _mm_setzero_si128();
    const __m128i threshold = _mm_set1_epi32(127500 - 1);
    __m128i lum[4];
    for (int q = 0; q < 4; ++q) {
        const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * q));
        const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi8(px, zero), weights);  // pixels 0, 1: two sums each
        const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi8(px, zero), weights);  // pixels 2, 3
        // Gather the even and odd partial sums of the four pixels and add.
        const __m128i lo_s = _mm_shuffle_epi32(lo, _MM_SHUFFLE(3, 1, 2, 0));
        const __m128i hi_s = _mm_shuffle_epi32(hi, _MM_SHUFFLE(3, 1, 2, 0));
        const __m128i even = _mm_unpacklo_epi64(lo_s, hi_s);
        const __m128i odd = _mm_unpackhi_epi64(lo_s, hi_s);
        lum[q] = _mm_cmpgt_epi32(_mm_add_epi32(even, odd), threshold);
    }
    const __m128i words = _mm_packs_epi16(_mm_packs_epi32(lum[0], lum[1]), _mm_packs_epi32(lum[2], lum[3]));
    return static_cast<unsigned>(_mm_movemask_epi8(words));
}

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
#endif

// One row of the image, leftmost pixel into the most significant bit of
// the first byte; sixteen pixels at a time are widened to 32 bits first.
void pack_mono_row(const Image& image, int y, std::byte* dst)
{
    const int width = image.width();
    Pixel block[16];
    int x = 0;
#if defined(__SSE2__)
    for (; x + 16 <= width; x += 16) {
        image.read_pixels(x, y, 16, block);
        const unsigned mask = light_mask16(block);
        *dst++ = std::byte{kReversedBits[mask & 0xFF]};
        *dst++ = std::byte{kReversedBits[mask >> 8]};
    }
#endif
    for (; x < width; x += 8) {
        const int n = std::min(8, width - x);
        image.read_pixels(x, y, n, block);
        unsigned byte = 0;
        for (int k = 0; k < n; ++k)
            byte |= static_cast<unsigned>(is_light(block[k])) << (7 - k);
        *dst++ = static_cast<std::byte>(byte);
    }
}

}  // namespace

int convert_to_mono_rows(const Image& image, int start, int lines, std::span<std::byte> bits)
{
    if (start < 0 || lines <= 0)
        return 0;
    const int count = std::min(lines, image.height() - start);
    if (count <= 0)
        return 0;
    const auto stride = static_cast<std::size_t>(mono_stride(image.width()));
    if (bits.size() < stride * static_cast<std::size_t>(count))
        return 0;

    const std::size_t used_bytes = (static_cast<std::size_t>(image.width()) + 7) / 8;
    for (int line = 0; line < count; ++line) {
        std::byte* row = bits.data() + static_cast<std::size_t>(line) * stride;
        std::fill(row + used_bytes, row + stride, std::byte{0});
        // Scan line 0 is the bottom row of the image.
        pack_mono_row(image, image.height() - 1 - (start + line), row);
    }
    return count;
}

}  // namespace lumarin
