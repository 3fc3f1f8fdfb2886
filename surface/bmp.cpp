#include "surface/bmp.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "surface/bytes.hpp"
#include "surface/file.hpp"

namespace lumarin {

namespace {

constexpr std::size_t kChunkBytes = 1 << 20;

// One image row as B, G, R triplets followed by zero padding. Four pixels
// (0x00RRGGBB each, top byte zero) fold into three little-endian words.
void pack_row(const Pixel* src, int width, std::byte* dst, std::size_t stride)
{
    static_assert(std::endian::native == std::endian::little, "pixels are folded as little-endian words");
    std::byte* out = dst;
    int x = 0;
    for (; x + 4 <= width; x += 4, out += 12) {
        const std::uint32_t p0 = src[x], p1 = src[x + 1], p2 = src[x + 2], p3 = src[x + 3];
        const std::uint32_t words[3] = {p0 | p1 << 24, p1 >> 8 | p2 << 16, p2 >> 16 | p3 << 8};
        std::memcpy(out, words, sizeof words);
    }
    for (; x < width; ++x, out += 3) {
        const Pixel p = src[x];
        out[0] = static_cast<std::byte>(p);
        out[1] = static_cast<std::byte>(p >> 8);
        out[2] = static_cast<std::byte>(p >> 16);
    }
    std::fill(out, dst + stride, std::byte{0});
}

// Calls emit with runs of whole rows, bottom row first.
template <typename Emit>
void for_each_row_chunk(const Image& image, Emit emit)
{
    const std::size_t stride = bmp24_stride(image.width());
    if (stride == 0 || image.height() == 0)
        return;
    const std::size_t rows_per_chunk = std::max<std::size_t>(1, kChunkBytes / stride);
    std::vector<std::byte> chunk(std::min<std::size_t>(rows_per_chunk, image.height()) * stride);
    int y = image.height() - 1;
    while (y >= 0) {
        std::size_t used = 0;
        for (std::size_t r = 0; r < rows_per_chunk && y >= 0; ++r, --y, used += stride)
            pack_row(image.row(y), image.width(), chunk.data() + used, stride);
        emit(std::span<const std::byte>(chunk.data(), used));
    }
}

}  // namespace

std::vector<std::byte> bmp24_header(int width, int height)
{
    const auto image_bytes = static_cast<std::uint32_t>(bmp24_stride(width) * static_cast<std::size_t>(height));
    std::vector<std::byte> out;
    out.reserve(kBmp24HeaderSize);
    ByteWriter w(out);
    // file header
    w.u8('B');
    w.u8('M');
    w.u32(kBmp24HeaderSize + image_bytes);  // bfSize
    w.u16(0);                               // bfReserved1
    w.u16(0);                               // bfReserved2
    w.u32(kBmp24HeaderSize);                // bfOffBits
    // information header
    w.u32(40);           // biSize
    w.i32(width);        // biWidth
    w.i32(height);       // biHeight: positive, bottom row first
    w.u16(1);            // biPlanes
    w.u16(24);           // biBitCount
    w.u32(0);            // biCompression: BI_RGB
    w.u32(image_bytes);  // biSizeImage
    w.i32(3780);         // biXPelsPerMeter: 96 dpi
    w.i32(3780);         // biYPelsPerMeter
    w.u32(0);            // biClrUsed
    w.u32(0);            // biClrImportant
    return out;
}

std::vector<std::byte> encode_bmp24(const Image& image)
{
    std::vector<std::byte> out = bmp24_header(image.width(), image.height());
    for_each_row_chunk(image, [&](std::span<const std::byte> rows) { out.insert(out.end(), rows.begin(), rows.end()); });
    return out;
}

void SavePicture(const Image& image, const Text& path)
{
    ReplacementFile file(path);
    file.write(bmp24_header(image.width(), image.height()));
    for_each_row_chunk(image, [&](std::span<const std::byte> rows) { file.write(rows); });
    file.commit();
}

}  // namespace lumarin
