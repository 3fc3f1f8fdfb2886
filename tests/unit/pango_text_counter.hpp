// How much text the drawer hands to Pango, counted by interposing the Pango
// calls that take text (pango_text_counter.cpp). The work Pango does grows
// with the text of each call, faster than linearly once a layout is long, so
// these counts bound the work of drawing a line without timing it.
#pragma once

#include <cstddef>

namespace lumarin::test {

struct PangoTextCounts {
    std::size_t calls = 0;
    std::size_t bytes = 0;    // UTF-8 bytes over all calls
    std::size_t largest = 0;  // UTF-8 bytes in the largest single call
    // The longest run of combining marks in one layout's text: shaping
    // takes time that grows with the square of a cluster's length.
    std::size_t longest_marks = 0;
};

// Counts since the last reset.
PangoTextCounts pango_text_counts();
void reset_pango_text_counts();

}  // namespace lumarin::test
