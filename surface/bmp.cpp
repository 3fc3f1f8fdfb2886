#include "surface/bmp.hpp"

#include <algorithm>
#include <array>
#include <span>

#include "common/arith.hpp"
#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "surface/bytes.hpp"
#include "surface/file.hpp"
#include "surface/mono.hpp"

namespace lumarin {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;

// One colour table entry, in the order the file stores it.
struct RgbQuad {
    std::uint8_t rgbBlue = 0;
    std::uint8_t rgbGreen = 0;
    std::uint8_t rgbRed = 0;
    std::uint8_t rgbReserved = 0;
};

using PackRows = void (*)(const Image& image, Pixel background, int start, int count, std::span<std::byte> rows);

// What sets one kind of file apart; every other header field is the same.
struct Format {
    std::uint16_t bit_count = 0;
    std::int32_t pels_per_meter = 0;
    std::span<const RgbQuad> colour_table;
    // `count` rows from scan line `start`, the bottom row being 0; none for
    // the colour file, whose rows the image keeps as the file stores them.
    PackRows pack_rows = nullptr;
};

void pack_mono_rows(const Image& image, Pixel background, int start, int count, std::span<std::byte> rows)
{
    // Fewer lines would leave zeroed rows in the file: that is a failure,
    // not a black bitmap.
    if (convert_to_mono_rows(image, background, start, count, rows) != count)
        fail(ErrorKind::InvalidPicture, "cannot convert the surface to one bit per pixel");
}

// A set bit of the conversion is white.
constexpr std::array<RgbQuad, 2> kBlackAndWhite{{{0, 0, 0, 0}, {255, 255, 255, 0}}};

constexpr Format kColour{24, kBmp24PelsPerMeter, {}, nullptr};
constexpr Format kMono{1, kBmp1PelsPerMeter, kBlackAndWhite, pack_mono_rows};

constexpr Format at_resolution(Format format, std::int32_t pels_per_meter) noexcept
{
    format.pels_per_meter = pels_per_meter;
    return format;
}

constexpr std::uint32_t header_size(const Format& format) noexcept
{
    return kFileHeaderSize + kInfoHeaderSize + static_cast<std::uint32_t>(format.colour_table.size() * 4);
}
static_assert(header_size(kColour) == kBmp24HeaderSize);
static_assert(header_size(kMono) == kBmp1HeaderSize);

// The file header, the information header and the colour table.
std::vector<std::byte> header(const Format& format, const Image& image)
{
    const std::uint32_t off_bits = header_size(format);
    const auto image_bytes =
        narrow_checked<std::int32_t>(bmp_stride(image.width(), format.bit_count) * image.height());
    const auto file_size = narrow_checked<std::int32_t>(std::int64_t{off_bits} + image_bytes);
    std::vector<std::byte> out;
    out.reserve(off_bits);
    ByteWriter w(out);
    // file header
    w.u8('B');                                     // bfType
    w.u8('M');
    w.u32(static_cast<std::uint32_t>(file_size));  // bfSize
    w.u16(0);                                      // bfReserved1
    w.u16(0);                                      // bfReserved2
    w.u32(off_bits);                               // bfOffBits
    // information header
    w.u32(kInfoHeaderSize);                         // biSize
    w.i32(image.width());                           // biWidth
    w.i32(image.height());                          // biHeight: positive, bottom row first
    w.u16(1);                                       // biPlanes
    w.u16(format.bit_count);                        // biBitCount
    w.u32(0);                                       // biCompression: BI_RGB
    w.u32(static_cast<std::uint32_t>(image_bytes));  // biSizeImage
    w.i32(format.pels_per_meter);                   // biXPelsPerMeter
    w.i32(format.pels_per_meter);                   // biYPelsPerMeter
    w.u32(0);                                       // biClrUsed: as many as the bit count allows
    w.u32(0);                                       // biClrImportant: all of them
    // colour table
    for (const RgbQuad& c : format.colour_table) {
        w.u8(c.rgbBlue);
        w.u8(c.rgbGreen);
        w.u8(c.rgbRed);
        w.u8(c.rgbReserved);
    }
    return out;
}

using Pieces = std::span<const std::span<const std::byte>>;

// Calls emit with the file's pieces in order: the header, then whole rows,
// bottom row first. The colour file's rows are the image's own block, all
// in one call; the 1-bit file's are packed a run of about 1 MiB at a time, so that
// no buffer grows with the image.
template <typename Emit>
void write_bmp(const Format& format, const Image& image, Pixel background, Emit emit)
{
    const std::vector<std::byte> head = header(format, image);
    if (!format.pack_rows) {
        const std::array<std::span<const std::byte>, 2> pieces{head, image.file_rows()};
        emit(Pieces(pieces));
        return;
    }
    const auto emit_one = [&](std::span<const std::byte> bytes) { emit(Pieces(&bytes, 1)); };
    emit_one(head);
    const auto stride = static_cast<std::size_t>(bmp_stride(image.width(), format.bit_count));
    if (stride == 0 || image.height() == 0)
        return;
    const auto height = static_cast<std::size_t>(image.height());
    const std::size_t rows_per_chunk = std::clamp<std::size_t>(kWriteChunkBytes / stride, 1, height);
    std::vector<std::byte> chunk(rows_per_chunk * stride);
    for (std::size_t start = 0; start < height; start += rows_per_chunk) {
        const std::size_t count = std::min(rows_per_chunk, height - start);
        const std::span<std::byte> rows(chunk.data(), count * stride);
        format.pack_rows(image, background, static_cast<int>(start), static_cast<int>(count), rows);
        emit_one(rows);
    }
}

std::vector<std::byte> encode(const Format& format, const Image& image, Pixel background)
{
    std::vector<std::byte> out;
    write_bmp(format, image, background, [&](Pieces pieces) {
        for (const auto& piece : pieces)
            out.insert(out.end(), piece.begin(), piece.end());
    });
    return out;
}

void save(const Format& format, const Image& image, Pixel background, const Text& path, const SaveOptions& options)
{
    ReplacementFile file(path, options);
    write_bmp(format, image, background, [&](Pieces pieces) { file.write(pieces); });
    file.commit();
}

}  // namespace

// The colour file has no use for the background.
std::vector<std::byte> encode_bmp24(const Image& image, std::int32_t pels_per_meter)
{
    return encode(at_resolution(kColour, pels_per_meter), image, 0);
}

std::vector<std::byte> encode_bmp1(const Image& image, Pixel background, std::int32_t pels_per_meter)
{
    return encode(at_resolution(kMono, pels_per_meter), image, background);
}

void SavePicture(const Image& image, const Text& path, const SaveOptions& options, std::int32_t pels_per_meter)
{
    save(at_resolution(kColour, pels_per_meter), image, 0, path, options);
}

void SaveMonoPicture(const Image& image, Pixel background, const Text& path, const SaveOptions& options,
                     std::int32_t pels_per_meter)
{
    save(at_resolution(kMono, pels_per_meter), image, background, path, options);
}

}  // namespace lumarin
