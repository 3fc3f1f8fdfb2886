// The built-in printer profiles and the names of the command sets.
#include <algorithm>
#include <array>
#include <string>

#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "lumarin/printer.hpp"

namespace lumarin {

namespace {

struct NamedSet {
    CommandSet set;
    std::string_view name;
};

constexpr std::array<NamedSet, 4> kCommandSets{{
    {CommandSet::EscPosRaster, "escpos"},
    {CommandSet::EscPosGraphics, "escpos-graphics"},
    {CommandSet::EscPosBitImage, "escpos-bitimage"},
    {CommandSet::StarRaster, "star"},
}};

// 240 rows a band: under the 256 at which some printers' buffers give out,
// and a whole number of 24-dot stripes.
constexpr int kBand = 240;

const std::array<PrinterProfile, 6>& profiles()
{
    static const std::array<PrinterProfile, 6> table{{
        {"58mm", "58 mm paper, 203 dpi", 384, 203, CommandSet::EscPosRaster, kBand, true, 0},
        {"80mm", "80 mm paper, 203 dpi", 576, 203, CommandSet::EscPosRaster, kBand, true, 0},
        {"80mm-180", "80 mm paper, 180 dpi", 512, 180, CommandSet::EscPosRaster, kBand, true, 0},
        {"640", "80 mm paper edge to edge, 203 dpi", 640, 203, CommandSet::EscPosRaster, kBand, true, 0},
        {"star-576", "80 mm paper, 203 dpi, Star raster", 576, 203, CommandSet::StarRaster, kBand, true, 0},
        {"star-832", "112 mm paper, 203 dpi, Star raster", 832, 203, CommandSet::StarRaster, kBand, true, 0},
    }};
    return table;
}

std::string known_profiles()
{
    std::string names;
    for (const PrinterProfile& p : profiles())
        names += (names.empty() ? "" : ", ") + p.name;
    return names;
}

}  // namespace

std::string_view command_set_name(CommandSet set) noexcept
{
    for (const NamedSet& s : kCommandSets)
        if (s.set == set)
            return s.name;
    return "escpos";
}

std::optional<CommandSet> command_set_named(std::string_view name) noexcept
{
    for (const NamedSet& s : kCommandSets)
        if (s.name == name)
            return s.set;
    return std::nullopt;
}

std::span<const PrinterProfile> printer_profiles() noexcept { return profiles(); }

PrinterProfile printer_profile(std::string_view name)
{
    const auto& table = profiles();
    const auto found = std::find_if(table.begin(), table.end(), [&](const PrinterProfile& p) { return p.name == name; });
    if (found == table.end())
        fail(ErrorKind::InvalidPropertyValue,
             "there is no printer profile '" + std::string(name) + "'; the profiles are " + known_profiles());
    return *found;
}

void check_profile(const PrinterProfile& p)
{
    const auto refuse = [&](const std::string& what) {
        fail(ErrorKind::InvalidPropertyValue, "the printer profile '" + p.name + "' " + what);
    };
    // Two bytes carry the width of a row in every command set: in bytes for
    // raster, in dots for graphics and bit images.
    if (p.width_dots < 1 || p.width_dots > 65535)
        refuse("is " + std::to_string(p.width_dots) + " dots wide; a printer has 1 to 65,535");
    if (p.left_margin < 0 || p.left_margin >= p.width_dots)
        refuse("has a left margin of " + std::to_string(p.left_margin) + " dots, not 0 to " +
               std::to_string(p.width_dots - 1));
    // ESC/POS states its motion unit in one byte (GS P).
    if (p.commands != CommandSet::StarRaster && (p.dpi < 1 || p.dpi > 255))
        refuse("has " + std::to_string(p.dpi) + " dpi; ESC/POS motion units take 1 to 255");
    if (p.dpi < 1)
        refuse("has " + std::to_string(p.dpi) + " dpi");
    // GS v 0 states a band's rows in two bytes whose high one is at most 8.
    if (p.band_rows < 1 || p.band_rows > 2303)
        refuse("has bands of " + std::to_string(p.band_rows) + " rows; a band has 1 to 2,303");
    // The command references' ranges for the other sets.
    if (p.commands == CommandSet::EscPosBitImage && p.width_dots > 1023)
        refuse("is " + std::to_string(p.width_dots) + " dots wide; an ESC * bit image has at most 1,023");
    if (p.commands == CommandSet::EscPosGraphics && p.width_dots > 2047)
        refuse("is " + std::to_string(p.width_dots) + " dots wide; GS ( L graphics have at most 2,047");
    if (p.commands == CommandSet::EscPosGraphics && p.band_rows > 1662)
        refuse("has bands of " + std::to_string(p.band_rows) + " rows; GS ( L graphics have at most 1,662");
}

}  // namespace lumarin
