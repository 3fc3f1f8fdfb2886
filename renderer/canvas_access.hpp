// The canvas of a synapse object, for the library's own tests: what was
// drawn, before it reaches a file. Not installed.
#pragma once

#include "lumarin/synapse.hpp"
#include "surface/canvas.hpp"

namespace lumarin::detail {

struct CanvasAccess {
    static const PictureBox& of(const synapse& s) noexcept { return *s.Canvas; }
};

}  // namespace lumarin::detail

namespace lumarin {

inline const PictureBox& canvas_of(const synapse& s) noexcept { return detail::CanvasAccess::of(s); }

}  // namespace lumarin
