// Input bytes into lines as they arrive. LF, CR LF and a lone CR each end a
// line; a CR LF split between two reads is still one ending.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace lumarin::cli {

// One line's bytes, without its ending, and where it starts in the input.
struct RawLine {
    std::string_view bytes;
    std::size_t offset = 0;
    // Where not null, a string holding just `bytes` that the sink may take.
    std::string* own = nullptr;
};

using LineSink = std::function<void(const RawLine&)>;

class LineSplitter {
public:
    // Hands `sink` each line that `chunk` completes; only an unfinished
    // line is kept.
    void add(std::string_view chunk, const LineSink& sink);
    // The last line, when the input does not end with a line ending.
    void finish(const LineSink& sink);

private:
    void hand_over(std::size_t end, std::size_t next, const LineSink& sink);

    std::string partial_;          // the unfinished line's bytes
    std::size_t partial_at_ = 0;   // where they start in the input
    bool after_cr_ = false;        // the read ended with a CR: an LF next is part of it
};

}  // namespace lumarin::cli
