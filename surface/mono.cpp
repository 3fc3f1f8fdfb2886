#include "surface/mono.hpp"

#include <algorithm>
#include <cstring>

namespace lumarin {

namespace {

void pack_mono_row(const Pixel* src, int width, std::uint8_t* dst)
{
    // Eight pixels at a time, leftmost into the most significant bit; the
    // inner loop is simple enough for the compiler to vectorise.
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        std::uint8_t byte = 0;
        for (int k = 0; k < 8; ++k)
            byte |= static_cast<std::uint8_t>(is_light(src[x + k])) << (7 - k);
        *dst++ = byte;
    }
    if (x < width) {
        std::uint8_t byte = 0;
        for (int k = 0; x + k < width; ++k)
            byte |= static_cast<std::uint8_t>(is_light(src[x + k])) << (7 - k);
        *dst = byte;
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

    for (int line = 0; line < count; ++line) {
        std::uint8_t* row = bits.data() + static_cast<std::size_t>(line) * stride;
        std::memset(row, 0, stride);
        // Scan line 0 is the bottom row of the image.
        pack_mono_row(bitmap.row(bitmap.height() - 1 - (start + line)), bitmap.width(), row);
    }
    if (info.biSizeImage == 0)
        info.biSizeImage = static_cast<std::uint32_t>(stride * static_cast<std::size_t>(bitmap.height()));
    info.bmiColors = {kMonoBlack, kMonoWhite};
    return count;
}

}  // namespace lumarin
