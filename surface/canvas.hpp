// The hidden host window Form1 and its canvas Picture1: the only surface the
// renderer draws on. The canvas offers the operations the renderer uses and
// nothing more; sizes, positions and coordinates are Singles in pixels.
#pragma once

#include <functional>
#include <memory>

#include "lumarin/types.hpp"
#include "surface/image.hpp"
#include "surface/text_drawer.hpp"
#include "surface/tiles.hpp"

namespace lumarin {

// The canvas font object; its default member is Name.
class StdFont {
public:
    const Text& Name() const noexcept { return name_; }
    // An empty name keeps the current typeface.
    void Name(const Text& name);

private:
    friend class PictureBox;
    Text name_ = u"Courier New";
};

class PictureBox {
public:
    explicit PictureBox(std::unique_ptr<TextDrawer> drawer);

    // Outer size; writing resizes the image. Fractions round half to even;
    // a negative or non-finite size is refused (InvalidPropertyValue), one
    // beyond the caps fails with OutOfMemory before anything is allocated.
    Single Width() const noexcept;
    void Width(Single width);
    Single Height() const noexcept;
    void Height(Single height);

    // The canvas has no border: the drawable area is the outer size.
    Single ScaleWidth() const noexcept { return Width(); }
    Single ScaleHeight() const noexcept { return Height(); }

    void ScaleLeft(Single left);
    void ScaleTop(Single top);
    Single ScaleLeft() const noexcept { return scale_left_; }
    Single ScaleTop() const noexcept { return scale_top_; }

    void CurrentX(Single x);
    void CurrentY(Single y);
    Single CurrentX() const noexcept { return current_x_; }
    Single CurrentY() const noexcept { return current_y_; }

    StdFont& Font() noexcept { return font_; }
    const StdFont& Font() const noexcept { return font_; }
    Single FontSize() const noexcept { return font_size_; }
    // A size of 0 or less keeps the current one; one above kMaxFontPoints
    // is refused (InvalidPropertyValue).
    void FontSize(Single points);
    // Bold, italic, underline and strike-through, all switched at once.
    const FontStyle& Style() const noexcept { return style_; }
    void Style(const FontStyle& style) noexcept { style_ = style; }

    Colour ForeColor() const noexcept { return fore_colour_; }
    void ForeColor(Colour colour) noexcept { fore_colour_ = colour & 0xFFFFFF; }
    Colour BackColor() const noexcept { return back_colour_; }
    // The same colour leaves the image alone; a different one clears the
    // whole image to it.
    void BackColor(Colour colour);

    // Draws the text at the current position into the persistent image.
    void Print(const Text& text);

    // The persistent image, the size of the drawable area.
    const lumarin::Image& Image() const noexcept { return image_; }

    static constexpr Single kMaxFontPoints = lumarin::kMaxFontPoints;

private:
    FontSpec font_spec() const;

    lumarin::Image image_;
    std::unique_ptr<TextDrawer> drawer_;
    StdFont font_;
    Single font_size_ = 9.75f;
    FontStyle style_;
    Colour fore_colour_ = 0x000000;  // the window-text colour
    Colour back_colour_ = 0xFFFFFF;
    Single scale_left_ = 0;
    Single scale_top_ = 0;
    Single current_x_ = 0;
    Single current_y_ = 0;
};

// The host window: never shown, its only child the canvas.
class Form1 {
public:
    Form1();
    PictureBox Picture1;
};

// Text as the drawer gets it: a lone surrogate becomes U+FFFD and each
// control character (U+0000-U+001F, U+007F-U+009F) and line or paragraph
// separator (U+2028, U+2029) a space, so a line always prints as one line;
// then in stream-safe form, so that no cluster of marks is unbounded.
Text printable_text(const Text& text);

}  // namespace lumarin
