// Makes a synthetic picture and writes it as a printer job and as a 1-bit
// PBM, for printer_pictures_test.py to decode one and compare it with the
// other:
//   printer_pictures PREFIX [key=value...]
// Keys: pattern (blank, full, checker, diagonal, frame, corners, dot-tl,
// dot-br, random, colours, gaps), width, height, background (RRGGBB),
// profile (a built-in name, default 80mm) and its overrides: set (a command
// set name), band, margin, cutter (0 or 1), dots, dpi; jobs (the job
// repeated, its bytes one after the other). Writes PREFIX.bin and
// PREFIX.pbm; a refused job is one line on stderr and exit status 3.
#include <cstdint>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lumarin/error.hpp"
#include "lumarin/printer.hpp"
#include "surface/picture.hpp"

namespace lumarin {
namespace {

// A fixed generator, so that every run draws the same dots.
struct Lcg {
    std::uint32_t state;
    std::uint32_t next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

// Blank runs between three-row bands of ink: around the one-byte feed
// limit and a stripe's 24 rows.
constexpr int kGaps[] = {1, 2, 23, 24, 25, 254, 255, 256, 510, 511, 600};

Image draw(const std::string& pattern, int width, int height, Pixel background)
{
    Image image(width, height, background);
    const Pixel ink = (background & 0xFFFFFF) == 0 ? 0xFFFFFF : 0x000000;
    Lcg lcg{12345};
    std::vector<bool> ink_row(static_cast<std::size_t>(height), true);
    if (pattern == "gaps") {
        int y = 0;
        for (std::size_t i = 0; y < height; ++i) {
            y += 3;
            for (int g = 0; g < kGaps[i % std::size(kGaps)] && y < height; ++g)
                ink_row[static_cast<std::size_t>(y++)] = false;
        }
    }
    // Pixels unlike the background, all of which print on a light one:
    // near-white and yellow too.
    const Pixel colours[] = {0x000000, 0xFF0000, 0xFFFF00, 0xFEFEFE, 0x808080, 0xFFFFFF};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool on = false;
            if (pattern == "full")
                on = true;
            else if (pattern == "checker")
                on = (x + y) % 2 == 0;
            else if (pattern == "diagonal")
                on = x == y % width || x == width - 1 - y % width;
            else if (pattern == "frame")
                on = x == 0 || y == 0 || x == width - 1 || y == height - 1;
            else if (pattern == "corners")
                on = (x == 0 || x == width - 1) && (y == 0 || y == height - 1);
            else if (pattern == "dot-tl")
                on = x == 0 && y == 0;
            else if (pattern == "dot-br")
                on = x == width - 1 && y == height - 1;
            else if (pattern == "random" || pattern == "gaps")
                on = ink_row[static_cast<std::size_t>(y)] && lcg.next() % 3 == 0;
            else if (pattern == "colours") {
                const Pixel p = colours[lcg.next() % std::size(colours)];
                if (p != background)
                    image.set(x, y, p);
                continue;
            } else if (pattern != "blank")
                throw std::runtime_error("no pattern '" + pattern + "'");
            if (on)
                image.set(x, y, ink);
        }
    return image;
}

void write_file(const std::string& path, const std::vector<std::byte>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

int run(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: printer_pictures PREFIX [key=value...]\n";
        return 2;
    }
    const std::string prefix = argv[1];
    std::map<std::string, std::string> opt{{"pattern", "random"}, {"width", "64"}, {"height", "32"},
                                           {"background", "ffffff"}, {"profile", "80mm"}, {"jobs", "1"}};
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto eq = arg.find('=');
        if (eq == std::string::npos) {
            std::cerr << "printer_pictures: '" << arg << "' is not key=value\n";
            return 2;
        }
        opt[arg.substr(0, eq)] = arg.substr(eq + 1);
    }
    const auto number = [&](const std::string& key) { return std::stoi(opt.at(key)); };

    PrinterProfile profile = printer_profile(opt["profile"]);
    if (opt.count("set")) {
        const auto set = command_set_named(opt["set"]);
        if (!set) {
            std::cerr << "printer_pictures: no command set '" << opt["set"] << "'\n";
            return 2;
        }
        profile.commands = *set;
    }
    if (opt.count("band"))
        profile.band_rows = number("band");
    if (opt.count("margin"))
        profile.left_margin = number("margin");
    if (opt.count("cutter"))
        profile.cutter = number("cutter") != 0;
    if (opt.count("dots"))
        profile.width_dots = number("dots");
    if (opt.count("dpi"))
        profile.dpi = number("dpi");

    auto data = std::make_shared<PictureData>();
    data->background = static_cast<Pixel>(std::stoul(opt["background"], nullptr, 16));
    data->image = draw(opt["pattern"], number("width"), number("height"), data->background);
    data->dpi = profile.dpi;
    data->mono = true;
    const Picture picture(data);

    // The reference first, so that a refused job still leaves it.
    write_file(prefix + ".pbm", picture.encode(PictureFormat::Pbm));
    std::vector<std::byte> job;
    try {
        for (int i = 0; i < number("jobs"); ++i) {
            const auto bytes = printer_bytes(picture, profile);
            job.insert(job.end(), bytes.begin(), bytes.end());
        }
    } catch (const Error& e) {
        std::cerr << "printer_pictures: " << e.what() << "\n";
        return 3;
    }
    write_file(prefix + ".bin", job);
    return 0;
}

}  // namespace
}  // namespace lumarin

int main(int argc, char** argv)
{
    try {
        return lumarin::run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "printer_pictures: " << e.what() << "\n";
        return 1;
    }
}
