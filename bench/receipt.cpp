// Receipt documents in one process, timed by the library's own clock:
//
//   bench_receipt [SECONDS]   40-line receipts with a logo and a QR code to
//                             1-bit pictures and their PNG bytes, one after
//                             another on one core, the font set up once;
//                             every receipt has its own items and prices
//   bench_receipt document [N]  receipt N (1 unless given) of those, for
//                             bench/receipts and bench/python
//
// It lays out as `lumarin --receipt --mono` does: 576 pixels at 203 dpi,
// 48 cells a line.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "lumarin/receipt.hpp"
#include "surface/picture.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string base64(const std::vector<std::byte>& bytes)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned v = std::to_integer<unsigned>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            v |= std::to_integer<unsigned>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            v |= std::to_integer<unsigned>(bytes[i + 2]);
        const std::size_t given = std::min<std::size_t>(3, bytes.size() - i);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= given ? kAlphabet[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

// A 192 x 64 logo: a grey ramp with a dark band, as a PNG.
std::string logo()
{
    lumarin::Image image(192, 64, 0xFFFFFF);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 192; ++x) {
            const auto g = static_cast<lumarin::Pixel>(y >= 24 && y < 40 ? 0x20 : x * 255 / 191);
            image.set(x, y, g << 16 | g << 8 | g);
        }
    return base64(lumarin::encode_picture(image, lumarin::PictureFormat::Png, false, 0xFFFFFF));
}

// Receipt number `n`: 34 items with their own prices, a total and a QR code.
std::string receipt(unsigned n, const std::string& logo_png)
{
    std::string doc = "{image: " + logo_png + "}\n^^^ LUMARIN CAFE\n12 Harbour Street\n\"Receipt " +
                      std::to_string(n) + "\"\n---\n";
    unsigned total = 0;
    for (unsigned i = 0; i < 34; ++i) {
        const unsigned pence = 100 + (i * 377 + n * 131) % 9000;
        total += pence;
        doc += std::to_string(1 + (i + n) % 4) + " x Item number " + std::to_string(i + 1 + n % 50) + " | " +
               std::to_string(pence / 100) + "." + std::to_string(pence % 100 / 10) + std::to_string(pence % 10) + "\n";
    }
    doc += "---\n^TOTAL | ^" + std::to_string(total / 100) + "." + std::to_string(total % 100 / 10) +
           std::to_string(total % 10) + "\n{code: https://example.com/r/" + std::to_string(n) +
           "; option: qrcode 6 m}\n";
    return doc;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string logo_png = logo();
    if (argc > 1 && std::string_view(argv[1]) == "document") {
        std::fputs(receipt(argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 1, logo_png).c_str(), stdout);
        return 0;
    }
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    lumarin::ReceiptStyle style;
    style.mono = true;
    lumarin::ReceiptLayout layout(style);  // the font found and loaded once
    layout.render(receipt(0, logo_png));
    double drawing = 0;
    double encoding = 0;
    unsigned jobs = 0;
    std::size_t bytes = 0;
    const auto start = Clock::now();
    while (seconds_since(start) < seconds) {
        const std::string doc = receipt(++jobs, logo_png);
        const auto t0 = Clock::now();
        const auto pages = layout.render(doc);
        drawing += seconds_since(t0);
        const auto t1 = Clock::now();
        for (const lumarin::Picture& page : pages)
            bytes = page.encode(lumarin::PictureFormat::Png).size();
        encoding += seconds_since(t1);
    }
    std::printf("%u receipts in %.2f s: %.0f a second (%.2f ms each: %.2f ms drawn, %.2f ms to PNG, %zu bytes)\n",
                jobs, drawing + encoding, jobs / (drawing + encoding), 1000 * (drawing + encoding) / jobs,
                1000 * drawing / jobs, 1000 * encoding / jobs, bytes);
    return 0;
}
