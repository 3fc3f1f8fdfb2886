// What one image can hold, checked before anything is drawn, so that a job
// the renderer would refuse part-way stops at once and says what to change.
#pragma once

#include <cstddef>

#include "tools/lumarin/options.hpp"

namespace lumarin::cli {

// Refuses a job of `lines` lines, the longest `longest` code units, whose
// image could not be made: a width or height past 65,535 px, more than
// 64 Mi pixels, more lines than the renderer counts (32,767) or a last line
// beyond its 16-bit line positions. The lumarin::Error thrown carries the
// number the renderer would raise later (6 or 7) and names the line count,
// the size and the limit. A margin or width factor that already overflows
// is left to the renderer, which refuses it before drawing too.
void check_job_fits(std::size_t lines, std::size_t longest, const Options& options);

}  // namespace lumarin::cli
