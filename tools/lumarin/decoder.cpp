#include "tools/lumarin/decoder.hpp"

#include <algorithm>

#include "common/text.hpp"
#include "tools/lumarin/command_error.hpp"

namespace lumarin::cli {

namespace {

class Utf8Decoder final : public Decoder {
public:
    explicit Utf8Decoder(std::string_view name) : Decoder(name, true) {}

    // A long line in pieces of about a mebibyte, each ending where a
    // character does, so that a stop is heard while it is decoded.
    std::optional<std::size_t> decode(std::string_view line, Text& out, const std::function<void()>& between) override
    {
        out.clear();
        Text piece;
        for (std::size_t start = 0; start < line.size();) {
            const std::size_t end = utf8_piece_end(line, start);
            const std::string_view part = line.substr(start, end - start);
            if (const auto bad = first_bad_utf8(part))
                return start + *bad;
            if (!from_utf8(part, piece))
                return start;  // not reached: both follow the same rules
            out += piece;
            start = end;
            if (start < line.size() && between)
                between();
        }
        return std::nullopt;
    }

    std::optional<std::size_t> decode_utf8(std::string_view line, std::string& out,
                                           const std::function<void()>& between) override
    {
        if (const auto bad = first_bad_utf8(line, between))
            return bad;
        out.assign(line);
        return std::nullopt;
    }
};

bool names_utf8(std::string_view name)
{
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); });
    return upper == "UTF-8" || upper == "UTF8";
}

// The range the byte after a lead byte may take; every later one is
// 0x80-0xBF. Count 0: not a lead byte.
struct Lead {
    int continuations = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
};

Lead lead_of(unsigned char c) noexcept
{
    if (c >= 0xC2 && c <= 0xDF)
        return {1};
    if (c == 0xE0)
        return {2, 0xA0};  // no overlong three-byte forms
    if (c == 0xED)
        return {2, 0x80, 0x9F};  // no surrogates
    if (c >= 0xE1 && c <= 0xEF)
        return {2};
    if (c == 0xF0)
        return {3, 0x90};  // no overlong four-byte forms
    if (c >= 0xF1 && c <= 0xF3)
        return {3};
    if (c == 0xF4)
        return {3, 0x80, 0x8F};  // nothing past U+10FFFF
    return {0};
}

}  // namespace

std::size_t utf8_piece_end(std::string_view line, std::size_t start)
{
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::size_t end = std::min(line.size(), start + kPiece);
    while (end < line.size() && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80)
        ++end;
    return end;
}

std::optional<std::size_t> first_bad_utf8(std::string_view line, const std::function<void()>& between)
{
    for (std::size_t start = 0; start < line.size();) {
        const std::size_t end = utf8_piece_end(line, start);
        if (const auto bad = first_bad_utf8(line.substr(start, end - start)))
            return start + *bad;
        start = end;
        if (start < line.size() && between)
            between();
    }
    return std::nullopt;
}

std::optional<std::size_t> Decoder::decode_utf8(std::string_view line, std::string& out,
                                                const std::function<void()>& between)
{
    Text text;
    if (const auto bad = decode(line, text, between))
        return bad;
    out = to_utf8(text);
    return std::nullopt;
}

std::optional<std::size_t> first_bad_utf8(std::string_view bytes) noexcept
{
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        const Lead lead = lead_of(c);
        const auto count = static_cast<std::size_t>(lead.continuations);
        if (count == 0 || bytes.size() - i <= count)  // not a lead, or cut short
            return i;
        for (int k = 1; k <= lead.continuations; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
            const unsigned char low = k == 1 ? lead.low : 0x80;
            const unsigned char high = k == 1 ? lead.high : 0xBF;
            if (next < low || next > high)
                return i;
        }
        i += count + 1;
    }
    return std::nullopt;
}

std::unique_ptr<Decoder> Decoder::for_encoding(std::string_view name)
{
    if (names_utf8(name))
        return std::make_unique<Utf8Decoder>(name);
    if (auto decoder = platform_decoder(name))
        return decoder;
    usage_error("--encoding '" + std::string(name) + "' is not an encoding this build reads: " + known_encodings_hint());
}

}  // namespace lumarin::cli
