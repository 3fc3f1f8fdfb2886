// The line-by-line workload in one process, for bench/peers:
//
//   bench_lines render INPUT OUT.bmp          lumarin's renderer, a save per line
//   bench_lines floor  INPUT OUT.bmp          the same sequence of file sizes,
//                                             each by one write to a new file
//                                             in the folder + rename over OUT
//   bench_lines floor-in-place INPUT OUT.bmp  the same sizes, each by one
//                                             pwrite over the one open OUT
// The floors write from one buffer allocated and filled once.
//
// Both use the peers workload's settings: Liberation Mono 10 pt, a 16 px
// pitch and 4 px margins.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/floor.hpp"
#include "lumarin/error.hpp"
#include "lumarin/synapse.hpp"
#include "lumarin/text.hpp"
#include "surface/bmp.hpp"
#include "tools/lumarin/input.hpp"

namespace {

constexpr lumarin::Integer kSize = 10;
constexpr lumarin::Integer kPitch = 16;
constexpr lumarin::Integer kMargin = 4;

std::vector<lumarin::Text> read_lines(const std::string& path)
{
    std::vector<lumarin::Text> lines;
    for (const std::string& line :
         lumarin::cli::read_lines(path, {}, *lumarin::cli::Decoder::for_encoding("UTF-8"), [] {})) {
        lines.emplace_back();
        lumarin::from_utf8(line, lines.back());
    }
    return lines;
}

const lumarin::Text& longest_line(const std::vector<lumarin::Text>& lines)
{
    static const lumarin::Text none;
    const auto longest = std::max_element(lines.begin(), lines.end(),
                                          [](const auto& a, const auto& b) { return a.size() < b.size(); });
    return longest == lines.end() ? none : *longest;
}

void render(const std::vector<lumarin::Text>& lines, const std::string& out)
{
    lumarin::synapse s;
    s.FontName = u"Liberation Mono";
    s.FontSize = kSize;
    s.LineSpacing = kPitch;
    s.FileName = lumarin::Text(out.begin(), out.end());
    s.Saving.sync = false;  // as the peers save: none of them syncs
    s.MaximumStringLength(longest_line(lines));
    s.SidePadding(kMargin);
    s.TopPadding(static_cast<double>(kMargin));
    for (const auto& line : lines)
        s.PrintText(line, 0, 0);
}

// The file sizes render() writes, one a line: width from the longest line
// at the default width factor, one pitch and two margins, then size +
// pitch rows a line.
std::vector<std::size_t> file_sizes(const std::vector<lumarin::Text>& lines)
{
    const int width = static_cast<int>(longest_line(lines).size()) * kSize * 80 / 100 + 2 * kMargin;
    int height = 1 + 2 * kMargin + kPitch;
    std::vector<std::size_t> sizes;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        height += kSize + kPitch;
        sizes.push_back(lumarin::kBmp24HeaderSize + lumarin::bmp24_stride(width) * static_cast<std::size_t>(height));
    }
    return sizes;
}

// The floors write the same sizes from one buffer, allocated and filled
// once for the largest: the cheapest honest way to do the same I/O.
// Atomic: one write to a new file in the folder, renamed over the target.
void floor(const std::vector<lumarin::Text>& lines, const std::string& out)
{
    const auto sizes = file_sizes(lines);
    const std::vector<std::byte> bytes(sizes.empty() ? 0 : sizes.back(), std::byte{0xFF});
    for (const std::size_t size : sizes)
        if (!lumarin::bench::write_and_rename(out, std::span(bytes).first(size)))
            throw std::runtime_error("cannot write " + out);
}

// In place: one pwrite over the start of the one open target.
void floor_in_place(const std::vector<lumarin::Text>& lines, const std::string& out)
{
    const auto sizes = file_sizes(lines);
    const std::vector<std::byte> bytes(sizes.empty() ? 0 : sizes.back(), std::byte{0xFF});
    const lumarin::bench::OpenFile file(out);
    for (const std::size_t size : sizes)
        if (!lumarin::bench::write_in_place(file.fd(), std::span(bytes).first(size)))
            throw std::runtime_error("cannot write " + out);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_lines render|floor|floor-in-place INPUT OUT.bmp\n");
        return 2;
    }
    try {
        const std::string mode = argv[1];
        const auto lines = read_lines(argv[2]);
        if (mode == "render")
            render(lines, argv[3]);
        else if (mode == "floor")
            floor(lines, argv[3]);
        else if (mode == "floor-in-place")
            floor_in_place(lines, argv[3]);
        else
            throw std::runtime_error("unknown mode " + mode);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_lines: %s\n", e.what());
        return 1;
    }
}
