#include "tools/lumarin/input.hpp"

#include <fcntl.h>
#include <unistd.h>
#if defined(_WIN32)
#include <io.h>
#endif

#include <cerrno>
#include <cstring>
#include <string_view>

#include "common/text.hpp"
#include "surface/unique_fd.hpp"
#include "tools/lumarin/line_splitter.hpp"

namespace lumarin::cli {

namespace {

std::string name_of(const std::string& path) { return path == "-" ? "standard input" : path; }

// A file that cannot be read is a file error (4), as one that cannot be
// written is.
[[noreturn]] void fail_read(const std::string& path, int err)
{
    file_error("cannot read " + name_of(path) + ": " + std::strerror(err));
}


// Lines as bytes arrive: each complete line is decoded at once, and only
// the unfinished one is kept as bytes.
class LineCollector {
public:
    LineCollector(const std::string& path, const InputLimits& limits, Decoder& decoder,
                  const std::function<void()>& check_stop)
        : path_(path), limits_(limits), decoder_(decoder), check_stop_(check_stop)
    {
    }

    void add(std::string_view bytes)
    {
        read_ += bytes.size();
        if (read_ > limits_.max_bytes)
            input_error(name_of(path_) + " is larger than " + grouped(static_cast<long long>(limits_.max_bytes >> 20)) +
                        " MiB; split it into several jobs");
        splitter_.add(bytes, add_line_);
    }

    std::vector<std::string> finish()
    {
        splitter_.finish(add_line_);
        return std::move(lines_);
    }

private:
    void add_line(const RawLine& raw)
    {
        constexpr std::string_view kBom = "\xEF\xBB\xBF";
        std::string_view line = raw.bytes;
        std::size_t skipped = 0;
        if (lines_.empty() && decoder_.is_utf8() && line.starts_with(kBom))
            skipped = kBom.size();
        line.remove_prefix(skipped);
        if (lines_.size() == limits_.max_lines)
            input_error(name_of(path_) + " has more than " + grouped(static_cast<long long>(limits_.max_lines)) +
                        " lines, the most one image holds");
        // UTF-8 is checked and kept, a long line in the reader's own buffer.
        std::string text;
        if (decoder_.is_utf8()) {
            if (const auto bad = first_bad_utf8(line, check_stop_))
                refuse_undecodable(raw.offset, skipped + *bad);
            if (raw.own && skipped == 0)
                text = std::move(*raw.own);
            else
                text.assign(line);
        } else if (const auto bad = decoder_.decode_utf8(line, text, check_stop_)) {
            refuse_undecodable(raw.offset, skipped + *bad);
        }
        lines_.push_back(std::move(text));
    }

    // Where the bad byte is, and what to do: a text in UTF-8 by default may
    // well be in one of the old code pages.
    [[noreturn]] void refuse_undecodable(std::size_t line_offset, std::size_t in_line) const
    {
        const std::string hint = decoder_.is_utf8()
                                     ? "give --encoding if the text is in another encoding (for example --encoding CP1252)"
                                     : "check that --encoding names the encoding the text is in";
        input_error("line " + std::to_string(lines_.size() + 1) + ", byte " + std::to_string(in_line + 1) + " (byte " +
                    std::to_string(line_offset + in_line + 1) + " of the input): not valid " + decoder_.name() + "; " +
                    hint);
    }

    const std::string& path_;
    InputLimits limits_;
    Decoder& decoder_;
    const std::function<void()>& check_stop_;
    std::size_t read_ = 0;
    LineSplitter splitter_;
    LineSink add_line_ = [this](const RawLine& line) { add_line(line); };
    std::vector<std::string> lines_;
};

UniqueFd open_input(const std::string& path)
{
#if defined(_WIN32)
    // Bytes as they are: CR LF are ours to handle and Ctrl-Z is a byte.
    // The name as UTF-16, not in the code page.
    if (path == "-") {
        _setmode(STDIN_FILENO, _O_BINARY);
        return UniqueFd(::dup(STDIN_FILENO));
    }
    Text wide;
    if (!from_utf8(path, wide))
        fail_read(path, EINVAL);
    UniqueFd fd(::_wopen(reinterpret_cast<const wchar_t*>(wide.c_str()), _O_RDONLY | _O_BINARY));
#else
    if (path == "-")
        return UniqueFd(::dup(STDIN_FILENO));
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
#endif
    if (!fd)
        fail_read(path, errno);
    return fd;
}

}  // namespace

std::vector<std::string> read_lines(const std::string& path, const InputLimits& limits, Decoder& decoder,
                             const std::function<void()>& interrupted)
{
    const UniqueFd fd = open_input(path);
    if (!fd)
        fail_read(path, errno);
    LineCollector collector(path, limits, decoder, interrupted);
    std::string buffer(std::size_t{1} << 16, '\0');
    for (;;) {
        // A read of 0 is the end: at a terminal, one Ctrl-D.
        const auto n = ::read(fd.get(), buffer.data(), static_cast<unsigned>(buffer.size()));
        if (n == 0)
            break;
        if (n > 0) {
            collector.add(std::string_view(buffer).substr(0, static_cast<std::size_t>(n)));
            // A signal that came while the bytes were handled interrupted
            // no read: it is heard here.
            interrupted();
        } else if (errno == EINTR) {
            interrupted();
        } else {
            fail_read(path, errno);
        }
    }
    return collector.finish();
}

Text longest_line(const std::vector<std::string>& lines)
{
    // UTF-16 code units: one for each character that does not start with a
    // continuation byte, two for those of four bytes.
    const auto units = [](std::string_view line) {
        std::size_t n = 0;
        for (const char c : line) {
            const auto b = static_cast<unsigned char>(c);
            n += (b & 0xC0) != 0x80;
            n += b >= 0xF0;
        }
        return n;
    };
    const std::string* longest = nullptr;
    std::size_t most = 0;
    for (const std::string& line : lines)
        if (const std::size_t n = units(line); !longest || n > most) {
            longest = &line;
            most = n;
        }
    Text text;
    if (longest)
        from_utf8(*longest, text);
    return text;
}

}  // namespace lumarin::cli
