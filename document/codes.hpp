// Barcodes and QR codes as pixel masks: codes.cpp draws them with libzint
// and libqrencode (Linux); codes_none.cpp stands in where neither library
// is built (Windows) and refuses every code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumarin {

enum class Symbology { Upc, Ean, Code39, Itf, Codabar, Code93, Code128, QrCode };

struct CodeOptions {
    Symbology symbology = Symbology::Code128;
    int module = 2;    // barcode: module (narrowest bar) width in px, 2-4
    int height = 72;   // barcode: bar height in px, 24-240
    bool hri = false;  // barcode: the caller draws `hri` text under the bars
    int cell = 3;      // QR: cell size in px, 3-8
    char level = 'L';  // QR error correction: 'L', 'M', 'Q' or 'H'
};

// A code on whole pixels, quiet zones included, 1 where dark; rows one after the other.
// The quiet zones: 10 modules left and right of a barcode, none above or
// below it; 4 cells round a QR code.
struct CodeImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> dark;  // width * height
    std::string hri;                 // barcodes: the human-readable text (UTF-8), for the caller to draw when asked
};

// Throws InvalidPropertyValue, naming what is wrong, for data the
// symbology cannot encode or sizes below one pixel.
CodeImage draw_code(std::string_view data, const CodeOptions& options);

// Whether this build draws codes at all.
bool codes_available() noexcept;

}  // namespace lumarin
