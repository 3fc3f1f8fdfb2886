#include "surface/canvas.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "common/arith.hpp"
#include "common/stream_safe.hpp"
#include "common/text.hpp"
#include "common/fail.hpp"
#include "lumarin/error.hpp"

namespace lumarin {

namespace {

// A size the canvas takes, in whole pixels.
long long pixel_size(Single value)
{
    if (!std::isfinite(value))
        fail(ErrorKind::InvalidPropertyValue, "size is not a number");
    const double rounded = round_half_even(value);
    if (rounded < 0)
        fail(ErrorKind::InvalidPropertyValue, "negative size");
    if (rounded > kMaxImageSide)
        check_image_size(kMaxImageSide + 1LL, 1);  // throws before any allocation
    return static_cast<long long>(rounded);
}

Single finite_coordinate(Single value)
{
    if (!std::isfinite(value))
        fail(ErrorKind::InvalidPropertyValue, "coordinate is not a number");
    return value;
}

bool is_control(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }
// Pango breaks lines at these as it does at a newline.
bool is_separator(char16_t c) { return c == 0x2028 || c == 0x2029; }

}  // namespace

void StdFont::Name(const Text& name)
{
    if (!name.empty())
        name_ = name;
}

PictureBox::PictureBox(std::unique_ptr<TextDrawer> drawer)
    : image_(1, 1, pixel_from_colour(0xFFFFFF)), drawer_(std::move(drawer))
{
}

Single PictureBox::Width() const noexcept { return static_cast<Single>(image_.width()); }
Single PictureBox::Height() const noexcept { return static_cast<Single>(image_.height()); }

void PictureBox::Width(Single width)
{
    const long long w = pixel_size(width);
    check_image_size(w, image_.height());
    image_.resize(static_cast<int>(w), image_.height(), pixel_from_colour(back_colour_));
}

void PictureBox::Height(Single height)
{
    const long long h = pixel_size(height);
    check_image_size(image_.width(), h);
    image_.resize(image_.width(), static_cast<int>(h), pixel_from_colour(back_colour_));
}

void PictureBox::ScaleLeft(Single left) { scale_left_ = finite_coordinate(left); }
void PictureBox::ScaleTop(Single top) { scale_top_ = finite_coordinate(top); }
void PictureBox::CurrentX(Single x) { current_x_ = finite_coordinate(x); }
void PictureBox::CurrentY(Single y) { current_y_ = finite_coordinate(y); }

void PictureBox::FontSize(Single points)
{
    if (std::isnan(points) || points > kMaxFontPoints)
        fail(ErrorKind::InvalidPropertyValue, "font size out of range");
    if (points > 0)
        font_size_ = points;
}

void PictureBox::BackColor(Colour colour)
{
    colour &= 0xFFFFFF;
    if (colour == back_colour_)
        return;
    back_colour_ = colour;
    image_.clear(pixel_from_colour(colour));
}

void PictureBox::Print(const Text& text)
{
    // Positions are kept as Singles; the pixel is the nearest one, halves to
    // even. Doubles hold every Single difference exactly enough for that.
    const double x = round_half_even(static_cast<double>(current_x_) - scale_left_);
    const double y = round_half_even(static_cast<double>(current_y_) - scale_top_);
    // Text that starts this far off the image cannot reach it.
    constexpr double kFar = 1e12;
    if (std::fabs(x) > kFar || std::fabs(y) > kFar)
        return;
    drawer_->draw(image_, static_cast<long long>(x), static_cast<long long>(y), printable_text(text), font_spec(),
                  fore_colour_);
}

FontSpec PictureBox::font_spec() const
{
    return {font_.name_, font_size_, style_, false, file_face_of(font_.name_)};
}

Form1::Form1() : Picture1(make_text_drawer()) {}

Text printable_text(const Text& text)
{
    Text out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        char16_t& c = out[i];
        if (is_surrogate_pair_at(out, i))
            ++i;
        else if (is_surrogate(c))
            c = 0xFFFD;
        else if (is_control(c) || is_separator(c))
            c = u' ';
    }
    return stream_safe(out);
}

}  // namespace lumarin
