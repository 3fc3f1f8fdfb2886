// libpng reports errors by calling back and never returning: it longjmps
// to a setjmp. So every libpng call runs inside one of the small functions
// marked "guarded" below, which hold nothing with a destructor, and turn
// the jump into a false result; the C++ around them throws. Nothing that
// can throw runs inside libpng's frames: compressed bytes gather in a
// vector (whose failure is caught and becomes a libpng error) and go to
// the sink between libpng calls.
//
// libpng's simplified API (png_image_write_*) needs no setjmp, but it
// writes neither 1-bit pixels nor a pHYs chunk, and it writes the whole file
// in one call to memory or a stdio stream rather than in pieces to the
// replacement file.
#include "surface/png.hpp"

#include <png.h>

#include <array>
#include <csetjmp>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "surface/mono.hpp"

namespace lumarin {

namespace {

// What libpng's callbacks leave for the writer.
struct Output {
    std::vector<std::byte> pending;   // compressed bytes not yet sent
    std::exception_ptr failure;       // what keeping them threw
    std::array<char, 160> message{};  // libpng's last error
};

[[noreturn]] void on_error(png_structp png, png_const_charp message) noexcept
{
    Output& out = *static_cast<Output*>(png_get_error_ptr(png));
    std::snprintf(out.message.data(), out.message.size(), "%s", message);
    png_longjmp(png, 1);
}

// libpng warns only of what it has already worked around.
void on_warning(png_structp, png_const_charp) noexcept {}

void keep_bytes(png_structp png, png_bytep data, std::size_t length) noexcept
{
    Output& out = *static_cast<Output*>(png_get_io_ptr(png));
    try {
        const auto* bytes = reinterpret_cast<const std::byte*>(data);
        out.pending.insert(out.pending.end(), bytes, bytes + length);
    } catch (...) {
        out.failure = std::current_exception();
    }
    // Outside the handler: the jump must not leave a caught exception open.
    if (out.failure)
        png_error(png, "cannot hold the compressed bytes");
}

// Bytes go to the sink between calls; there is nothing to flush here.
void flush_nothing(png_structp) noexcept {}

struct Header {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bit_depth = 0;
    int colour_type = 0;
    png_uint_32 pixels_per_metre = 0;
};

// guarded: the signature and the chunks before the pixels.
bool write_head(png_structp png, png_infop info, const Header& head) noexcept
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, head.width, head.height, head.bit_depth, head.colour_type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, head.pixels_per_metre, head.pixels_per_metre, PNG_RESOLUTION_METER);
    // One bit a pixel: zlib's level 3 takes half the time of its default
    // for about a sixth more bytes (bench_receipt), and a receipt printer's
    // pages are written far more often than they are stored.
    if (head.bit_depth == 1)
        png_set_compression_level(png, 3);
    png_write_info(png, info);
    // The image keeps B, G, R; libpng swaps them into a copy of each row.
    if (head.colour_type == PNG_COLOR_TYPE_RGB)
        png_set_bgr(png);
    return true;
}

// guarded: one row of pixels.
bool write_row(png_structp png, const std::byte* row) noexcept
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_write_row(png, reinterpret_cast<png_const_bytep>(row));
    return true;
}

// guarded: the rest of the compressed data and IEND.
bool write_end(png_structp png, png_infop info) noexcept
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_write_end(png, info);
    return true;
}

// libpng's write and info structures, which it destroys together.
class PngWriteStruct {
public:
    explicit PngWriteStruct(Output& out)
        : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, &out, on_error, on_warning))
    {
        if (!png_)
            fail(ErrorKind::OutOfMemory, "cannot start a PNG");
        info_ = png_create_info_struct(png_);
        if (!info_) {
            png_destroy_write_struct(&png_, nullptr);
            fail(ErrorKind::OutOfMemory, "cannot start a PNG");
        }
        png_set_write_fn(png_, &out, keep_bytes, flush_nothing);
    }
    ~PngWriteStruct() { png_destroy_write_struct(&png_, &info_); }
    PngWriteStruct(const PngWriteStruct&) = delete;
    PngWriteStruct& operator=(const PngWriteStruct&) = delete;

    png_structp png() const noexcept { return png_; }
    png_infop info() const noexcept { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

class PngWriter {
public:
    PngWriter(const Header& head, const ByteSink& sink) : sink_(sink), structs_(out_)
    {
        check(write_head(structs_.png(), structs_.info(), head));
    }

    void row(const std::byte* pixels)
    {
        check(write_row(structs_.png(), pixels));
        if (out_.pending.size() >= kWriteChunkBytes)
            send_pending();
    }

    void finish()
    {
        check(write_end(structs_.png(), structs_.info()));
        send_pending();
    }

private:
    void check(bool written)
    {
        if (written)
            return;
        if (out_.failure)
            std::rethrow_exception(out_.failure);
        fail(ErrorKind::InvalidPicture, std::string("cannot encode the PNG: ") + out_.message.data());
    }

    void send_pending()
    {
        sink_(out_.pending);
        out_.pending.clear();
    }

    const ByteSink& sink_;
    Output out_;  // before structs_, which refers to it
    PngWriteStruct structs_;
};

Header header_of(const Image& image, bool mono, png_uint_32 pixels_per_metre)
{
    if (image.width() == 0 || image.height() == 0)
        fail(ErrorKind::InvalidPicture, "a PNG holds at least one pixel; this picture is " +
                                            std::to_string(image.width()) + " x " + std::to_string(image.height()));
    return {static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()), mono ? 1 : 8,
            mono ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, pixels_per_metre};
}

}  // namespace

void write_png(const Image& image, bool mono, Pixel background, const ByteSink& sink,
               std::uint32_t pixels_per_metre)
{
    PngWriter writer(header_of(image, mono, pixels_per_metre), sink);
    if (mono) {
        // 0 black, 1 white: the conversion's bits as they are.
        const auto row_bytes = static_cast<std::size_t>(packed_mono_row_bytes(image.width()));
        for_each_mono_run(image, background, [&](std::span<std::byte> rows) {
            for (std::size_t at = 0; at < rows.size(); at += row_bytes)
                writer.row(rows.data() + at);
        });
    } else {
        for (int y = 0; y < image.height(); ++y)
            writer.row(image.row(y).data());
    }
    writer.finish();
}

}  // namespace lumarin
