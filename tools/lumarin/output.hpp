// Writing the finished image in the format asked for: a file replaced
// atomically, or standard output.
#pragma once

#include <stdexcept>

#include "surface/image.hpp"
#include "tools/lumarin/options.hpp"

namespace lumarin::cli {

// Standard output closed, or its reader gone: a file error whose message
// says which.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws OutputError when descriptor 1 is closed (`-o - >&-`).
void refuse_closed_stdout();

// Throws JobError naming -o when the file cannot be written, and
// OutputError when standard output is closed or its reader has gone.
void write_image(const Image& image, const Options& options);

}  // namespace lumarin::cli
