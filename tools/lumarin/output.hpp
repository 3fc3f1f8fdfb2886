// Writing the finished image in the format asked for: a file replaced
// atomically, or standard output.
#pragma once

#include "surface/image.hpp"
#include "tools/lumarin/options.hpp"

namespace lumarin::cli {

// Throws JobError naming -o when the file cannot be written.
void write_image(const Image& image, const Options& options);

}  // namespace lumarin::cli
