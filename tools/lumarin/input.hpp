// Reading the text to render: UTF-8 lines from a file or standard input.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "lumarin/types.hpp"

namespace lumarin::cli {

// Input that cannot be read or decoded; the message is for the user.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Splits UTF-8 bytes into lines: "\n" or "\r\n" ends a line, a final line
// needs no terminator, and a leading byte-order mark is dropped. Throws
// InputError naming the first line (from 1) that is not valid UTF-8.
std::vector<Text> split_lines(std::string_view bytes);

// Every byte of `path`, or of standard input for "-".
std::string read_input(const std::string& path);

// The longest line, in UTF-16 code units; the first of equal ones.
Text longest_line(const std::vector<Text>& lines);

}  // namespace lumarin::cli
