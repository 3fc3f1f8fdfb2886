#include "surface/image.hpp"

#include <algorithm>
#include <new>

#include "common/error.hpp"

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

void Image::resize(int width, int height, Pixel fill)
{
    check_image_size(width, height);
    try {
        if (width == width_) {
            // Rows are contiguous top-down, so a change of height alone is a
            // plain resize of the buffer: growing by a line per call stays cheap.
            pixels_.resize(static_cast<std::size_t>(width) * height, fill);
            if (pixels_.capacity() > pixels_.size() * 2)
                pixels_.shrink_to_fit();
        } else {
            std::vector<Pixel> next(static_cast<std::size_t>(width) * height, fill);
            const int copy_w = std::min(width, width_);
            const int copy_h = std::min(height, height_);
            for (int y = 0; y < copy_h; ++y)
                std::copy_n(row(y), copy_w, next.data() + static_cast<std::size_t>(y) * width);
            pixels_ = std::move(next);
        }
    } catch (const std::bad_alloc&) {
        fail(ErrorKind::OutOfMemory, "cannot allocate the surface");
    }
    width_ = width;
    height_ = height;
}

void Image::clear(Pixel fill)
{
    std::fill(pixels_.begin(), pixels_.end(), fill);
}

}  // namespace lumarin
