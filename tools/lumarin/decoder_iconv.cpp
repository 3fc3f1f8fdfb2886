// Other encodings through iconv, to UTF-8 and from there to the text.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>

#include "common/text.hpp"
#include "tools/lumarin/command_error.hpp"
#include "tools/lumarin/decoder.hpp"

namespace lumarin::cli {

namespace {

// An iconv conversion, closed with its owner.
class IconvHandle {
public:
    explicit IconvHandle(const std::string& from) : cd_(::iconv_open("UTF-8", from.c_str())) {}
    ~IconvHandle()
    {
        if (valid())
            ::iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool valid() const noexcept { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // `bytes` as UTF-8 into `out`; where they are not valid (or end inside
    // a character), the offset of the first bad byte. A long line is fed
    // a mebibyte at a time, a character cut at a piece's end carried into
    // the next, with `between` run between the pieces.
    std::optional<std::size_t> convert(std::string_view bytes, std::string& out,
                                       const std::function<void()>& between = {})
    {
        constexpr std::size_t kPiece = std::size_t{1} << 20;
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // each line from the initial state
        // Room for a little more than the bytes, reserved and so not yet
        // touched: a held line takes what it uses. A character becomes at
        // most four bytes, so a piece fits the scratch at once.
        out.clear();
        out.reserve(bytes.size() + bytes.size() / 4 + 16);
        scratch_.resize(std::max(scratch_.size(), std::min(bytes.size(), kPiece) * 4 + 16));
        char* in = const_cast<char*>(bytes.data());  // iconv's signature; it does not write
        const char* const end = bytes.data() + bytes.size();
        while (in < end) {
            const bool last = static_cast<std::size_t>(end - in) <= kPiece;
            std::size_t in_left = last ? static_cast<std::size_t>(end - in) : kPiece;
            while (in_left > 0) {
                char* to = scratch_.data();
                std::size_t room = scratch_.size();
                const std::size_t result = ::iconv(cd_, &in, &in_left, &to, &room);
                out.append(scratch_.data(), scratch_.size() - room);
                if (result != static_cast<std::size_t>(-1))
                    break;
                if (errno == EINVAL && !last)
                    break;  // a character cut at the piece's end: it starts the next piece
                if (errno != E2BIG)
                    return static_cast<std::size_t>(in - bytes.data());  // EILSEQ, or EINVAL at the end
            }
            if (!last && between)
                between();
        }
        return std::nullopt;
    }

private:
    iconv_t cd_;
    std::string scratch_;  // one piece's UTF-8, kept between lines
};

class IconvDecoder final : public Decoder {
public:
    IconvDecoder(std::string_view name, std::unique_ptr<IconvHandle> handle)
        : Decoder(name, false), handle_(std::move(handle))
    {
    }

    std::optional<std::size_t> decode(std::string_view line, Text& out, const std::function<void()>& between) override
    {
        if (auto bad = handle_->convert(line, utf8_, between))
            return bad;
        if (!from_utf8(utf8_, out))
            return 0;  // not reached: iconv writes well-formed UTF-8
        return std::nullopt;
    }

    // Straight to UTF-8, as lines are held.
    std::optional<std::size_t> decode_utf8(std::string_view line, std::string& out,
                                           const std::function<void()>& between) override
    {
        return handle_->convert(line, out, between);
    }

private:
    std::unique_ptr<IconvHandle> handle_;
    std::string utf8_;  // kept between lines, so that its room is reused
};

// Every printable ASCII character, CR and LF, which must come out as they
// went in: lines are split at the bytes CR and LF before decoding.
bool keeps_ascii(IconvHandle& handle)
{
    std::string ascii = "\r\n";
    for (char c = ' '; c <= '~'; ++c)
        ascii += c;
    std::string out;
    return !handle.convert(ascii, out) && out == ascii;
}

}  // namespace

std::unique_ptr<Decoder> platform_decoder(std::string_view name)
{
    auto handle = std::make_unique<IconvHandle>(std::string(name));
    if (!handle->valid())
        return nullptr;
    if (!keeps_ascii(*handle))
        usage_error("--encoding '" + std::string(name) +
                    "' does not keep ASCII as it is, and lines are split at ASCII's CR and LF: "
                    "convert the text to UTF-8 first (iconv -f " + std::string(name) + " -t UTF-8)");
    return std::make_unique<IconvDecoder>(name, std::move(handle));
}

std::string known_encodings_hint()
{
    return "give one that `iconv -l` lists, such as UTF-8, CP437, CP858, CP1252 or ISO-8859-1";
}

}  // namespace lumarin::cli
