// The persistent image behind a canvas: 32-bit pixels, rows top-down.
// Each pixel is 0x00RRGGBB in memory order B, G, R, unused, which is what
// both Cairo (RGB24) and a 32-bit GDI DIB section draw into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "lumarin/types.hpp"

namespace lumarin {

// Largest image a canvas accepts; larger sizes fail with OutOfMemory before
// anything is allocated.
inline constexpr int kMaxImageSide = 65535;
inline constexpr std::int64_t kMaxImagePixels = 64LL * 1024 * 1024;

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
    std::size_t stride_bytes() const noexcept { return static_cast<std::size_t>(width_) * sizeof(Pixel); }

    Pixel at(int x, int y) const noexcept { return pixels_[index(x, y)] & 0xFFFFFF; }
    void set(int x, int y, Pixel p) noexcept { pixels_[index(x, y)] = p & 0xFFFFFF; }
    Pixel* row(int y) noexcept { return pixels_.get() + index(0, y); }
    const Pixel* row(int y) const noexcept { return pixels_.get() + index(0, y); }

    // New area takes `fill`; shrinking crops from the right and the bottom.
    void resize(int width, int height, Pixel fill);
    void clear(Pixel fill);

private:
    std::size_t index(int x, int y) const noexcept
    {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
    }

    struct Free {
        void operator()(Pixel* p) const noexcept { std::free(p); }
    };

    // Held with malloc/realloc rather than a vector: the C library grows a
    // large block in place by remapping pages, so adding a line to a tall
    // surface neither copies it nor needs twice its memory for a moment.
    int width_ = 0;
    int height_ = 0;
    std::unique_ptr<Pixel[], Free> pixels_;
};

// Throws OutOfMemory when a width x height image would pass the caps.
void check_image_size(long long width, long long height);

}  // namespace lumarin
