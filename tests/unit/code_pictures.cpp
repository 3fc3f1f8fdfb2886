// Draws codes as 1-bit PBM files for code_pictures_test.py, which reads
// them back with an independent decoder. Reads lines from standard input,
//   NAME <tab> SYMBOLOGY <tab> LEVEL <tab> DATA
// (SYMBOLOGY: upc, ean, code39, itf, codabar, code93, code128 or qr; LEVEL
// a QR code's L, M, Q or H) and writes FOLDER/NAME.pbm for each, printing
// NAME <tab> HRI, or NAME <tab> ! MESSAGE for a refused code.
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include "document/codes.hpp"
#include "lumarin/error.hpp"

namespace {

using lumarin::CodeImage;
using lumarin::Symbology;

const std::map<std::string, Symbology> kSymbologies = {
    {"upc", Symbology::Upc},       {"ean", Symbology::Ean},         {"code39", Symbology::Code39},
    {"itf", Symbology::Itf},       {"codabar", Symbology::Codabar}, {"code93", Symbology::Code93},
    {"code128", Symbology::Code128}, {"qr", Symbology::QrCode},
};

// A white margin above and below: the code's own quiet zones are only
// beside it.
constexpr int kMargin = 8;

void write_pbm(const std::string& path, const CodeImage& code)
{
    std::ofstream out(path, std::ios::binary);
    const int height = code.height + 2 * kMargin;
    out << "P4\n" << code.width << ' ' << height << '\n';
    const std::string blank((code.width + 7) / 8, '\0');
    for (int y = 0; y < height; ++y) {
        std::string row = blank;
        const int source = y - kMargin;
        if (source >= 0 && source < code.height)
            for (int x = 0; x < code.width; ++x)
                if (code.dark[static_cast<std::size_t>(source) * code.width + x])
                    row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        out << row;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: code_pictures FOLDER < cases\n";
        return 2;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        const auto tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1), tab3 = line.find('\t', tab2 + 1);
        if (tab3 == std::string::npos)
            continue;
        const std::string name = line.substr(0, tab1);
        lumarin::CodeOptions options;
        options.symbology = kSymbologies.at(line.substr(tab1 + 1, tab2 - tab1 - 1));
        options.level = line[tab2 + 1];
        try {
            const CodeImage code = lumarin::draw_code(line.substr(tab3 + 1), options);
            write_pbm(std::string(argv[1]) + "/" + name + ".pbm", code);
            std::cout << name << '\t' << code.hri << '\n';
        } catch (const lumarin::Error& e) {
            std::cout << name << "\t! " << e.context() << '\n';
        }
    }
    return 0;
}
