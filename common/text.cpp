#include "common/text.hpp"

#include <algorithm>
#include <iterator>

namespace lumarin {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void append_utf16(Text& out, char32_t cp)
{
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}
}  // namespace

std::string to_utf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (is_surrogate_pair_at(text, i)) {
            append_utf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (is_surrogate(c)) {
            append_utf8(out, kReplacement);
        } else {
            append_utf8(out, c);
        }
    }
    return out;
}

namespace {

// The length of the well-formed UTF-8 character at `i` (1 to 4), with its
// value in `cp`; 0 for a byte that starts none (overlong forms,
// surrogates, truncated sequences, values past U+10FFFF, stray bytes).
std::size_t decode_utf8_at(std::string_view utf8, std::size_t i, char32_t& cp)
{
    const auto lead = static_cast<unsigned char>(utf8[i]);
    std::size_t extra = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF)
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    else
        return 0;
    if (i + extra >= utf8.size())
        return 0;
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto cont = static_cast<unsigned char>(utf8[i + k]);
        if ((cont & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cont & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return 1 + extra;
}

}  // namespace

bool from_utf8(std::string_view utf8, Text& out)
{
    out.clear();
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        const std::size_t length = decode_utf8_at(utf8, i, cp);
        if (length == 0)
            return false;
        append_utf16(out, cp);
        i += length;
    }
    return true;
}

bool has_lone_surrogate_or_nul(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == 0)
            return true;
        if (is_surrogate_pair_at(text, i)) {
            ++i;
            continue;
        }
        if (is_surrogate(c))
            return true;
    }
    return false;
}

Text upper_for_ascii_compare(std::u16string_view text)
{
    Text out(text);
    for (char16_t& c : out) {
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
        else if (c == 0x0131)
            c = u'I';
        else if (c == 0x017F)
            c = u'S';
    }
    return out;
}

namespace {

struct StrongRange {
    char32_t first;
    char32_t last;
    bool right_to_left;
};

constexpr StrongRange kStrong[] = {
#include "common/bidi_table.inc"
};

}  // namespace

Direction strong_direction(char32_t c)
{
    const auto* row = std::upper_bound(std::begin(kStrong), std::end(kStrong), c,
                                       [](char32_t value, const StrongRange& r) { return value < r.first; });
    if (row == std::begin(kStrong) || c > (row - 1)->last)
        return Direction::None;
    return (row - 1)->right_to_left ? Direction::RightToLeft : Direction::LeftToRight;
}

bool starts_right_to_left(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = code_point_at(text, i);
        if (c > 0xFFFF)
            ++i;
        const Direction d = strong_direction(c);
        if (d != Direction::None)
            return d == Direction::RightToLeft;
    }
    return false;
}

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void append_byte_escape(std::string& out, unsigned char byte)
{
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

void append_code_point_escape(std::string& out, char32_t cp)
{
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(cp >> shift) & 0xF];
}

// Characters a terminal would act on instead of showing: C0 and C1
// controls, the line and paragraph separators, and the bidi embeddings,
// overrides and isolates, which can make a name read backwards.
bool must_be_escaped(char32_t cp)
{
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

}  // namespace

std::string escape_controls(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        const std::size_t length = decode_utf8_at(utf8, i, cp);
        if (length == 0) {
            // Not UTF-8: a raw 0x9B is a C1 control to some terminals.
            append_byte_escape(out, static_cast<unsigned char>(utf8[i]));
            ++i;
            continue;
        }
        if (cp == '\n' || cp == '\r' || cp == '\t')
            out += cp == '\n' ? "\\n" : cp == '\r' ? "\\r" : "\\t";
        else if (cp < 0x80 && must_be_escaped(cp))
            append_byte_escape(out, static_cast<unsigned char>(cp));
        else if (must_be_escaped(cp))
            append_code_point_escape(out, cp);
        else
            out.append(utf8.substr(i, length));
        i += length;
    }
    return out;
}

bool starts_with_ascii_nocase(std::string_view text, std::string_view prefix) noexcept
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [&](char a, char b) { return lower(a) == lower(b); });
}

std::string grouped(long long n)
{
    const std::string digits = std::to_string(n < 0 ? -static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n));
    std::string out = n < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace lumarin
