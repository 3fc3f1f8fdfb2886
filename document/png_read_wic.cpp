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

namespace lumarin {

namespace {

using win::ComPtr;

[[noreturn]] void fail_hr(HRESULT hr, const char* step)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    const ErrorKind kind = hr == E_OUTOFMEMORY ? ErrorKind::OutOfMemory : ErrorKind::InvalidPicture;
    fail(kind, std::string("cannot read the PNG: ") + step + " failed (" + code + ")");
}

void check(HRESULT hr, const char* step)
{
    if (FAILED(hr))
        fail_hr(hr, step);
}

// COM on this thread while decoding: a thread without COM joins the
// multithreaded apartment and leaves it again; one already in an apartment
// keeps it. Each successful CoInitializeEx, S_FALSE too, is balanced.
class ComApartment {
public:
    ComApartment()
    {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(hr))
            joined_ = true;
        else if (hr != RPC_E_CHANGED_MODE)
            fail_hr(hr, "starting COM");
    }
    ~ComApartment()
    {
        if (joined_)
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool joined_ = false;
};

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
    const ComApartment com;  // outlives every COM pointer below
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
