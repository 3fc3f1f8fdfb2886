// The picture formats beside the BMP: binary PBM byte for byte, PNG's
// chunks before the pixels byte for byte and its pixels read back by
// libpng's reader (the Windows build's PNGs are read back by Pillow in
// tests/wine), saves that match the encoded bytes, and a build that cannot
// write PNG saying so. On Windows, the PNG writer leaves each thread's COM
// as it found it.
#include <algorithm>
#include <random>
#include <thread>
#include <string>

#include "surface/bmp.hpp"
#include "surface/mono.hpp"
#include "surface/picture.hpp"
#include "support.hpp"

#ifdef _WIN32
#include <objbase.h>
#else
#include <png.h>
#endif

namespace lumarin {
namespace {

constexpr Pixel kWhite = 0xFFFFFF;
constexpr Pixel kNavy = 0x000080;

std::vector<std::byte> bytes_of_text(std::string_view text)
{
    const auto bytes = std::as_bytes(std::span(text));
    return {bytes.begin(), bytes.end()};
}

std::vector<std::byte> concat(std::vector<std::byte> a, const std::vector<std::byte>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Pixels from a small palette at random, background among them, so that
// every row has ink and background in both channels' orders.
Image speckled(int width, int height, Pixel background)
{
    const Pixel palette[] = {background, 0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456};
    std::mt19937 random(11);
    Image image(width, height, background);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.set(x, y, palette[random() % std::size(palette)]);
    return image;
}

TEST(PictureFormats, EachBuildWritesBmpPbmAndPng)
{
    EXPECT_TRUE(can_write(PictureFormat::Bmp));
    EXPECT_TRUE(can_write(PictureFormat::Pbm));
    // libpng on Linux, the Windows Imaging Component on Windows.
    EXPECT_TRUE(can_write(PictureFormat::Png));
    if (can_write(PictureFormat::Png))
        return;
    // A build without a PNG writer: refused before the file is touched,
    // with the format named.
    test::TempDir dir;
    try {
        save_picture(Image(1, 1, kWhite), PictureFormat::Png, false, kWhite, test::text_of(dir / "x.png"));
        ADD_FAILURE() << "a PNG was written without a PNG writer";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 380);
        EXPECT_NE(std::string(e.what()).find("PNG"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(dir.entries().empty());
}

TEST(PictureFormats, ResolutionInBmpHeaderByteForByte)
{
    EXPECT_EQ(pixels_per_metre(96), 3780);
    EXPECT_EQ(pixels_per_metre(203), 7992);
    EXPECT_EQ(pixels_per_metre(300), 11811);
    const Image image = speckled(9, 3, kWhite);
    const auto le32 = [](const std::vector<std::byte>& file, std::size_t at) {
        return std::to_integer<int>(file[at]) | std::to_integer<int>(file[at + 1]) << 8 |
               std::to_integer<int>(file[at + 2]) << 16 | std::to_integer<int>(file[at + 3]) << 24;
    };
    for (const bool mono : {false, true}) {
        auto file = encode_picture(image, PictureFormat::Bmp, mono, kWhite, 203);
        // biXPelsPerMeter and biYPelsPerMeter, and nothing else changed.
        EXPECT_EQ(le32(file, 38), 7992) << mono;
        EXPECT_EQ(le32(file, 42), 7992) << mono;
        const auto unstated = mono ? encode_bmp1(image, kWhite) : encode_bmp24(image);
        std::fill(file.begin() + 38, file.begin() + 46, std::byte{0});
        auto plain = unstated;
        std::fill(plain.begin() + 38, plain.begin() + 46, std::byte{0});
        EXPECT_EQ(file, plain) << mono;
        // Unset, the object's own bytes: 96 dpi in colour, none in 1 bit.
        EXPECT_EQ(le32(unstated, 38), mono ? 0 : 3780);
    }
    EXPECT_EQ(test::error_number([&] { encode_picture(image, PictureFormat::Bmp, false, kWhite, 0); }), 380);
}

TEST(PictureFormats, SavesAreTheEncodedBytesAndBmpIsTheBmpWriters)
{
    test::TempDir dir;
    const auto target = dir / "out";
    const Image image = speckled(37, 5, kNavy);
    EXPECT_EQ(encode_picture(image, PictureFormat::Bmp, false, kNavy), encode_bmp24(image));
    EXPECT_EQ(encode_picture(image, PictureFormat::Bmp, true, kNavy), encode_bmp1(image, kNavy));
    for (const auto format : {PictureFormat::Bmp, PictureFormat::Png, PictureFormat::Pbm}) {
        if (!can_write(format))
            continue;
        for (const bool mono : {false, true}) {
            save_picture(image, format, mono, kNavy, test::text_of(target));
            EXPECT_EQ(test::read_bytes(target), encode_picture(image, format, mono, kNavy))
                << format_name(format) << (mono ? " 1-bit" : " colour");
        }
        EXPECT_EQ(test::error_number([&] {
                      save_picture(image, format, false, kNavy, test::text_of(dir / "missing" / "x"));
                  }),
                  76);
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out"});
}

TEST(Pbm, HeaderAndRowsByteForByte)
{
    // Ten pixels: two bytes a row, the last six bits zero; 1 is black.
    Image image(10, 2, kWhite);
    image.set(0, 0, 0x000000);
    image.set(9, 0, 0xFFFF00);  // yellow is ink on white
    image.set(1, 1, 0xFFFFFE);
    const auto expected = concat(bytes_of_text("P4\n10 2\n"), test::bytes_of({0x80, 0x40,    // 1000 0000 01
                                                                              0x40, 0x00}));  // 0100 0000 00
    EXPECT_EQ(encode_picture(image, PictureFormat::Pbm, false, kWhite), expected);
    EXPECT_EQ(encode_picture(image, PictureFormat::Pbm, true, kWhite), expected);

    // On a dark background the background is black and ink white.
    Image dark(3, 1, kNavy);
    dark.set(1, 0, 0x000000);
    EXPECT_EQ(encode_picture(dark, PictureFormat::Pbm, false, kNavy),
              concat(bytes_of_text("P4\n3 1\n"), test::bytes_of({0xA0})));  // 101
    EXPECT_EQ(encode_picture(Image(0, 0, kWhite), PictureFormat::Pbm, false, kWhite), bytes_of_text("P4\n0 0\n"));
}

// Rows are converted a mebibyte or so at a time; none may move or repeat
// where one run ends and the next begins.
TEST(Pbm, LargeFilesKeepEveryRowInItsPlace)
{
    constexpr int width = 8192;   // 1 KiB a row
    constexpr int height = 1100;  // more than 1 MiB
    Image image(width, height, kWhite);
    for (int y = 0; y < height; ++y)
        image.set(y, y, 0x000000);
    const auto file = encode_picture(image, PictureFormat::Pbm, false, kWhite);
    const std::string header = "P4\n8192 1100\n";
    ASSERT_EQ(file.size(), header.size() + std::size_t{width / 8} * height);
    for (int y = 0; y < height; ++y) {
        std::vector<std::byte> row(width / 8);
        row[static_cast<std::size_t>(y / 8)] = std::byte{0x80} >> (y % 8);
        const auto at = file.begin() + static_cast<std::ptrdiff_t>(header.size() + row.size() * y);
        ASSERT_TRUE(std::equal(row.begin(), row.end(), at)) << "row " << y;
    }
}

struct Chunk {
    std::string type;
    std::vector<std::byte> data;
};

std::uint32_t big_endian_u32(const std::byte* p)
{
    return std::to_integer<std::uint32_t>(p[0]) << 24 | std::to_integer<std::uint32_t>(p[1]) << 16 |
           std::to_integer<std::uint32_t>(p[2]) << 8 | std::to_integer<std::uint32_t>(p[3]);
}

// The chunks after the signature; CRCs are left to the readers.
std::vector<Chunk> chunks_of(const std::vector<std::byte>& file)
{
    std::vector<Chunk> chunks;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::uint32_t length = big_endian_u32(&file[at]);
        Chunk chunk;
        chunk.type.assign(reinterpret_cast<const char*>(&file[at + 4]), 4);
        if (at + 12 + length > file.size())
            break;
        chunk.data.assign(file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                          file.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
        chunks.push_back(std::move(chunk));
        at += 12 + length;
    }
    return chunks;
}

std::vector<Chunk>::const_iterator first_of(const std::vector<Chunk>& chunks, std::string_view type)
{
    return std::find_if(chunks.begin(), chunks.end(), [&](const Chunk& c) { return c.type == type; });
}

// The pHYs chunk's data, which must come before the pixels; empty where
// there is none. Other ancillary chunks may stand beside it: WIC's encoder
// is free to add some.
std::vector<std::byte> resolution_of(const std::vector<Chunk>& chunks)
{
    const auto phys = first_of(chunks, "pHYs");
    if (phys == chunks.end() || phys > first_of(chunks, "IDAT"))
        return {};
    return phys->data;
}

TEST(Png, SignatureHeaderAndResolutionByteForByte)
{
    const Image image(300, 2, kWhite);
    const auto ihdr = [](int depth, int colour_type) {
        return test::bytes_of({0, 0, 1, 44, 0, 0, 0, 2, depth, colour_type, 0, 0, 0});  // 300 x 2, no interlace
    };
    const auto signature = test::bytes_of({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
    const auto dpi96 = test::bytes_of({0, 0, 0x0E, 0xC4, 0, 0, 0x0E, 0xC4, 1});  // 3780 a metre, both ways
    for (const bool mono : {false, true}) {
        const auto file = encode_picture(image, PictureFormat::Png, mono, kWhite);
        ASSERT_GT(file.size(), 8u);
        EXPECT_TRUE(std::equal(signature.begin(), signature.end(), file.begin()));
        const auto chunks = chunks_of(file);
        ASSERT_GE(chunks.size(), 4u);
        EXPECT_EQ(chunks[0].type, "IHDR");
        EXPECT_EQ(chunks[0].data, mono ? ihdr(1, 0) : ihdr(8, 2)) << (mono ? "1-bit grey" : "8-bit RGB");
        EXPECT_EQ(resolution_of(chunks), dpi96);
        const auto pixels = first_of(chunks, "IDAT");
        ASSERT_NE(pixels, chunks.end());
        for (auto chunk = pixels; chunk + 1 < chunks.end(); ++chunk)
            EXPECT_EQ(chunk->type, "IDAT") << chunk - chunks.begin();
        EXPECT_EQ(chunks.back().type, "IEND");
        EXPECT_TRUE(chunks.back().data.empty());
        // At 203 dpi: 7992 a metre both ways, the unit the metre.
        const auto at203 = chunks_of(encode_picture(image, PictureFormat::Png, mono, kWhite, 203));
        EXPECT_EQ(resolution_of(at203), test::bytes_of({0, 0, 0x1F, 0x38, 0, 0, 0x1F, 0x38, 1}));
    }
    // WIC takes dots per inch and rounds to dots per metre by its own rule;
    // every resolution must still state exactly its pixels_per_metre.
    for (const int dpi : {1, 72, 150, 180, 300, 360, 600, 1200, 2400, kMaxDpi}) {
        const auto ppm = static_cast<std::uint32_t>(pixels_per_metre(dpi));
        const auto file = encode_picture(Image(3, 1, kWhite), PictureFormat::Png, true, kWhite, dpi);
        const auto phys = resolution_of(chunks_of(file));
        ASSERT_EQ(phys.size(), 9u) << dpi;
        EXPECT_EQ(big_endian_u32(&phys[0]), ppm) << dpi << " dpi";
        EXPECT_EQ(big_endian_u32(&phys[4]), ppm) << dpi << " dpi";
    }
    EXPECT_EQ(test::error_number([] { encode_picture(Image(0, 3, kWhite), PictureFormat::Png, false, kWhite); }), 481);
}

#ifdef _WIN32
// Runs `job` on a thread of its own, so that its COM state is new.
template <typename Job>
void on_new_thread(Job job)
{
    std::thread(job).join();
}

// CoInitializeEx answers what the thread already has: S_OK where it had no
// COM, S_FALSE in an apartment of the same kind, RPC_E_CHANGED_MODE in the
// other kind. Each asks once after the write and balances what it took.
TEST(Png, LeavesEachThreadsComAsItFoundIt)
{
    const Image image = speckled(9, 4, kWhite);
    const auto write = [&] { return encode_picture(image, PictureFormat::Png, true, kWhite).size(); };
    on_new_thread([&] {
        EXPECT_GT(write(), 8u);
        const HRESULT after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        EXPECT_EQ(after, S_OK) << "a thread without COM is left without it";
        if (SUCCEEDED(after))
            CoUninitialize();
    });
    on_new_thread([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_GT(write(), 8u) << "written inside a single-threaded apartment";
        const HRESULT after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        EXPECT_EQ(after, S_FALSE) << "the single-threaded apartment stays";
        if (SUCCEEDED(after))
            CoUninitialize();
        CoUninitialize();
    });
    on_new_thread([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_GT(write(), 8u);
        CoUninitialize();
        // Only the thread's own CoInitializeEx was left to balance.
        const HRESULT after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        EXPECT_EQ(after, S_OK) << "the writer's own CoInitializeEx was balanced";
        if (SUCCEEDED(after))
            CoUninitialize();
    });
}
#else
// What a 1-bit file shows of `image`: black or white by mono_bit.
Image mono_view(const Image& image, Pixel background)
{
    Image out(image.width(), image.height(), 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            out.set(x, y, mono_bit(image.at(x, y), background) ? kWhite : 0);
    return out;
}

// The file read back by libpng's own reader as RGB, or an empty image.
Image decode_png(const std::vector<std::byte>& file)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, file.data(), file.size()))
        return {};
    png.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr))
        return {};
    Image image(static_cast<int>(png.width), static_cast<int>(png.height), 0);
    const unsigned char* p = rgb.data();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x, p += 3)
            image.set(x, y, Pixel{p[0]} << 16 | Pixel{p[1]} << 8 | p[2]);
    return image;
}

TEST(Png, ReadsBackAsTheImageInColourAndByTheOneBitRule)
{
    // Odd sizes: rows of the 1-bit file end inside a byte.
    for (const Pixel background : {kWhite, kNavy}) {
        const Image image = speckled(301, 37, background);
        EXPECT_TRUE(test::same_pixels(decode_png(encode_picture(image, PictureFormat::Png, false, background)), image));
        EXPECT_TRUE(test::same_pixels(decode_png(encode_picture(image, PictureFormat::Png, true, background)),
                                      mono_view(image, background)))
            << std::hex << background;
    }
}
#endif

}  // namespace
}  // namespace lumarin
