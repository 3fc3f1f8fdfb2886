// How a line's bytes become text: UTF-8, checked strictly, or another
// encoding through the platform's converter (iconv on Linux,
// MultiByteToWideChar on Windows). Lines are split at the bytes CR and LF
// before they are decoded, so only encodings that keep ASCII as it is are
// taken.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "lumarin/types.hpp"

namespace lumarin::cli {

class Decoder {
public:
    // The decoder for --encoding `name` (UTF-8 in any case, with or without
    // the hyphen, is the strict one). Throws a usage CommandError naming an
    // encoding this build cannot read.
    static std::unique_ptr<Decoder> for_encoding(std::string_view name);

    virtual ~Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Decodes one line into `out`; where it is not valid, the offset of
    // its first bad byte instead (and `out` is unspecified). `between`
    // runs between the pieces of a long line, and may throw to stop.
    virtual std::optional<std::size_t> decode(std::string_view line, Text& out,
                                              const std::function<void()>& between = {}) = 0;

    // The same into UTF-8, which is how lines are held. By default through
    // `decode`; UTF-8 is checked and kept as it is.
    virtual std::optional<std::size_t> decode_utf8(std::string_view line, std::string& out,
                                                   const std::function<void()>& between = {});

    // The name as the user gave it, for messages.
    const std::string& name() const noexcept { return name_; }
    bool is_utf8() const noexcept { return utf8_; }

protected:
    Decoder(std::string_view name, bool utf8) : name_(name), utf8_(utf8) {}

private:
    std::string name_;
    bool utf8_;
};

// Where the first byte that is not part of well-formed UTF-8 (no overlong
// forms, surrogates or values past U+10FFFF) starts, or nothing.
std::optional<std::size_t> first_bad_utf8(std::string_view bytes) noexcept;
// The same a piece of about a mebibyte at a time, `between` between them;
// and where such a piece from `start` ends, at the start of a character.
std::optional<std::size_t> first_bad_utf8(std::string_view line, const std::function<void()>& between);
std::size_t utf8_piece_end(std::string_view line, std::size_t start);

// The platform's decoder for `name`, or null when it knows no such
// encoding; and what to tell the user then. (decoder_iconv.cpp,
// decoder_win32.cpp)
std::unique_ptr<Decoder> platform_decoder(std::string_view name);
std::string known_encodings_hint();

}  // namespace lumarin::cli
