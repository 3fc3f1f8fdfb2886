// Other encodings through MultiByteToWideChar, for the names that are
// Windows code pages.
#include <windows.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <utility>

#include "tools/lumarin/command_error.hpp"
#include "tools/lumarin/decoder.hpp"

namespace lumarin::cli {

namespace {

std::string upper_ascii(std::string_view name)
{
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); });
    return upper;
}

// The number after `prefix`, whole: "ISO-8859-15" with "ISO-8859-" is 15.
std::optional<unsigned> number_after(std::string_view name, std::string_view prefix)
{
    if (!name.starts_with(prefix))
        return std::nullopt;
    name.remove_prefix(prefix.size());
    unsigned n = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), n);
    if (name.empty() || ec != std::errc{} || end != name.data() + name.size())
        return std::nullopt;
    return n;
}

// The code page a name stands for: CP437, IBM437 or 437; CP858; CP1252 or
// WINDOWS-1252; ISO-8859-1 to -15 (pages 28591 to 28605), also written
// ISO8859-N or ISO_8859-N.
std::optional<UINT> code_page_of(std::string_view given)
{
    const std::string name = upper_ascii(given);
    static constexpr std::array<std::pair<std::string_view, UINT>, 6> kNamed{
        {{"CP437", 437}, {"IBM437", 437}, {"CP858", 858}, {"IBM858", 858}, {"CP1252", 1252}, {"WINDOWS-1252", 1252}}};
    for (const auto& [known, page] : kNamed)
        if (name == known)
            return page;
    for (const std::string_view prefix : {"ISO-8859-", "ISO8859-", "ISO_8859-"})
        if (const auto part = number_after(name, prefix); part && *part >= 1 && *part <= 15 && *part != 12)
            return 28590 + *part;
    if (const auto page = number_after(name, ""); page && (*page == 437 || *page == 858 || *page == 1252 ||
                                                           (*page >= 28591 && *page <= 28605 && *page != 28602)))
        return *page;
    return std::nullopt;
}

// Code page 858 is 850 with the euro sign at 0xD5, where 850 has a
// dotless i; a system without 858 (Wine has none) reads it so.
constexpr UINT kCp858 = 858;
constexpr UINT kCp850 = 850;
constexpr unsigned char kCp858Euro = 0xD5;

class CodePageDecoder final : public Decoder {
public:
    CodePageDecoder(std::string_view name, UINT page, bool euro_at_d5)
        : Decoder(name, false), page_(page), euro_at_d5_(euro_at_d5)
    {
    }

    std::optional<std::size_t> decode(std::string_view line, Text& out, const std::function<void()>&) override
    {
        if (line.empty()) {
            out.clear();
            return std::nullopt;
        }
        out.resize(line.size());  // a single-byte page: one UTF-16 unit a byte
        const int n = convert(line, out);
        if (n <= 0)
            return first_bad_byte(line);
        out.resize(static_cast<std::size_t>(n));
        if (euro_at_d5_)
            for (std::size_t i = 0; i < line.size(); ++i)
                if (static_cast<unsigned char>(line[i]) == kCp858Euro)
                    out[i] = u'\u20AC';  // one unit a byte, so at the same place
        return std::nullopt;
    }

private:
    int convert(std::string_view bytes, Text& out) const
    {
        return ::MultiByteToWideChar(page_, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                     reinterpret_cast<wchar_t*>(out.data()), static_cast<int>(out.size()));
    }

    // The pages taken are single-byte, so each byte is tried alone.
    std::size_t first_bad_byte(std::string_view line) const
    {
        Text one(1, u'\0');
        for (std::size_t i = 0; i < line.size(); ++i)
            if (convert(line.substr(i, 1), one) <= 0)
                return i;
        return 0;
    }

    UINT page_;
    bool euro_at_d5_;
};

}  // namespace

std::unique_ptr<Decoder> platform_decoder(std::string_view name)
{
    const auto page = code_page_of(name);
    if (!page)
        return nullptr;
    if (::IsValidCodePage(*page))
        return std::make_unique<CodePageDecoder>(name, *page, false);
    if (*page == kCp858 && ::IsValidCodePage(kCp850))
        return std::make_unique<CodePageDecoder>(name, kCp850, true);
    usage_error("--encoding '" + std::string(name) + "' is code page " + std::to_string(*page) +
                ", which this system does not have: convert the text to UTF-8 first");
}

std::string known_encodings_hint()
{
    return "give UTF-8, CP437, CP858, CP1252 or ISO-8859-1 to ISO-8859-15 (code pages 437, 858, 1252, 28591 to 28605)";
}

}  // namespace lumarin::cli
