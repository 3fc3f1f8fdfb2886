// The job itself: the measured layout on the canvas, or with --compat the
// object's own job, the way a client of the renderer does it.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "lumarin/error.hpp"
#include "lumarin/types.hpp"
#include "tools/lumarin/options.hpp"

namespace lumarin::cli {

// Draws every line and writes the output once (after each line with
// --every-line). `on_line` hears how many lines are done, of how many
// (after wrapping); `warn` gets
// messages that do not stop the job; `check_stop` runs before each
// measure of the layout and may throw to stop it. An input without lines
// is a bad-input CommandError; a line that does not fit is a LayoutError. The lines
// are taken, so that their text is held once while they are drawn.
void render(std::vector<std::string> lines, const Options& options, const std::function<void(std::size_t, std::size_t)>& on_line,
            const std::function<void(const std::string&)>& warn, const std::function<void()>& check_stop);

}  // namespace lumarin::cli
