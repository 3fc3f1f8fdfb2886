// Draws the lines of a text file in one colour on another and saves the
// same image in every format and depth this build writes, for
// readers_test.py:
//   write_pictures SAMPLE.txt FORE BACK PREFIX
// FORE and BACK are 0xRRGGBB. Writes PREFIX.bmp, PREFIX-mono.bmp, PREFIX.pbm
// and, where PNG is written, PREFIX.png and PREFIX-mono.png.
#include <algorithm>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "common/text.hpp"
#include "lumarin/error.hpp"
#include "surface/canvas.hpp"
#include "surface/picture.hpp"

namespace lumarin {
namespace {

std::vector<Text> read_lines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    std::vector<Text> lines;
    for (std::string line; std::getline(in, line);) {
        Text text;
        if (!from_utf8(line, text))
            throw std::runtime_error(path + " is not UTF-8");
        lines.push_back(std::move(text));
    }
    return lines;
}

// 10-point Courier New at 96 dpi: 8 pixels a character; lines 16 pixels
// apart inside a 4-pixel margin.
void draw(PictureBox& canvas, const std::vector<Text>& lines, Pixel fore, Pixel back)
{
    std::size_t longest = 0;
    for (const auto& line : lines)
        longest = std::max(longest, line.size());
    canvas.Width(static_cast<Single>(longest * 8 + 8));
    canvas.Height(static_cast<Single>(lines.size() * 16 + 8));
    canvas.FontSize(10);
    canvas.BackColor(pixel_from_colour(back));  // the swap of red and blue undoes itself
    canvas.ForeColor(pixel_from_colour(fore));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        canvas.CurrentX(4);
        canvas.CurrentY(static_cast<Single>(4 + 16 * i));
        canvas.Print(lines[i]);
    }
}

void save_all(const Image& image, Pixel back, const std::string& prefix)
{
    struct Output {
        PictureFormat format;
        bool mono;
        const char* suffix;
    };
    const Output outputs[] = {{PictureFormat::Bmp, false, ".bmp"}, {PictureFormat::Bmp, true, "-mono.bmp"},
                              {PictureFormat::Png, false, ".png"}, {PictureFormat::Png, true, "-mono.png"},
                              {PictureFormat::Pbm, true, ".pbm"}};
    for (const Output& out : outputs) {
        if (!can_write(out.format))
            continue;
        Text path;
        if (!from_utf8(prefix + out.suffix, path))
            throw std::runtime_error("the prefix is not UTF-8");
        save_picture(image, out.format, out.mono, back, path);
    }
}

}  // namespace
}  // namespace lumarin

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::cerr << "usage: write_pictures SAMPLE.txt FORE BACK PREFIX\n";
        return 2;
    }
    try {
        const auto fore = static_cast<lumarin::Pixel>(std::stoul(argv[2], nullptr, 16));
        const auto back = static_cast<lumarin::Pixel>(std::stoul(argv[3], nullptr, 16));
        lumarin::Form1 form;
        lumarin::draw(form.Picture1, lumarin::read_lines(argv[1]), fore, back);
        lumarin::save_all(form.Picture1.Image(), back, argv[4]);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "write_pictures: " << e.what() << "\n";
        return 1;
    }
}
