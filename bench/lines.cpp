// The line-by-line workload in one process, for bench/peers:
//
//   bench_lines render INPUT OUT.bmp   lumarin's renderer, a save per line
//   bench_lines floor  INPUT OUT.bmp   the same sequence of file sizes written
//                                      by temporary + one write + rename
//
// Both use the peers workload's settings: Liberation Mono 10 pt, a 16 px
// pitch and 4 px margins.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/floor.hpp"
#include "lumarin/error.hpp"
#include "lumarin/synapse.hpp"
#include "surface/bmp.hpp"
#include "tools/lumarin/input.hpp"

namespace {

constexpr lumarin::Integer kSize = 10;
constexpr lumarin::Integer kPitch = 16;
constexpr lumarin::Integer kMargin = 4;

std::vector<lumarin::Text> read_lines(const std::string& path)
{
    return lumarin::cli::split_lines(lumarin::cli::read_input(path));
}

void render(const std::vector<lumarin::Text>& lines, const std::string& out)
{
    lumarin::synapse s;
    s.FontName = u"Liberation Mono";
    s.FontSize = kSize;
    s.LineSpacing = kPitch;
    s.FileName = lumarin::Text(out.begin(), out.end());
    s.MaximumStringLength(lumarin::cli::longest_line(lines));
    s.SidePadding(kMargin);
    s.TopPadding(static_cast<double>(kMargin));
    for (const auto& line : lines)
        s.PrintText(line, 0, 0);
}

// The sizes render() writes: width from the longest line at the default
// width factor, one pitch and two margins, then size + pitch rows a line.
void floor(const std::vector<lumarin::Text>& lines, const std::string& out)
{
    const int width = static_cast<int>(lumarin::cli::longest_line(lines).size()) * kSize * 80 / 100 + 2 * kMargin;
    int height = 1 + 2 * kMargin + kPitch;
    std::vector<std::byte> bytes;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        height += kSize + kPitch;
        bytes.assign(lumarin::kBmp24HeaderSize + lumarin::bmp24_stride(width) * static_cast<std::size_t>(height),
                     std::byte{0xFF});
        if (!lumarin::bench::write_and_rename(out, bytes))
            throw std::runtime_error("cannot write " + out);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_lines render|floor INPUT OUT.bmp\n");
        return 2;
    }
    try {
        const std::string mode = argv[1];
        const auto lines = read_lines(argv[2]);
        if (mode == "render")
            render(lines, argv[3]);
        else if (mode == "floor")
            floor(lines, argv[3]);
        else
            throw std::runtime_error("unknown mode " + mode);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_lines: %s\n", e.what());
        return 1;
    }
}
