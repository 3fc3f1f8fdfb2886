// Pictures as a receipt or label printer's own bytes, and those bytes sent
// where the printer is: a device, a network printer's raw port or (on
// Windows) a printer by name through the spooler.
//
// Every job starts with the printer's initialise command, sends the picture
// in bands no taller than the profile allows, sends runs of blank rows as
// paper feed rather than as zeros, and ends with a feed and, where the
// printer has a cutter, a cut. A dot prints where the picture's 1-bit form
// is black: pixels that differ from the background on a light background,
// pixels that equal it on a dark one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lumarin/picture.hpp"

namespace lumarin {

enum class CommandSet {
    EscPosRaster,    // GS v 0, one command a band
    EscPosGraphics,  // GS ( L / GS 8 L: a band stored, then printed
    EscPosBitImage,  // ESC * 24-dot double density, for impact and older printers
    StarRaster,      // ESC * r A, b n1 n2 a row, ESC * r B
};

// "escpos", "escpos-graphics", "escpos-bitimage" and "star".
std::string_view command_set_name(CommandSet set) noexcept;
std::optional<CommandSet> command_set_named(std::string_view name) noexcept;

struct PrinterProfile {
    std::string name;         // as chosen: "80mm"
    std::string description;  // for the table
    int width_dots = 576;     // the head's dots across, the left margin's included
    int dpi = 203;
    CommandSet commands = CommandSet::EscPosRaster;
    int band_rows = 256;      // most rows one raster command carries
    bool cutter = true;
    int left_margin = 0;      // blank dots before the picture's first column

    // The widest picture the printer takes.
    int printable_dots() const noexcept { return width_dots - left_margin; }
};

// The built-in table: 58mm, 80mm, 80mm-180, 640, star-576, star-832.
std::span<const PrinterProfile> printer_profiles() noexcept;
// The profile of that name; InvalidPropertyValue naming the known ones.
PrinterProfile printer_profile(std::string_view name);
// InvalidPropertyValue naming the field at fault when a profile cannot be
// encoded for (no dots, a band taller than its command set allows...).
void check_profile(const PrinterProfile& profile);

using ByteSink = std::function<void(std::span<const std::byte> bytes)>;

// Encodes one job as its rows become final, so that bands leave while the
// rest of the picture is still being drawn. The sink gets each band's bytes
// as soon as the band is whole.
class PrinterEncoder {
public:
    // Sends the initialise command. Throws InvalidPropertyValue for a bad
    // profile.
    PrinterEncoder(PrinterProfile profile, ByteSink sink);
    ~PrinterEncoder();
    PrinterEncoder(const PrinterEncoder&) = delete;
    PrinterEncoder& operator=(const PrinterEncoder&) = delete;

    // Rows [0, final_rows) of `picture` will not change: the whole bands
    // among them leave. The first call refuses a picture wider than the
    // profile's printable dots (InvalidPropertyValue naming both widths);
    // every call must pass the same picture.
    void rows_final(const Picture& picture, int final_rows);
    // The rest of the picture, then the feed and the cut.
    void finish(const Picture& picture);
    // Bytes handed to the sink so far.
    std::uint64_t bytes_encoded() const noexcept;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// The whole job at once.
std::vector<std::byte> printer_bytes(const Picture& picture, const PrinterProfile& profile);

struct ConnectionOptions {
    std::chrono::milliseconds connect_timeout{10000};
    // How long one write may wait for the printer to take more.
    std::chrono::milliseconds write_timeout{30000};
    // Called while waiting; may throw to stop.
    std::function<void()> check_stop;
};

// Where a job's bytes go, written as they come. Destinations:
//   tcp://HOST:PORT  a network printer's raw port (PORT defaults to 9100);
//   a device path    /dev/usb/lp0, /dev/ttyUSB0, COM3: written in place;
//   on Windows, any other name is a printer the spooler knows, sent RAW.
// Failures are DeviceUnavailable (refused, not found, timed out while
// connecting) and DeviceIO (reset, timed out, closed), their messages
// saying what happened and how many bytes the printer had taken.
class PrinterConnection {
public:
    virtual ~PrinterConnection() = default;
    // All of `bytes`, resuming short writes; throws on failure.
    virtual void write(std::span<const std::byte> bytes) = 0;
    // Everything handed over and the job closed; a job is not done until
    // this returns. Throws like write.
    virtual void finish() = 0;
    // Bytes the destination has taken.
    virtual std::uint64_t bytes_sent() const noexcept = 0;
};

std::unique_ptr<PrinterConnection> connect_printer(std::string_view destination, const ConnectionOptions& options = {});

// Encodes `picture` for `profile` and sends it to `destination`.
void print_picture(const Picture& picture, const PrinterProfile& profile, std::string_view destination,
                   const ConnectionOptions& options = {});

}  // namespace lumarin
