#include "surface/picture.hpp"

#include <string>

#include "common/text.hpp"
#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "surface/bmp.hpp"
#include "surface/bytes.hpp"
#include "surface/file.hpp"
#include "surface/mono.hpp"
#include "surface/png.hpp"

namespace lumarin {

namespace {

void check_writable(PictureFormat format)
{
    if (!can_write(format))
        fail(ErrorKind::InvalidPropertyValue,
             "this build cannot write " + std::string(format_name(format)) + " pictures");
}

// A resolution the headers' 32-bit fields hold, and a real one.
void check_resolution(std::optional<int> dpi)
{
    if (dpi && (*dpi < 1 || *dpi > kMaxDpi))
        fail(ErrorKind::InvalidPropertyValue, "a picture's resolution is 1 to " + std::to_string(kMaxDpi) +
                                                  " dpi, not " + std::to_string(*dpi));
}

// The conversion's bits are 1 for white; PBM's are 1 for black. The bits
// past the last pixel of a row stay zero.
void invert_to_pbm_rows(std::span<std::byte> rows, std::size_t row_bytes, int width)
{
    const int tail = width % 8;
    const auto last_byte_mask = static_cast<std::byte>(tail == 0 ? 0xFF : 0xFF << (8 - tail));
    for (std::byte& b : rows)
        b = ~b;
    for (std::size_t end = row_bytes; end <= rows.size(); end += row_bytes)
        rows[end - 1] &= last_byte_mask;
}

void write_pbm(const Image& image, Pixel background, const ByteSink& sink)
{
    const std::string header = "P4\n" + std::to_string(image.width()) + " " + std::to_string(image.height()) + "\n";
    sink(std::as_bytes(std::span(header)));
    const auto row_bytes = static_cast<std::size_t>(packed_mono_row_bytes(image.width()));
    for_each_mono_run(image, background, [&](std::span<std::byte> rows) {
        invert_to_pbm_rows(rows, row_bytes, image.width());
        sink(rows);
    });
}

std::int32_t bmp_resolution(bool mono, std::optional<int> dpi)
{
    if (!dpi)
        return mono ? kBmp1PelsPerMeter : kBmp24PelsPerMeter;
    return pixels_per_metre(*dpi);
}

// PNG and PBM, whose writers send their bytes to a sink as they go.
void write_streamed(const Image& image, PictureFormat format, bool mono, Pixel background, std::optional<int> dpi,
                    const ByteSink& sink)
{
    // A build without a PNG writer never defines write_png; a discarded
    // statement does not need it, and check_writable has refused PNG already.
    if (format == PictureFormat::Pbm)
        write_pbm(image, background, sink);
    else if constexpr (kPngBuiltIn)
        write_png(image, mono, background, sink,
                  dpi ? static_cast<std::uint32_t>(pixels_per_metre(*dpi)) : kPngPixelsPerMetre);
}

}  // namespace

std::string_view format_name(PictureFormat format) noexcept
{
    switch (format) {
    case PictureFormat::Bmp:
        return "BMP";
    case PictureFormat::Png:
        return "PNG";
    case PictureFormat::Pbm:
        return "PBM";
    }
    return "unknown";
}

bool can_write(PictureFormat format) noexcept
{
    switch (format) {
    case PictureFormat::Bmp:
    case PictureFormat::Pbm:
        return true;
    case PictureFormat::Png:
        return kPngBuiltIn;
    }
    return false;
}

std::vector<std::byte> encode_picture(const Image& image, PictureFormat format, bool mono, Pixel background,
                                      std::optional<int> dpi)
{
    check_writable(format);
    check_resolution(dpi);
    if (format == PictureFormat::Bmp)
        return mono ? encode_bmp1(image, background, bmp_resolution(true, dpi))
                    : encode_bmp24(image, bmp_resolution(false, dpi));
    std::vector<std::byte> out;
    write_streamed(image, format, mono, background, dpi,
                   [&](std::span<const std::byte> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); });
    return out;
}

void save_picture(const Image& image, PictureFormat format, bool mono, Pixel background, const Text& path,
                  const SaveOptions& options, std::optional<int> dpi)
{
    check_writable(format);
    check_resolution(dpi);
    if (format == PictureFormat::Bmp) {
        if (mono)
            SaveMonoPicture(image, background, path, options, bmp_resolution(true, dpi));
        else
            SavePicture(image, path, options, bmp_resolution(false, dpi));
        return;
    }
    ReplacementFile file(path, options);
    write_streamed(image, format, mono, background, dpi, [&](std::span<const std::byte> bytes) { file.write(bytes); });
    file.commit();
}

}  // namespace lumarin

namespace lumarin {

Picture::Picture(std::shared_ptr<PictureData> data) noexcept : data_(std::move(data)) {}

int Picture::width() const noexcept { return data_->image.width(); }
int Picture::height() const noexcept { return data_->image.height(); }
int Picture::dpi() const noexcept { return data_->dpi; }
bool Picture::mono() const noexcept { return data_->mono; }
std::uint32_t Picture::background() const noexcept { return pixel_from_colour(data_->background); }

std::uint32_t Picture::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width() || y >= height())
        fail(ErrorKind::SubscriptOutOfRange, "pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                                                 ") outside a picture of " + std::to_string(width()) + " x " +
                                                 std::to_string(height()));
    return pixel_from_colour(data_->image.at(x, y));  // the swap is its own inverse
}

std::vector<std::byte> Picture::encode(PictureFormat format) const
{
    return encode_picture(data_->image, format, data_->mono, data_->background, data_->dpi);
}

void Picture::save(const std::string& path, PictureFormat format, const SaveOptions& options) const
{
    Text name;
    if (!from_utf8(path, name))
        fail(ErrorKind::BadFileName, "the file name is not UTF-8");
    save(name, format, options);
}

void Picture::save(const std::u16string& path, PictureFormat format, const SaveOptions& options) const
{
    save_picture(data_->image, format, data_->mono, data_->background, path, options, data_->dpi);
}

}  // namespace lumarin
