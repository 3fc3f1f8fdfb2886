// Receipts as documents: text in the ReceiptLine grammar (columns drawn
// toward their pipes, rules, cuts, underline, emphasis, invert, seven
// sizes, barcodes, QR codes and PNG images) laid out on a printer's cells
// and drawn in any script the platform shapes, one picture a page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lumarin/page.hpp"
#include "lumarin/picture.hpp"

namespace lumarin {

// The order of a line's columns. Auto sets them right to left in a
// document whose text is all right to left (its every strong character),
// and left to right otherwise.
enum class ColumnOrder { Auto, LeftToRight, RightToLeft };

struct ReceiptStyle {
    // A family or fontconfig alias; empty: the platform's monospace face.
    std::u16string font;
    // A font file, loaded for this process; its face is drawn.
    std::string font_file;
    // The paper's printable width in pixels (dots).
    int width = 576;
    int dpi = 203;
    // Characters per line: the cells the width is cut into. Unset, one cell
    // a 12-pixel character at 203 dpi, scaled to `dpi`: 48 on 576 dots.
    std::optional<int> cpl;
    std::uint32_t fg = 0x000000;  // 0x00BBGGRR
    std::uint32_t bg = 0xFFFFFF;
    // One bit a pixel: text stays binary; images, and colour glyphs such
    // as emoji, are dithered.
    bool mono = false;
    ColumnOrder order = ColumnOrder::Auto;
    // Blank pixels above the first line and below the last.
    int top = 0;
};

// A style's font found and loaded, for many documents: render_receipt
// sets one up for every call. Moving only; one thread at a time.
class ReceiptLayout {
public:
    explicit ReceiptLayout(const ReceiptStyle& style, const PageEvents& events = {});
    ~ReceiptLayout();
    ReceiptLayout(ReceiptLayout&&) noexcept;
    ReceiptLayout& operator=(ReceiptLayout&&) noexcept;

    // One picture for each page: a line of '=' (a cut) ends a page.
    // `events.warn` hears a property it does not know or a value it cannot
    // read, naming the line and column, and the grammar's default applies.
    // Throws lumarin::Error naming the document's line for what cannot be
    // drawn: data a code cannot encode (InvalidPropertyValue), an image
    // that is not base64 PNG (InvalidPicture); and InvalidPropertyValue
    // for a document with nothing to draw.
    std::vector<Picture> render(std::string_view document, const PageEvents& events = {});

    struct Maker;

private:
    std::unique_ptr<Maker> maker_;
};

std::vector<Picture> render_receipt(std::string_view document, const ReceiptStyle& style,
                                    const PageEvents& events = {});

}  // namespace lumarin
