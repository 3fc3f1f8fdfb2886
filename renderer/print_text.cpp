// PrintText: one line per call, then the whole surface to FileName.
// PrintTextWithoutSaving is the same line without the file.
#include "common/arith.hpp"
#include "lumarin/synapse.hpp"
#include "surface/bmp.hpp"
#include "renderer/canvas_access.hpp"

namespace lumarin {

void synapse::PrintText(const Text& TextString, Long x, Long y)
{
    PrintTextWithoutSaving(TextString, x, y);
    SavePicture(surface_->Canvas.Image(), FileName, Saving);
}

void synapse::PrintTextWithoutSaving(const Text& TextString, Long x, Long y)
{
    PictureBox& canvas = surface_->Canvas;
    LineCount = add16(LineCount, 1);
    canvas.Font().Name(FontName);
    canvas.FontSize(static_cast<Single>(FontSize));
    canvas.CurrentX(static_cast<Single>(x));
    canvas.CurrentY(static_cast<Single>(add32(multiply16(LineCount, LineSpacing), y)));
    canvas.Height(checked_single(static_cast<double>(static_cast<Single>(FontSize)) + canvas.Height() +
                                 static_cast<Single>(LineSpacing)));
    // A switch is on only when its property is exactly True.
    canvas.Style({.bold = is_true(FinalBold),
                  .italic = is_true(FontItalic),
                  .underline = is_true(FontUnderline),
                  .strikethru = is_true(FontStrikethru)});
    canvas.ForeColor(colour_from_name(ForeColor, 0x000000));
    canvas.BackColor(colour_from_name(BackColor, 0xFFFFFF));
    canvas.Print(TextString);
}

}  // namespace lumarin
