// A finished picture: its pixels, the resolution it states, and whether it
// is kept as one bit a pixel. It is saved as BMP, PNG or PBM, atomically,
// or encoded into bytes for a stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lumarin/save_options.hpp"

namespace lumarin {

enum class PictureFormat { Bmp, Png, Pbm };

// "BMP", "PNG" or "PBM", for messages.
std::string_view format_name(PictureFormat format) noexcept;
// Whether this build writes the format. Every build writes all three (PNG
// through libpng on Linux, through WIC on Windows); kept for builds
// without a PNG writer.
bool can_write(PictureFormat format) noexcept;

struct PictureData;  // the library's own

class Picture {
public:
    explicit Picture(std::shared_ptr<PictureData> data) noexcept;

    int width() const noexcept;
    int height() const noexcept;
    // Dots per inch, stated in the PNG and BMP headers.
    int dpi() const noexcept;
    // Kept as one bit a pixel, against the background colour.
    bool mono() const noexcept;
    // 0x00BBGGRR, as colours are given.
    std::uint32_t background() const noexcept;
    std::uint32_t pixel(int x, int y) const;

    // The whole file. A format this build cannot write fails with
    // InvalidPropertyValue.
    std::vector<std::byte> encode(PictureFormat format) const;
    // The same bytes over `path` (UTF-8), replaced atomically: a reader sees
    // the old file or the new one, never a part.
    void save(const std::string& path, PictureFormat format, const SaveOptions& options = {}) const;
    // The same for a path in UTF-16, as Windows holds names.
    void save(const std::u16string& path, PictureFormat format, const SaveOptions& options = {}) const;

    const PictureData& data() const noexcept { return *data_; }

private:
    std::shared_ptr<PictureData> data_;
};

}  // namespace lumarin
