// The automation value that TopPadding takes: empty, null, a number or text.
// Conversion to a number follows what scripting clients expect of numeric
// text ("7", " 7 ", "-2.5", "1e1", "&H10").
#pragma once

#include <variant>

#include "lumarin/types.hpp"

namespace lumarin {

struct Empty {
    friend bool operator==(Empty, Empty) = default;
};
struct Null {
    friend bool operator==(Null, Null) = default;
};

using Variant = std::variant<Empty, Null, double, Text>;

// Empty is 0; Null is InvalidUseOfNull; text that is no number is
// TypeMismatch; a hexadecimal or octal literal too large for 32 bits is
// Overflow.
double to_number(const Variant& value);

// Numeric text as a scripting client converts it, or TypeMismatch.
double parse_number(const Text& text);

}  // namespace lumarin
