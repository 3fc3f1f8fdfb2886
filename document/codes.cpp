// Codes drawn from the encoders' module matrices, one module a block of
// whole pixels, so that bars keep exact widths on a thermal printer. zint
// and libqrencode only encode here; their own raster output scales and
// smooths, which a printer's dots cannot show.
#include "document/codes.hpp"

#include <qrencode.h>
#include <zint.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "surface/image.hpp"

namespace lumarin {

namespace {

struct ZintDelete {
    void operator()(zint_symbol* symbol) const noexcept { ZBarcode_Delete(symbol); }
};
using ZintSymbol = std::unique_ptr<zint_symbol, ZintDelete>;

struct QrDelete {
    void operator()(QRcode* code) const noexcept { QRcode_free(code); }
};
using QrCode = std::unique_ptr<QRcode, QrDelete>;

// Quiet zones each side, in modules (barcodes; UPC and EAN ask for at
// least 9 and 7) and cells (QR).
constexpr int kBarcodeQuietModules = 10;
constexpr int kQrQuietCells = 4;

// Longer data than any of these symbologies holds; refused before zint
// sees a length that might not fit its int.
constexpr std::size_t kMaxBarcodeBytes = 4096;

// Data as a message shows it, on one line: quoted, control characters as
// \xNN, long data cut short.
std::string quoted(std::string_view data)
{
    constexpr std::size_t shown = 40;
    std::string out = "\"";
    for (char c : data.substr(0, shown)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + (data.size() > shown ? "...\"" : "\"");
}

const char* name_of(Symbology symbology) noexcept
{
    switch (symbology) {
    case Symbology::Upc: return "UPC";
    case Symbology::Ean: return "EAN";
    case Symbology::Code39: return "CODE39";
    case Symbology::Itf: return "ITF";
    case Symbology::Codabar: return "Codabar";
    case Symbology::Code93: return "CODE93";
    case Symbology::Code128: return "CODE128";
    case Symbology::QrCode: return "QR code";
    }
    return "code";
}

bool all_digits(std::string_view data) noexcept
{
    for (char c : data)
        if (c < '0' || c > '9')
            return false;
    return true;
}

void require_digits(Symbology symbology, std::string_view data)
{
    if (!all_digits(data))
        fail(ErrorKind::InvalidPropertyValue,
             std::string(name_of(symbology)) + " takes digits only, not " + quoted(data));
}

[[noreturn]] void fail_length(Symbology symbology, const char* lengths, std::string_view data)
{
    fail(ErrorKind::InvalidPropertyValue, std::string(name_of(symbology)) + " takes " + lengths + " digits, not " +
                                              std::to_string(data.size()) + " (" + quoted(data) + ")");
}

// UPC-E from 6 digits (number system 0), 7 (number system first) or 8
// (check digit last); UPC-A from 11 or 12. zint would quietly read any
// other number system as 0.
int upc_symbology(std::string_view data)
{
    require_digits(Symbology::Upc, data);
    switch (data.size()) {
    case 6: return BARCODE_UPCE;
    case 7:
    case 8:
        if (data[0] != '0' && data[0] != '1')
            fail(ErrorKind::InvalidPropertyValue,
                 "UPC-E starts with number system 0 or 1, not " + std::string(1, data[0]) + " (" + quoted(data) + ")");
        return BARCODE_UPCE;
    case 11:
    case 12: return BARCODE_UPCA;
    default: fail_length(Symbology::Upc, "6, 7, 8, 11 or 12", data);
    }
}

// zint's plain EAN reads 8 digits as a short EAN-13 and pads it; the
// variant with the check digit given reads 8 and 13 as they are.
int ean_symbology(std::string_view data)
{
    require_digits(Symbology::Ean, data);
    switch (data.size()) {
    case 7:
    case 12: return BARCODE_EANX;
    case 8:
    case 13: return BARCODE_EANX_CHK;
    default: fail_length(Symbology::Ean, "7, 8, 12 or 13", data);
    }
}

// zint pads an odd count with a leading zero, changing the data.
int itf_symbology(std::string_view data)
{
    require_digits(Symbology::Itf, data);
    if (data.empty() || data.size() % 2 != 0)
        fail(ErrorKind::InvalidPropertyValue, "ITF takes an even number of digits, not " +
                                                  std::to_string(data.size()) + " (" + quoted(data) + ")");
    return BARCODE_C25INTER;
}

bool codabar_guard(char c) noexcept
{
    return (c >= 'A' && c <= 'D') || (c >= 'a' && c <= 'd');
}

int codabar_symbology(std::string_view data)
{
    if (data.size() < 2 || !codabar_guard(data.front()) || !codabar_guard(data.back()))
        fail(ErrorKind::InvalidPropertyValue,
             "Codabar starts and ends with A, B, C or D (start and stop characters), as in \"A123B\"; not " +
                 quoted(data));
    return BARCODE_CODABAR;
}

// The zint symbology for `data`, refusing what zint would change quietly.
int zint_symbology(Symbology symbology, std::string_view data)
{
    switch (symbology) {
    case Symbology::Upc: return upc_symbology(data);
    case Symbology::Ean: return ean_symbology(data);
    case Symbology::Itf: return itf_symbology(data);
    case Symbology::Codabar: return codabar_symbology(data);
    case Symbology::Code39: return BARCODE_CODE39;
    case Symbology::Code93: return BARCODE_CODE93;
    case Symbology::Code128: return BARCODE_CODE128;
    case Symbology::QrCode: break;
    }
    fail(ErrorKind::InvalidPropertyValue, "not a barcode symbology");
}

void require_positive(int value, const char* what)
{
    if (value < 1)
        fail(ErrorKind::InvalidPropertyValue,
             std::string(what) + " must be at least 1 px, not " + std::to_string(value));
}

// A blank image of width x height, refused past the picture limits first.
CodeImage blank_image(long long width, long long height)
{
    check_image_size(width, height);
    CodeImage image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.dark.assign(static_cast<std::size_t>(width * height), 0);
    return image;
}

void fill(CodeImage& image, int x, int y, int width, int height)
{
    for (int row = y; row < y + height; ++row) {
        auto* start = image.dark.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(image.width);
        std::fill(start + x, start + x + width, std::uint8_t{1});
    }
}

ZintSymbol encode_barcode(Symbology symbology, std::string_view data)
{
    const std::string name = name_of(symbology);
    if (data.empty())
        fail(ErrorKind::InvalidPropertyValue, "a " + name + " barcode needs at least one character");
    if (data.size() > kMaxBarcodeBytes)
        fail(ErrorKind::InvalidPropertyValue,
             name + " data of " + std::to_string(data.size()) + " bytes is too long for a barcode");
    const int kind = zint_symbology(symbology, data);
    ZintSymbol symbol(ZBarcode_Create());
    if (!symbol)
        fail(ErrorKind::OutOfMemory, "cannot start a barcode");
    symbol->symbology = kind;
    symbol->input_mode = DATA_MODE;  // the bytes as given
    const int result = ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(data.data()),
                                       static_cast<int>(data.size()));
    if (result == ZINT_ERROR_MEMORY)
        fail(ErrorKind::OutOfMemory, "cannot encode a " + name + " barcode");
    if (result >= ZINT_ERROR)
        fail(ErrorKind::InvalidPropertyValue, name + " cannot encode " + quoted(data) + ": " + symbol->errtxt);
    return symbol;
}

// zint packs each row's modules eight to a byte, the first module in the
// lowest bit.
bool module_dark(const zint_symbol& symbol, int row, int column) noexcept
{
    return (symbol.encoded_data[row][column >> 3] >> (column & 7)) & 1;
}

CodeImage draw_barcode(std::string_view data, const CodeOptions& options)
{
    require_positive(options.module, "a barcode's module width");
    require_positive(options.height, "a barcode's height");
    const ZintSymbol symbol = encode_barcode(options.symbology, data);
    const long long modules = symbol->width + 2LL * kBarcodeQuietModules;
    CodeImage image = blank_image(modules * options.module, options.height);
    // Stacked rows share the height; these symbologies have one.
    const int rows = std::max(symbol->rows, 1);
    for (int row = 0; row < symbol->rows; ++row) {
        const int top = row * options.height / rows;
        const int bottom = (row + 1) * options.height / rows;
        for (int column = 0; column < symbol->width; ++column)
            if (module_dark(*symbol, row, column))
                fill(image, (column + kBarcodeQuietModules) * options.module, top, options.module, bottom - top);
    }
    const char* text = reinterpret_cast<const char*>(symbol->text);
    image.hri = *text ? std::string(text) : std::string(data);
    return image;
}

QRecLevel qr_level(char level)
{
    switch (level) {
    case 'L': return QR_ECLEVEL_L;
    case 'M': return QR_ECLEVEL_M;
    case 'Q': return QR_ECLEVEL_Q;
    case 'H': return QR_ECLEVEL_H;
    default: break;
    }
    fail(ErrorKind::InvalidPropertyValue,
         std::string("a QR code's error correction level is L, M, Q or H, not '") + level + "'");
}

// Bytes the largest QR code (version 40) holds in 8-bit mode at each level.
std::size_t qr_capacity(QRecLevel level) noexcept
{
    switch (level) {
    case QR_ECLEVEL_L: return 2953;
    case QR_ECLEVEL_M: return 2331;
    case QR_ECLEVEL_Q: return 1663;
    case QR_ECLEVEL_H: return 1273;
    }
    return 0;
}

[[noreturn]] void fail_qr_length(std::string_view data, char level, QRecLevel qr)
{
    fail(ErrorKind::InvalidPropertyValue, "QR code data of " + std::to_string(data.size()) +
                                              " bytes is too long for error correction level " + level +
                                              " (at most " + std::to_string(qr_capacity(qr)) + ")");
}

QrCode encode_qr(std::string_view data, char level)
{
    const QRecLevel qr = qr_level(level);
    if (data.empty())
        fail(ErrorKind::InvalidPropertyValue, "a QR code needs at least one byte of data");
    if (data.size() > qr_capacity(qr))
        fail_qr_length(data, level, qr);
    errno = 0;
    // Version 0: the smallest that holds the data.
    QrCode code(QRcode_encodeData(static_cast<int>(data.size()), reinterpret_cast<const unsigned char*>(data.data()),
                                  0, qr));
    if (code)
        return code;
    if (errno == ERANGE)
        fail_qr_length(data, level, qr);
    if (errno == ENOMEM)
        fail(ErrorKind::OutOfMemory, "cannot encode a QR code");
    fail(ErrorKind::InvalidPropertyValue, "libqrencode cannot encode " + quoted(data));
}

CodeImage draw_qr(std::string_view data, const CodeOptions& options)
{
    require_positive(options.cell, "a QR code's cell size");
    const QrCode code = encode_qr(data, options.level);
    const long long side = (code->width + 2LL * kQrQuietCells) * options.cell;
    CodeImage image = blank_image(side, side);
    // Bit 0 of each cell's byte is dark; the others describe its role.
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[static_cast<std::size_t>(y) * static_cast<std::size_t>(code->width) + x] & 1)
                fill(image, (x + kQrQuietCells) * options.cell, (y + kQrQuietCells) * options.cell, options.cell,
                     options.cell);
    image.hri = std::string(data);
    return image;
}

}  // namespace

CodeImage draw_code(std::string_view data, const CodeOptions& options)
{
    if (options.symbology == Symbology::QrCode)
        return draw_qr(data, options);
    return draw_barcode(data, options);
}

bool codes_available() noexcept
{
    return true;
}

}  // namespace lumarin
