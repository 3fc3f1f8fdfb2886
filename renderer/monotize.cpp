// Monotize: the surface as a 1-bit bitmap, written over FileName.
#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "lumarin/synapse.hpp"
#include "surface/bmp.hpp"
#include "renderer/canvas_access.hpp"

namespace lumarin {

void synapse::Monotize(const Text& /*location*/)
{
    // A surface without pixels has no 1-bit picture; the file stays as it was.
    const Image& image = surface_->Canvas.Image();
    if (image.width() == 0 || image.height() == 0)
        fail(ErrorKind::SubscriptOutOfRange, "the surface has no pixels");
    SaveMonoPicture(image, pixel_from_colour(surface_->Canvas.BackColor()), FileName, Saving);
}

}  // namespace lumarin
