#include "surface/image.hpp"

#include <algorithm>

#include "lumarin/error.hpp"

namespace lumarin {

void check_image_size(long long width, long long height)
{
    if (width < 0 || height < 0 || width > kMaxImageSide || height > kMaxImageSide ||
        width * height > kMaxImagePixels)
        fail(ErrorKind::OutOfMemory, "surface larger than 65535 pixels a side or 64 Mi pixels");
}

namespace {
std::size_t pixel_count(int width, int height)
{
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}
}  // namespace

Image::Image(int width, int height, Pixel fill)
{
    resize(width, height, fill);
}

Image::Image(const Image& other)
{
    *this = other;
}

Image& Image::operator=(const Image& other)
{
    if (this != &other) {
        resize(other.width_, other.height_, 0);
        std::copy_n(other.pixels_.get(), pixel_count(width_, height_), pixels_.get());
    }
    return *this;
}

void Image::resize(int width, int height, Pixel fill)
{
    check_image_size(width, height);
    const std::size_t count = pixel_count(width, height);
    // Keep one pixel allocated so row() always points somewhere valid.
    const std::size_t bytes = std::max<std::size_t>(count, 1) * sizeof(Pixel);
    if (width == width_) {
        // Rows are contiguous top-down, so a change of height alone keeps
        // every remaining row where it is.
        auto* grown = static_cast<Pixel*>(std::realloc(pixels_.get(), bytes));
        if (!grown)
            fail(ErrorKind::OutOfMemory, "cannot allocate the surface");
        (void)pixels_.release();
        pixels_.reset(grown);
        const std::size_t old_count = pixel_count(width_, height_);
        if (count > old_count)
            std::fill(grown + old_count, grown + count, fill);
    } else {
        std::unique_ptr<Pixel[], Free> next(static_cast<Pixel*>(std::malloc(bytes)));
        if (!next)
            fail(ErrorKind::OutOfMemory, "cannot allocate the surface");
        std::fill(next.get(), next.get() + count, fill);
        const int copy_w = std::min(width, width_);
        const int copy_h = std::min(height, height_);
        for (int y = 0; y < copy_h; ++y)
            std::copy_n(row(y), copy_w, next.get() + static_cast<std::size_t>(y) * width);
        pixels_ = std::move(next);
    }
    width_ = width;
    height_ = height;
}

void Image::clear(Pixel fill)
{
    std::fill(pixels_.get(), pixels_.get() + pixel_count(width_, height_), fill);
}

}  // namespace lumarin
