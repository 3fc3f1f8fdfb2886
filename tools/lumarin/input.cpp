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

[[noreturn]] void fail_read(const std::string& path, int err)
{
    input_error("cannot read " + name_of(path) + ": " + std::strerror(err));
}


// Lines as bytes arrive: each complete line is decoded at once, and only
// the unfinished one is kept as bytes.
class LineCollector {
public:
    LineCollector(const std::string& path, const InputLimits& limits) : path_(path), limits_(limits) {}

    void add(std::string_view bytes)
    {
        read_ += bytes.size();
        if (read_ > limits_.max_bytes)
            input_error(name_of(path_) + " is larger than " + grouped(static_cast<long long>(limits_.max_bytes >> 20)) +
                             " MiB; split it into several jobs");
        splitter_.add(bytes, add_line_);
    }

    std::vector<Text> finish()
    {
        splitter_.finish(add_line_);
        return std::move(lines_);
    }

private:
    void add_line(const RawLine& raw)
    {
        constexpr std::string_view kBom = "\xEF\xBB\xBF";
        std::string_view line = raw.bytes;
        if (lines_.empty() && line.starts_with(kBom))
            line.remove_prefix(kBom.size());
        if (lines_.size() == limits_.max_lines)
            input_error(name_of(path_) + " has more than " + grouped(static_cast<long long>(limits_.max_lines)) +
                             " lines, the most one image holds");
        Text text;
        if (!from_utf8(line, text))
            input_error("line " + std::to_string(lines_.size() + 1) + " is not valid UTF-8");
        lines_.push_back(std::move(text));
    }

    const std::string& path_;
    InputLimits limits_;
    std::size_t read_ = 0;
    LineSplitter splitter_;
    LineSink add_line_ = [this](const RawLine& line) { add_line(line); };
    std::vector<Text> lines_;
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

std::vector<Text> read_lines(const std::string& path, const InputLimits& limits,
                             const std::function<void()>& interrupted)
{
    const UniqueFd fd = open_input(path);
    if (!fd)
        fail_read(path, errno);
    LineCollector collector(path, limits);
    std::string buffer(std::size_t{1} << 16, '\0');
    for (;;) {
        // A read of 0 is the end: at a terminal, one Ctrl-D.
        const auto n = ::read(fd.get(), buffer.data(), static_cast<unsigned>(buffer.size()));
        if (n == 0)
            break;
        if (n > 0) {
            collector.add(std::string_view(buffer).substr(0, static_cast<std::size_t>(n)));
        } else if (errno == EINTR) {
            interrupted();
        } else {
            fail_read(path, errno);
        }
    }
    return collector.finish();
}

Text longest_line(const std::vector<Text>& lines)
{
    const Text* longest = nullptr;
    for (const Text& line : lines)
        if (!longest || line.size() > longest->size())
            longest = &line;
    return longest ? *longest : Text{};
}

}  // namespace lumarin::cli
