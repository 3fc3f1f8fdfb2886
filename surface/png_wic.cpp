// The PNG writer of the Windows builds, on the Windows Imaging Component:
// the same file as png.cpp writes (8-bit RGB, or 1-bit greyscale with 0
// black and 1 white; the resolution in pHYs; not interlaced), through WIC's
// own PNG encoder.
//
// WIC's encoders may seek in the stream they write to, so the file is
// compressed into a memory stream first and only then sent to the sink, a
// mebibyte at a time. The compressed file is a small part of the image
// that is already in memory.
#include "surface/png.hpp"

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "surface/com_ptr.hpp"
#include "surface/wic.hpp"
#include "surface/mono.hpp"

namespace lumarin {

namespace {

using win::ComApartment;
using win::ComPtr;

constexpr const char* kJob = "cannot encode the PNG";

void check(HRESULT hr, const char* step)
{
    if (FAILED(hr))
        win::fail_wic(hr, kJob, step);
}

// WIC takes the resolution in dots per inch and writes pHYs in dots per
// metre, rounding or truncating by its own rule. A quarter of a dot per
// metre above the wanted value gives that value either way.
double dpi_stating(std::uint32_t pixels_per_metre)
{
    return (pixels_per_metre + 0.25) * 0.0254;
}

// One PNG frame being encoded into a memory stream.
class WicPngEncoder {
public:
    WicPngEncoder(const Image& image, bool mono, std::uint32_t pixels_per_metre)
    {
        check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                               factory_.put_void()),
              "creating the imaging factory");
        check(CreateStreamOnHGlobal(nullptr, TRUE, stream_.put()), "creating the memory stream");
        check(factory_->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder_.put()), "creating the PNG encoder");
        check(encoder_->Initialize(stream_.get(), WICBitmapEncoderNoCache), "starting the PNG encoder");
        ComPtr<IPropertyBag2> options;
        check(encoder_->CreateNewFrame(frame_.put(), options.put()), "creating the frame");
        // The options' defaults: not interlaced, filters chosen per row.
        check(frame_->Initialize(options.get()), "starting the frame");
        check(frame_->SetSize(static_cast<UINT>(image.width()), static_cast<UINT>(image.height())),
              "setting the size");
        const double dpi = dpi_stating(pixels_per_metre);
        check(frame_->SetResolution(dpi, dpi), "setting the resolution");
        // The encoder answers with the nearest format it writes; only the
        // asked one gives the file described above.
        const GUID wanted = mono ? GUID_WICPixelFormatBlackWhite : GUID_WICPixelFormat24bppBGR;
        GUID format = wanted;
        check(frame_->SetPixelFormat(&format), "setting the pixel format");
        if (format != wanted)
            fail(ErrorKind::InvalidPicture, std::string("cannot encode the PNG: this system's encoder does not "
                                                        "write ") + (mono ? "1-bit greyscale" : "8-bit RGB"));
    }

    // `count` rows, top first, `stride` bytes apart.
    void rows(int count, std::size_t stride, const std::byte* pixels)
    {
        const auto size = static_cast<UINT>(stride * static_cast<std::size_t>(count));
        check(frame_->WritePixels(static_cast<UINT>(count), static_cast<UINT>(stride), size,
                                  reinterpret_cast<BYTE*>(const_cast<std::byte*>(pixels))),
              "writing the pixels");
    }

    void finish(const ByteSink& sink)
    {
        check(frame_->Commit(), "finishing the frame");
        check(encoder_->Commit(), "finishing the file");
        send_stream(sink);
    }

private:
    void send_stream(const ByteSink& sink)
    {
        LARGE_INTEGER start{};
        check(stream_->Seek(start, STREAM_SEEK_SET, nullptr), "rewinding the memory stream");
        std::vector<std::byte> chunk(kWriteChunkBytes);
        for (;;) {
            ULONG got = 0;
            check(stream_->Read(chunk.data(), static_cast<ULONG>(chunk.size()), &got), "reading the memory stream");
            if (got == 0)
                return;
            sink(std::span(chunk.data(), got));
        }
    }

    ComPtr<IWICImagingFactory> factory_;
    ComPtr<IStream> stream_;
    ComPtr<IWICBitmapEncoder> encoder_;
    ComPtr<IWICBitmapFrameEncode> frame_;
};

void check_size(const Image& image)
{
    if (image.width() == 0 || image.height() == 0)
        fail(ErrorKind::InvalidPicture, "a PNG holds at least one pixel; this picture is " +
                                            std::to_string(image.width()) + " x " + std::to_string(image.height()));
}

}  // namespace

void write_png(const Image& image, bool mono, Pixel background, const ByteSink& sink,
               std::uint32_t pixels_per_metre)
{
    check_size(image);
    const ComApartment com(kJob);  // outlives every COM pointer below
    WicPngEncoder encoder(image, mono, pixels_per_metre);
    if (mono) {
        // 0 black, 1 white: the conversion's bits as they are.
        const auto row_bytes = static_cast<std::size_t>(packed_mono_row_bytes(image.width()));
        for_each_mono_run(image, background, [&](std::span<std::byte> rows) {
            encoder.rows(static_cast<int>(rows.size() / row_bytes), row_bytes, rows.data());
        });
    } else {
        // The image keeps its rows bottom first; WIC takes them top first.
        for (int y = 0; y < image.height(); ++y)
            encoder.rows(1, image.stride(), image.row(y).data());
    }
    encoder.finish(sink);
}

}  // namespace lumarin
