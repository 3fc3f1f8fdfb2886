#include "surface/image.hpp"

#include <algorithm>
#include <cstring>

#include "common/fail.hpp"
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
    // One row made by hand, then copied: O(new pixels). The rows are the
    // first ones of the block.
    const int last = height_ - 1;
    unsigned char* made = bytes() + offset(0, last);
    for (int x = 0; x < width_; ++x)
        set(x, last, fill);
    std::fill(made + static_cast<std::size_t>(width_) * 3, made + stride(), 0);
    for (int y = first_row; y < last; ++y)
        std::memcpy(bytes() + offset(0, y), made, stride());
}

void Image::reserve_front(std::size_t bytes)
{
    if (bytes <= capacity_)
        return;
    const std::size_t kept = used();
    const std::size_t old_capacity = capacity_;
    // A surface grows a line at a time: room for an eighth more saves
    // moving it on most lines.
    const std::size_t room = std::max(bytes, capacity_ + capacity_ / 8);
    auto* grown = static_cast<unsigned char*>(std::realloc(bytes_.get(), room));
    if (!grown)
        fail(ErrorKind::OutOfMemory, "cannot allocate the surface");
    (void)bytes_.release();
    bytes_.reset(grown);
    capacity_ = room;
    // The block was at the old end; it belongs at the new one.
    std::memmove(grown + room - kept, grown + old_capacity - kept, kept);
}

void Image::resize(int width, int height, Pixel fill)
{
    check_image_size(width, height);
    // Keep a few bytes allocated so row() always points somewhere valid.
    const std::size_t size = std::max<std::size_t>(stride_of(width) * static_cast<std::size_t>(height), 4);
    if (width == width_) {
        // Rows added or cropped at the bottom are at the block's start, so
        // the others stay where they are.
        reserve_front(size);
        const int old_height = height_;
        height_ = height;
        fill_rows(std::min(old_height, height), fill);
        return;
    }
    Image next;
    next.bytes_.reset(static_cast<unsigned char*>(std::malloc(size)));
    if (!next.bytes_)
        fail(ErrorKind::OutOfMemory, "cannot allocate the surface");
    next.capacity_ = size;
    next.width_ = width;
    next.height_ = height;
    next.fill_rows(0, fill);
    // The part both sizes share keeps its pixels.
    const std::size_t kept = static_cast<std::size_t>(std::min(width, width_)) * 3;
    for (int y = 0; y < std::min(height, height_); ++y)
        std::memcpy(next.bytes() + next.offset(0, y), bytes() + offset(0, y), kept);
    *this = std::move(next);
}

void Image::fill_area(int x, int y, int width, int height, Pixel p) noexcept
{
    if (width <= 0 || height <= 0)
        return;
    unsigned char* first = bytes() + offset(x, y);
    for (int i = 0; i < width; ++i)
        store(first + static_cast<std::size_t>(i) * 3, p);
    for (int r = 1; r < height; ++r)
        std::memcpy(bytes() + offset(x, y + r), first, static_cast<std::size_t>(width) * 3);
}

void Image::clear(Pixel fill)
{
    fill_rows(0, fill);
}

}  // namespace lumarin
