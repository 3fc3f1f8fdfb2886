#include "surface/mono.hpp"

#include <algorithm>
#include <array>
#include <cstring>

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

// One row, leftmost pixel into the most significant bit of the first byte.
void pack_mono_row(const Pixel* src, int width, std::uint8_t* dst)
{
    int x = 0;
#if defined(__SSE2__)
    for (; x + 16 <= width; x += 16) {
        const unsigned mask = light_mask16(src + x);
        *dst++ = kReversedBits[mask & 0xFF];
        *dst++ = kReversedBits[mask >> 8];
    }
#endif
    for (; x < width; x += 8) {
        std::uint8_t byte = 0;
        for (int k = 0; k < 8 && x + k < width; ++k)
            byte |= static_cast<std::uint8_t>(is_light(src[x + k])) << (7 - k);
        *dst++ = byte;
    }
}

}  // namespace

int GetDIBits(const Image& bitmap, int start, int lines, std::span<std::uint8_t> bits, MonoBitmapInfo& info)
{
    if (info.biSize != 40 || info.biPlanes != 1 || info.biBitCount != 1 || info.biCompression != 0 ||
        info.biWidth != bitmap.width() || info.biHeight != bitmap.height() || info.biHeight <= 0 || start < 0 || lines <= 0)
        return 0;
    const int available = bitmap.height() - start;
    const int count = std::min(lines, available);
    if (count <= 0)
        return 0;
    const auto stride = static_cast<std::size_t>(mono_stride(bitmap.width()));
    if (bits.size() < stride * static_cast<std::size_t>(count))
        return 0;

    const std::size_t used_bytes = (static_cast<std::size_t>(bitmap.width()) + 7) / 8;
    for (int line = 0; line < count; ++line) {
        std::uint8_t* row = bits.data() + static_cast<std::size_t>(line) * stride;
        std::memset(row + used_bytes, 0, stride - used_bytes);
        // Scan line 0 is the bottom row of the image.
        pack_mono_row(bitmap.row(bitmap.height() - 1 - (start + line)), bitmap.width(), row);
    }
    if (info.biSizeImage == 0)
        info.biSizeImage = static_cast<std::uint32_t>(stride * static_cast<std::size_t>(bitmap.height()));
    info.bmiColors = {kMonoBlack, kMonoWhite};
    return count;
}

}  // namespace lumarin
