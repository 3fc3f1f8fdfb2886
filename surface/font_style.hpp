// The style switches of a font as one value: the renderer sets it on the
// canvas, the canvas hands it to the text drawer, the command line collects
// it from its options.
#pragma once

namespace lumarin {

struct FontStyle {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethru = false;

    friend constexpr bool operator==(const FontStyle&, const FontStyle&) noexcept = default;
};

}  // namespace lumarin
