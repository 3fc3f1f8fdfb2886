// Printer jobs byte for byte for small pictures in each command set (the
// bytes worked out by hand from the printers' command references), the
// profile table and its checks, and the streaming encoder: bands leave as
// they become whole and any steps give the bytes of one call.
#include <random>
#include <string>
#include <vector>

#include "lumarin/printer.hpp"
#include "surface/picture.hpp"
#include "support.hpp"

namespace lumarin {
namespace {

using test::bytes_of;

std::vector<std::byte> operator+(std::vector<std::byte> a, const std::vector<std::byte>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::byte> text_bytes(std::string_view text)
{
    const auto bytes = std::as_bytes(std::span(text));
    return {bytes.begin(), bytes.end()};
}

struct Dot {
    int x, y;
};

Picture picture_of(int width, int height, std::initializer_list<Dot> dots, Pixel background = 0xFFFFFF,
                   Pixel ink = 0x000000)
{
    auto data = std::make_shared<PictureData>();
    data->image = Image(width, height, background);
    for (const Dot d : dots)
        data->image.set(d.x, d.y, ink);
    data->background = background;
    data->mono = true;
    data->dpi = 203;
    return Picture(data);
}

// A fixed speckle of ink with blank runs, for the streaming tests.
Picture speckled(int width, int height, int seed)
{
    auto data = std::make_shared<PictureData>();
    data->image = Image(width, height, 0xFFFFFF);
    std::mt19937 random(static_cast<unsigned>(seed));
    for (int y = 0; y < height; ++y) {
        if ((y / 10) % 3 == 1)
            continue;  // ten blank rows in every thirty
        for (int x = 0; x < width; ++x)
            if (random() % 3 == 0)
                data->image.set(x, y, 0x000000);
    }
    data->mono = true;
    return Picture(data);
}

PrinterProfile profile(std::string_view name, CommandSet set)
{
    PrinterProfile p = printer_profile(name);
    p.commands = set;
    return p;
}

// ESC @, GS P 203 203: motion units of one dot.
const auto kEscPosStart = bytes_of({0x1B, 0x40, 0x1D, 0x50, 203, 203});
const auto kEscPosCut = bytes_of({0x1D, 0x56, 66, 0});  // GS V 66 0: feed to the cutter, partial cut
// ESC @, ESC * r A, ESC * r P "0" NUL, ESC * r E "13" NUL.
const auto kStarStart = bytes_of({0x1B, 0x40}) + text_bytes("\x1b*rA") + text_bytes("\x1b*rP0") + bytes_of({0}) +
                        text_bytes("\x1b*rE13") + bytes_of({0});
const auto kStarEnd = bytes_of({0x1B, 0x0C, 0x04}) + text_bytes("\x1b*rB");

// 9 dots across, two rows: the first and ninth dots, then the eighth.
Picture nine_by_two() { return picture_of(9, 2, {{0, 0}, {8, 0}, {7, 1}}); }

TEST(PrinterBytes, EachCommandSetByteForByte)
{
    const Picture p = nine_by_two();
    EXPECT_EQ(printer_bytes(p, profile("80mm", CommandSet::EscPosRaster)),
              kEscPosStart + bytes_of({0x1D, 0x76, 0x30, 0, 2, 0, 2, 0, 0x80, 0x80, 0x01, 0x00}) + kEscPosCut);
    // Function 112: p = 10 + 4 data bytes; monochrome, 1 x 1, first colour,
    // 9 dots by 2. Then function 50 prints it.
    EXPECT_EQ(printer_bytes(p, profile("80mm", CommandSet::EscPosGraphics)),
              kEscPosStart +
                  bytes_of({0x1D, 0x28, 0x4C, 14, 0, 0x30, 0x70, 0x30, 1, 1, 0x31, 9, 0, 2, 0, 0x80, 0x80, 0x01, 0x00}) +
                  bytes_of({0x1D, 0x28, 0x4C, 2, 0, 0x30, 0x32}) + kEscPosCut);
    // A two-row stripe: line spacing 2, ESC * 33 of 9 columns, three bytes
    // each with the top dot in the first byte's high bit; LF; ESC 2.
    EXPECT_EQ(printer_bytes(p, profile("80mm", CommandSet::EscPosBitImage)),
              kEscPosStart + bytes_of({0x1B, 0x33, 2, 0x1B, 0x2A, 33, 9, 0}) +
                  bytes_of({0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0x80, 0, 0}) +
                  bytes_of({0x0A, 0x1B, 0x32}) + kEscPosCut);
    // One b a row, its trailing zero byte dropped.
    EXPECT_EQ(printer_bytes(p, printer_profile("star-576")),
              kStarStart + bytes_of({'b', 2, 0, 0x80, 0x80, 'b', 1, 0, 0x01}) + kStarEnd);
}

TEST(PrinterBytes, BlankRunsAreFeedsOfAtMost255)
{
    // A blank row, a dot, 600 blank rows, a dot.
    const Picture p = picture_of(3, 603, {{0, 1}, {0, 602}});
    const auto row = bytes_of({0x1D, 0x76, 0x30, 0, 1, 0, 1, 0, 0x80});
    EXPECT_EQ(printer_bytes(p, printer_profile("80mm")),
              kEscPosStart + bytes_of({0x1B, 0x4A, 1}) + row +
                  bytes_of({0x1B, 0x4A, 255, 0x1B, 0x4A, 255, 0x1B, 0x4A, 90}) + row + kEscPosCut);
    EXPECT_EQ(printer_bytes(p, printer_profile("star-576")),
              kStarStart + text_bytes("\x1b*rY1") + bytes_of({0, 'b', 1, 0, 0x80}) + text_bytes("\x1b*rY255") +
                  bytes_of({0}) + text_bytes("\x1b*rY255") + bytes_of({0}) + text_bytes("\x1b*rY90") +
                  bytes_of({0, 'b', 1, 0, 0x80}) + kStarEnd);
    // A picture of blank rows only sends no raster command at all.
    const Picture blank = picture_of(5, 300, {});
    EXPECT_EQ(printer_bytes(blank, printer_profile("58mm")),
              kEscPosStart + bytes_of({0x1B, 0x4A, 255, 0x1B, 0x4A, 45}) + kEscPosCut);
}

TEST(PrinterBytes, NoCutterFeedsPastTheTearBar)
{
    const Picture p = picture_of(1, 1, {{0, 0}});
    PrinterProfile escpos = printer_profile("80mm");
    escpos.cutter = false;
    // Three quarters of an inch: 152 rows at 203 dpi.
    EXPECT_EQ(printer_bytes(p, escpos),
              kEscPosStart + bytes_of({0x1D, 0x76, 0x30, 0, 1, 0, 1, 0, 0x80, 0x1B, 0x4A, 152}));
    PrinterProfile star = printer_profile("star-576");
    star.cutter = false;
    const auto start = bytes_of({0x1B, 0x40}) + text_bytes("\x1b*rA") + text_bytes("\x1b*rP0") + bytes_of({0}) +
                       text_bytes("\x1b*rE3") + bytes_of({0});
    EXPECT_EQ(printer_bytes(p, star), start + bytes_of({'b', 1, 0, 0x80}) + kStarEnd);
}

TEST(PrinterBytes, MarginsAndBackgrounds)
{
    // A left margin of 3: 101100111 lands on dots 3 to 11 of two bytes,
    // 000 10110 | 0111 0000.
    PrinterProfile margin = printer_profile("80mm");
    margin.left_margin = 3;
    const Picture line = picture_of(9, 1, {{0, 0}, {2, 0}, {3, 0}, {6, 0}, {7, 0}, {8, 0}});
    EXPECT_EQ(printer_bytes(line, margin),
              kEscPosStart + bytes_of({0x1D, 0x76, 0x30, 0, 2, 0, 1, 0, 0x16, 0x70}) + kEscPosCut);
    margin.commands = CommandSet::StarRaster;
    margin.left_margin = 8;
    EXPECT_EQ(printer_bytes(line, margin), kStarStart + bytes_of({'b', 3, 0, 0x00, 0xB3, 0x80}) + kStarEnd);

    // On black the background prints and the white dot does not; on
    // yellow, a light colour, white is ink.
    const Picture dark = picture_of(9, 2, {{0, 0}}, 0x000000, 0xFFFFFF);
    EXPECT_EQ(printer_bytes(dark, printer_profile("80mm")),
              kEscPosStart + bytes_of({0x1D, 0x76, 0x30, 0, 2, 0, 2, 0, 0x7F, 0x80, 0xFF, 0x80}) + kEscPosCut);
    const Picture yellow = picture_of(9, 1, {{8, 0}}, 0xFFFF00, 0xFFFFFF);
    EXPECT_EQ(printer_bytes(yellow, printer_profile("80mm")),
              kEscPosStart + bytes_of({0x1D, 0x76, 0x30, 0, 2, 0, 1, 0, 0x00, 0x80}) + kEscPosCut);
}

TEST(PrinterProfiles, LookupAndNames)
{
    for (const PrinterProfile& p : printer_profiles()) {
        EXPECT_EQ(printer_profile(p.name).name, p.name);
        EXPECT_NO_THROW(check_profile(p)) << p.name;
        // A band is a whole number of 24-dot stripes, under 256 rows.
        EXPECT_TRUE(p.band_rows % 24 == 0 && p.band_rows < 256) << p.name;
    }
    try {
        printer_profile("99mm");
        ADD_FAILURE() << "an unknown profile is accepted";
    } catch (const Error& e) {
        const std::string what = e.what();
        EXPECT_EQ(e.kind(), ErrorKind::InvalidPropertyValue);
        for (const PrinterProfile& p : printer_profiles())
            EXPECT_NE(what.find(p.name), std::string::npos) << what;
        EXPECT_NE(what.find("99mm"), std::string::npos) << what;
    }
    for (const CommandSet set :
         {CommandSet::EscPosRaster, CommandSet::EscPosGraphics, CommandSet::EscPosBitImage, CommandSet::StarRaster})
        EXPECT_EQ(command_set_named(command_set_name(set)), set);
    EXPECT_FALSE(command_set_named("ESCPOS").has_value());
}

TEST(PrinterProfiles, CheckRefusesEachFieldByName)
{
    struct Case {
        void (*change)(PrinterProfile&);
        CommandSet set;
        const char* words;
    };
    const Case refused[] = {
        {[](PrinterProfile& p) { p.width_dots = 0; }, CommandSet::EscPosRaster, "0 dots wide"},
        {[](PrinterProfile& p) { p.width_dots = 65536; }, CommandSet::EscPosRaster, "65536 dots wide"},
        {[](PrinterProfile& p) { p.left_margin = -1; }, CommandSet::EscPosRaster, "left margin of -1"},
        {[](PrinterProfile& p) { p.left_margin = p.width_dots; }, CommandSet::StarRaster, "left margin of 576"},
        {[](PrinterProfile& p) { p.dpi = 256; }, CommandSet::EscPosRaster, "256 dpi"},
        {[](PrinterProfile& p) { p.dpi = 0; }, CommandSet::EscPosBitImage, "0 dpi"},
        {[](PrinterProfile& p) { p.dpi = 0; }, CommandSet::StarRaster, "0 dpi"},
        {[](PrinterProfile& p) { p.band_rows = 0; }, CommandSet::EscPosRaster, "bands of 0 rows"},
        {[](PrinterProfile& p) { p.band_rows = 2304; }, CommandSet::EscPosRaster, "bands of 2304 rows"},
    };
    for (const Case& c : refused) {
        PrinterProfile p = printer_profile("80mm");
        p.name = "test-profile";
        p.commands = c.set;
        c.change(p);
        try {
            check_profile(p);
            ADD_FAILURE() << "accepted: " << c.words;
        } catch (const Error& e) {
            const std::string what = e.what();
            EXPECT_EQ(e.kind(), ErrorKind::InvalidPropertyValue);
            EXPECT_NE(what.find(c.words), std::string::npos) << what;
            EXPECT_NE(what.find("test-profile"), std::string::npos) << what;
        }
        // The encoder refuses it before sending anything.
        int calls = 0;
        EXPECT_EQ(test::error_number([&] { PrinterEncoder(p, [&](std::span<const std::byte>) { ++calls; }); }), 380);
        EXPECT_EQ(calls, 0);
    }
    // What only ESC/POS cannot state: a Star printer of 300 dpi.
    PrinterProfile star = printer_profile("star-576");
    star.dpi = 300;
    EXPECT_NO_THROW(check_profile(star));
    PrinterProfile edge = printer_profile("80mm");
    edge.width_dots = 65535;
    edge.band_rows = 2303;
    edge.left_margin = 65534;
    EXPECT_NO_THROW(check_profile(edge));
}

TEST(PrinterEncoder, StepsGiveTheBytesOfOneCall)
{
    for (const CommandSet set :
         {CommandSet::EscPosRaster, CommandSet::EscPosGraphics, CommandSet::EscPosBitImage, CommandSet::StarRaster}) {
        PrinterProfile p = profile("80mm", set);
        p.band_rows = 16;
        p.left_margin = 5;
        const Picture picture = speckled(43, 300, 7);
        const auto whole = printer_bytes(picture, p);
        for (const int step : {1, 7, 16, 24, 33, 299}) {
            std::vector<std::byte> streamed;
            PrinterEncoder encoder(p, [&](std::span<const std::byte> b) { streamed.insert(streamed.end(), b.begin(), b.end()); });
            for (int rows = step; rows < picture.height(); rows += step) {
                encoder.rows_final(picture, rows);
                ASSERT_EQ(encoder.bytes_encoded(), streamed.size());
                // Whatever has left is the start of the job.
                ASSERT_TRUE(std::equal(streamed.begin(), streamed.end(), whole.begin())) << step << " " << rows;
            }
            encoder.rows_final(picture, 3);  // earlier rows again: nothing new
            // Every call passes the one picture.
            EXPECT_EQ(test::error_number([&] { encoder.rows_final(speckled(43, 300, 7), 300); }), 380);
            encoder.finish(picture);
            EXPECT_EQ(streamed, whole) << command_set_name(set) << " in steps of " << step;
            EXPECT_EQ(encoder.bytes_encoded(), whole.size());
        }
    }
}

TEST(PrinterEncoder, EachBandLeavesWhenWhole)
{
    // All ink, 40 dots (5 bytes) across, bands of 16: GS v 0 and its 8
    // bytes of header, then 80 of rows.
    auto data = std::make_shared<PictureData>();
    data->image = Image(40, 100, 0x000000);
    const Picture picture(data);
    PrinterProfile p = printer_profile("80mm");
    p.band_rows = 16;
    std::vector<std::size_t> sizes;
    std::size_t total = 0;
    PrinterEncoder encoder(p, [&](std::span<const std::byte> b) {
        sizes.push_back(b.size());
        total += b.size();
    });
    EXPECT_EQ(total, kEscPosStart.size()) << "the initialise command leaves at once";
    encoder.rows_final(picture, 15);
    EXPECT_EQ(total, kEscPosStart.size()) << "no band is whole yet";
    encoder.rows_final(picture, 16);
    EXPECT_EQ(total, kEscPosStart.size() + 88) << "the first band before finish";
    encoder.rows_final(picture, 47);
    EXPECT_EQ(total, kEscPosStart.size() + 2 * 88);
    encoder.rows_final(picture, 1000);  // past the end: all whole bands, not the short last one
    EXPECT_EQ(total, kEscPosStart.size() + 6 * 88);
    encoder.finish(picture);
    EXPECT_EQ(total, kEscPosStart.size() + 6 * 88 + 8 + 4 * 5 + kEscPosCut.size());

    // A run of blank rows leaves as one feed when it ends, whatever the steps.
    const Picture gap = picture_of(8, 300, {{0, 0}, {0, 299}});
    std::vector<std::byte> out;
    PrinterEncoder gaps(printer_profile("80mm"), [&](std::span<const std::byte> b) { out.insert(out.end(), b.begin(), b.end()); });
    for (int rows = 1; rows <= 300; rows += 50)
        gaps.rows_final(gap, rows);
    gaps.finish(gap);
    EXPECT_EQ(out, printer_bytes(gap, printer_profile("80mm")));
}

}  // namespace
}  // namespace lumarin
