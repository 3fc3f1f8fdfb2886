// The hidden host window of a synapse object and its canvas: the only
// surface the renderer draws on. Not installed; the library's own tests
// read what was drawn through canvas_of, before it reaches a file.
#pragma once

#include "lumarin/synapse.hpp"
#include "surface/canvas.hpp"

namespace lumarin {

struct SynapseSurface {
    Form1 HostForm;  // created and loaded, hidden
    PictureBox& Canvas = HostForm.Picture1;
};

inline const PictureBox& canvas_of(const synapse& s) noexcept { return s.Surface().Canvas; }

}  // namespace lumarin
