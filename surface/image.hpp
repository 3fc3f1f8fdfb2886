// The persistent image behind a canvas, kept exactly as the colour file
// stores its pixels: three bytes a pixel in the order B, G, R, each row
// padded with zeros to whole 32-bit words, the bottom row first. A save is
// then the header and one contiguous block. The block sits at the end of
// its allocation, so rows added at the bottom as the surface grows go into
// the room before it. Drawers that need 32-bit pixels (Cairo's RGB24, a GDI
// DIB section) read a band into 0x00RRGGBB pixels and write it back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "lumarin/limits.hpp"
#include "lumarin/types.hpp"

namespace lumarin {

using Pixel = std::uint32_t;

constexpr Pixel pixel_from_colour(Colour c) noexcept
{
    // 0x00BBGGRR to 0x00RRGGBB
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

class Image {
public:
    Image() = default;
    Image(int width, int height, Pixel fill);
    Image(const Image& other);
    Image& operator=(const Image& other);
    Image(Image&&) noexcept = default;
    Image& operator=(Image&&) noexcept = default;

    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    // Bytes a row, padding included: the colour file's row length.
    std::size_t stride() const noexcept { return stride_of(width_); }

    Pixel at(int x, int y) const noexcept { return load(bytes() + offset(x, y)); }
    void set(int x, int y, Pixel p) noexcept { store(bytes() + offset(x, y), p); }
    // Row y (0 is the top) as the file stores it, padding included.
    std::span<const std::byte> row(int y) const noexcept
    {
        return {reinterpret_cast<const std::byte*>(bytes()) + offset(0, y), stride()};
    }
    // Every row as the file stores them: bottom row first, one block.
    std::span<const std::byte> file_rows() const noexcept
    {
        return {reinterpret_cast<const std::byte*>(bytes()), stride() * static_cast<std::size_t>(height_)};
    }

    // `count` pixels of row y from column x as 0x00RRGGBB, and back.
    void read_pixels(int x, int y, int count, Pixel* out) const noexcept;
    void write_pixels(int x, int y, int count, const Pixel* in) noexcept;

    // A rectangle set to `p`; it must lie inside the image.
    void fill_area(int x, int y, int width, int height, Pixel p) noexcept;

    // New area takes `fill`; shrinking crops from the right and the bottom.
    void resize(int width, int height, Pixel fill);
    void clear(Pixel fill);

    static constexpr std::size_t stride_of(int width) noexcept
    {
        return (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
    }

private:
    // One pixel's three bytes, B, G, R.
    static Pixel load(const unsigned char* p) noexcept
    {
        return static_cast<Pixel>(p[0]) | static_cast<Pixel>(p[1]) << 8 | static_cast<Pixel>(p[2]) << 16;
    }
    static void store(unsigned char* q, Pixel p) noexcept
    {
        q[0] = static_cast<unsigned char>(p);
        q[1] = static_cast<unsigned char>(p >> 8);
        q[2] = static_cast<unsigned char>(p >> 16);
    }
    // From the block's start: the bottom row comes first.
    std::size_t offset(int x, int y) const noexcept
    {
        return static_cast<std::size_t>(height_ - 1 - y) * stride() + static_cast<std::size_t>(x) * 3;
    }
    // The block: the last stride() * height_ bytes of the allocation.
    unsigned char* bytes() noexcept { return bytes_.get() + capacity_ - used(); }
    const unsigned char* bytes() const noexcept { return bytes_.get() + capacity_ - used(); }
    std::size_t used() const noexcept { return stride() * static_cast<std::size_t>(height_); }
    // Rows first_row .. height_ - 1 (the bottom ones) take `fill`, padding zero.
    void fill_rows(int first_row, Pixel fill) noexcept;
    // Makes room for `bytes` in all, the block kept at the end.
    void reserve_front(std::size_t bytes);

    struct Free {
        void operator()(unsigned char* p) const noexcept { std::free(p); }
    };

    // Held with malloc/realloc rather than a vector: the C library grows a
    // large block in place by remapping pages, so making room for more lines
    // needs the surface's memory only once, not twice for a moment.
    int width_ = 0;
    int height_ = 0;
    std::size_t capacity_ = 0;  // bytes allocated; rows to come may fit already
    std::unique_ptr<unsigned char[], Free> bytes_;
};

// Throws OutOfMemory when a width x height image would pass the caps.
void check_image_size(long long width, long long height);

}  // namespace lumarin
