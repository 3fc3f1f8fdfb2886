// Between UTF-8, which files and most programs use, and the UTF-16 the
// synapse object's properties hold.
#pragma once

#include <string>
#include <string_view>

#include "lumarin/types.hpp"

namespace lumarin {

// UTF-8 of the text. A lone surrogate becomes U+FFFD.
std::string to_utf8(std::u16string_view text);

// Strict conversion of UTF-8; returns false on malformed input (overlong
// forms, surrogates, truncated sequences, values past U+10FFFF).
bool from_utf8(std::string_view utf8, Text& out);

}  // namespace lumarin
