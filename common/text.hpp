// UTF-16 text helpers shared by the renderer and the surface.
#pragma once

#include <string>
#include <string_view>

#include "lumarin/text.hpp"
#include "lumarin/types.hpp"

namespace lumarin {

constexpr bool is_high_surrogate(char16_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool is_low_surrogate(char16_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }
constexpr bool is_surrogate(char16_t c) noexcept { return is_high_surrogate(c) || is_low_surrogate(c); }

// True when the code units at i and i + 1 are one character.
constexpr bool is_surrogate_pair_at(std::u16string_view text, std::size_t i) noexcept
{
    return i + 1 < text.size() && is_high_surrogate(text[i]) && is_low_surrogate(text[i + 1]);
}

// The character at i: a surrogate pair's value, or the unit itself.
constexpr char32_t code_point_at(std::u16string_view text, std::size_t i) noexcept
{
    if (!is_surrogate_pair_at(text, i))
        return text[i];
    return 0x10000 + ((static_cast<char32_t>(text[i]) - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
}

// True when the text holds a lone surrogate or a NUL, which no file name
// may contain.
bool has_lone_surrogate_or_nul(std::u16string_view text);

// Upper case by Unicode's simple case mapping, as far as it matters for
// comparing against ASCII names: only a-z, U+0131 (dotless i) and U+017F
// (long s) have simple upper-case forms in ASCII; every other character
// is left as it is and so cannot match an ASCII letter.
Text upper_for_ascii_compare(std::u16string_view text);

// A character's strong direction by its Unicode bidi class: L is left to
// right, R and AL right to left; every other class (numbers, neutrals,
// marks, format characters such as U+FEFF and U+200B) has none.
enum class Direction { None, LeftToRight, RightToLeft };
Direction strong_direction(char32_t c);

// True when the first character with a strong direction is written right
// to left. Text without a strong character is left to right. Both drawers
// take a line's base direction from this.
bool starts_right_to_left(std::u16string_view text);

// UTF-8 text fit for a one-line message that a terminal shows as it is:
// control characters (U+0000-U+001F, U+007F-U+009F), the line and
// paragraph separators and the bidi controls (U+202A-U+202E,
// U+2066-U+2069) become escapes ("\n", "\t", "\x1B", "\u0085", "\u2028",
// "\u202E"), and so does each byte that is not part of well-formed UTF-8
// ("\x9B", "\xFF"); everything else is kept.
std::string escape_controls(std::string_view utf8);

// Whether `text` starts with `prefix`, ASCII letters of either case alike
// ("TCP://" and "tcp://", "com3" and "COM").
bool starts_with_ascii_nocase(std::string_view text, std::string_view prefix) noexcept;

// The value of a hexadecimal digit (0-9, a-f, A-F), or -1.
constexpr int hex_digit_value(char32_t c) noexcept
{
    if (c >= U'0' && c <= U'9')
        return static_cast<int>(c - U'0');
    if (c >= U'a' && c <= U'f')
        return static_cast<int>(c - U'a') + 10;
    if (c >= U'A' && c <= U'F')
        return static_cast<int>(c - U'A') + 10;
    return -1;
}

// A whole number with its thousands grouped by commas, for messages:
// 65535 as "65,535".
std::string grouped(long long n);

}  // namespace lumarin
