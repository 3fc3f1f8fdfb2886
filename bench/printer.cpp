// A printer's job in one process, timed by the library's own clock:
//
//   bench_printer throughput [SECONDS]   40-line receipts to GS v 0 bytes,
//                                        one after another on one core, the
//                                        font found and loaded once
//   bench_printer first-band LINES       a LINES-line job streamed to a sink:
//                                        when the first raster band and the
//                                        last byte arrive, from the start of
//                                        the layout
//
// Both lay out as `lumarin --printer 80mm` does: 576 dots at 203 dpi, one
// bit a pixel, Liberation Mono 10 pt.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lumarin/page.hpp"
#include "lumarin/printer.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<std::string> receipt(std::size_t lines)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < lines; ++i) {
        const int pence = static_cast<int>(100 + (i * 377) % 9000);
        out.push_back(std::to_string(1 + i % 4) + " x Item number " + std::to_string(i + 1) + "\t" +
                      std::to_string(pence / 100) + "." + std::to_string(pence % 100 / 10) +
                      std::to_string(pence % 10));
    }
    return out;
}

lumarin::PageStyle printer_style(const lumarin::PrinterProfile& profile)
{
    lumarin::PageStyle style;
    style.width = profile.printable_dots();
    style.dpi = profile.dpi;
    style.mono = true;
    style.line_box = true;
    style.tabs.stops.push_back({lumarin::TabStop::Kind::Right, 0, false, true});
    return style;
}

int throughput(double seconds)
{
    const auto profile = lumarin::printer_profile("80mm");
    const auto style = printer_style(profile);
    const auto lines = receipt(40);
    lumarin::PageLayout layout(style);  // the font found and loaded once
    std::size_t bytes = 0;
    std::size_t jobs = 0;
    const auto start = Clock::now();
    while (ms_since(start) < seconds * 1000) {
        bytes = lumarin::printer_bytes(layout.render(lines), profile).size();
        ++jobs;
    }
    const double elapsed = ms_since(start) / 1000;
    std::printf("%zu receipts of 40 lines in %.2f s: %.0f a second, %zu bytes each\n", jobs, elapsed,
                static_cast<double>(jobs) / elapsed, bytes);
    return 0;
}

int first_band(std::size_t count)
{
    const auto profile = lumarin::printer_profile("80mm");
    const auto style = printer_style(profile);
    const auto lines = receipt(count);
    lumarin::PageLayout layout(style);
    layout.render(receipt(2));  // the glyphs the job uses drawn once
    double first = -1;
    std::size_t bytes = 0;
    const auto start = Clock::now();
    lumarin::PrinterEncoder encoder(profile, [&](std::span<const std::byte> piece) {
        // The initialise command leaves first, alone; the rows come after.
        if (first < 0 && bytes > 0)
            first = ms_since(start);
        bytes += piece.size();
    });
    lumarin::PageEvents events;
    events.rows_final = [&](const lumarin::Picture& so_far, int rows) { encoder.rows_final(so_far, rows); };
    encoder.finish(layout.render(lines, events));
    std::printf("%zu lines: first band after %.1f ms, all %zu bytes after %.1f ms\n", count, first, bytes,
                ms_since(start));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "throughput")
        return throughput(argc > 2 ? std::atof(argv[2]) : 3.0);
    if (what == "first-band" && argc > 2)
        return first_band(static_cast<std::size_t>(std::atol(argv[2])));
    std::fprintf(stderr, "usage: bench_printer throughput [SECONDS] | first-band LINES\n");
    return 2;
}
