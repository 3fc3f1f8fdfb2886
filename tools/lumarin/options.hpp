// The command line: what to draw, how it is laid out, and where it goes.
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>

#include "lumarin/page.hpp"
#include "lumarin/printer.hpp"
#include "lumarin/receipt.hpp"
#include "lumarin/types.hpp"
#include "surface/font_style.hpp"
#include "surface/picture.hpp"
#include "tools/lumarin/command_error.hpp"

namespace lumarin::cli {


struct Options {
    std::string input = "-";  // "-" is standard input
    std::string output;       // as given; "-" is standard output
    Text output_path;         // the same decoded once, for every use but messages
    std::string encoding = "UTF-8";  // the input's, as given
    PictureFormat format = PictureFormat::Bmp;
    Text font;                // empty: the platform's default face
    bool font_given = false;
    Integer size = 10;
    int dpi = 96;
    std::optional<Integer> line_spacing;  // unset: the font's own line height
    FontStyle style{};
    Colour fg = 0x000000;  // 0x00BBGGRR
    Colour bg = 0xFFFFFF;
    Text fg_name = u"black";  // as given, for the object's job
    Text bg_name = u"white";
    Integer top = 4;
    Integer side = 4;
    std::optional<int> width;  // the image's width in pixels
    bool wrap = false;
    std::optional<int> columns;  // the size at which this many cells fill the width
    TabStops tabs;
    bool line_box = false;       // margins from the line boxes, not the ink
    Align align = Align::Natural;
    bool mono = false;
    bool antialias = false;     // on for colour output unless --no-antialias
    bool no_antialias = false;
    bool every_line = false;         // save after every line, not once at the end
    bool no_sync = false;            // scratch output: no sync before replacing
    bool allow_lost_access = false;  // save even where the old file's ACL etc. cannot be kept
    bool compat = false;             // the object's own job: its sizing rules, BMP
    // The object's job only:
    Integer width_factor = 0;  // 0 lets the renderer pick its default
    Long x = 0;
    Long y = 0;
    // A printer's job: laid out for the profile, one bit a pixel.
    std::optional<PrinterProfile> printer;
    bool printer_bytes = false;  // the output is the printer's bytes, not a picture
    std::string to;              // --to: the printer the bytes are sent to
    std::chrono::milliseconds timeout{10000};  // connecting, and each wait to send
    // A receipt document (--receipt, or an input named *.receipt): drawn
    // on `cpl` cells a line, each page (a cut ends one) its own picture.
    bool receipt = false;
    std::optional<int> cpl;
    ColumnOrder column_order = ColumnOrder::Auto;
    bool help = false;
    bool version = false;
    bool list_printers = false;
};

// The typeface when --font is not given.
Text default_font(bool compat);

// The line pitch the object's job uses when none is given: about 1.6 times
// the point size.
Integer default_line_spacing(Integer size);

// Parses and checks the arguments after the program name; throws a usage
// CommandError naming the option at fault.
Options parse_options(std::span<const char* const> args);

std::string usage_text();

// The printer profiles as a table, for --list-printers.
std::string printers_text();

}  // namespace lumarin::cli
