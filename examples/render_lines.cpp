// The typical job, as a client program writes it: size the surface for the
// longest line, add margins, print one line per call, and finish with a
// monochrome copy of the file.
//
//   render_lines INPUT.txt OUTPUT.bmp [MONO.bmp]
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "lumarin/error.hpp"
#include "lumarin/synapse.hpp"
#include "lumarin/text.hpp"

namespace {

std::vector<lumarin::Text> read_lines(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(std::string("cannot open ") + path);
    std::vector<lumarin::Text> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lumarin::Text text;
        if (!lumarin::from_utf8(line, text))
            throw std::runtime_error(std::string(path) + ": line " + std::to_string(lines.size() + 1) +
                                     " is not UTF-8");
        lines.push_back(std::move(text));
    }
    return lines;
}

lumarin::Text to_text(const char* utf8)
{
    lumarin::Text text;
    if (!lumarin::from_utf8(utf8, text))
        throw std::runtime_error("file name is not UTF-8");
    return text;
}

void render(const std::vector<lumarin::Text>& lines, const lumarin::Text& out, bool mono)
{
    lumarin::synapse s;
    s.FontName = u"Courier New";
    s.FontSize = 10;
    s.LineSpacing = 16;
    s.ForeColor = u"blue";
    s.FileName = out;
    lumarin::Text longest;
    for (const auto& line : lines)
        if (line.size() > longest.size())
            longest = line;
    s.MaximumStringLength(longest);
    s.SidePadding(4);
    s.TopPadding(4.0);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        s.FinalBold = i == 0 ? lumarin::kTrue : lumarin::kFalse;
        s.PrintText(lines[i], 0, 0);
    }
    if (mono)
        s.Monotize(u"");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::cerr << "usage: render_lines INPUT.txt OUTPUT.bmp [MONO.bmp]\n";
        return 2;
    }
    try {
        const auto lines = read_lines(argv[1]);
        render(lines, to_text(argv[2]), false);
        // Monotize rewrites the file it printed to, so the monochrome copy
        // is a second job under its own name.
        if (argc == 4)
            render(lines, to_text(argv[3]), true);
        return 0;
    } catch (const lumarin::Error& e) {
        std::cerr << "render_lines: " << e.what() << " (error " << e.number() << ")\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "render_lines: " << e.what() << "\n";
        return 1;
    }
}
