// The job itself, done the way a client of the renderer does it.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "lumarin/types.hpp"
#include "tools/lumarin/options.hpp"

namespace lumarin::cli {

// Sizes the surface for the longest line, prints every line (the renderer
// saves the file after each) and, with --mono, rewrites it as 1-bit.
// `on_line` hears how many lines are done. Renderer failures propagate as
// lumarin::Error; an input without lines is an InputError.
void render(const std::vector<Text>& lines, const Options& options, const std::function<void(std::size_t)>& on_line);

}  // namespace lumarin::cli
