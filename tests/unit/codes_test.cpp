// Barcodes and QR codes as pixel masks (their sizes, quiet zones, module
// bits and refusals; tests/unit/code_pictures_test.py reads them with a
// decoder), inline pictures from base64 PNG, and their fit to a width.
#include <algorithm>
#include <functional>
#include <string>
#include <utility>

#include "document/codes.hpp"
#include "document/png_read.hpp"
#include "surface/picture.hpp"
#include "support.hpp"

namespace lumarin {
namespace {

// The error `call` throws; the test fails when there is none.
Error thrown(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error thrown";
    return Error(ErrorKind::Overflow);
}

#define REQUIRE_CODES() \
    if (!codes_available()) \
    GTEST_SKIP() << "this build draws no codes (no zint or libqrencode)"

CodeImage barcode(Symbology symbology, std::string_view data, int module = 2, int height = 30)
{
    return draw_code(data, {.symbology = symbology, .module = module, .height = height});
}

// Row y of a code as '1' (dark) and '0', every `step` pixels from `from`.
std::string row_bits(const CodeImage& code, int y, int from = 0, int step = 1)
{
    std::string bits;
    for (int x = from; x < code.width; x += step)
        bits += code.dark[static_cast<std::size_t>(y) * code.width + x] ? '1' : '0';
    return bits;
}

TEST(Codes, RefusesWhatEachSymbologyCannotEncode)
{
    REQUIRE_CODES();
    const struct {
        Symbology symbology;
        std::string data;
        std::string said;
    } cases[] = {
        {Symbology::Ean, "12345", "EAN takes 7, 8, 12 or 13 digits, not 5 (\"12345\")"},
        {Symbology::Ean, "49012341", "check digit"},       // plain zint pads 8 digits into an EAN-13
        {Symbology::Ean, "4901234567890", "check digit"},
        {Symbology::Ean, "49012a4", "digits only"},
        {Symbology::Upc, "0123456789", "UPC takes 6, 7, 8, 11 or 12 digits, not 10"},
        {Symbology::Upc, "2123456", "number system 0 or 1"},  // zint would read it as 0
        {Symbology::Upc, "01234566", "check digit"},
        {Symbology::Upc, "036000291453", "check digit"},
        {Symbology::Itf, "12345", "even number of digits, not 5"},  // zint would add a 0
        {Symbology::Itf, "12a4", "digits only"},
        {Symbology::Codabar, "40156", "A, B, C or D"},
        {Symbology::Codabar, "A40156", "A, B, C or D"},
        {Symbology::Code39, "ABC!", "CODE39 cannot encode \"ABC!\": Error"},
        {Symbology::Code39, "A\nB", "\"A\\x0AB\""},  // messages stay on one line
        {Symbology::Code93, "caf\xC3\xA9", "CODE93 cannot encode"},
        {Symbology::Code128, std::string(200, 'A'), "CODE128 cannot encode"},
        {Symbology::Code128, "", "at least one character"},
        {Symbology::QrCode, "", "at least one byte"},
    };
    for (const auto& c : cases) {
        const Error e = thrown([&] { barcode(c.symbology, c.data); });
        EXPECT_EQ(e.kind(), ErrorKind::InvalidPropertyValue) << c.data;
        EXPECT_NE(e.context().find(c.said), std::string::npos) << e.context();
    }
    EXPECT_EQ(test::error_number([] { barcode(Symbology::Code128, "A", 0); }), 380);
    EXPECT_EQ(test::error_number([] { barcode(Symbology::Code128, "A", 2, 0); }), 380);
    EXPECT_EQ(test::error_number([] { draw_code("A", {.symbology = Symbology::QrCode, .cell = 0}); }), 380);
    EXPECT_EQ(test::error_number([] { draw_code("A", {.symbology = Symbology::QrCode, .level = 'X'}); }), 380);
}

TEST(Codes, BarcodeModulesAreWholePixelColumnsBetweenQuietZones)
{
    REQUIRE_CODES();
    // CODE128 "A": start B, A, check character, stop: 46 modules.
    for (int module : {2, 3, 4})
        for (int height : {24, 240}) {
            const CodeImage code = barcode(Symbology::Code128, "A", module, height);
            ASSERT_EQ(code.width, (46 + 20) * module);
            ASSERT_EQ(code.height, height);
            const std::string top = row_bits(code, 0);
            for (int y = 1; y < height; ++y)
                ASSERT_EQ(row_bits(code, y), top) << "row " << y;
            // Sampled once a module: start B is 11010010000, the stop ends 11.
            const std::string modules = row_bits(code, 0, 0, module);
            EXPECT_EQ(modules.substr(0, 21), std::string(10, '0') + "11010010000");
            EXPECT_EQ(modules.substr(modules.size() - 12), "11" + std::string(10, '0'));
            for (int x = 0; x < code.width; ++x)
                EXPECT_EQ(top[x], top[x / module * module]) << "column " << x << " module " << module;
        }
    // Fixed widths of EAN-13, EAN-8, UPC-A and UPC-E; check digits in the text.
    EXPECT_EQ(barcode(Symbology::Ean, "490123456789").width, (95 + 20) * 2);
    EXPECT_EQ(barcode(Symbology::Ean, "490123456789").hri, "4901234567894");
    EXPECT_EQ(barcode(Symbology::Ean, "4901234").width, (67 + 20) * 2);
    EXPECT_EQ(barcode(Symbology::Upc, "03600029145").width, (95 + 20) * 2);
    EXPECT_EQ(barcode(Symbology::Upc, "123456").hri, "01234565");
    EXPECT_EQ(barcode(Symbology::Upc, "123456").width, (51 + 20) * 2);
}

TEST(Codes, QrCellsAreSquareBlocksInsideFourCellsOfQuietZone)
{
    REQUIRE_CODES();
    for (int cell = 3; cell <= 8; ++cell) {
        // Version 1: 21 cells, its finder pattern's top row 7 dark cells.
        const CodeImage code = draw_code("LUMARIN", {.symbology = Symbology::QrCode, .cell = cell});
        ASSERT_EQ(code.width, (21 + 8) * cell);
        ASSERT_EQ(code.height, code.width);
        for (int y = 0; y < 4 * cell; ++y)
            EXPECT_EQ(row_bits(code, y), std::string(code.width, '0'));
        for (int y = 4 * cell; y < 5 * cell; ++y)
            EXPECT_EQ(row_bits(code, y).substr(0, 12 * cell),
                      std::string(4 * cell, '0') + std::string(7 * cell, '1') + std::string(cell, '0'));
    }
}

TEST(Codes, QrHoldsVersion40sBytesAtEachLevelAndNamesTheLengthPastThem)
{
    REQUIRE_CODES();
    for (auto [level, most] : {std::pair{'L', 2953}, {'M', 2331}, {'Q', 1663}, {'H', 1273}}) {
        const CodeOptions options{.symbology = Symbology::QrCode, .cell = 3, .level = level};
        EXPECT_EQ(draw_code(std::string(most, 'x'), options).width, (177 + 8) * 3);
        const Error e = thrown([&] { draw_code(std::string(most + 1, 'x'), options); });
        EXPECT_EQ(e.kind(), ErrorKind::InvalidPropertyValue);
        EXPECT_NE(e.context().find(std::to_string(most + 1) + " bytes"), std::string::npos) << e.context();
        EXPECT_NE(e.context().find(std::string("level ") + level), std::string::npos) << e.context();
    }
}

TEST(Codes, BuildWithoutEncodersRefusesEveryCode)
{
    if (codes_available())
        GTEST_SKIP() << "this build draws codes";
    const Error e = thrown([] { barcode(Symbology::Ean, "4901234"); });
    EXPECT_EQ(e.kind(), ErrorKind::InvalidPropertyValue);
    EXPECT_EQ(e.context(), "this build draws no barcodes or QR codes");
}

std::string text_of(const std::vector<std::byte>& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

TEST(Base64, DecodesWithOrWithoutPaddingAndIgnoresWhitespace)
{
    // RFC 4648's own vectors.
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""}, {"Zg==", "f"}, {"Zm8=", "fo"}, {"Zm9v", "foo"}, {"Zm9vYg==", "foob"}, {"Zm9vYmE=", "fooba"},
        {"Zm9vYmFy", "foobar"}, {"Zm9vYg", "foob"}, {"Zm9vYmE", "fooba"}, {" Zm9v\r\n\tYmFy\n", "foobar"}};
    for (const auto& [text, bytes] : vectors)
        EXPECT_EQ(text_of(decode_base64(text)), bytes) << text;
    EXPECT_EQ(decode_base64("+/8="), test::bytes_of({0xFB, 0xFF}));
}

TEST(Base64, RefusesBadCharactersNamingTheirOffset)
{
    for (const auto& [text, said] : {std::pair<std::string, std::string>{"Zm9v\nYm!y", "'!', at offset 7"},
                                     {"Zm9v-_", "'-', at offset 4"}, {"Zg\xC3", "byte 0xC3, at offset 2"},
                                     {"Zg==Zg==", "after its '=' padding, at offset 4"}, {"Zm9vY", "group of one"},
                                     {"Zm9v=", "padding"}, {"Zg===", "more than two"}}) {
        const Error e = thrown([&] { decode_base64(text); });
        EXPECT_EQ(e.kind(), ErrorKind::InvalidPicture) << text;
        EXPECT_NE(e.context().find(said), std::string::npos) << e.context();
    }
}

// A PNG built by hand (stored deflate blocks), so that every colour type
// and depth can be tried on both builds' decoders.
class PngBuilder {
public:
    PngBuilder(int width, int height, int depth, int colour_type)
    {
        bytes_ = test::bytes_of({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
        std::vector<std::uint8_t> head;
        put32(head, width);
        put32(head, height);
        head.insert(head.end(), {std::uint8_t(depth), std::uint8_t(colour_type), 0, 0, 0});
        chunk("IHDR", head);
    }
    PngBuilder& chunk(const char* type, std::vector<std::uint8_t> data)
    {
        std::vector<std::uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        std::vector<std::uint8_t> out;
        put32(out, data.size());
        out.insert(out.end(), body.begin(), body.end());
        put32(out, crc32(body));
        for (auto b : out)
            bytes_.push_back(std::byte(b));
        return *this;
    }
    // Rows of raw samples, each given its filter byte (none) here.
    std::vector<std::byte> pixels(const std::vector<std::vector<std::uint8_t>>& rows)
    {
        std::vector<std::uint8_t> raw;
        for (const auto& row : rows) {
            raw.push_back(0);
            raw.insert(raw.end(), row.begin(), row.end());
        }
        std::vector<std::uint8_t> z{0x78, 0x01};
        for (std::size_t at = 0; at < raw.size(); at += 65535) {
            const std::size_t n = std::min<std::size_t>(raw.size() - at, 65535);
            z.insert(z.end(), {std::uint8_t(at + n == raw.size()), std::uint8_t(n), std::uint8_t(n >> 8),
                               std::uint8_t(~n), std::uint8_t(~n >> 8)});
            z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        }
        std::uint32_t a = 1, b = 0;
        for (auto v : raw)
            a = (a + v) % 65521, b = (b + a) % 65521;
        put32(z, b << 16 | a);
        chunk("IDAT", z).chunk("IEND", {});
        return bytes_;
    }

private:
    static void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
    {
        out.insert(out.end(), {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
    }
    static std::uint32_t crc32(const std::vector<std::uint8_t>& data)
    {
        std::uint32_t crc = 0xFFFFFFFF;
        for (auto v : data) {
            crc ^= v;
            for (int k = 0; k < 8; ++k)
                crc = crc & 1 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
        }
        return ~crc;
    }
    std::vector<std::byte> bytes_;
};

constexpr Pixel kPaper = 0xF0E0D0;

void expect_near(const std::vector<Pixel>& got, const std::vector<Pixel>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        for (int shift : {0, 8, 16})
            EXPECT_NEAR(int(got[i] >> shift & 0xFF), int(want[i] >> shift & 0xFF), 1)
                << "pixel " << i << std::hex << ": " << got[i] << " for " << want[i];
}

TEST(Png, DecodesEveryColourTypeOntoTheBackground)
{
    const auto grey = decode_png(PngBuilder(3, 1, 8, 0).pixels({{0x00, 0x80, 0xFF}}), kPaper);
    EXPECT_EQ(grey.pixels, (std::vector<Pixel>{0x000000, 0x808080, 0xFFFFFF}));
    const auto rgb = decode_png(PngBuilder(1, 2, 8, 2).pixels({{0x11, 0x22, 0x33}, {0xFE, 0x00, 0x01}}), kPaper);
    EXPECT_EQ(rgb.width, 1);
    EXPECT_EQ(rgb.pixels, (std::vector<Pixel>{0x112233, 0xFE0001}));
    // 2-bit palette, its last entry transparent.
    const auto palette = decode_png(PngBuilder(3, 1, 2, 3)
                                        .chunk("PLTE", {255, 0, 0, 0, 0, 255, 9, 9, 9})
                                        .chunk("tRNS", {255, 255, 0})
                                        .pixels({{0b00011000}}),
                                    kPaper);
    EXPECT_EQ(palette.pixels, (std::vector<Pixel>{0xFF0000, 0x0000FF, kPaper}));
    // RGBA: clear, opaque and half covering.
    const auto rgba = decode_png(PngBuilder(3, 1, 8, 6).pixels({{1, 2, 3, 0, 0x10, 0x20, 0x30, 255, 0, 0, 0, 128}}),
                                 kPaper);
    expect_near(rgba.pixels, {kPaper, 0x102030, 0x787068});
    // 16-bit grey without a gamma chunk is taken as sRGB, as 8-bit is.
    const auto deep = decode_png(PngBuilder(3, 1, 16, 0).pixels({{0xFF, 0xFF, 0x80, 0x80, 0, 0}}), kPaper);
    expect_near(deep.pixels, {0xFFFFFF, 0x808080, 0x000000});
}

TEST(Png, ReadsBackTheLibrarysOwnPngs)
{
    Image image(5, 3, 0xFFFFFF);
    image.set(0, 0, 0x000000);
    image.set(4, 2, 0x204060);
    for (bool mono : {false, true}) {
        const DecodedImage got = decode_png(encode_picture(image, PictureFormat::Png, mono, 0xFFFFFF), kPaper);
        ASSERT_EQ(got.width, 5);
        ASSERT_EQ(got.height, 3);
        EXPECT_EQ(got.pixels[0], 0x000000u);
        EXPECT_EQ(got.pixels[14], mono ? 0x000000u : 0x204060u);
        EXPECT_EQ(got.pixels[7], 0xFFFFFFu);
    }
}

TEST(Png, RefusesBrokenFilesAndHugeOnesBeforeTheirPixels)
{
    const auto good = PngBuilder(1, 1, 8, 0).pixels({{7}});
    for (const auto& broken : {std::vector<std::byte>{}, test::bytes_of({'G', 'I', 'F', '8', '9', 'a'}),
                               std::vector<std::byte>(good.begin(), good.end() - 20)})
        EXPECT_EQ(test::error_number([&] { decode_png(broken, kPaper); }), 481);
    auto corrupt = good;
    corrupt[44] ^= std::byte{0x55};  // in the compressed data: its chunk's CRC fails
    EXPECT_EQ(test::error_number([&] { decode_png(corrupt, kPaper); }), 481);
    // Too wide, and too many pixels (1-bit, to keep the files small).
    for (auto [w, h] : {std::pair{70000, 1}, {8200, 8200}}) {
        const std::vector<std::vector<std::uint8_t>> rows(h, std::vector<std::uint8_t>((w + 7) / 8, 0xAA));
        const Error e = thrown([&] { decode_png(PngBuilder(w, h, 1, 0).pixels(rows), kPaper); });
        EXPECT_EQ(e.kind(), ErrorKind::OutOfMemory) << w << " x " << h << ": " << e.context();
    }
}

DecodedImage row_image(std::vector<Pixel> pixels, int height = 1)
{
    return {static_cast<int>(pixels.size()) / height, height, std::move(pixels)};
}

TEST(FitWidth, AveragesTheAreaEachPixelCovers)
{
    const auto half = fit_width(row_image({0x000000, 0xFFFFFF, 0x000000, 0xFFFFFF}), 2);
    ASSERT_EQ(half.width, 2);
    ASSERT_EQ(half.height, 1);
    expect_near(half.pixels, {0x808080, 0x808080});
    // Three to two: each new pixel is one whole old one and half of the middle one.
    expect_near(fit_width(row_image({0x000000, 0xFFFFFF, 0x000000}), 2).pixels, {0x555555, 0x555555});
    // Both ways, the channels apart.
    const auto square = fit_width(row_image({0xFF0000, 0x0000FF, 0x00FF00, 0x000000}, 2), 1);
    EXPECT_EQ(square.height, 1);
    expect_near(square.pixels, {0x404040});
    EXPECT_EQ(fit_width(row_image(std::vector<Pixel>(1000, 0)), 10).height, 1);  // never 0 rows
    EXPECT_EQ(fit_width(row_image(std::vector<Pixel>(200 * 100, 7), 100), 50).height, 25);
    const auto narrow = row_image({1, 2, 3, 4}, 2);
    const auto kept = fit_width(narrow, 2);
    EXPECT_EQ(kept.width, 2);
    EXPECT_EQ(kept.pixels, narrow.pixels);
}

}  // namespace
}  // namespace lumarin
