// Checked arithmetic and conversions with the automation rules: 16-bit
// sums and products leave -32768..32767 as an overflow, never a wrap;
// fractions round to the nearest integer with halves to the even side;
// a floating-point step that overflows or turns invalid is an error.
#pragma once

#include <concepts>
#include <utility>

#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "lumarin/types.hpp"

namespace lumarin {

// `value` as a T; Overflow when T cannot hold it.
template <std::integral T>
T narrow_checked(long long value)
{
    if (!std::in_range<T>(value))
        fail(ErrorKind::Overflow);
    return static_cast<T>(value);
}

Integer add16(Integer a, Integer b);       // Overflow outside 16 bits
Integer multiply16(Integer a, Integer b);  // Overflow outside 16 bits
Long add32(Long a, Long b);                // Overflow outside 32 bits
Integer abs16(Integer a);                  // |-32768| overflows

double round_half_even(double value) noexcept;

// Nearest integer, halves to even; Overflow when it leaves the type's range
// (or is not a number at all).
Integer round_to_integer(double value);
Long round_to_long(double value);

// The result of a floating-point step, narrowed to a Single: an infinite or
// invalid result, or one beyond the Single range, is a FloatingPoint error.
Single checked_single(double value);

}  // namespace lumarin
