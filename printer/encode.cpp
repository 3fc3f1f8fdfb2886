// Pictures as raster command sets, each from its printer command reference.
// Rows are packed as the printers take them (leftmost dot in the most
// significant bit, 1 prints), runs of blank rows become paper feed, and the
// rest leaves in bands as soon as a band is whole.
#include <algorithm>
#include <cstring>
#include <string>

#include "common/fail.hpp"
#include "common/text.hpp"
#include "lumarin/error.hpp"
#include "lumarin/printer.hpp"
#include "surface/mono.hpp"
#include "surface/picture.hpp"

namespace lumarin {

namespace {

constexpr std::byte b(unsigned v) noexcept { return static_cast<std::byte>(v & 0xFF); }

constexpr unsigned kEsc = 0x1B;
constexpr unsigned kGs = 0x1D;
constexpr int kMaxFeed = 255;     // ESC J n and ESC * r Y n NUL: one byte's worth at a time
constexpr int kStripeRows = 24;  // ESC * 33: 24-dot double density

class Bytes {
public:
    void add(std::initializer_list<unsigned> values)
    {
        for (const unsigned v : values)
            out_.push_back(b(v));
    }
    void add16(std::size_t v) { add({static_cast<unsigned>(v), static_cast<unsigned>(v >> 8)}); }
    void add(std::span<const std::byte> bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }
    void add_decimal(int v)
    {
        for (const char c : std::to_string(v))
            out_.push_back(b(static_cast<unsigned char>(c)));
    }
    bool empty() const noexcept { return out_.empty(); }
    std::span<const std::byte> bytes() const noexcept { return out_; }
    void clear() noexcept { out_.clear(); }

private:
    std::vector<std::byte> out_;
};

}  // namespace

struct PrinterEncoder::State {
    PrinterProfile profile;
    ByteSink sink;
    const PictureData* picture = nullptr;
    int dots = 0;             // dots a row carries: the margin and the picture
    std::size_t row_bytes = 0;
    int scanned = 0;          // rows classified so far
    int run_start = 0;        // first row of the run not yet sent
    bool run_blank = true;
    std::vector<std::byte> run;  // the packed rows of the ink run not yet sent
    std::vector<std::byte> scratch;
    std::vector<std::byte> row;
    int line_spacing = 0;     // ESC * stripes: the spacing last set
    std::uint64_t encoded = 0;
    Bytes out;

    void flush()
    {
        if (out.empty())
            return;
        sink(out.bytes());
        encoded += out.bytes().size();
        out.clear();
    }

    bool star() const noexcept { return profile.commands == CommandSet::StarRaster; }
    int band_limit() const noexcept
    {
        return profile.commands == CommandSet::EscPosBitImage ? std::min(kStripeRows, profile.band_rows)
                                                              : profile.band_rows;
    }

    void start_job();
    void end_job();
    void start_picture(const PictureData& data);
    bool pack_row(int y, std::byte* dst);
    void scan(int end);
    void send_run(int end);
    void feed(int rows);
    void band(std::span<const std::byte> rows, int height);
    void stripe(std::span<const std::byte> rows, int height);
};

void PrinterEncoder::State::start_job()
{
    out.add({kEsc, '@'});  // initialise
    if (star()) {
        out.add({kEsc, '*', 'r', 'A'});  // raster mode
        out.add({kEsc, '*', 'r', 'P', '0', 0});  // continuous paper, no page length
        // What ending the document does: feed past the cutter and cut
        // partly, or feed to the tear bar.
        out.add({kEsc, '*', 'r', 'E'});
        out.add_decimal(profile.cutter ? 13 : 3);
        out.add({0});
    } else {
        // Motion units of one dot, so that feeds are counted in rows.
        out.add({kGs, 'P', static_cast<unsigned>(profile.dpi), static_cast<unsigned>(profile.dpi)});
    }
    flush();
}

void PrinterEncoder::State::end_job()
{
    if (star()) {
        out.add({kEsc, 0x0C, 0x04});      // execute the end-of-document mode
        out.add({kEsc, '*', 'r', 'B'});  // back to line mode
    } else {
        if (profile.commands == CommandSet::EscPosBitImage)
            out.add({kEsc, '2'});  // the default line spacing back
        if (profile.cutter)
            out.add({kGs, 'V', 66, 0});  // feed to the cutter, cut partly
        else
            feed(profile.dpi * 3 / 4);  // past the tear bar, about 19 mm
    }
    flush();
}

void PrinterEncoder::State::start_picture(const PictureData& data)
{
    if (data.image.width() > profile.printable_dots())
        fail(ErrorKind::InvalidPropertyValue,
             "the picture is " + grouped(data.image.width()) + " dots wide; the printer '" + profile.name +
                 "' prints at most " + grouped(profile.printable_dots()) +
                 (profile.left_margin > 0 ? " beside its left margin of " + std::to_string(profile.left_margin) : "") +
                 ": lay it out narrower rather than have it cut off");
    picture = &data;
    dots = profile.left_margin + data.image.width();
    row_bytes = static_cast<std::size_t>(dots + 7) / 8;
    scratch.resize(static_cast<std::size_t>(packed_mono_row_bytes(data.image.width())) + 1);
}

// Row y into `dst` (row_bytes), after the left margin; whether it prints
// anything.
bool PrinterEncoder::State::pack_row(int y, std::byte* dst)
{
    const int margin = profile.left_margin;
    if (margin % 8 == 0) {
        std::memset(dst, 0, static_cast<std::size_t>(margin / 8));
        pack_print_row(picture->image, picture->background, y, dst + margin / 8);
    } else {
        const std::size_t packed = static_cast<std::size_t>(packed_mono_row_bytes(picture->image.width()));
        pack_print_row(picture->image, picture->background, y, scratch.data());
        scratch[packed] = std::byte{0};
        const int shift = margin % 8;
        std::memset(dst, 0, row_bytes);
        std::byte* out = dst + margin / 8;
        for (std::size_t i = 0; i < packed && out + i < dst + row_bytes; ++i) {
            out[i] |= scratch[i] >> shift;
            if (out + i + 1 < dst + row_bytes)
                out[i + 1] |= scratch[i] << (8 - shift);
        }
    }
    return std::any_of(dst, dst + row_bytes, [](std::byte v) { return v != std::byte{0}; });
}

// Classifies rows up to `end`, sending each run as it ends and each band of
// ink as it fills.
void PrinterEncoder::State::scan(int end)
{
    row.resize(row_bytes);
    for (int y = scanned; y < end; ++y) {
        const bool blank = !pack_row(y, row.data());
        if (y > run_start && blank != run_blank)
            send_run(y);
        if (y == run_start)
            run_blank = blank;
        if (!blank)
            run.insert(run.end(), row.begin(), row.end());
        if (y + 1 - run_start == (run_blank ? kMaxFeed : band_limit()))
            send_run(y + 1);
    }
    scanned = std::max(scanned, end);
    flush();
}

// Sends rows [run_start, end) of the current run.
void PrinterEncoder::State::send_run(int end)
{
    const int height = end - run_start;
    if (height > 0) {
        if (run_blank)
            feed(height);
        else if (profile.commands == CommandSet::EscPosBitImage)
            stripe(std::span(run).first(row_bytes * static_cast<std::size_t>(height)), height);
        else
            band(std::span(run).first(row_bytes * static_cast<std::size_t>(height)), height);
    }
    run.clear();
    run_start = end;
}

void PrinterEncoder::State::feed(int rows)
{
    for (; rows > 0; rows -= kMaxFeed) {
        const int n = std::min(rows, kMaxFeed);
        if (star()) {
            out.add({kEsc, '*', 'r', 'Y'});
            out.add_decimal(n);
            out.add({0});
        } else {
            out.add({kEsc, 'J', static_cast<unsigned>(n)});
        }
    }
}

void PrinterEncoder::State::band(std::span<const std::byte> rows, int height)
{
    switch (profile.commands) {
    case CommandSet::EscPosRaster:
        out.add({kGs, 'v', '0', 0});
        out.add16(row_bytes);
        out.add16(static_cast<std::size_t>(height));
        out.add(rows);
        break;
    case CommandSet::EscPosGraphics: {
        // Store the band in the print buffer (function 112), then print it
        // (function 50). The long form takes four length bytes.
        const std::size_t length = 10 + rows.size();
        if (length <= 0xFFFF) {
            out.add({kGs, '(', 'L'});
            out.add16(length);
        } else {
            out.add({kGs, '8', 'L'});
            out.add16(length & 0xFFFF);
            out.add16(length >> 16);
        }
        out.add({0x30, 0x70, 0x30, 1, 1, 0x31});  // monochrome, scale 1 x 1, first colour
        out.add16(static_cast<std::size_t>(dots));
        out.add16(static_cast<std::size_t>(height));
        out.add(rows);
        out.add({kGs, '(', 'L', 2, 0, 0x30, 0x32});
        break;
    }
    case CommandSet::StarRaster:
        for (int y = 0; y < height; ++y) {
            auto row = rows.subspan(row_bytes * static_cast<std::size_t>(y), row_bytes);
            // Dots past a row's last byte of ink print nothing either way.
            while (!row.empty() && row.back() == std::byte{0})
                row = row.first(row.size() - 1);
            out.add({'b'});
            out.add16(row.size());
            out.add(row);
        }
        break;
    case CommandSet::EscPosBitImage: stripe(rows, height); break;
    }
    flush();
}

// Up to 24 rows as one ESC * line: each column three bytes, top dot in the
// most significant bit. The line spacing is the stripe's height, so that
// a short last stripe feeds no more than it holds.
void PrinterEncoder::State::stripe(std::span<const std::byte> rows, int height)
{
    if (line_spacing != height) {
        out.add({kEsc, '3', static_cast<unsigned>(height)});
        line_spacing = height;
    }
    out.add({kEsc, '*', 33});
    out.add16(static_cast<std::size_t>(dots));
    for (int x = 0; x < dots; ++x) {
        const std::size_t byte = static_cast<std::size_t>(x) / 8;
        const unsigned bit = 0x80u >> (x % 8);
        unsigned column[3] = {0, 0, 0};
        for (int y = 0; y < height; ++y)
            if ((std::to_integer<unsigned>(rows[row_bytes * static_cast<std::size_t>(y) + byte]) & bit) != 0)
                column[y / 8] |= 0x80u >> (y % 8);
        out.add({column[0], column[1], column[2]});
    }
    out.add({0x0A});
    flush();
}

PrinterEncoder::PrinterEncoder(PrinterProfile profile, ByteSink sink)
    : state_(std::make_unique<State>())
{
    check_profile(profile);
    state_->profile = std::move(profile);
    state_->sink = std::move(sink);
    state_->start_job();
}

PrinterEncoder::~PrinterEncoder() = default;

void PrinterEncoder::rows_final(const Picture& picture, int final_rows)
{
    State& s = *state_;
    if (s.picture == nullptr)
        s.start_picture(picture.data());
    else if (s.picture != &picture.data())
        fail(ErrorKind::InvalidPropertyValue, "a printer job's rows must all come from one picture");
    s.scan(std::clamp(final_rows, 0, picture.height()));
}

void PrinterEncoder::finish(const Picture& picture)
{
    rows_final(picture, picture.height());
    state_->send_run(picture.height());
    state_->end_job();
}

std::uint64_t PrinterEncoder::bytes_encoded() const noexcept { return state_->encoded; }

std::vector<std::byte> printer_bytes(const Picture& picture, const PrinterProfile& profile)
{
    std::vector<std::byte> bytes;
    PrinterEncoder encoder(profile, [&](std::span<const std::byte> piece) {
        bytes.insert(bytes.end(), piece.begin(), piece.end());
    });
    encoder.finish(picture);
    return bytes;
}

}  // namespace lumarin
