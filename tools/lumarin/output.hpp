// Writing the finished image in the format asked for: a file replaced
// atomically, or standard output.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "lumarin/save_options.hpp"

#include "lumarin/picture.hpp"
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

// Text (--help, --version) to standard output; throws OutputError as an
// image's bytes would.
void write_text(const std::string& text);

// Throws lumarin::Error naming -o when the file cannot be written, and
// OutputError when standard output is closed or its reader has gone.
// `last` is the job's final save, the one that is synced; `warn` hears
// what access a replaced file lost where --allow-lost-access lets it.
void write_image(const Picture& picture, const Options& options, bool last,
                 const std::function<void(const std::string&)>& warn);

// How the job's saves replace the file, by the options.
SaveOptions save_options(const Options& options, bool last, const std::function<void(const std::string&)>& warn);

}  // namespace lumarin::cli
