// A receipt laid out by the library: 48 columns on an 80 mm printer's 576
// dots at 203 dpi, prices on a right tab stop at the paper's edge, a long
// line wrapped where the language allows, saved as a 1-bit BMP and, when a
// second file is named, as the printer's own ESC/POS bytes.
//   receipt OUT.bmp [OUT.bin]
// Builds against an installed Lumarin like hello.cpp.
#include <lumarin/error.hpp>
#include <lumarin/page.hpp>
#include <lumarin/printer.hpp>
#include <lumarin/version.hpp>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: receipt OUT.bmp [OUT.bin] (Lumarin %s)\n", lumarin::version());
        return 2;
    }
    lumarin::PageStyle style;
    style.dpi = 203;
    style.width = 576;
    style.columns = 48;
    style.wrap = true;
    style.mono = true;
    style.tabs.stops = {{lumarin::TabStop::Kind::Right, 0, false, true}};
    const std::vector<std::string> lines = {
        "LUMARIN CORNER SHOP",
        "Coffee\t3.50",
        "Bagel with cream cheese\t4.25",
        "Total\t7.75",
        "Thank you for shopping with us. We are open every day from seven until late.",
    };
    try {
        const lumarin::Picture picture = lumarin::render_page(std::span<const std::string>(lines), style);
        picture.save(argv[1], lumarin::PictureFormat::Bmp);
        if (argc == 3) {
            const auto bytes = lumarin::printer_bytes(picture, lumarin::printer_profile("80mm"));
            std::ofstream(argv[2], std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                           static_cast<std::streamsize>(bytes.size()));
        }
    } catch (const lumarin::Error& e) {
        std::fprintf(stderr, "receipt: error %d: %s\n", e.number(), e.what());
        return 1;
    }
    return 0;
}
