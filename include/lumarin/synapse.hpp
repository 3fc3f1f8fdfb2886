// The synapse object: one independent text-to-bitmap renderer. A client
// sets the style and output properties, sizes the surface for the longest
// line and its margins, then prints one line per call; after every line the
// whole surface is saved to FileName, and Monotize rewrites that file as a
// 1-bit bitmap.
//
// Every method runs its steps in order and stops at the first failure with
// a lumarin::Error; nothing done before the failure is undone.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "lumarin/save_options.hpp"
#include "lumarin/types.hpp"
#include "lumarin/variant.hpp"

namespace lumarin {

// The object's hidden host window and its canvas: the library's own.
struct SynapseSurface;

class synapse {
public:
    // Creates this object's own hidden host window and takes its canvas.
    synapse();
    ~synapse();
    synapse(const synapse&) = delete;
    synapse& operator=(const synapse&) = delete;

    // Properties: plain stored values. Storing validates, converts and
    // draws nothing; the methods read them as they stand.
    Integer LineSpacing = 0;       // line pitch in pixels
    Boolean FinalBold = kFalse;    // bold when exactly True
    Text FileName;                 // where PrintText and Monotize write
    Integer FontSize = 0;          // points; also pixels when sizing
    Text FontName;                 // typeface
    Boolean FontUnderline = kFalse;
    Boolean FontItalic = kFalse;
    Boolean FontStrikethru = kFalse;
    Text ForeColor;                // colour name; empty or unknown is black
    Text BackColor;                // colour name; empty or unknown is white
    Integer FontWeight = 0;        // width factor in percent of FontSize; 0 is 80
    // How PrintText and Monotize replace FileName (C++ only, not part of the
    // automation interface): durable by default; a job that saves a line at
    // a time may sync only its last save.
    SaveOptions Saving;

    // Prints one line one pitch below the previous one, grows the surface
    // by a line and saves it to FileName as a 24-bit BMP.
    void PrintText(const Text& TextString, Long x, Long y);
    // PrintText's line without the save: FileName is left as it is until a
    // later PrintText or Monotize writes the whole surface. A job that wants
    // only its final file prints every line but the last this way, and gets
    // the same bytes with one save instead of one a line.
    void PrintTextWithoutSaving(const Text& TextString, Long x, Long y);

    // Sets the surface width for the longest line to be printed.
    void MaximumStringLength(const Text& longString);
    // Adds top and bottom margins and a line pitch; moves the origin down.
    void TopPadding(const Variant& height);
    // A number directly, integer or floating point: TopPadding(4).
    void TopPadding(double height) { TopPadding(Variant(height)); }
    // Adds left and right margins; moves the origin right.
    void SidePadding(Integer length);

    // Rewrites FileName as a 1-bit bitmap of the surface. `location` is
    // accepted and has no effect.
    void Monotize(const Text& location);

    // The surface as the library's own tools see it.
    const SynapseSurface& Surface() const noexcept { return *surface_; }

private:
    std::unique_ptr<SynapseSurface> surface_;
    Integer LineCount = 0;
    Integer TopPad = 0;
    Integer SidePad = 0;
};

// The colour names the object knows, upper case: BLACK RED GREEN YELLOW
// BLUE MAGENTA CYAN WHITE.
struct NamedColour {
    std::u16string_view name;
    Colour colour;
};
std::span<const NamedColour> colour_names() noexcept;

// The colour a name stands for: upper-cased, then compared exactly with the
// table's names; `fallback` for an empty or unknown name.
Colour colour_from_name(const Text& name, Colour fallback);

// A colour as a user writes it: a name above, in any case, or #RRGGBB.
// Nothing for anything else.
std::optional<Colour> parse_colour(std::string_view text);

}  // namespace lumarin
