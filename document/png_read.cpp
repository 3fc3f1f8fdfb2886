// PNG pictures through libpng's simplified reader, which runs its own
// setjmp inside libpng and reports failures as a false result with a
// message. Every PNG arrives as 8-bit RGBA, not premultiplied, and is
// composited here the same way the Windows decoder's output is.
#include <png.h>

#include <cstring>
#include <string>

#include "common/fail.hpp"
#include "document/png_read.hpp"
#include "lumarin/error.hpp"

namespace lumarin {

namespace {

// libpng's reading state, freed whether or not the read finishes.
class PngImage {
public:
    PngImage()
    {
        std::memset(&image_, 0, sizeof image_);
        image_.version = PNG_IMAGE_VERSION;
    }
    ~PngImage() { png_image_free(&image_); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;

    png_image* operator->() noexcept { return &image_; }
    png_image* get() noexcept { return &image_; }

private:
    png_image image_;
};

[[noreturn]] void fail_png(const char* reason)
{
    fail(ErrorKind::InvalidPicture, std::string("cannot read the PNG: ") + reason);
}

}  // namespace

DecodedImage decode_png(std::span<const std::byte> png, Pixel background)
{
    if (png.empty())
        fail_png("it has no bytes");
    PngImage image;
    if (!png_image_begin_read_from_memory(image.get(), png.data(), png.size()))
        fail_png(image->message);
    check_image_size(image->width, image->height);
    image->format = PNG_FORMAT_RGBA;
    // 16-bit files with no gamma stated are taken as sRGB, as 8-bit ones
    // are and as the Windows decoder takes them, not as linear light.
    image->flags |= PNG_IMAGE_FLAG_16BIT_sRGB;

    DecodedImage out;
    out.width = static_cast<int>(image->width);
    out.height = static_cast<int>(image->height);
    const std::size_t count = static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height);
    std::vector<std::uint8_t> rgba(count * 4);
    if (!png_image_finish_read(image.get(), nullptr, rgba.data(), 0, nullptr))
        fail_png(image->message);
    out.pixels.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = rgba.data() + i * 4;
        out.pixels[i] = over_background(p[0], p[1], p[2], p[3], background);
    }
    return out;
}

}  // namespace lumarin
