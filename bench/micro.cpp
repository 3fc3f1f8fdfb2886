// Micro-benchmarks of the three file-writing operations, each beside its
// floor: the same bytes written with one write() and a rename(); of a
// durable save (synced) beside a synced floor; and of printing huge lines,
// which has no floor. The operations beside the plain floor save as
// scratch files do, without syncing, so that the two compare like for like.
//
// PrintText grows the surface by FontSize + LineSpacing (26 px here) on
// every call, so a fixed size cannot be measured by calling it in a loop.
// Each repetition builds a fresh renderer sized so that its next K calls
// end at the target height, prints one untimed line to load the fonts, then
// times exactly K calls; K is 1 up to 2600 px and keeps the band within 2%
// of the height above that. The floor is written with the mean byte count
// of those K calls, so the ratio compares equal amounts of data.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/floor.hpp"
#include "lumarin/synapse.hpp"
#include "renderer/canvas_access.hpp"
#include "surface/bmp.hpp"
#include "surface/canvas.hpp"
#include "surface/image.hpp"
#include "surface/mono.hpp"

namespace lumarin::bench {

namespace {

constexpr int kFontSize = 10;
constexpr int kPitch = 16;
constexpr int kGrowth = kFontSize + kPitch;  // surface rows added per PrintText
constexpr int kSide = 4;
constexpr int kColumn = kFontSize * 80 / 100;  // default width factor

struct Size {
    int w;
    int h;
};

std::string label(int w, int h) { return std::to_string(w) + "x" + std::to_string(h); }

Text line_of(int columns)
{
    const Text words = u"The quick brown fox jumps over the lazy dog. ";
    Text line;
    while (static_cast<int>(line.size()) < columns)
        line += words;
    line.resize(static_cast<std::size_t>(columns));
    return line;
}

// A renderer `w` wide whose surface is `h_before` rows high, fonts loaded.
// h_before is 17 + 2t + 26 for a whole t, so it is rounded down to that.
std::unique_ptr<synapse> sized_renderer(const Text& line, const std::string& file, int h_before)
{
    auto s = std::make_unique<synapse>();
    s->FontName = u"Liberation Mono";
    s->FontSize = kFontSize;
    s->LineSpacing = kPitch;
    s->FileName = Text(file.begin(), file.end());
    s->Saving.sync = false;  // beside the plain floor
    s->MaximumStringLength(line);
    s->SidePadding(kSide);
    const int top = std::max(0, (h_before - 1 - kPitch - kGrowth) / 2);
    s->TopPadding(static_cast<double>(top));
    s->PrintText(line, 0, 0);  // untimed: loads the fonts
    return s;
}

int height_of(const synapse& s) { return canvas_of(s).Image().height(); }

std::size_t bmp24_bytes(int w, int h) { return kBmp24HeaderSize + bmp24_stride(w) * static_cast<std::size_t>(h); }
std::size_t mono_bytes(int w, int h) { return kBmp1HeaderSize + static_cast<std::size_t>(mono_stride(w)) * static_cast<std::size_t>(h); }

int band_lines(int h) { return std::max(1, h / kGrowth / 50); }

void floor_benchmark(benchmark::State& state, const std::filesystem::path& target, std::size_t bytes,
                     bool durably = false)
{
    const std::vector<std::byte> data(bytes, std::byte{0x5A});
    for (auto _ : state)
        if (!(durably ? write_and_rename_durably(target, data) : write_and_rename(target, data)))
            state.SkipWithError("floor write failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void register_print_text(const std::filesystem::path& dir, Size size)
{
    const int k = band_lines(size.h);
    const int columns = (size.w - 2 * kSide) / kColumn;
    const int w = columns * kColumn + 2 * kSide;
    // Probe the rounding of the start height once, so names and floor match.
    const int h_start = height_of(*sized_renderer(line_of(columns), (dir / "probe.bmp").string(), size.h - k * kGrowth));
    const int h_end = h_start + k * kGrowth;
    const double mean_h = h_start + kGrowth * (k + 1) / 2.0;
    const std::string name = label(w, h_end);
    const std::string file = (dir / ("print-" + name + ".bmp")).string();

    benchmark::RegisterBenchmark(("PrintText/" + name).c_str(), [=](benchmark::State& state) {
        const Text line = line_of(columns);
        auto s = sized_renderer(line, file, size.h - k * kGrowth);
        for (auto _ : state)
            s->PrintText(line, 0, 0);
        state.counters["rows"] = mean_h;
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bmp24_bytes(w, static_cast<int>(mean_h))));
    })->Iterations(k)->Repetitions(size.h <= 600 ? 40 : 12)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

    const auto floor_bytes = static_cast<std::size_t>(
        kBmp24HeaderSize + static_cast<double>(bmp24_stride(w)) * mean_h);
    benchmark::RegisterBenchmark(("Floor:PrintText/" + name).c_str(), [=](benchmark::State& state) {
        floor_benchmark(state, dir / ("floor-" + name + ".bmp"), floor_bytes);
    })->Unit(benchmark::kMillisecond);
}

// SavePicture beside its floor: as scratch files save, unsynced, beside the
// plain floor; or as the library saves by default, synced, beside a synced
// floor ("Durable:"). The plain floor of the same size says what syncing
// itself costs.
void register_save_picture(const std::filesystem::path& dir, Size size, bool durable)
{
    const std::string name = std::string(durable ? "Durable:" : "") + "SavePicture/" + label(size.w, size.h);
    const std::string file = (dir / (std::string(durable ? "durable-" : "save-") + label(size.w, size.h) + ".bmp")).string();
    benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
        const Image image(size.w, size.h, 0xFFFFFF);
        const Text path(file.begin(), file.end());
        SaveOptions options;
        options.sync = durable;
        for (auto _ : state)
            SavePicture(image, path, options);
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bmp24_bytes(size.w, size.h)));
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Floor:" + name).c_str(), [=](benchmark::State& state) {
        floor_benchmark(state, file + ".floor", bmp24_bytes(size.w, size.h), durable);
    })->Unit(benchmark::kMillisecond);
}

void register_monotize(const std::filesystem::path& dir, Size size)
{
    const int columns = (size.w - 2 * kSide) / kColumn;
    const Text line = line_of(columns);
    const int w = columns * kColumn + 2 * kSide;
    const int h = height_of(*sized_renderer(line, (dir / "probe.bmp").string(), size.h));
    const std::string name = label(w, h);
    const std::string file = (dir / ("mono-" + name + ".bmp")).string();
    benchmark::RegisterBenchmark(("Monotize/" + name).c_str(), [=](benchmark::State& state) {
        auto s = sized_renderer(line, file, size.h);
        for (auto _ : state)
            s->Monotize(u"");  // unsynced, as sized_renderer set it
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * mono_bytes(w, h)));
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Floor:Monotize/" + name).c_str(), [=](benchmark::State& state) {
        floor_benchmark(state, dir / ("floor-mono-" + name + ".bmp"), mono_bytes(w, h));
    })->Unit(benchmark::kMillisecond);
    // The conversion must read the whole surface once: one memcpy of its
    // bytes into a buffer touched beforehand is the least that costs.
    benchmark::RegisterBenchmark(("Read:Monotize/" + name).c_str(), [=](benchmark::State& state) {
        const std::vector<std::byte> surface(bmp24_bytes(w, h) - kBmp24HeaderSize, std::byte{0xFF});
        std::vector<std::byte> copy(surface.size(), std::byte{0});
        for (auto _ : state) {
            std::memcpy(copy.data(), surface.data(), surface.size());
            benchmark::DoNotOptimize(copy.data());
            benchmark::ClobberMemory();
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * surface.size()));
    })->Unit(benchmark::kMillisecond);
}

Text repeated(const Text& pattern, std::size_t length)
{
    Text text;
    while (text.size() < length)
        text += pattern;
    text.resize(length);
    return text;
}

// One Print of a huge line on a canvas 2000 px wide, as surface_test prints
// it, whose bound is on the text handed to Pango, not on time. The drawer
// lays such lines out in pieces; one layout of the whole million took
// minutes. Items are code units.
void print_huge_line(benchmark::State& state, const Text& text, Single x)
{
    Form1 form;
    PictureBox& c = form.Picture1;
    c.Width(2000);
    c.Height(40);
    c.FontSize(10);
    c.Print(u"x");  // untimed: loads the fonts
    for (auto _ : state) {
        c.CurrentX(x);
        c.CurrentY(0);
        c.Print(text);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void register_huge_lines()
{
    // A mix of scripts and fallback fonts from the fuzz corpus.
    const Text mixed = u"\xD6C9\x0502\x020C\x063A \x0100 \x1080 \x2721 ";
    const auto add = [](const std::string& name, const Text& text, Single x) {
        benchmark::RegisterBenchmark(("PrintHugeLine/" + name).c_str(), [=](benchmark::State& state) {
            print_huge_line(state, text, x);
        })->Unit(benchmark::kMillisecond);
    };
    add("marks-100k", u"e" + Text(100000, u'\x0301'), 4);  // one cluster, all on the image
    add("mixed-250k-left", repeated(mixed, 250000), -1.0e9f);  // every piece laid out, none drawn
    add("mixed-1M", repeated(mixed, 1000000), 4);  // the first pieces drawn, the rest itemized
}

// The console report, then each operation's time over its floor's.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    using ConsoleReporter::ConsoleReporter;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median"))
                continue;
            const double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            seconds_[run.run_name.function_name] = seconds;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-32s %12s %12s %8s\n", "operation", "time ms", "floor ms", "ratio");
        for (const auto& [name, seconds] : seconds_) {
            const auto floor = seconds_.find("Floor:" + name);
            if (floor == seconds_.end())
                continue;
            // An operation that must also read a large buffer is held to
            // the larger of its write floor and that read.
            const auto read = seconds_.find("Read:" + name);
            const double least = std::max(floor->second, read == seconds_.end() ? 0.0 : read->second);
            std::printf("%-32s %12.3f %12.3f %8.2f\n", name.c_str(), seconds * 1e3, least * 1e3, seconds / least);
        }
    }

private:
    std::map<std::string, double> seconds_;
};

}  // namespace

int run(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const ScratchDir dir;
    const std::vector<Size> sizes{{64, 64}, {256, 256}, {600, 600}, {600, 2000}, {600, 8000}, {1000, 4000}, {2000, 8000}};
    for (const Size& size : sizes) {
        register_print_text(dir.path(), size);
        register_save_picture(dir.path(), size, false);
        register_monotize(dir.path(), size);
    }
    for (const Size& size : {Size{256, 256}, Size{600, 2000}, Size{2000, 8000}})
        register_save_picture(dir.path(), size, true);
    register_huge_lines();
    RatioReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace lumarin::bench

int main(int argc, char** argv)
{
    return lumarin::bench::run(argc, argv);
}
