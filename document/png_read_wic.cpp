// PNG pictures through the Windows Imaging Component: decoded from memory
// and converted to 8-bit BGRA, not premultiplied, then composited as
// png_read.cpp composites libpng's output. COM is left as the caller had
// it, as the PNG writer (surface/png_wic.cpp) leaves it.
#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <cstdio>
#include <string>

#include "common/fail.hpp"
#include "document/png_read.hpp"
#include "lumarin/error.hpp"
#include "surface/com_ptr.hpp"
#include "surface/wic.hpp"

namespace lumarin {

namespace {

using win::ComApartment;
using win::ComPtr;

constexpr const char* kJob = "cannot read the PNG";

void check(HRESULT hr, const char* step)
{
    if (FAILED(hr))
        win::fail_wic(hr, kJob, step);
}

// The first frame of a PNG in memory; other formats WIC reads are refused,
// so that both builds take the same pictures.
ComPtr<IWICBitmapFrameDecode> first_frame(IWICImagingFactory& factory, std::span<const std::byte> png)
{
    ComPtr<IWICStream> stream;
    check(factory.CreateStream(stream.put()), "creating the stream");
    check(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<std::byte*>(png.data())),
                                       static_cast<DWORD>(png.size())),
          "reading from memory");
    ComPtr<IWICBitmapDecoder> decoder;
    check(factory.CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put()),
          "recognising the format");
    GUID format{};
    check(decoder->GetContainerFormat(&format), "reading the format");
    if (format != GUID_ContainerFormatPng)
        fail(ErrorKind::InvalidPicture, "cannot read the PNG: the picture is in another format");
    ComPtr<IWICBitmapFrameDecode> frame;
    check(decoder->GetFrame(0, frame.put()), "reading the image");
    return frame;
}

}  // namespace

DecodedImage decode_png(std::span<const std::byte> png, Pixel background)
{
    if (png.empty())
        fail(ErrorKind::InvalidPicture, "cannot read the PNG: it has no bytes");
    if (png.size() > MAXDWORD)
        fail(ErrorKind::OutOfMemory, "cannot read the PNG: the file is larger than 4 GiB");
    const ComApartment com(kJob);  // outlives every COM pointer below
    ComPtr<IWICImagingFactory> factory;
    check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                           factory.put_void()),
          "creating the imaging factory");
    const ComPtr<IWICBitmapFrameDecode> frame = first_frame(*factory.get(), png);
    UINT width = 0, height = 0;
    check(frame->GetSize(&width, &height), "reading the size");
    check_image_size(width, height);
    ComPtr<IWICFormatConverter> converter;
    check(factory->CreateFormatConverter(converter.put()), "creating the converter");
    check(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                WICBitmapPaletteTypeCustom),
          "converting to 8-bit BGRA");

    DecodedImage out;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    const std::size_t count = static_cast<std::size_t>(width) * height;
    std::vector<BYTE> bgra(count * 4);
    check(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(bgra.size()), bgra.data()),
          "decoding the pixels");
    out.pixels.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const BYTE* p = bgra.data() + i * 4;
        out.pixels[i] = over_background(p[2], p[1], p[0], p[3], background);
    }
    return out;
}

}  // namespace lumarin
