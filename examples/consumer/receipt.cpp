// A receipt laid out by the library: 48 columns on an 80 mm printer's 576
// dots at 203 dpi, prices on a right tab stop at the paper's edge, a long
// line wrapped where the language allows, saved as a 1-bit BMP.
//   receipt OUT.bmp
// Builds against an installed Lumarin like hello.cpp.
#include <lumarin/error.hpp>
#include <lumarin/page.hpp>
#include <lumarin/version.hpp>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: receipt OUT.bmp (Lumarin %s)\n", lumarin::version());
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
    } catch (const lumarin::Error& e) {
        std::fprintf(stderr, "receipt: error %d: %s\n", e.number(), e.what());
        return 1;
    }
    return 0;
}
