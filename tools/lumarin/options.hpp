// The command line: every property a client of the renderer can set, the
// input and the output.
#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "lumarin/types.hpp"
#include "surface/font_style.hpp"

namespace lumarin::cli {

// Bad usage: the message is what the user reads after "lumarin: ".
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    std::string input = "-";  // "-" is standard input
    std::string output;       // as given, for messages
    Text font = u"Courier New";
    Integer size = 10;
    std::optional<Integer> line_spacing;  // unset: a pitch derived from the size
    Integer width_factor = 0;             // 0 lets the renderer pick its default
    FontStyle style{};
    Text fg;
    Text bg;
    Integer top = 4;
    Integer side = 4;
    Long x = 0;
    Long y = 0;
    bool mono = false;
    bool every_line = false;  // save after every line, not once at the end
    bool help = false;
    bool version = false;
};

// The line pitch used when none is given: about 1.6 times the point size.
Integer default_line_spacing(Integer size);

// Parses the arguments after the program name; throws UsageError.
Options parse_options(std::span<const char* const> args);

std::string usage_text();

}  // namespace lumarin::cli
