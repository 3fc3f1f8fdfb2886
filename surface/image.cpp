#include "surface/image.hpp"

#include <algorithm>
#include <cstring>

#include "lumarin/error.hpp"

namespace lumarin {

void check_image_size(long long width, long long height)
{
    if (width < 0 || height < 0 || width > kMaxImageSide || height > kMaxImageSide ||
        width * height > kMaxImagePixels)
        fail(ErrorKind::OutOfMemory, "surface larger than 65535 pixels a side or 64 Mi pixels");
}

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
        std::memcpy(bytes(), other.bytes(), stride() * static_cast<std::size_t>(height_));
    }
    return *this;
}

void Image::read_pixels(int x, int y, int count, Pixel* out) const noexcept
{
    const unsigned char* p = bytes() + offset(x, y);
    for (int i = 0; i < count; ++i, p += 3)
        out[i] = load(p);
}

void Image::write_pixels(int x, int y, int count, const Pixel* in) noexcept
{
    unsigned char* q = bytes() + offset(x, y);
    for (int i = 0; i < count; ++i, q += 3)
        store(q, in[i]);
}

void Image::fill_rows(int first_row, Pixel fill) noexcept
{
    if (first_row >= height_ || width_ == 0)
        return;
    // One row made by hand, then copied: O(new pixels).
    unsigned char* first = bytes() + offset(0, first_row);
    for (int x = 0; x < width_; ++x)
        set(x, first_row, fill);
    std::fill(first + static_cast<std::size_t>(width_) * 3, first + stride(), 0);
    for (int y = first_row + 1; y < height_; ++y)
        std::memcpy(bytes() + offset(0, y), first, stride());
}

void Image::resize(int width, int height, Pixel fill)
{
    check_image_size(width, height);
    // Keep a few bytes allocated so row() always points somewhere valid.
    const std::size_t size = std::max<std::size_t>(stride_of(width) * static_cast<std::size_t>(height), 4);
    if (width == width_) {
        // Rows are contiguous top-down, so a change of height alone keeps
        // every remaining row where it is. A surface grows a line at a time:
        // room for an eighth more saves moving it on most lines.
        if (size > capacity_) {
            const std::size_t room = std::max(size, capacity_ + capacity_ / 8);
            auto* grown = static_cast<unsigned char*>(std::realloc(bytes_.get(), room));
            if (!grown)
                fail(ErrorKind::OutOfMemory, "cannot allocate the surface");
            (void)bytes_.release();
            bytes_.reset(grown);
            capacity_ = room;
        }
        const int old_height = height_;
        height_ = height;
        fill_rows(std::min(old_height, height), fill);
        return;
    }
    std::unique_ptr<unsigned char[], Free> next(static_cast<unsigned char*>(std::malloc(size)));
    if (!next)
        fail(ErrorKind::OutOfMemory, "cannot allocate the surface");
    std::swap(next, bytes_);
    capacity_ = size;
    const int old_width = width_;
    const int old_height = height_;
    width_ = width;
    height_ = height;
    fill_rows(0, fill);
    // The part both sizes share keeps its pixels.
    const std::size_t kept = static_cast<std::size_t>(std::min(width, old_width)) * 3;
    for (int y = 0; y < std::min(height, old_height); ++y)
        std::memcpy(bytes() + offset(0, y), next.get() + static_cast<std::size_t>(y) * stride_of(old_width), kept);
}

void Image::clear(Pixel fill)
{
    fill_rows(0, fill);
}

}  // namespace lumarin
