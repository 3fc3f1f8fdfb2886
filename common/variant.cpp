#include "lumarin/variant.hpp"

#include <cmath>
#include <charconv>
#include <string>

#include "common/fail.hpp"
#include "common/text.hpp"
#include "lumarin/error.hpp"

namespace lumarin {

namespace {

bool is_blank(char16_t c) { return c == u' ' || c == u'\t'; }

Text trimmed(const Text& text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && is_blank(text[first]))
        ++first;
    while (last > first && is_blank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

// A digit of any radix up to 16; 99 for none, past every radix.
int digit_value(char16_t c)
{
    const int d = hex_digit_value(c);
    return d < 0 ? 99 : d;
}

// "&H1F" and "&O17" as scripting clients read them: up to four hexadecimal
// digits' worth is a 16-bit value and up to eight a 32-bit one, both two's
// complement, so "&HFFFF" is -1.
double parse_radix_literal(const Text& body, int radix)
{
    if (body.empty())
        fail(ErrorKind::TypeMismatch);
    unsigned long long value = 0;
    for (char16_t c : body) {
        const int d = digit_value(c);
        if (d >= radix)
            fail(ErrorKind::TypeMismatch);
        value = value * radix + d;
        if (value > 0xFFFFFFFFull)
            fail(ErrorKind::Overflow);
    }
    if (value <= 0xFFFF)
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// [sign] digits [. digits] [(E|D) [sign] digits], with at least one digit
// in the mantissa. Only ASCII takes part, so a narrow copy is exact.
double parse_decimal(const Text& text)
{
    std::string ascii;
    std::size_t i = 0;
    auto take_digits = [&] {
        std::size_t n = 0;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
            ascii += static_cast<char>(text[i++]);
            ++n;
        }
        return n;
    };
    auto take_sign = [&] {
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
            ascii += static_cast<char>(text[i++]);
    };
    take_sign();
    std::size_t mantissa = take_digits();
    if (i < text.size() && text[i] == u'.') {
        ascii += '.';
        ++i;
        mantissa += take_digits();
    }
    if (mantissa == 0)
        fail(ErrorKind::TypeMismatch);
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        ascii += 'e';
        ++i;
        take_sign();
        if (take_digits() == 0)
            fail(ErrorKind::TypeMismatch);
    }
    if (i != text.size())
        fail(ErrorKind::TypeMismatch);
    // from_chars ignores the process locale, unlike strtod; it takes no '+'.
    const char* first = ascii.data();
    if (*first == '+')
        ++first;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(first, ascii.data() + ascii.size(), value);
    if (ec == std::errc::result_out_of_range && end == ascii.data() + ascii.size()) {
        // Out of range with a negative exponent is a value too small for a
        // double, which is as good as zero; anything else overflows.
        if (ascii.find("e-") != std::string::npos)
            return 0.0;
        fail(ErrorKind::Overflow);
    }
    if (ec != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(value))
        fail(ErrorKind::Overflow);
    return value;
}

}  // namespace

double parse_number(const Text& text)
{
    const Text body = trimmed(text);
    if (body.size() >= 2 && body[0] == u'&') {
        if (body[1] == u'H' || body[1] == u'h')
            return parse_radix_literal(body.substr(2), 16);
        if (body[1] == u'O' || body[1] == u'o')
            return parse_radix_literal(body.substr(2), 8);
    }
    return parse_decimal(body);
}

double to_number(const Variant& value)
{
    struct Visitor {
        double operator()(Empty) const { return 0.0; }
        double operator()(Null) const { fail(ErrorKind::InvalidUseOfNull); }
        double operator()(double d) const { return d; }
        double operator()(const Text& t) const { return parse_number(t); }
    };
    return std::visit(Visitor{}, value);
}

}  // namespace lumarin
