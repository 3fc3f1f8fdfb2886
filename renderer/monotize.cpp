// Monotize: the surface as a 1-bit bitmap, written over FileName.
#include <cstdint>
#include <vector>

#include "common/arith.hpp"
#include "lumarin/error.hpp"
#include "lumarin/synapse.hpp"
#include "surface/bytes.hpp"
#include "surface/canvas.hpp"
#include "surface/file.hpp"
#include "surface/mono.hpp"

namespace lumarin {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoRecordSize = 48;
constexpr std::uint32_t kMonoOffBits = kFileHeaderSize + kInfoRecordSize;  // 62

std::int32_t checked_int32(std::int64_t value)
{
    if (value < INT32_MIN || value > INT32_MAX)
        fail(ErrorKind::Overflow);
    return static_cast<std::int32_t>(value);
}

void put_info_record(ByteWriter& w, const MonoBitmapInfo& info)
{
    w.u32(info.biSize);
    w.i32(info.biWidth);
    w.i32(info.biHeight);
    w.u16(info.biPlanes);
    w.u16(info.biBitCount);
    w.u32(info.biCompression);
    w.u32(info.biSizeImage);
    w.i32(info.biXPelsPerMeter);
    w.i32(info.biYPelsPerMeter);
    w.u32(info.biClrUsed);
    w.u32(info.biClrImportant);
    for (const RgbQuad& c : info.bmiColors) {
        w.u8(c.rgbBlue);
        w.u8(c.rgbGreen);
        w.u8(c.rgbRed);
        w.u8(c.rgbReserved);
    }
}

}  // namespace

void synapse::Monotize(const Text& /*location*/)
{
    WriteMonoBitmap(*Canvas);
}

void synapse::WriteMonoBitmap(PictureBox& canvas)
{
    const Long W = round_to_long(canvas.ScaleWidth());
    const Long H = round_to_long(canvas.ScaleHeight());
    const std::int32_t S = checked_int32(mono_stride(W));
    const std::int32_t N = checked_int32(std::int64_t{H} * S);
    if (N == 0)
        fail(ErrorKind::SubscriptOutOfRange, "the surface has no pixels");
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(N));

    MonoBitmapInfo info;
    info.biSize = 40;
    info.biWidth = W;
    info.biHeight = H;
    info.biPlanes = 1;
    info.biBitCount = 1;
    info.biCompression = 0;
    info.biSizeImage = static_cast<std::uint32_t>(N);

    // A conversion that converts fewer lines than asked would leave zeroed
    // rows in the file; that is a failure, not a black bitmap.
    if (GetDIBits(canvas.Image(), 0, H, bits, info) != H)
        fail(ErrorKind::InvalidPicture, "cannot convert the surface to one bit per pixel");

    const std::int32_t bfSize = checked_int32(std::int64_t{N} + kMonoOffBits);
    std::vector<std::byte> header;
    header.reserve(kMonoOffBits);
    ByteWriter w(header);
    w.u8('B');  // bfType
    w.u8('M');
    w.u32(static_cast<std::uint32_t>(bfSize));  // bfSize
    w.u16(0);                                   // bfReserved1
    w.u16(0);                                   // bfReserved2
    w.u32(kMonoOffBits);                        // bfOffBits
    put_info_record(w, info);

    // The whole bitmap replaces the file: no stale tail of a longer colour
    // bitmap, and a failed write leaves the previous file as it was.
    ReplacementFile file(FileName);
    file.write(header);
    file.write(std::as_bytes(std::span(bits)));
    file.commit();
}

}  // namespace lumarin
