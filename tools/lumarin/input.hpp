// Reading the text to render: UTF-8 lines from a file or standard input,
// read as a stream with a bound.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "lumarin/types.hpp"
#include "tools/lumarin/command_error.hpp"
#include "tools/lumarin/decoder.hpp"

namespace lumarin::cli {

// How much input is read before it is refused, so that an endless or huge
// input (/dev/zero) stops with an error instead of filling memory.
struct InputLimits {
    std::size_t max_bytes = std::size_t{64} << 20;
    std::size_t max_lines = 32767;  // the renderer counts lines in 16 bits
};

// The lines of `path`, or of standard input for "-", in UTF-8, each decoded by
// `decoder` as it arrives: "\n", "\r\n" or a lone "\r" ends a line, a
// final line needs no ending, and in UTF-8 a leading byte-order mark is
// dropped. A line that does not decode is a bad-input CommandError naming
// its line, the byte in it and in the input (all from 1); so is more input
// than `limits` allow. `interrupted` runs whenever a signal interrupts a
// read, after every read, and between the pieces of a long line as it is
// decoded; it may throw to stop reading.
std::vector<std::string> read_lines(const std::string& path, const InputLimits& limits, Decoder& decoder,
                             const std::function<void()>& interrupted);

// The longest line, in UTF-16 code units; the first of equal ones.
Text longest_line(const std::vector<std::string>& lines);

}  // namespace lumarin::cli
